#pragma once

#include <QString>

#include <optional>
#include <sys/types.h>

namespace nixora
{

// A prefix is its registry: the real system.reg (device and inode, after links). Two folders
// whose system.reg is one file are one prefix, however they were reached.
struct HiveIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const HiveIdentity&) const = default;
};
[[nodiscard]] std::optional<HiveIdentity> hiveIdentity(const QString& hivePath);

// The other Wine prefix whose registry this folder's hives are (its system.reg or user.reg is
// a link to that prefix's own hive of the same name, as in an unpacked archive or a shared
// registry); empty when the hives are the folder's own, or links to files that no other prefix
// holds as its own. Such a folder's entries belong to the other prefix's drives and backups.
[[nodiscard]] QString registryOwner(const QString& folder);

// Why the prefix in `folder` may be read but never written: it belongs to another user (as
// Wine, which refuses to use such a prefix; files written as root would lock its owner out),
// or its registry is another prefix's. Empty when it may be written.
[[nodiscard]] QString readOnlyReason(const QString& folder);

} // namespace nixora
