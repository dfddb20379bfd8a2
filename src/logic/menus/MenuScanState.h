#pragma once

// The scan's working data, shared by the part that reads the folders and the part that decides
// whose each file is and what it is worth.
#include "menus/DesktopEntry.h"
#include "menus/MenuFiles.h"

#include <QHash>

#include <functional>
#include <memory>
#include <optional>

namespace nixora::menus
{

inline constexpr int kNobody = -1; // no requested prefix: someone else's, or no one's
inline constexpr int kOrphan = -2; // names a prefix that is gone

struct Candidate {
    MenuFile file;
    bool wineForm = false;              // the content is exactly as Wine writes it
    std::optional<WineCommand> command; // .desktop files: what Exec runs
    QString icon;                       // .desktop files: Icon=
    QStringList directories;            // .menu files: the .directory files it names
    QString menuName;                   // menu entries: the .menu file name Wine writes for it
    int owner = kNobody;                // index of the requested prefix, or kNobody, kOrphan
    QString recordTarget;               // the shortcut its MenuFiles record names
    // Where a file whose content has not been read yet lies: a .menu file or .directory file is
    // read only when its name and records do not already say what it holds.
    std::shared_ptr<const OpenFolder> unreadIn;
};

struct ScanState {
    explicit ScanState(const UserFolders& userFolders);

    UserFolders folders;               // with the links of each folder resolved
    std::vector<ConfinedFolder> roots; // the user's folders
    std::vector<Candidate> candidates;
    QHash<QString, qsizetype> byPath;
    QHash<QString, QStringList> iconFiles; // icon name -> its files, one per size
    QHash<QString, QStringList> iconUsers; // icon name -> the .desktop files that show it
    // .directory file name -> the folder name in it, for those the unread .menu files name
    QHash<QString, QString> directoryNames;

    // The folder that holds `path`, or nullptr when none of the roots does.
    [[nodiscard]] const ConfinedFolder* rootOf(const QString& path) const;
    // The folder at `path` opened below its root; not valid outside the roots.
    [[nodiscard]] OpenFolder open(const QString& folder) const;
    Candidate& add(Candidate candidate);
    // realPathOf, each folder resolved once.
    [[nodiscard]] QString realPath(const QString& path);

private:
    QHash<QString, QString> m_realFolders;
};

// The last component of a path.
[[nodiscard]] inline QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// Wine's own names for the files it writes, tested on the file name alone.
[[nodiscard]] bool isWineIconName(const QString& baseName);

// Reads every file of Wine's places into the state: .desktop and MIME package files as
// candidates, .menu and .directory files as candidates still unread, icons by name, and which
// .desktop shows which icon.
void collectFromDisk(ScanState& state);
// Reads the unread candidates `wanted` picks.
void readUnread(ScanState& state, const std::function<bool(const Candidate&)>& wanted);
// A .directory file a .menu file names, with the folder name Wine writes into it.
struct MenuDirectory {
    QString file;
    QString name;
};
// The .directory files Wine's .menu file for the menu entry at `relative` (below
// applications/wine, as "Programs/App/App.desktop") names: "wine-wine.directory" (Wine),
// "wine-Programs.directory" (Programs), "wine-Programs-App.directory" (App).
[[nodiscard]] std::vector<MenuDirectory> menuDirectoriesOf(const QString& relative);
// The candidate for a file a MenuFiles record names that the folders did not give (a file in
// the prefix, say, under its Public desktop), read from the root that holds it.
std::optional<Candidate> readRecordedFile(const ConfinedFolder& root, const QString& path,
                                          MenuFileKind kind);

// The inventory of a judged scan: each requested prefix's files, then (with `withOrphans`) those
// of prefixes that are gone and the leftovers no file uses; directories and icons listed with
// every group of files that uses them.
[[nodiscard]] MenuInventory
assembleInventory(ScanState& state, const std::vector<MenuPrefix>& prefixes, bool withOrphans);

// The directory a path lies in and the path with every link of that folder resolved; the last
// component is never followed. Empty when the folder does not exist.
[[nodiscard]] QString realPathOf(const QString& path);

} // namespace nixora::menus
