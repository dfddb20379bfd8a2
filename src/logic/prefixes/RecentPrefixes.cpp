#include "prefixes/RecentPrefixes.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace nixora::prefixes
{
namespace
{
const QString kKey = QStringLiteral("recent/prefixes");
}

RecentPrefixes::RecentPrefixes(QString settingsFile) : m_file(std::move(settingsFile)) {}

DiscoveryInput userDiscoveryInput(const QString& recentFile)
{
    DiscoveryInput input;
    input.home = QDir::homePath();
    input.environment = QProcessEnvironment::systemEnvironment();
    input.recent = RecentPrefixes(recentFile).list();
    return input;
}

QString RecentPrefixes::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) +
           QStringLiteral("/nixora/recent-prefixes.conf");
}

QStringList RecentPrefixes::list() const
{
    if (!QFileInfo::exists(m_file))
        return {}; // QSettings would create nothing, but there is nothing to read either
    const QSettings settings(m_file, QSettings::IniFormat);
    QStringList paths = settings.value(kKey).toStringList();
    paths.removeAll(QString());
    return paths.mid(0, kMaxRecent);
}

bool RecentPrefixes::remember(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    QStringList paths = list();
    paths.removeAll(clean);
    paths.prepend(clean);
    QSettings settings(m_file, QSettings::IniFormat);
    settings.setValue(kKey, paths.mid(0, kMaxRecent));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString chooseStartupPrefix(const QString& optionPrefix, const QProcessEnvironment& environment,
                            const QStringList& recent, const QString& home)
{
    if (!optionPrefix.isEmpty())
        return optionPrefix;
    const QString named = environment.value(QStringLiteral("WINEPREFIX"));
    if (!named.isEmpty())
        return named;
    if (!recent.isEmpty() && QFileInfo(recent.first()).isDir())
        return recent.first();
    return home + QStringLiteral("/.wine");
}

} // namespace nixora::prefixes
