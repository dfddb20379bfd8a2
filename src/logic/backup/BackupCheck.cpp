#include "backup/BackupCheck.h"

#include "PrefixIdentity.h"

#include "RegFileReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

#include <utility>
#include <vector>

namespace nixora
{
namespace
{

// A key tree as a list: each key's full path with its values, depth first, keys before their
// subkeys. An export writes keys in this order, so the two lists of one key are equal.
using FlatKey = std::pair<QString, std::vector<RegNamedValue>>;

[[nodiscard]] std::vector<FlatKey> flatten(const RegKeySnapshot& top, const QString& topPath)
{
    std::vector<FlatKey> keys;
    std::vector<std::pair<const RegKeySnapshot*, QString>> stack{{&top, topPath}};
    while (!stack.empty()) {
        auto [key, path] = std::move(stack.back());
        stack.pop_back();
        keys.emplace_back(path, key->values);
        for (auto it = key->subkeys.rbegin(); it != key->subkeys.rend(); ++it)
            stack.emplace_back(&*it, path + u'\\' + it->name);
    }
    return keys;
}

[[nodiscard]] bool flatten(const std::vector<RegChange>& changes, RegRoot root,
                           std::vector<FlatKey>& keys)
{
    for (const RegChange& change : changes) {
        if (change.root != root)
            return false;
        if (change.kind == RegChange::Kind::CreateKey)
            keys.emplace_back(change.path, std::vector<RegNamedValue>{});
        else if (change.kind == RegChange::Kind::SetValue && !keys.empty() &&
                 keys.back().first == change.path)
            keys.back().second.push_back({change.name, change.value});
        else
            return false;
    }
    return true;
}

} // namespace

bool backupGivesKey(Registry& registry, const QString& file, RegRoot root, const QString& keyPath)
{
    const std::optional<RegKeySnapshot> key = registry.exportKey(root, keyPath);
    const RegParseResult parsed = readRegFile(file);
    if (!key || !parsed.ok())
        return false;
    std::vector<FlatKey> fromFile;
    return flatten(parsed.changes, root, fromFile) && fromFile == flatten(*key, keyPath);
}

QString prepareBackupFolder(const QString& folder)
{
    // A prefix that is never written gets no backups folder either (run as root, it would stay
    // root's in the user's prefix).
    if (QString refused = readOnlyReason(QFileInfo(folder).path()); !refused.isEmpty())
        return refused;
    struct stat info {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0) {
        if (errno == ENOENT && QDir().mkdir(folder))
            return {};
        return QStringLiteral("The backup folder %1 cannot be created.").arg(folder);
    }
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("The backup folder %1 is a symbolic link; Nixora does not follow "
                              "it. Move it aside to use a folder of its own.")
            .arg(folder);
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a folder.").arg(folder);
    return {};
}

bool isUsableBackupFolder(const QString& folder)
{
    struct stat info {
    };
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace nixora
