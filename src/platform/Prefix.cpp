#include "Prefix.h"

#include <QDir>
#include <QFileInfo>

namespace nixora
{

Prefix::Prefix(QString path) : m_path(std::move(path)) {}

Prefix Prefix::fromEnvironment()
{
    QString path = qEnvironmentVariable("WINEPREFIX");
    if (path.isEmpty())
        return Prefix(QDir::homePath() + QStringLiteral("/.wine"));
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    Prefix prefix(path);
    if (!QDir::isAbsolutePath(path))
        prefix.m_error = QStringLiteral("WINEPREFIX must be an absolute path: %1").arg(path);
    return prefix;
}

Prefix Prefix::fromCommandLine(const QString& dir)
{
    if (dir.isEmpty()) {
        Prefix prefix(dir);
        prefix.m_error = QStringLiteral("--prefix needs a folder");
        return prefix;
    }
    return Prefix(QDir::cleanPath(QDir::current().absoluteFilePath(dir)));
}

QString Prefix::systemHive() const
{
    return m_path + QStringLiteral("/system.reg");
}

QString Prefix::userHive() const
{
    return m_path + QStringLiteral("/user.reg");
}

QString Prefix::backupFolder() const
{
    return m_path + QStringLiteral("/nixora-backups");
}

bool Prefix::exists() const
{
    return m_error.isEmpty() && QFileInfo(m_path).isDir();
}

} // namespace nixora
