#pragma once

#include "Clock.h"
#include "Entry.h"
#include "FileQuery.h"
#include "LiveRegistry.h"
#include "Prefix.h"
#include "Registry.h"
#include "UiServices.h"
#include "WindowState.h"
#include "menus/UserFolders.h"

#include <QString>

#include <memory>

namespace nixora
{

// The platform parts the commands use. A workspace opened on a prefix fills them with parts it
// owns; tests and benchmarks hand in their own. There is no default clock: every maker of a
// workspace names one.
struct Services {
    Registry* registry = nullptr; // the prefix's
    Registry* settings = nullptr; // Nixora's own preferences: the workspace's store of settingsFile
    FileQuery* files = nullptr;
    UiServices* ui = nullptr;
    ClockRef clock;
    QString prefixPath{};        // the Wine prefix (for running uninstallers)
    QString backupFolder{};      // <prefix>/nixora-backups, without a trailing slash
    QString programFolder{};     // folder of the nixora executable (readme.txt)
    QString regeditProgram{};    // path of nixora-regedit
    QString dataHome{};          // $XDG_DATA_HOME, home of the desktop trash; empty: no trash
    QString wineClientProgram{}; // path of nixora-wineclient.exe (joins a running wineserver)
    // The hive of Nixora's preferences (settings::defaultStoreFile() for the program); empty
    // keeps nothing, and every preference reads as on.
    QString settingsFile{};
    // The user's folders that hold the desktop's menu files (the window's user, or a test's
    // home); empty: none, and no menu file is ever touched.
    menus::UserFolders userFolders{};
};

// What the program found out about a prefix when it opened it; the window tells the user.
struct PrefixStatus {
    QString path;
    bool exists = true;
    QString error;                  // why the prefix path is unusable, if it is
    QString notAPrefix;             // why the folder is not a Wine prefix ("no system.reg")
    QString writeRefusal;           // why it is never written (another user's, ...), if it is not
    bool wineserverRunning = false; // Wine programs run in it (their wineserver owns the registry)
    RegistryAccess access = RegistryAccess::Files;
    QString readOnlyReason; // LastSave: why their wineserver cannot be joined
    QDateTime lastSaved;    // when Wine last wrote the hive files
};

// When Wine last saved the hive files, in local time ("2026-12-08 01:42:13"), for messages.
[[nodiscard]] QString savedAtText(const PrefixStatus& status);

// Whoever shows the lists: the logic tells it what changed. The window implements it with its
// own handlers; without a window, LogicOnlyView (view/LogicOnlyView.h) keeps the state as the
// window would.
class WorkspaceView
{
public:
    virtual ~WorkspaceView() = default;
    virtual void showSelectedPage() = 0;      // the selected tab's page and status text
    virtual void entrySelectionChanged() = 0; // after a row of the entry list was selected
    virtual void backupSelectionChanged() = 0;
    virtual void fillEntries() = 0; // refill the entry list
    virtual void fillBackups() = 0; // refill the backup list
    virtual void refresh() = 0;     // refill both, as View > Refresh does
};

// One prefix as the program works on it: its registry, file query and backup folder, and the
// state the window and the commands share, with the user's settings store beside it. Opening
// another prefix rebuilds the prefix's parts; the settings store and the view stay.
class Workspace
{
public:
    // Parts handed in (tests, benchmarks): the workspace owns none of them. The settings store is
    // opened on services.settingsFile.
    explicit Workspace(Services services);
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // Opens `prefix` with a registry and a prefix file query of its own, clears both lists and
    // the selections, and says what it found. The registry goes through the prefix's wineserver
    // while one runs (joining it is tried here), else to its hive files. The UI services, clock
    // and program folder stay as they were.
    PrefixStatus openPrefix(const Prefix& prefix);

    // Where the registry is read from now (a server may have started or ended since the prefix
    // was opened), with the reason and the files' time as PrefixStatus has them.
    [[nodiscard]] PrefixStatus currentStatus();
    // What currentStatus (or openPrefix) found last.
    [[nodiscard]] const PrefixStatus& status() const { return m_status; }

    // Reads the list preferences (friendly names, bold phantoms) from the settings store.
    void loadListPreferences();

    [[nodiscard]] WorkspaceView& view() const { return *m_view; }
    // The view must outlive the workspace or be replaced first; nullptr goes back to a view
    // that shows nothing.
    void setView(WorkspaceView* view);

    WindowState state;
    EntryList entries; // what the last fill of the entry list found; its rows show them
    Services services;

private:
    class NoView;
    std::unique_ptr<Registry> m_settings;
    std::unique_ptr<LiveRegistry> m_registry;
    PrefixStatus m_status;
    std::unique_ptr<FileQuery> m_files;
    std::unique_ptr<WorkspaceView> m_noView;
    WorkspaceView* m_view = nullptr;
};

// Refuses a change before anything is asked while the prefix is read-only (its wineserver runs
// and cannot be joined): says `lead` and why, and returns true. False when the change may go on.
[[nodiscard]] bool refusedWhileReadOnly(Workspace& ctx, const QString& lead);

} // namespace nixora
