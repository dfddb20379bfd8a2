#pragma once

#include "EntrySource.h"
#include "ListViewModel.h"

#include <QString>

#include <array>
#include <cstdint>
#include <set>

namespace nixora
{

// The selected entry: the row of the entry list last clicked, read by every entry command.
struct SelectedEntry {
    QString SelectedEntryKey; // the subkey of its source's Uninstall key
    QString SelectedEntryName;
    QString SelectedEntryUninstaller;
    QString SelectedEntryVersion;
    bool SelectedEntryNameLocked = false;
    bool SelectedEntryUninstallerLocked = false;
    bool SelectedEntryVersionLocked = false;
    SourceKind SelectedEntrySource = SourceKind::Machine; // the Uninstall key it lives under
};

// The selected backup: the row of the backup list last clicked.
struct SelectedBackup {
    QString SelectedBackupFile;
    QString SelectedBackupName;
};

// Enabled states of the entry popup menu's items; each keeps what the last click gave it.
struct EntryPopupState {
    bool mAjaPoistoohjelma = true;
    bool mPoistaRekisterista = true;
    bool mVarmuuskopioi = true;
    bool mMuokkaa = true;
    std::array<bool, 3> mKopioiLeikepoydalle{true, true, true};
};

inline const QString kTabEntries = QStringLiteral("lisaa_poista");
inline const QString kTabBackups = QStringLiteral("palauta");

// Everything the main window owns that the logic reads and changes. The window keeps one; the
// headless listing builds one of its own, so both run the same fill code.
struct WindowState {
    ListViewModel lvwOhjelmat;
    ListViewModel lvwPalauta;
    SelectedEntry entry;
    SelectedBackup backup;
    EntryPopupState popup;
    std::set<int> usedComponents;   // Active Setup indices already applied in this fill
    std::set<int> usedComponents32; // the same for the 32-bit view's Active Setup key
    bool friendlyNames = true;      // selkokieli
    bool boldPhantoms = true;       // rikkinaiset_bold
    bool installerChecks = true;    // the Windows Installer products of entries are checked
    QString selectedTab = kTabEntries;
    QString statusText;   // panel 1 of the status bar
    int16_t popupX = 290; // twips, where a keyboard context menu opens
    int16_t popupY = 770;
};

} // namespace nixora
