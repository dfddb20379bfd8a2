#pragma once

#include "prefixes/DiscoverySource.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace nixora::prefixes
{

// The prefixes the user opened from the window, most recent first, at most kMaxRecent. They are
// kept in the user's own configuration, never in a prefix: a prefix's settings travel with it,
// the list of prefixes belongs to the user.
class RecentPrefixes
{
public:
    static constexpr int kMaxRecent = 10;

    // `settingsFile` is an INI file; the program passes defaultFile(), tests a temporary one.
    explicit RecentPrefixes(QString settingsFile);

    // <XDG config folder>/nixora/recent-prefixes.conf
    [[nodiscard]] static QString defaultFile();

    [[nodiscard]] QStringList list() const;
    // Moves `path` to the front (once only) and drops what falls beyond kMaxRecent. Returns
    // whether the list was stored.
    bool remember(const QString& path);

private:
    QString m_file;
};

// Where discovery looks for the user running the program: the real home folder and environment,
// and the prefixes remembered in `recentFile`.
[[nodiscard]] DiscoveryInput
userDiscoveryInput(const QString& recentFile = RecentPrefixes::defaultFile());

// The prefix to open at start-up: the --prefix option, else $WINEPREFIX, else the prefix last
// opened from the window when that folder still exists, else ~/.wine.
[[nodiscard]] QString chooseStartupPrefix(const QString& optionPrefix,
                                          const QProcessEnvironment& environment,
                                          const QStringList& recent, const QString& home);

} // namespace nixora::prefixes
