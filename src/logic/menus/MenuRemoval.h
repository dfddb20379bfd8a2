#pragma once

#include "menus/MenuFiles.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace nixora::menus
{

// The files to remove for the ones asked for: those, the .menu beside each menu entry and the
// MIME package beside each association, and every .directory file and icon that only removed
// files use. A file is never planned twice; found files are never planned at all.
[[nodiscard]] std::vector<MenuFile> removalPlan(const MenuInventory& inventory,
                                                const std::vector<const MenuFile*>& chosen);

// The stale and orphaned files worth removing: those of `prefix` (none when it is empty) and,
// with `withOrphans`, those of prefixes that are gone and the leftovers.
[[nodiscard]] std::vector<const MenuFile*> staleFiles(const MenuInventory& inventory,
                                                      const QString& prefix, bool withOrphans);

// The removal plan of every stale file of the prefixes (and, with `withOrphans`, of the files
// of prefixes that are gone and the leftovers), worked out as one so that a .directory file or
// icon that only removed files of several groups use goes too, then split into one group per
// prefix (each gets its own backup) and one for the rest (prefix nullptr).
struct MenuRemovalGroup {
    const MenuPrefix* prefix = nullptr;
    std::vector<MenuFile> files;
};
[[nodiscard]] std::vector<MenuRemovalGroup>
staleRemovalGroups(const MenuInventory& inventory, const std::vector<MenuPrefix>& prefixes,
                   bool withOrphans);

struct MenuRemovalRequest {
    UserFolders folders;
    std::vector<MenuFile> files; // a removal plan
    // The prefix whose records go with the files; nullptr for the files of prefixes that are
    // gone (they have no records to change).
    const MenuPrefix* prefix = nullptr;
    QString backupFolder; // the prefix's backup folder, or UserFolders::orphanBackups()
    QDateTime now;
};

struct MenuFileOutcome {
    MenuFile file;
    QString reason; // why it was kept; empty when it was removed

    [[nodiscard]] bool removed() const { return reason.isEmpty(); }
};

struct MenuRemovalResult {
    QString refused; // nothing was touched, and why
    QString backupFile;
    std::vector<MenuFileOutcome> outcomes;

    [[nodiscard]] int removedCount() const;
    [[nodiscard]] int keptCount() const;
};

// Backs the files up (one backup, read back before anything goes), takes their records out of
// the prefix's registry in one write, removes the files and the folders of applications/wine
// that are left empty, and has the desktop's caches rebuilt. Nothing is removed when the backup
// or the registry write fails. No link is followed out of the user's folders or the prefix.
[[nodiscard]] MenuRemovalResult removeMenuFiles(const MenuRemovalRequest& request);

// Runs update-desktop-database and update-mime-database on the user's folders, where the
// programs and the folders are there, so the desktop shows what the files now say.
void refreshDesktopCaches(const UserFolders& folders);

// A title for the backup of these files, as the restore page shows it.
[[nodiscard]] QString backupTitle(const std::vector<MenuFile>& files);

} // namespace nixora::menus
