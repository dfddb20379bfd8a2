#pragma once

#include "RegistryTypes.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nixora
{

struct HiveValue {
    QString name; // empty: the unnamed default value
    RegValue value;
    // A value line Wine could not read is kept as it was written (it reads as an empty REG_NONE
    // value, as in Wine); empty for every well-formed value.
    QByteArray rawText;
    // A string or dword is decoded when it is first read: until then these are offsets into the
    // file of its line, its data, the data's end and the line's end (before '\n').
    struct Pending {
        qsizetype line = -1;
        qsizetype data = -1;
        qsizetype dataEnd = -1;
        qsizetype lineEnd = -1;
    } pending;
};

// One key of a hive. Keys are parsed from their "[path]" lines when the file loads; their
// values and options are parsed from the key's blocks on first access.
struct HiveKey {
    QString name;
    HiveKey* parent = nullptr;
    std::vector<HiveKey*> children; // Wine's order (compareNames)
    int32_t firstBlock = -1;        // first block of this key in the file, -1 if none
    bool dirty = false;             // serialised anew instead of copied
    bool detailsLoaded = false;
    bool isLink = false;
    bool childrenInFileOrder = false; // only while the file is scanned (see HiveFile::childFor)
    uint64_t modified = 0;            // FILETIME (100 ns since 1601)
    QByteArray classLine;             // "#class=..." as written, without newline
    QByteArray otherLines;            // lines we do not understand, each ending in '\n'
    std::vector<HiveValue> values;    // Wine's order
};

// One Wine registry file ("WINE REGISTRY Version 2"): the file bytes plus a tree of keys.
// Unchanged keys are written back byte for byte; changed keys are serialised as Wine does.
class HiveFile
{
public:
    // nullptr when the first line is not exactly Wine's header.
    [[nodiscard]] static std::unique_ptr<HiveFile> parse(QByteArray bytes);
    // Builds the tree of the given keys and their subkeys only, for reading: key lines are
    // found by scanning for '[' and every other key is skipped. Such a tree lacks the rest of
    // the file, so it is never written (serialize refuses); `covers` tells which paths it answers.
    // Falls back to the whole tree where the quick scan cannot tell key lines for certain.
    [[nodiscard]] static std::unique_ptr<HiveFile> parseSubtrees(QByteArray bytes,
                                                                 const QStringList& subtrees);
    // A hive holding only Wine's header for the given root.
    [[nodiscard]] static QByteArray emptyHiveText(RegRoot root, const QByteArray& arch);

    // The largest hive file that is read: far above any real prefix's (tens of megabytes), and
    // small enough that reading and parsing it fits in memory. A larger file (a sparse file, a
    // damaged disk) is reported as too large instead of being read.
    static constexpr qint64 kMaxFileBytes = qint64(1) << 30;
    // "too large to read (64.0 GiB; ...)", for a file of `size` bytes over kMaxFileBytes.
    [[nodiscard]] static QString tooLargeText(qint64 size);

    HiveFile(const HiveFile&) = delete;
    HiveFile& operator=(const HiveFile&) = delete;

    [[nodiscard]] HiveKey* root() { return m_root; }
    [[nodiscard]] HiveKey* findKey(QStringView path);
    // The index-th subkey, or nullptr past the last one.
    [[nodiscard]] HiveKey* childAt(HiveKey* key, size_t index);
    // Creates the key and every missing key above it; nullptr for an invalid path.
    HiveKey* createKey(QStringView path, uint64_t now);
    void deleteKey(HiveKey* key, uint64_t now); // the key with all its subkeys

    [[nodiscard]] const std::vector<HiveValue>& values(HiveKey* key);
    [[nodiscard]] const HiveValue* findValue(HiveKey* key, QStringView name);
    void setValue(HiveKey* key, const QString& name, const RegValue& value, uint64_t now);
    bool deleteValue(HiveKey* key, QStringView name, uint64_t now);

    [[nodiscard]] bool isModified() const { return m_modified; }
    // True for a tree built by parseSubtrees (unless it fell back to the whole file).
    [[nodiscard]] bool isPartial() const { return m_partial; }
    // True when the tree holds the key at `path` and everything below it as the file has them.
    [[nodiscard]] bool covers(QStringView path) const;
    [[nodiscard]] const QByteArray& bytes() const { return m_bytes; }
    [[nodiscard]] QByteArray arch() const; // "win32", "win64" or empty

    // The file as Wine would write it now. Unmodified: the bytes as read, unless `walkTree`
    // asks for the tree to be serialised anyway (which must give the same bytes). Nothing for a
    // tree built by parseSubtrees that was changed or is to be walked: it lacks the rest.
    [[nodiscard]] std::optional<QByteArray> serialize(bool walkTree = false);

    // Splits a path at backslashes, ignoring empty components.
    [[nodiscard]] static std::vector<QStringView> splitPath(QStringView path);

private:
    struct Block {
        qsizetype begin = 0;
        qsizetype end = 0;
        int32_t next = -1; // the key's next block, if the key appears more than once
    };

    HiveFile() = default;
    [[nodiscard]] static qsizetype headerLineEnd(const QByteArray& bytes);
    bool scan();
    void scanKeyLine(const char* p, const char* lineEnd, qsizetype blockStart);
    void linkBlock(HiveKey* key, qsizetype blockStart);
    enum class QuickScan { Done, NotAHive, Ambiguous };
    [[nodiscard]] QuickScan scanSubtrees();
    [[nodiscard]] bool mayCover(const char* p, const char* e) const;
    void decodeKeyName(const char* name, const char* nameEnd, const char* lineEnd);
    [[nodiscard]] bool keyLineAt(const char* bracket, const char*& blockStart, const char*& lineEnd,
                                 bool& ambiguous) const;
    HiveKey* newKey(HiveKey* parent, QStringView name);
    HiveKey* childFor(HiveKey* parent, QStringView name, bool create);
    HiveKey* unsortedChild(HiveKey* parent, QStringView name, bool create);
    void finishScan();
    [[nodiscard]] HiveKey* walk(HiveKey* key, QStringView path);
    [[nodiscard]] HiveKey* findKeyUncached(QStringView path);
    [[nodiscard]] HiveKey* walkBelow(HiveKey* parent, QStringView rest);
    [[nodiscard]] HiveKey* keyAfter(const QString& path);
    void loadDetails(HiveKey* key);
    void parseBlock(HiveKey* key, const Block& block);
    void storeValue(HiveKey* key, HiveValue value);
    void storeLoadedValue(HiveKey* key, HiveValue value);
    static void sortLoadedValues(std::vector<HiveValue>& values);
    void decode(HiveValue& value) const;
    void decodeAll(HiveKey* key) const;
    void touch(HiveKey* key, uint64_t now);
    void writeKey(HiveKey* key, QByteArray& out);
    void writeFreshBlock(HiveKey* key, QByteArray& out);
    void appendPiece(QByteArray& out, const char* data, qsizetype size);

    // The subkeys of one key by name, while they are kept in file order.
    class ChildIndex
    {
    public:
        explicit ChildIndex(std::vector<HiveKey*>& children);
        [[nodiscard]] HiveKey* find(QStringView name) const;
        // The subkey named `name`, else the one `make` gives, appended to the subkeys.
        template <typename Make> HiveKey* findOrAppend(QStringView name, Make make);

    private:
        struct Slot {
            uint32_t place = 0; // 1 + the subkey's index in the list; 0: empty
            uint32_t hash = 0;
        };
        [[nodiscard]] static uint32_t hashOf(QStringView name);
        [[nodiscard]] size_t slotOf(QStringView name, uint32_t hash) const;
        void place(uint32_t index, uint32_t hash);
        std::vector<HiveKey*>& m_children;
        std::vector<Slot> m_slots; // open addressing; a power of two, at most half full
    };
    // The subkeys of a key while a file out of Wine's order is scanned (see childFor).
    struct OutOfOrder {
        std::vector<HiveKey*> before;    // came before all others: in descending order
        std::optional<ChildIndex> index; // once one fell in between: all, in file order
    };
    // Below this many subkeys a key line out of order is simply put in its place.
    static constexpr size_t kUnsortedFrom = 64;

    QByteArray m_bytes;
    qsizetype m_headerEnd = 0;
    std::vector<Block> m_blocks;
    std::deque<HiveKey> m_keys;
    HiveKey* m_root = nullptr;
    bool m_modified = false;
    bool m_partial = false;
    bool m_scanning = false;
    bool m_valuesOutOfOrder = false; // while a key's blocks are parsed
    std::unordered_map<HiveKey*, OutOfOrder> m_outOfOrder;
    std::vector<std::vector<QString>> m_subtrees; // parseSubtrees' keys, split into names
    std::vector<QByteArray> m_plainSubtrees;      // the same as written, when plain ASCII
    std::vector<QByteArray> m_plainCaseBits;      // and the bits that fold their letters
    std::vector<QString> m_spelledSubtrees;       // the same joined with single backslashes
    QString m_scratch;
    // The key name decoded last by the quick scan, and where its separators end, in its raw text
    // and in m_scratch (see decodeKeyName).
    struct KeyNameSeparator {
        qsizetype raw = 0;
        qsizetype decoded = 0;
    };
    const char* m_lastKeyName = nullptr;
    qsizetype m_lastKeyNameSize = 0;
    std::vector<KeyNameSeparator> m_keyNameSeparators;
    QString m_previousPath; // the key line scanned last, and its key
    HiveKey* m_previousKey = nullptr;
    static constexpr size_t kRememberedParents = 4;
    std::vector<std::pair<QString, HiveKey*>> m_parents; // recent findKey parents, by path
    QHash<QByteArrayView, QString> m_valueNames;         // value names as written, and as read
    QString m_foundPath;                                 // the path findKey found last, and its key
    HiveKey* m_foundKey = nullptr;
    HiveKey* m_listedChild = nullptr; // the subkey childAt gave last
};

// FILETIME ticks: 100 ns since 1601-01-01 UTC, as a key's modification time is kept.
inline constexpr uint64_t kTicksPerSecond = 10000000;
inline constexpr uint64_t kTicks1601To1970 = 116444736000000000ULL;

// The current time in FILETIME ticks.
[[nodiscard]] uint64_t currentFileTime();

} // namespace nixora
