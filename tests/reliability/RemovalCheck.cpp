#include "RemovalCheck.h"

#include "EntrySource.h"
#include "HiveFile.h"
#include "RegFileReader.h"
#include "WineRegistry.h"
#include "backup/BackupCheck.h"

#include <QDir>
#include <QFile>

#include <map>

namespace nixora::reliability
{
namespace
{

[[nodiscard]] const EntrySource& sourceOf(int index, int count)
{
    return entrySource(index < count * 2 / 3 ? SourceKind::Machine : SourceKind::User);
}

[[nodiscard]] QString subkeyOf(int index)
{
    return QStringLiteral("Phantom%1").arg(index, 4, 10, QLatin1Char('0'));
}

// "HKLM\<path>" or "HKCU\<path>" of the first key a backup file creates.
[[nodiscard]] QString keyOfBackup(const QString& file, bool& readable)
{
    const RegParseResult parsed = readRegFile(file);
    readable = parsed.ok() && !parsed.changes.empty();
    if (!readable)
        return {};
    const RegChange& first = parsed.changes.front();
    return (first.root == RegRoot::LocalMachine ? QStringLiteral("HKLM\\")
                                                : QStringLiteral("HKCU\\")) +
           first.path;
}

} // namespace

bool writePhantomPrefix(const QString& folder, int count)
{
    QDir().mkpath(folder + QStringLiteral("/drive_c"));
    QDir().mkpath(folder + QStringLiteral("/dosdevices"));
    if (!QFile::link(QStringLiteral("../drive_c"), folder + QStringLiteral("/dosdevices/c:")))
        return false;
    for (const RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
        QFile hive(folder + (root == RegRoot::LocalMachine ? QStringLiteral("/system.reg")
                                                           : QStringLiteral("/user.reg")));
        if (!hive.open(QIODevice::WriteOnly) ||
            hive.write(HiveFile::emptyHiveText(root, "win64")) < 0)
            return false;
    }
    std::vector<RegChange> changes;
    for (int i = 0; i < count; ++i) {
        const EntrySource& source = sourceOf(i, count);
        const QString path = source.entryPath(subkeyOf(i));
        const auto text = [&](const char* name, const QString& value) {
            changes.push_back({RegChange::Kind::SetValue, source.root, path, QLatin1String(name),
                               makeStringValue(value)});
        };
        text("DisplayName", QStringLiteral("Phantom application %1").arg(i));
        text("UninstallString", QStringLiteral("C:\\Program Files\\Gone %1\\uninst.exe").arg(i));
        text("DisplayVersion", QStringLiteral("1.%1").arg(i));
        changes.push_back({RegChange::Kind::SetValue, source.root, path + QStringLiteral("\\Sub"),
                           QStringLiteral("Index"), makeDwordValue(uint32_t(i))});
    }
    WineRegistry registry{Prefix(folder)};
    return registry.apply(changes).ok();
}

QString RemovalCheck::summary() const
{
    return QStringLiteral("in hive %1, in one backup %2, in several backups %3, in hive and a "
                          "backup %4, lost %5, bad backups %6")
        .arg(inHive)
        .arg(inOneBackup)
        .arg(inSeveralBackups)
        .arg(inHiveAndBackup)
        .arg(lost)
        .arg(badBackups);
}

RemovalCheck checkRemovals(const QString& original, const QString& prefix)
{
    WineRegistry before{Prefix(original)};
    WineRegistry after{Prefix(prefix)};
    RemovalCheck check;
    std::map<QString, int> backups;
    const QString folder = prefix + QStringLiteral("/nixora-backups");
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.reg")}, QDir::Files)) {
        bool readable = false;
        const QString key = keyOfBackup(folder + u'/' + name, readable);
        const RegRoot root = key.startsWith(u"HKLM") ? RegRoot::LocalMachine : RegRoot::CurrentUser;
        if (!readable || !backupGivesKey(before, folder + u'/' + name, root, key.mid(5)))
            ++check.badBackups;
        else
            ++backups[key];
    }
    for (const RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
        const EntrySource& source =
            entrySource(root == RegRoot::LocalMachine ? SourceKind::Machine : SourceKind::User);
        for (uint32_t i = 0;; ++i) {
            const std::optional<QString> subkey = before.subkeyName(root, source.uninstallPath, i);
            if (!subkey)
                break;
            const QString path = source.entryPath(*subkey);
            const bool inHive = after.keyExists(root, path);
            const int copies = backups[(root == RegRoot::LocalMachine ? QStringLiteral("HKLM\\")
                                                                      : QStringLiteral("HKCU\\")) +
                                       path];
            if (copies > 1)
                ++check.inSeveralBackups;
            else if (inHive && copies == 1)
                ++check.inHiveAndBackup;
            else if (inHive)
                ++check.inHive;
            else if (copies == 1)
                ++check.inOneBackup;
            else
                ++check.lost;
        }
    }
    return check;
}

} // namespace nixora::reliability
