#include "prefixes/YamlFile.h"

namespace nixora::prefixes
{

std::optional<YAML::Node> loadYamlFile(const QString& path, Findings& findings)
{
    const std::optional<QByteArray> bytes = readConfigFile(path, findings);
    if (!bytes)
        return std::nullopt;
    try {
        return YAML::Load(bytes->toStdString());
    } catch (const YAML::Exception& error) {
        findings.warn(path, QStringLiteral("not valid YAML (line %1: %2)")
                                .arg(error.mark.line + 1)
                                .arg(QString::fromStdString(error.msg)));
        return std::nullopt;
    }
}

std::optional<QString> yamlText(const YAML::Node& root, std::initializer_list<const char*> keys)
{
    try {
        // reset(), not "=": assigning to a YAML::Node writes into the node it refers to.
        YAML::Node node;
        node.reset(root);
        for (const char* key : keys) {
            if (!node.IsMap())
                return std::nullopt;
            const YAML::Node& map = node;
            node.reset(map[key]);
        }
        if (!node.IsScalar())
            return std::nullopt;
        return QString::fromStdString(node.Scalar());
    } catch (const YAML::Exception&) {
        return std::nullopt;
    }
}

} // namespace nixora::prefixes
