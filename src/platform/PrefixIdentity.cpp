#include "PrefixIdentity.h"

#include "DurableFile.h"
#include "Prefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

// A folder that is a whole prefix of its own: Wine's hive and the C: drive beside it.
[[nodiscard]] bool isWholePrefix(const QString& folder)
{
    return notAPrefixReason(folder).isEmpty() &&
           QFileInfo(folder + QStringLiteral("/drive_c")).isDir();
}

[[nodiscard]] QString userName(uid_t uid)
{
    const passwd* entry = ::getpwuid(uid);
    return entry != nullptr ? QString::fromLocal8Bit(entry->pw_name)
                            : QStringLiteral("uid %1").arg(uid);
}

[[nodiscard]] QString foreignOwner(const QString& folder)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0 || info.st_uid == ::geteuid())
        return {};
    return QStringLiteral("The Wine prefix %1 belongs to %2; Nixora does not write a prefix of "
                          "another user (run it as %2).")
        .arg(folder, userName(info.st_uid));
}

} // namespace

std::optional<HiveIdentity> hiveIdentity(const QString& hivePath)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(hivePath).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return HiveIdentity{info.st_dev, info.st_ino};
}

QString registryOwner(const QString& folder)
{
    const QString own = QFileInfo(folder).canonicalFilePath();
    if (own.isEmpty())
        return {};
    for (const QString& name : {QStringLiteral("system.reg"), QStringLiteral("user.reg")}) {
        const QFileInfo real(FileReplacement::realPath(folder + u'/' + name));
        const QString holder = real.absolutePath();
        if (holder != own && real.fileName() == name && isWholePrefix(holder))
            return holder;
    }
    return {};
}

QString readOnlyReason(const QString& folder)
{
    if (QString foreign = foreignOwner(folder); !foreign.isEmpty())
        return foreign;
    if (const QString owner = registryOwner(folder); !owner.isEmpty())
        return QStringLiteral("The registry of %1 is that of the Wine prefix %2 (its hives are "
                              "links there); its entries are judged, removed and backed up "
                              "there, never here.")
            .arg(folder, owner);
    return {};
}

} // namespace nixora
