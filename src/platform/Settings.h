#pragma once

#include "Registry.h"

#include <QString>

// Per-user on/off preferences under HKEY_CURRENT_USER\Software\Qelvaro\Nixora of Nixora's own
// settings store (WineRegistry::settingsStore): the Linux user's, the same for every prefix.
// A prefix's own HKEY_CURRENT_USER holds the Wine user's entries and none of these.
namespace nixora::settings
{

// <XDG config folder>/nixora/settings.reg: $XDG_CONFIG_HOME, else ~/.config.
[[nodiscard]] QString defaultStoreFile();

inline const QString kReadPath = QStringLiteral("Software\\Qelvaro\\Nixora");
inline const QString kWritePath = QStringLiteral("Software\\Qelvaro\\Nixora\\");

inline const QString kRuudukko = QStringLiteral("ruudukko");
inline const QString kTilarivi = QStringLiteral("tilarivi");
inline const QString kSelkokieli = QStringLiteral("selkokieli");
inline const QString kRikkinaisetBold = QStringLiteral("rikkinaiset_bold");
inline const QString kMuokkausvarmuuskopio = QStringLiteral("muokkausvarmuuskopio");

// Only the exact text "ei" means off; anything else, "Not Found" included, means on.
[[nodiscard]] bool readPreference(Registry& registry, const QString& valueName);

// Stores exactly "on" or "ei". A failed write is silent; returns whether it was stored.
bool writePreference(Registry& registry, const QString& valueName, bool on);

} // namespace nixora::settings
