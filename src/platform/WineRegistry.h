#pragma once

#include "Prefix.h"
#include "Registry.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace nixora
{

class HiveFile; // one loaded hive (system.reg or user.reg)
class HiveLock;

// The registry of a Wine prefix: HKEY_LOCAL_MACHINE is <prefix>/system.reg and
// HKEY_CURRENT_USER is <prefix>/user.reg. Each hive is kept in memory and reloaded when the
// file's identity (inode, size, mtime) changes. Writes take the hive lock, are refused while
// the prefix's wineserver runs, and replace the file atomically and durably.
class WineRegistry final : public Registry
{
public:
    explicit WineRegistry(Prefix prefix);
    ~WineRegistry() override;

    // Nixora's own preferences: HKEY_CURRENT_USER is `hiveFile`, a hive of ours in the Linux
    // user's configuration folder (made on the first write), the same for every prefix and owned
    // by no wineserver; HKEY_LOCAL_MACHINE is empty and is never written. An empty `hiveFile`
    // keeps nothing: every read finds nothing and every write fails.
    [[nodiscard]] static std::unique_ptr<WineRegistry> settingsStore(const QString& hiveFile);

    [[nodiscard]] std::optional<RegValue> queryValue(RegRoot root, const QString& path,
                                                     const QString& name) override;
    [[nodiscard]] std::optional<QString> subkeyName(RegRoot root, const QString& path,
                                                    uint32_t index) override;
    [[nodiscard]] RegResult setValue(RegRoot root, const QString& path, const QString& name,
                                     const RegValue& value) override;
    [[nodiscard]] RegResult deleteKey(RegRoot root, const QString& path) override;
    [[nodiscard]] bool keyExists(RegRoot root, const QString& path) override;
    [[nodiscard]] std::optional<RegKeySnapshot> exportKey(RegRoot root,
                                                          const QString& path) override;
    [[nodiscard]] RegResult apply(const std::vector<RegChange>& changes) override;
    [[nodiscard]] RegResult checkWritable() override;
    [[nodiscard]] std::unique_ptr<WriterTurn> takeWriterTurn() override;
    // The machine hive's "#arch=win64" line, as Wine writes it for a 64-bit prefix.
    [[nodiscard]] bool hasWow64View() override;
    // Both hives are brought up to date first.
    [[nodiscard]] QString readProblem() override;

    [[nodiscard]] const Prefix& prefix() const { return m_prefix; }

    // The keys (with everything below them) that reads of `root` are expected under: the hive
    // is then parsed for those alone. A read elsewhere, and every write, parses the whole file
    // first, so this changes what a call costs, never what it sees or writes.
    void setReadSubtrees(RegRoot root, const QStringList& subtrees);

    // True while a wineserver runs for this prefix (it owns the registry then).
    [[nodiscard]] bool wineserverRunning() const;

    struct HiveSlot; // one hive file: its path, identity and parsed tree

private:
    HiveSlot& slot(RegRoot root);
    HiveFile* current(RegRoot root);
    // The hive with a tree that holds `path` (parsing the whole file if it must).
    HiveFile* currentFor(RegRoot root, QStringView path);
    using Edit = std::function<RegResult(RegRoot root, HiveFile& hive, uint64_t now)>;
    // Locks, checks for a wineserver, reloads, edits and saves the hives `edit` is run on;
    // nothing is saved unless the edit succeeds on every one of them.
    RegResult write(bool machine, bool user, const Edit& edit);
    RegResult saveAll(const std::vector<RegRoot>& roots);
    // The files whose folders a write of these roots locks.
    [[nodiscard]] QStringList lockedHives(bool machine, bool user) const;
    RegResult prepareSettingsFolder();

    class Turn;
    friend class Turn;

    Prefix m_prefix; // for the settings store: the folder that holds its hive
    bool m_settingsStore = false;
    int m_turns = 0; // writer turns alive; while any is, the lock below is held
    std::unique_ptr<HiveLock> m_turnLock;
    std::unique_ptr<HiveSlot> m_machine;
    std::unique_ptr<HiveSlot> m_user;
};

} // namespace nixora
