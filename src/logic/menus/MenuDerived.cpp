// The files that other files use (folders' .directory files, icons), and the order of the list.
#include "menus/MenuScanState.h"

#include <QSet>

#include <algorithm>
#include <map>

namespace nixora::menus
{
namespace
{

// The inventory being built, one bucket per group of files.
struct Buckets {
    std::vector<std::vector<MenuFile>> prefixes; // in the order they were asked for
    std::map<QString, std::vector<MenuFile>> gone;
    std::vector<MenuFile> leftovers;
    QHash<QString, size_t> indexOf;
    bool withOrphans = false;

    void add(MenuFile file)
    {
        if (const auto found = indexOf.constFind(file.prefix);
            found != indexOf.cend() && file.verdict != MenuVerdict::Orphaned)
            prefixes[*found].push_back(std::move(file));
        else if (!withOrphans)
            return;
        else if (file.verdict == MenuVerdict::Orphaned)
            gone[file.prefix].push_back(std::move(file));
        else if (file.prefix.isEmpty())
            leftovers.push_back(std::move(file));
    }
};

// How a file that uses another one stands: owned by a group (and removable or not), or in use
// by something that is not ours to remove.
struct UserView {
    bool owned = false;
    bool removable = false;
    QString group;
};

[[nodiscard]] UserView viewOf(const ScanState& state, const QString& path)
{
    const auto found = state.byPath.constFind(path);
    if (found == state.byPath.cend())
        return {};
    const Candidate& user = state.candidates[static_cast<size_t>(*found)];
    if (user.owner == kNobody)
        return {};
    return {true, user.file.removable(), user.file.prefix};
}

// One derived file, listed with each group that uses it; one no file uses is a leftover.
void addDerived(Buckets& buckets, const ScanState& state, MenuFile file, const QStringList& users,
                const QString& unusedReason)
{
    file.usedBy = users;
    if (users.isEmpty()) {
        file.verdict = MenuVerdict::Stale;
        file.reason = unusedReason;
        buckets.add(std::move(file));
        return;
    }
    bool inUse = false;
    QStringList groups;
    for (const QString& user : users) {
        const UserView view = viewOf(state, user);
        inUse = inUse || !view.owned || !view.removable;
        if (view.owned && !groups.contains(view.group))
            groups << view.group;
    }
    for (const QString& group : groups) {
        MenuFile copy = file;
        copy.prefix = group;
        const bool gone = !buckets.indexOf.contains(group);
        if (inUse && gone)
            continue; // a file of a live program uses it: it is not the dead prefix's
        copy.verdict = inUse  ? MenuVerdict::Found
                       : gone ? MenuVerdict::Orphaned
                              : MenuVerdict::Stale;
        if (!inUse)
            copy.reason = QStringLiteral("only files that go use it");
        buckets.add(std::move(copy));
    }
}

void addDirectories(Buckets& buckets, const ScanState& state)
{
    QHash<QString, QStringList> usersOf;
    for (const Candidate& menu : state.candidates) {
        if (menu.file.kind != MenuFileKind::Menu)
            continue;
        for (const QString& directory : menu.directories)
            usersOf[directory] << menu.file.path;
    }
    for (const Candidate& directory : state.candidates) {
        if (directory.file.kind == MenuFileKind::Directory && directory.wineForm)
            addDerived(buckets, state, directory.file,
                       usersOf.value(fileNameOf(directory.file.path)),
                       QStringLiteral("no menu uses it"));
    }
}

void addIcons(Buckets& buckets, const ScanState& state)
{
    const QString mimeIcon = QStringLiteral("application-x-wine-extension-");
    for (auto it = state.iconFiles.cbegin(); it != state.iconFiles.cend(); ++it) {
        QStringList users = state.iconUsers.value(it.key());
        if (it.key().startsWith(mimeIcon)) {
            const QString package = state.folders.mimePackages() +
                                    QStringLiteral("/x-wine-extension-") +
                                    it.key().mid(mimeIcon.size()) + QStringLiteral(".xml");
            if (state.byPath.contains(package))
                users << package;
        }
        for (const QString& path : it.value()) {
            MenuFile icon;
            icon.kind = MenuFileKind::Icon;
            icon.path = path;
            icon.name = QStringLiteral("%1 (%2)").arg(it.key(), path.section(u'/', -3, -3));
            addDerived(buckets, state, icon, users, QStringLiteral("no menu entry uses it"));
        }
    }
}

// A .menu in Wine's form that no record names and whose menu entry is gone shows an empty item.
[[nodiscard]] bool isLeftoverMenu(const Candidate& candidate, const QSet<QString>& menuNames)
{
    return candidate.file.kind == MenuFileKind::Menu && candidate.owner == kNobody &&
           candidate.wineForm && !menuNames.contains(fileNameOf(candidate.file.path));
}

void addPrimaries(Buckets& buckets, const ScanState& state)
{
    QSet<QString> menuNames;
    for (const Candidate& candidate : state.candidates) {
        if (!candidate.menuName.isEmpty())
            menuNames.insert(candidate.menuName);
    }
    for (const Candidate& candidate : state.candidates) {
        if (candidate.file.kind == MenuFileKind::Directory)
            continue;
        if (candidate.owner != kNobody) {
            buckets.add(candidate.file);
        } else if (isLeftoverMenu(candidate, menuNames)) {
            MenuFile file = candidate.file;
            file.verdict = MenuVerdict::Stale;
            file.reason = QStringLiteral("its menu entry is gone");
            buckets.add(std::move(file));
        }
    }
}

void sortByKindAndPath(std::vector<MenuFile>& files)
{
    std::stable_sort(files.begin(), files.end(), [](const MenuFile& a, const MenuFile& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.path < b.path;
    });
}

} // namespace

MenuInventory assembleInventory(ScanState& state, const std::vector<MenuPrefix>& prefixes,
                                bool withOrphans)
{
    Buckets buckets;
    buckets.withOrphans = withOrphans;
    buckets.prefixes.resize(prefixes.size());
    for (size_t i = 0; i < prefixes.size(); ++i)
        buckets.indexOf.insert(prefixes[i].path, i);
    addPrimaries(buckets, state);
    addDirectories(buckets, state);
    addIcons(buckets, state);

    MenuInventory inventory;
    const auto append = [&inventory](std::vector<MenuFile>& files) {
        sortByKindAndPath(files);
        std::move(files.begin(), files.end(), std::back_inserter(inventory.files));
    };
    for (std::vector<MenuFile>& files : buckets.prefixes)
        append(files);
    for (auto& [prefix, files] : buckets.gone)
        append(files);
    append(buckets.leftovers);
    return inventory;
}

} // namespace nixora::menus
