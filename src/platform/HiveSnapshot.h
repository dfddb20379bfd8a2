#pragma once

#include "HiveFile.h"
#include "RegistryTypes.h"

#include <optional>

namespace nixora
{

// A copy of the key with its values and all its subkeys, or nothing when it holds more than an
// export may (kMaxKeyDepth levels below it, kMaxExportBytes of names and data).
[[nodiscard]] std::optional<RegKeySnapshot> snapshotOf(HiveFile& hive, HiveKey* top);

} // namespace nixora
