#include "prefixes/Sources.h"
#include "prefixes/YamlFile.h"

#include <QRegularExpression>

namespace nixora::prefixes
{
namespace
{

// Lutris names a game's file "<slug>-<timestamp>.yml"; the slug is the closest thing to a name
// the file holds.
QString gameSlug(const QString& file)
{
    static const QRegularExpression timestamp(QStringLiteral("-[0-9]+$"));
    QString slug = lastComponent(file);
    slug.chop(4); // ".yml"
    const QString trimmed = QString(slug).remove(timestamp);
    return trimmed.isEmpty() ? slug : trimmed;
}

} // namespace

void findLutrisPrefixes(const DiscoveryInput& input, Findings& findings)
{
    // Older Lutris keeps games under the config folder, newer under the data folder.
    const QStringList gameFolders = {
        input.xdgConfigHome() + QStringLiteral("/lutris/games"),
        input.xdgDataHome() + QStringLiteral("/lutris/games"),
    };
    for (const QString& folder : gameFolders) {
        for (const QString& file : folderEntries(folder)) {
            if (!file.endsWith(QStringLiteral(".yml")))
                continue;
            const std::optional<YAML::Node> doc = loadYamlFile(file, findings);
            // Native Linux games have no prefix.
            const std::optional<QString> prefix =
                doc ? yamlText(*doc, {"game", "prefix"}) : std::nullopt;
            if (prefix && !prefix->isEmpty())
                findings.add(input.expandHome(*prefix), gameSlug(file), kSourceLutris, true);
        }
    }
}

} // namespace nixora::prefixes
