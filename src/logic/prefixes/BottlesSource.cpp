#include "prefixes/Sources.h"
#include "prefixes/YamlFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace nixora::prefixes
{
namespace
{

bool yamlTrue(const std::optional<QString>& text)
{
    return text && text->compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
}

// One bottle: Bottles keeps "Path" relative to the bottles folder unless "Custom_Path" is true,
// when it is the bottle's own absolute folder.
void readBottle(const DiscoveryInput& input, const QString& bottlesFolder, const QString& folder,
                Findings& findings)
{
    const QString config = folder + QStringLiteral("/bottle.yml");
    if (!QFileInfo::exists(config))
        return;
    const std::optional<YAML::Node> doc = loadYamlFile(config, findings);
    if (!doc)
        return;
    const QString name = yamlText(*doc, {"Name"}).value_or(lastComponent(folder));
    const QString path = yamlText(*doc, {"Path"}).value_or(QString());
    QString prefix = folder;
    if (yamlTrue(yamlText(*doc, {"Custom_Path"})) && !path.isEmpty())
        prefix = input.expandHome(path);
    else if (!path.isEmpty() && !QDir::isAbsolutePath(path))
        prefix = bottlesFolder + u'/' + path;
    findings.add(prefix, name.isEmpty() ? lastComponent(folder) : name, kSourceBottles, true);
}

// The custom bottles folder the user chose in Bottles' preferences, if any.
QString customBottlesFolder(const DiscoveryInput& input, const QString& dataFolder,
                            Findings& findings)
{
    const QString data = dataFolder + QStringLiteral("/data.yml");
    const std::optional<YAML::Node> doc = loadYamlFile(data, findings);
    const QString custom =
        doc ? input.expandHome(yamlText(*doc, {"custom_bottles_path"}).value_or(QString()))
            : QString();
    if (custom.isEmpty() || !usableFolder(custom, data, findings))
        return {};
    return custom;
}

} // namespace

void findBottlesPrefixes(const DiscoveryInput& input, Findings& findings)
{
    const QStringList dataFolders = {
        input.xdgDataHome() + QStringLiteral("/bottles"),
        input.home + QStringLiteral("/.var/app/com.usebottles.bottles/data/bottles"),
    };
    QStringList bottlesFolders;
    for (const QString& data : dataFolders) {
        bottlesFolders << data + QStringLiteral("/bottles");
        const QString custom = customBottlesFolder(input, data, findings);
        if (!custom.isEmpty())
            bottlesFolders << custom;
    }
    QSet<QString> scanned;
    for (const QString& bottles : bottlesFolders) {
        const QString canonical = QFileInfo(bottles).canonicalFilePath();
        if (canonical.isEmpty() || scanned.contains(canonical))
            continue;
        scanned.insert(canonical);
        for (const QString& folder : folderEntries(bottles))
            readBottle(input, bottles, folder, findings);
    }
}

} // namespace nixora::prefixes
