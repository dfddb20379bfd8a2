#pragma once

#include "RegistryTypes.h"

#include <memory>
#include <optional>

namespace nixora
{

// The registry as the program sees it. Every call sees the registry as it is at that moment;
// nothing a caller gets back stays tied to the backend. Paths are relative to the root, with
// or without a trailing backslash; names of keys and values compare case-insensitively.
// While one lives, other writers of the same registry (other processes of ours) wait for their
// turn; the registry that gave it writes at once. A command that backs entries up, deletes them
// and reads them back holds one from its first backup to its last delete, so that two such
// commands on one prefix take turns instead of interleaving.
class WriterTurn
{
public:
    virtual ~WriterTurn() = default;
};

class Registry
{
public:
    virtual ~Registry() = default;

    // The value's kind and bytes, or nothing when the key or the value is missing.
    [[nodiscard]] virtual std::optional<RegValue> queryValue(RegRoot root, const QString& path,
                                                             const QString& name) = 0;

    // The name of the index-th subkey in enumeration order, or nothing past the last one.
    [[nodiscard]] virtual std::optional<QString> subkeyName(RegRoot root, const QString& path,
                                                            uint32_t index) = 0;

    // Creates the key and missing keys above it, sets the value, and makes the change durable
    // before returning.
    [[nodiscard]] virtual RegResult setValue(RegRoot root, const QString& path, const QString& name,
                                             const RegValue& value) = 0;

    // Deletes exactly one key; refuses (HasSubkeys) while it still has subkeys.
    [[nodiscard]] virtual RegResult deleteKey(RegRoot root, const QString& path) = 0;

    // True when the key exists.
    [[nodiscard]] virtual bool keyExists(RegRoot root, const QString& path) = 0;

    // The key with its values and all subkeys, or nothing when the key is missing or holds
    // more than an export may (kMaxKeyDepth levels below it, kMaxExportBytes of names and data).
    [[nodiscard]] virtual std::optional<RegKeySnapshot> exportKey(RegRoot root,
                                                                  const QString& path) = 0;

    // Whether a write could happen now: a failure (PrefixBusy while the prefix's wineserver
    // runs, IoError for a missing prefix) with the text every refused write gives.
    [[nodiscard]] virtual RegResult checkWritable() = 0;

    // Waits for the other writers and holds them off until the turn is destroyed; nothing when
    // the turn cannot be had (the lock cannot be taken), and then no write should be tried.
    [[nodiscard]] virtual std::unique_ptr<WriterTurn> takeWriterTurn() = 0;

    // Applies all changes or none. Changes to one root are saved in one write.
    [[nodiscard]] virtual RegResult apply(const std::vector<RegChange>& changes) = 0;

    // Why a hive that is there could not be read (too large, not enough memory), for the user;
    // empty when nothing stood in the way. Reads of such a hive give nothing, writes fail.
    [[nodiscard]] virtual QString readProblem() { return {}; }

    // True when HKEY_LOCAL_MACHINE has a 32-bit view of its own (Software\Wow6432Node), as a
    // 64-bit system has; on a 32-bit system a key of that name is an ordinary key.
    [[nodiscard]] virtual bool hasWow64View() = 0;
};

} // namespace nixora
