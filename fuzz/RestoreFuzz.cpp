#include "FuzzTargets.h"
#include "ScratchPrefix.h"

#include "HiveFile.h"
#include "HiveText.h"
#include "RegeditTool.h"
#include "WineRegistry.h"
#include "backup/RestoreDelete.h"

#include <QMap>

#include <memory>
#include <utility>
#include <vector>

namespace nixora::fuzz
{
namespace
{

// True when the key at `path` lies strictly below one of the keys a restore may write to.
[[nodiscard]] bool restorable(RegRoot root, const QString& path, bool wow64View)
{
    for (const RestorableKey& key : restorableKeys(wow64View)) {
        if (key.root == root && path.size() > key.path.size() &&
            hive::startsWithName(path, key.path))
            return true;
    }
    return false;
}

// True for the keys a restore must create on the way to an entry key (an Uninstall key and the
// keys above it), which a fresh hive may lack.
[[nodiscard]] bool onTheWayToRestorable(RegRoot root, const QString& path, bool wow64View)
{
    for (const RestorableKey& key : restorableKeys(wow64View)) {
        if (key.root == root && (path.isEmpty() || hive::startsWithName(key.path, path + u'\\')))
            return true;
    }
    return false;
}

// Every key of the hive outside the restorable keys, with its values as text; walked with a
// stack of our own, as the fuzzer may build deep keys.
[[nodiscard]] QMap<QString, QByteArray> keysOutside(const QByteArray& bytes, RegRoot root,
                                                    bool wow64View)
{
    QMap<QString, QByteArray> keys;
    std::unique_ptr<HiveFile> hive = HiveFile::parse(bytes);
    if (!hive)
        return {{QStringLiteral("<unparsable>"), bytes}};
    std::vector<std::pair<HiveKey*, QString>> stack{{hive->root(), QString()}};
    while (!stack.empty()) {
        auto [key, path] = std::move(stack.back());
        stack.pop_back();
        if (restorable(root, path, wow64View))
            continue;
        QByteArray values;
        for (const HiveValue& value : hive->values(key))
            values += value.name.toUtf8() + '=' + QByteArray::number(value.value.type) + ':' +
                      value.value.data.toHex() + value.rawText + '\n';
        // A restore may create the keys leading to an entry key, with no values of their own.
        if (!values.isEmpty() || !onTheWayToRestorable(root, path, wow64View))
            keys.insert(path, values);
        for (HiveKey* child : key->children)
            stack.emplace_back(child, path.isEmpty() ? child->name : path + u'\\' + child->name);
    }
    return keys;
}

[[nodiscard]] QString firstChange(const QMap<QString, QByteArray>& before,
                                  const QMap<QString, QByteArray>& after, const char* hiveName)
{
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (!before.contains(it.key()))
            return QStringLiteral("%1: key created outside the Uninstall keys: %2")
                .arg(QLatin1String(hiveName), it.key());
        if (before.value(it.key()) != it.value())
            return QStringLiteral("%1: values changed outside the Uninstall keys: %2")
                .arg(QLatin1String(hiveName), it.key());
    }
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            return QStringLiteral("%1: key deleted outside the Uninstall keys: %2")
                .arg(QLatin1String(hiveName), it.key());
    }
    return {};
}

} // namespace

QString restoreBackup(QByteArrayView input)
{
    ScratchPrefix& prefix = scratch();
    const QString backup = prefix.file("backup.reg");
    ScratchPrefix::write(backup, input.toByteArray());
    // What a restore does: the check, then the import nixora-regedit /S runs.
    WineRegistry registry{Prefix(prefix.path())};
    const bool wow64View = registry.hasWow64View();
    if (isUninstallEntryBackup(backup, wow64View))
        (void)importRegFile(registry, backup);
    const QString failure = firstChange(keysOutside(kSystemHive, RegRoot::LocalMachine, wow64View),
                                        keysOutside(ScratchPrefix::read(prefix.file("system.reg")),
                                                    RegRoot::LocalMachine, wow64View),
                                        "system.reg") +
                            firstChange(keysOutside(kUserHive, RegRoot::CurrentUser, wow64View),
                                        keysOutside(ScratchPrefix::read(prefix.file("user.reg")),
                                                    RegRoot::CurrentUser, wow64View),
                                        "user.reg");
    prefix.reset();
    return failure;
}

} // namespace nixora::fuzz
