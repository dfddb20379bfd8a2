#pragma once

#include "Registry.h"
#include "menus/UserFolders.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace nixora::menus
{

// The Linux files Wine's menu builder writes for a prefix's programs.
enum class MenuFileKind {
    MenuEntry,   // applications/wine/<Start Menu path>.desktop, one per Start Menu shortcut
    DesktopLink, // <desktop>/<name>.desktop, one per shortcut on the Windows desktop
    Association, // applications/wine-extension-<ext>.desktop, wine-protocol-<scheme>.desktop,
                 // mime/packages/x-wine-extension-<ext>.xml
    Menu,        // menus/applications-merged/wine-<path>.menu, beside each menu entry
    Directory,   // desktop-directories/wine-<path>.directory, one per Start Menu folder
    Icon,        // icons/hicolor/<size>/apps/<name>.png
};

enum class MenuVerdict {
    Found,    // what it starts is there
    Stale,    // its shortcut or program is gone, or nothing uses it any more
    Orphaned, // the prefix it names does not exist any more
};

[[nodiscard]] QString kindText(MenuFileKind kind);
[[nodiscard]] QString verdictText(MenuVerdict verdict);

struct MenuFile {
    MenuFileKind kind = MenuFileKind::MenuEntry;
    QString name;          // as the menu shows it (Name=), else the file's name
    QString path;          // the file
    QString target;        // the shortcut (.lnk) or program it starts, as Windows names it
    QString workingFolder; // Path=: the folder the program starts in (its install folder)
    QString prefix;        // the prefix it belongs to, or the one it names; empty: none
    MenuVerdict verdict = MenuVerdict::Found;
    QString reason; // why it is stale or orphaned
    // Its value in the prefix's HKCU\Software\Wine\MenuFiles, or for an association its subkey
    // of HKCU\Software\Wine\FileOpenAssociations; empty when there is none.
    QString record;
    // For directories and icons: the files that use it. It goes only when all of them go.
    QStringList usedBy;

    [[nodiscard]] bool removable() const { return verdict != MenuVerdict::Found; }
};

// A prefix whose files are wanted: its folder and its registry (read only here).
struct MenuPrefix {
    QString path;
    Registry* registry = nullptr;
};

// Every file of the prefixes asked for, in the order the prefixes were given (menu entries and
// desktop links first, then the files that go with them), followed by the files of prefixes
// that are gone and the leftovers that no entry uses (prefix empty), when `withOrphans`.
struct MenuInventory {
    std::vector<MenuFile> files;

    [[nodiscard]] std::vector<const MenuFile*> ofPrefix(const QString& prefix) const;
    [[nodiscard]] std::vector<const MenuFile*> orphans() const; // verdict Orphaned or no prefix
};

// Only files in Wine's own places are ever looked at: those the prefixes' MenuFiles records
// name (when they lie in the user's folders or the prefix), applications/wine/,
// applications/wine-extension-* and wine-protocol-*, applications-merged/wine-*,
// desktop-directories/wine-*, mime/packages/x-wine-*, the desktop folder's .desktop files, and
// the icons these name; of the unrecorded ones, only those in Wine's exact form. No link is
// followed out of a folder.
[[nodiscard]] MenuInventory scanMenuFiles(const UserFolders& folders,
                                          const std::vector<MenuPrefix>& prefixes,
                                          bool withOrphans);

// HKCU keys of the records.
inline const QString kMenuFilesKey = QStringLiteral("Software\\Wine\\MenuFiles");
inline const QString kAssociationsKey = QStringLiteral("Software\\Wine\\FileOpenAssociations");

} // namespace nixora::menus
