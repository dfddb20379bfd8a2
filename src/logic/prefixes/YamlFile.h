#pragma once

#include "prefixes/DiscoverySource.h"

#include <QString>

#include <yaml-cpp/yaml.h>

#include <initializer_list>
#include <optional>

namespace nixora::prefixes
{

// yaml-cpp reports errors by throwing; these two keep that inside this unit, so the sources
// only see values and warnings.

// The parsed document of a YAML configuration file, or nothing when it is absent or cannot be
// read (too large, not a file) or does not parse (each with a warning).
[[nodiscard]] std::optional<YAML::Node> loadYamlFile(const QString& path, Findings& findings);

// The scalar at a path of map keys ("game", "prefix"), or nothing when any step is missing or
// is not a map, or the value is not a scalar.
[[nodiscard]] std::optional<QString> yamlText(const YAML::Node& root,
                                              std::initializer_list<const char*> keys);

} // namespace nixora::prefixes
