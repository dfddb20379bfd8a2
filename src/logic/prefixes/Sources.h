#pragma once

#include "prefixes/DiscoverySource.h"

// Each source adds the folders it names as prefixes, in its own unit. None of them checks for a
// hive or removes duplicates; the discovery does that once for all.
namespace nixora::prefixes
{

// The labels shown in the source column.
inline const QString kSourceSteam = QStringLiteral("steam");
inline const QString kSourceBottles = QStringLiteral("bottles");
inline const QString kSourceLutris = QStringLiteral("lutris");
inline const QString kSourceHeroic = QStringLiteral("heroic");
inline const QString kSourcePlayOnLinux = QStringLiteral("playonlinux");
inline const QString kSourceWinetricks = QStringLiteral("winetricks");
inline const QString kSourceWinePrefix = QStringLiteral("$WINEPREFIX");
inline const QString kSourceDefault = QStringLiteral("~/.wine");
inline const QString kSourceRecent = QStringLiteral("recent");

// Steam's compatdata/<appid>/pfx in every library of every Steam root.
void findSteamPrefixes(const DiscoveryInput& input, Findings& findings);
// Bottles' bottle.yml files, native and flatpak, and the custom bottles folder.
void findBottlesPrefixes(const DiscoveryInput& input, Findings& findings);
// Lutris' games/*.yml, "game: prefix:".
void findLutrisPrefixes(const DiscoveryInput& input, Findings& findings);
// Heroic's GamesConfig/*.json, "winePrefix".
void findHeroicPrefixes(const DiscoveryInput& input, Findings& findings);
// PlayOnLinux's ~/.PlayOnLinux/wineprefix/*.
void findPlayOnLinuxPrefixes(const DiscoveryInput& input, Findings& findings);
// $WINEPREFIX, ~/.wine, and winetricks' ${WINE_PREFIXES:-$XDG_DATA_HOME/wineprefixes}/*.
void findWinePrefixes(const DiscoveryInput& input, Findings& findings);
// The prefixes the user opened before.
void findRecentPrefixes(const DiscoveryInput& input, Findings& findings);

} // namespace nixora::prefixes
