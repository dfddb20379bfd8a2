#include "menus/MenuCommands.h"

#include "menus/MenuRemoval.h"

#include <QDateTime>

#include <algorithm>

namespace nixora::menus
{
namespace
{

constexpr int kListedAtMost = 10;

[[nodiscard]] MenuPrefix openPrefix(Workspace& ctx)
{
    return {ctx.services.prefixPath, ctx.services.registry};
}

void say(UiServices& ui, const QString& text, MsgIcon icon = MsgIcon::Exclamation)
{
    ui.messageBox({text, QStringLiteral("Nixora"), MsgButtons::Ok, icon, MsgAnswer::Ok});
}

[[nodiscard]] bool ask(UiServices& ui, const QString& text)
{
    return ui.messageBox({text, QStringLiteral("Nixora"), MsgButtons::YesNo, MsgIcon::Question,
                          MsgAnswer::No}) == MsgAnswer::Yes;
}

// Removes each group with its own backup; the outcomes of all of them.
std::vector<MenuFileOutcome> removeGroups(Workspace& ctx,
                                          const std::vector<MenuRemovalGroup>& groups)
{
    std::vector<MenuFileOutcome> outcomes;
    for (const MenuRemovalGroup& group : groups) {
        const QString folder =
            group.prefix ? ctx.services.backupFolder : ctx.services.userFolders.orphanBackups();
        MenuRemovalResult result =
            removeMenuFiles({ctx.services.userFolders, group.files, group.prefix, folder,
                             ctx.services.clock.now()});
        if (result.outcomes.empty() && !result.refused.isEmpty()) {
            for (const MenuFile& file : group.files)
                outcomes.push_back({file, result.refused});
        }
        std::move(result.outcomes.begin(), result.outcomes.end(), std::back_inserter(outcomes));
    }
    return outcomes;
}

// Says what was kept and why; a removal that kept nothing is not announced.
void sayKept(UiServices& ui, const std::vector<MenuFileOutcome>& outcomes)
{
    const auto kept = std::count_if(outcomes.begin(), outcomes.end(),
                                    [](const MenuFileOutcome& o) { return !o.removed(); });
    if (kept == 0)
        return;
    QString text = QStringLiteral("Removed %1 menu files.\nKept %2:")
                       .arg(static_cast<qsizetype>(outcomes.size()) - kept)
                       .arg(kept);
    int listed = 0;
    for (const MenuFileOutcome& outcome : outcomes) {
        if (outcome.removed())
            continue;
        if (listed++ == kListedAtMost) {
            text += QStringLiteral("\n...");
            break;
        }
        text += QStringLiteral("\n'%1': %2").arg(outcome.file.path, outcome.reason);
    }
    say(ui, text);
}

[[nodiscard]] int countFiles(const std::vector<MenuRemovalGroup>& groups, bool ofPrefixes)
{
    int count = 0;
    for (const MenuRemovalGroup& group : groups) {
        if ((group.prefix != nullptr) == ofPrefixes)
            count += static_cast<int>(group.files.size());
    }
    return count;
}

// "C:\Program Files\App" from the folder a menu entry starts in,
// <prefix>/dosdevices/c:/Program Files/App, as Wine writes it there.
[[nodiscard]] QString windowsFolderOf(const QString& workingFolder)
{
    const qsizetype drives = workingFolder.indexOf(QStringLiteral("/dosdevices/"));
    return drives < 0 ? QString() : workingFolder.mid(drives + 12).replace(u'/', u'\\');
}

[[nodiscard]] bool isBelow(const QString& path, QString folder)
{
    if (folder.isEmpty() || path.isEmpty())
        return false;
    if (!folder.endsWith(u'\\'))
        folder += u'\\';
    return (path + u'\\').startsWith(folder, Qt::CaseInsensitive);
}

} // namespace

MenuInventory menuInventoryOf(Workspace& ctx)
{
    return scanMenuFiles(ctx.services.userFolders, {openPrefix(ctx)}, true);
}

bool removeStaleMenuFiles_Click(Workspace& ctx, const MenuInventory& inventory)
{
    UiServices& ui = *ctx.services.ui;
    const std::vector<MenuPrefix> prefixes{openPrefix(ctx)};
    const std::vector<MenuRemovalGroup> groups = staleRemovalGroups(inventory, prefixes, true);
    if (groups.empty()) {
        say(ui, QStringLiteral("There are no stale menu entries."), MsgIcon::Question);
        return false;
    }
    QString question = QStringLiteral("Remove the %1 stale menu files of the Wine prefix\n%2")
                           .arg(countFiles(groups, true))
                           .arg(ctx.services.prefixPath);
    if (const int orphans = countFiles(groups, false); orphans > 0)
        question +=
            QStringLiteral("\nand the %1 files of Wine prefixes that are gone").arg(orphans);
    question += QStringLiteral("?\n\nEach file is backed up first and can be restored from the "
                               "restore page.");
    if (!ask(ui, question))
        return false;
    ui.setMousePointer(kPointerHourglass);
    const std::vector<MenuFileOutcome> outcomes = removeGroups(ctx, groups);
    ctx.view().fillBackups();
    ui.setMousePointer(kPointerDefault);
    sayKept(ui, outcomes);
    return std::any_of(outcomes.begin(), outcomes.end(),
                       [](const MenuFileOutcome& o) { return o.removed(); });
}

std::vector<const MenuFile*> filesLeftBy(const MenuInventory& before, const MenuInventory& after,
                                         const QString& prefix, const QString& installFolder)
{
    QSet<QString> foundBefore;
    for (const MenuFile& file : before.files) {
        if (file.verdict == MenuVerdict::Found)
            foundBefore.insert(file.path);
    }
    std::vector<const MenuFile*> left;
    for (const MenuFile* file : staleFiles(after, prefix, false)) {
        const bool derived =
            file->kind == MenuFileKind::Directory || file->kind == MenuFileKind::Icon;
        if (!derived && (foundBefore.contains(file->path) || isBelow(file->target, installFolder) ||
                         isBelow(windowsFolderOf(file->workingFolder), installFolder)))
            left.push_back(file);
    }
    return left;
}

void offerStaleMenuFiles(Workspace& ctx, const MenuInventory& after,
                         const std::vector<const MenuFile*>& files, const QString& entryName)
{
    if (files.empty())
        return;
    UiServices& ui = *ctx.services.ui;
    QStringList names;
    for (const MenuFile* file : files) {
        if (file->kind != MenuFileKind::Menu && !names.contains(file->name))
            names << file->name;
    }
    QString question = QStringLiteral("The uninstallation program of '%1' left %2 menu entries "
                                      "that start nothing:\n")
                           .arg(entryName)
                           .arg(names.size());
    question += names.mid(0, kListedAtMost).join(u'\n');
    if (names.size() > kListedAtMost)
        question += QStringLiteral("\n...");
    question += QStringLiteral("\n\nDo you want to remove them from the desktop's menus?");
    ui.setMousePointer(kPointerDefault);
    if (!ask(ui, question))
        return;
    ui.setMousePointer(kPointerHourglass);
    const MenuPrefix prefix = openPrefix(ctx);
    const std::vector<MenuFileOutcome> outcomes =
        removeGroups(ctx, {MenuRemovalGroup{&prefix, removalPlan(after, files)}});
    ui.setMousePointer(kPointerDefault);
    sayKept(ui, outcomes);
    ui.setMousePointer(kPointerHourglass);
}

} // namespace nixora::menus
