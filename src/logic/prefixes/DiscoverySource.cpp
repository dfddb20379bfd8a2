#include "prefixes/DiscoverySource.h"

#include "RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora::prefixes
{

QString DiscoveryInput::xdgDataHome() const
{
    const QString value = environment.value(QStringLiteral("XDG_DATA_HOME"));
    return QDir::isAbsolutePath(value) ? value : home + QStringLiteral("/.local/share");
}

QString DiscoveryInput::xdgConfigHome() const
{
    const QString value = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    return QDir::isAbsolutePath(value) ? value : home + QStringLiteral("/.config");
}

QString DiscoveryInput::expandHome(const QString& path) const
{
    if (path == u'~')
        return home;
    if (path.startsWith(QStringLiteral("~/")))
        return home + path.mid(1);
    return path;
}

void Findings::add(const QString& path, const QString& name, const QString& source, bool named)
{
    candidates.push_back({path, name, source, named});
}

void Findings::warn(const QString& where, const QString& reason)
{
    warnings << QStringLiteral("%1: %2").arg(where, reason);
}

std::optional<QByteArray> readConfigFile(const QString& path, Findings& findings)
{
    QByteArray bytes;
    const FileRead read = readRegularFile(path, kMaxConfigFileSize, bytes);
    switch (read.status) {
    case FileReadStatus::Ok:
        return bytes;
    case FileReadStatus::CannotOpen:
        if (read.systemError != ENOENT)
            findings.warn(path, read.error);
        break;
    case FileReadStatus::NotRegular:
        findings.warn(path, QStringLiteral("not a regular file"));
        break;
    case FileReadStatus::TooLarge:
        findings.warn(path, QStringLiteral("larger than 1 MB, not read"));
        break;
    case FileReadStatus::ReadError:
        findings.warn(path, QStringLiteral("cannot be read"));
        break;
    }
    return std::nullopt;
}

QStringList folderEntries(const QString& folder)
{
    const QDir dir(folder);
    // QDir::System lists dangling links, which the Dirs filter alone would hide.
    const QStringList names = dir.entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QStringList paths;
    paths.reserve(names.size());
    for (const QString& name : names)
        paths << dir.filePath(name);
    return paths;
}

QString folderProblem(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QFileInfo target(info.symLinkTarget());
        if (target.isSymLink())
            return QStringLiteral("%1 is a link to a link (a loop?); only one level is followed")
                .arg(path);
        if (!target.exists())
            return QStringLiteral("%1 is a link to %2, which is missing")
                .arg(path, target.filePath());
    }
    if (!info.exists())
        return QStringLiteral("%1 is missing").arg(path);
    if (!info.isDir())
        return QStringLiteral("%1 is not a folder").arg(path);
    if (info.canonicalFilePath().isEmpty())
        return QStringLiteral("%1 cannot be resolved (a loop?)").arg(path);
    return {};
}

bool usableFolder(const QString& path, const QString& namedIn, Findings& findings)
{
    const QString problem = folderProblem(path);
    if (problem.isEmpty())
        return true;
    findings.warn(namedIn, problem);
    return false;
}

QString lastComponent(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    return trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
}

} // namespace nixora::prefixes
