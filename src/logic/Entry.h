#pragma once

#include "EntrySource.h"

#include <QHash>
#include <QString>

#include <array>
#include <deque>

namespace nixora
{

// What the program can tell about an entry's uninstaller.
enum class Verdict {
    Plain,   // there is no uninstall command to look at
    Found,   // its files are there, or the command names none that could be looked for
    Phantom, // its uninstaller cannot work
    Unknown, // it cannot be told now (the drive the uninstaller is on is not there)
};

// "plain", "found", "phantom" or "unknown", as the listings write them.
[[nodiscard]] QString verdictName(Verdict verdict);

// One column of an entry as the list shows it, with the tag that says where it came from.
struct EntryColumn {
    QString text;
    QString tag;
};

// One Add/Remove Programs entry as the fill found it. The entry list's rows show these values;
// everything that asks about an entry (the listings, the exports, the removals) reads them here.
struct Entry {
    const EntrySource* source = nullptr;
    QString subkey;
    std::array<EntryColumn, 3> columns; // name, uninstaller, version
    // What an Active Setup component gave the entry, if one did (the texts above show it).
    QString componentName;
    QString componentVersion;
    // The Windows Installer product it belongs to, when the Installer checks found one.
    QString installerProduct;
    Verdict verdict = Verdict::Plain;
    QString reason;  // why it is a phantom or cannot be told; empty when found or plain
    QString toolTip; // the tooltip of its row and both sub-items
    // Whether the row is shown as a phantom (red, bold by the option): the uninstall string
    // check says so for phantoms and for entries that cannot be told.
    bool marked = false;

    [[nodiscard]] const QString& name() const { return columns[0].text; }
    [[nodiscard]] const QString& uninstaller() const { return columns[1].text; }
    [[nodiscard]] QString rowKey() const { return entryRowKey(*source, subkey); }
};

// Where an entry's key is, with the name the list shows for it: what the removal commands act
// on.
struct EntryRef {
    const EntrySource* source = nullptr;
    QString subkey;
    QString name;
    QString keptBecause; // set when a removal must keep it (it cannot be told to be a phantom)
};

// The entries of one fill, in the order they were read; each is found again by its row key.
// References stay valid until clear().
class EntryList
{
public:
    void clear();
    // Nothing when an entry with the same row key is there already.
    Entry* add(Entry entry);
    [[nodiscard]] Entry* find(const QString& rowKey) const { return m_byRowKey.value(rowKey); }
    [[nodiscard]] size_t size() const { return m_entries.size(); }
    [[nodiscard]] auto begin() const { return m_entries.begin(); }
    [[nodiscard]] auto end() const { return m_entries.end(); }

private:
    std::deque<Entry> m_entries;
    QHash<QString, Entry*> m_byRowKey;
};

} // namespace nixora
