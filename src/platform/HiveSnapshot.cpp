#include "HiveSnapshot.h"

#include <vector>

namespace nixora
{

// Copies the key level by level with a stack of its own: a hive may hold keys nested far
// deeper than the call stack could follow. Nothing when the key holds more than an export may.
std::optional<RegKeySnapshot> snapshotOf(HiveFile& hive, HiveKey* top)
{
    struct Pending {
        HiveKey* key;
        RegKeySnapshot* copy;
        int depth;
    };
    RegKeySnapshot snapshot;
    std::vector<Pending> stack{{top, &snapshot, 0}};
    int64_t bytes = 0;
    while (!stack.empty()) {
        const Pending at = stack.back();
        stack.pop_back();
        at.copy->name = at.key->name;
        bytes += at.key->name.size() * 2;
        for (const HiveValue& value : hive.values(at.key)) {
            at.copy->values.push_back({value.name, value.value});
            bytes += value.name.size() * 2 + value.value.data.size();
        }
        if (bytes > kMaxExportBytes || (!at.key->children.empty() && at.depth >= kMaxKeyDepth))
            return std::nullopt;
        // Reserved first, so the addresses handed to the stack stay valid.
        at.copy->subkeys.resize(at.key->children.size());
        for (size_t i = at.key->children.size(); i-- > 0;)
            stack.push_back({at.key->children[i], &at.copy->subkeys[i], at.depth + 1});
    }
    return snapshot;
}

} // namespace nixora
