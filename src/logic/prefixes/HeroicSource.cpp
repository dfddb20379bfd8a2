#include "prefixes/Sources.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace nixora::prefixes
{
namespace
{

// A game's file holds one object keyed by the game's app name (beside "version" and the like).
// Proton keeps the Windows side in "pfx" below the folder Heroic names.
void readGameConfig(const DiscoveryInput& input, const QString& file, Findings& findings)
{
    const std::optional<QByteArray> bytes = readConfigFile(file, findings);
    if (!bytes)
        return;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(*bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        findings.warn(file, QStringLiteral("not valid JSON (offset %1: %2)")
                                .arg(error.offset)
                                .arg(error.errorString()));
        return;
    }
    const QJsonObject root = doc.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        const QJsonObject game = it.value().toObject();
        QString prefix = input.expandHome(game.value(QStringLiteral("winePrefix")).toString());
        if (prefix.isEmpty())
            continue;
        const QJsonObject wine = game.value(QStringLiteral("wineVersion")).toObject();
        if (wine.value(QStringLiteral("type")).toString() == QStringLiteral("proton"))
            prefix += QStringLiteral("/pfx");
        findings.add(prefix, it.key(), kSourceHeroic, true);
    }
}

} // namespace

void findHeroicPrefixes(const DiscoveryInput& input, Findings& findings)
{
    const QStringList configFolders = {
        input.xdgConfigHome() + QStringLiteral("/heroic/GamesConfig"),
        input.home +
            QStringLiteral("/.var/app/com.heroicgameslauncher.hgl/config/heroic/GamesConfig"),
    };
    for (const QString& folder : configFolders)
        for (const QString& file : folderEntries(folder))
            if (file.endsWith(QStringLiteral(".json")))
                readGameConfig(input, file, findings);
}

} // namespace nixora::prefixes
