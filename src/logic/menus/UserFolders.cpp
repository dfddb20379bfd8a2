#include "menus/UserFolders.h"

#include <QDir>
#include <QFileInfo>

namespace nixora::menus
{
namespace
{

// XDG_DESKTOP_DIR="$HOME/Desktop" as xdg-user-dirs writes it: a path relative to $HOME or an
// absolute one, in double quotes; anything else is ignored, as xdg-user-dir ignores it.
QString desktopFromUserDirs(const prefixes::DiscoveryInput& input, const QString& configHome)
{
    prefixes::Findings ignored;
    const std::optional<QByteArray> text =
        prefixes::readConfigFile(configHome + QStringLiteral("/user-dirs.dirs"), ignored);
    if (!text)
        return {};
    for (const QByteArray& raw : text->split('\n')) {
        const QString line = QString::fromUtf8(raw.trimmed());
        const QString key = QStringLiteral("XDG_DESKTOP_DIR=\"");
        if (!line.startsWith(key) || !line.endsWith(u'"') || line.size() <= key.size())
            continue;
        QString value = line.mid(key.size(), line.size() - key.size() - 1);
        if (value.startsWith(QStringLiteral("$HOME")))
            value = input.home + value.mid(5);
        if (QDir::isAbsolutePath(value))
            return QDir::cleanPath(value);
    }
    return {};
}

} // namespace

UserFolders UserFolders::from(const prefixes::DiscoveryInput& input)
{
    UserFolders folders;
    folders.home = QDir::cleanPath(input.home);
    folders.dataHome = QDir::cleanPath(input.xdgDataHome());
    folders.configHome = QDir::cleanPath(input.xdgConfigHome());
    folders.desktop = desktopFromUserDirs(input, folders.configHome);
    if (folders.desktop.isEmpty())
        folders.desktop = folders.home + QStringLiteral("/Desktop");
    if (!QFileInfo(folders.desktop).isDir())
        folders.desktop = folders.home;
    return folders;
}

std::vector<ConfinedFolder> UserFolders::confined() const
{
    std::vector<ConfinedFolder> folders;
    for (const QString& root : {dataHome, configHome, desktop}) {
        if (!root.isEmpty() && root != u"/")
            folders.emplace_back(root);
    }
    return folders;
}

} // namespace nixora::menus
