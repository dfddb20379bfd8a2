#pragma once

#include "ConfinedFolder.h"
#include "prefixes/DiscoverySource.h"

#include <QString>

#include <vector>

namespace nixora::menus
{

// The user's own folders that Wine's menu builder writes into, as the XDG base directory rules
// and xdg-user-dirs name them. Nothing outside these (and the prefixes) is ever changed.
struct UserFolders {
    QString home;
    QString dataHome;   // $XDG_DATA_HOME, else ~/.local/share
    QString configHome; // $XDG_CONFIG_HOME, else ~/.config
    // Where desktop links go: XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop; Wine links a
    // prefix's Desktop folder to the home folder itself when that folder does not exist.
    QString desktop;

    [[nodiscard]] static UserFolders from(const prefixes::DiscoveryInput& input);

    [[nodiscard]] QString applications() const
    {
        return dataHome + QStringLiteral("/applications");
    }
    [[nodiscard]] QString wineApplications() const
    {
        return applications() + QStringLiteral("/wine");
    }
    [[nodiscard]] QString mergedMenus() const
    {
        return configHome + QStringLiteral("/menus/applications-merged");
    }
    [[nodiscard]] QString desktopDirectories() const
    {
        return dataHome + QStringLiteral("/desktop-directories");
    }
    [[nodiscard]] QString mimePackages() const
    {
        return dataHome + QStringLiteral("/mime/packages");
    }
    [[nodiscard]] QString icons() const { return dataHome + QStringLiteral("/icons/hicolor"); }
    // Where backups of files of prefixes that are gone are kept.
    [[nodiscard]] QString orphanBackups() const
    {
        return dataHome + QStringLiteral("/nixora/menu-backups");
    }

    // The folders whose files the program may read and change: data, configuration, desktop.
    [[nodiscard]] std::vector<ConfinedFolder> confined() const;
};

} // namespace nixora::menus
