#pragma once

#include "Registry.h"

#include <QString>

#include <optional>
#include <vector>

namespace nixora
{

// The three Uninstall keys an Add/Remove Programs entry can live under, as Windows' own list and
// Wine's uninstaller read them: the machine's, the machine's 32-bit view (where 32-bit
// installers such as NSIS and most Inno Setup ones write on a 64-bit system) and the user's.
enum class SourceKind { Machine, Machine32, User };

// Where an entry lives. Every key path the program reads or writes for an entry comes from here.
struct EntrySource {
    SourceKind kind = SourceKind::Machine;
    RegRoot root = RegRoot::LocalMachine;
    QString uninstallPath;   // relative to the root, with a trailing backslash
    QString activeSetupPath; // the Active Setup components its entries are matched with
    QString label;           // HKLM, HKLM32 or HKCU
    QString description;     // the tooltip's line about the source

    // The entry's key relative to the root.
    [[nodiscard]] QString entryPath(const QString& subkey) const { return uninstallPath + subkey; }
    // The entry's full key name as a registry export names it ("HKEY_CURRENT_USER\...").
    [[nodiscard]] QString entryKeyName(const QString& subkey) const;
};

[[nodiscard]] const EntrySource& entrySource(SourceKind kind);

// The sources a registry has, in list order; the 32-bit view only on a 64-bit system.
[[nodiscard]] std::vector<const EntrySource*> entrySources(Registry& registry);

namespace tags
{
// Row keys of the entry list begin with this (14 characters).
inline const QString kRowKeyPrefix = QStringLiteral("rekisteriavain");
} // namespace tags

// Row keys of the entry list: the fixed prefix, then the subkey. Rows of the machine key keep
// that plain form; the other sources put their label and a backslash in front of the subkey (a
// key name never holds a backslash), so the same subkey in two sources is two rows.
[[nodiscard]] QString entryRowKey(const EntrySource& source, const QString& subkey);
struct RowEntry {
    const EntrySource* source = nullptr;
    QString subkey;
};
// The source and subkey of a row key (without or with the fixed prefix, as `withPrefix` says).
[[nodiscard]] RowEntry splitEntryRowKey(const QString& key, bool withPrefix = true);

// The source whose Uninstall key holds `path` strictly below it (an entry key or one of its
// subkeys), among the sources of a registry with or without a 32-bit view; nothing for the
// Uninstall keys themselves and every other key.
[[nodiscard]] const EntrySource* sourceHoldingKey(RegRoot root, const QString& path,
                                                  bool wow64View);

} // namespace nixora
