#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <vector>

namespace nixora
{

// The two predefined roots the program uses.
enum class RegRoot { LocalMachine, CurrentUser };

// Value kinds, numbered as Windows numbers them.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

// A value exactly as the registry stores it: its kind and its raw bytes. Text kinds hold
// UTF-16LE code units including their terminating NUL(s), as Windows and Wine keep them.
struct RegValue {
    uint32_t type = kRegNone;
    QByteArray data;

    friend bool operator==(const RegValue&, const RegValue&) = default;
};

// Helpers for the text kinds: encode a string with one terminating NUL, decode without it.
[[nodiscard]] RegValue makeStringValue(const QString& text, uint32_t type = kRegSz);
[[nodiscard]] RegValue makeDwordValue(uint32_t number);

// The data's UTF-16LE code units as text, whatever the host's byte order; an odd last byte is
// left out and terminating NULs are kept.
[[nodiscard]] QString textFromUtf16Le(QByteArrayView data);
// The little-endian number in the data's first four bytes; missing bytes count as zero.
[[nodiscard]] uint32_t dwordFromBytes(QByteArrayView data);

struct RegNamedValue {
    QString name; // empty: the key's unnamed default value
    RegValue value;

    friend bool operator==(const RegNamedValue&, const RegNamedValue&) = default;
};

// The most a key may hold to be exported (and so backed up): the .reg text of a larger key is
// longer than an import reads, and deeper keys than Windows allows cannot be restored there.
inline constexpr int64_t kMaxExportBytes = 32 * 1024 * 1024;
inline constexpr int kMaxKeyDepth = 512;

// A key with its values and all its subkeys, each list in the registry's enumeration order.
struct RegKeySnapshot {
    QString name;
    std::vector<RegNamedValue> values;
    std::vector<RegKeySnapshot> subkeys;

    friend bool operator==(const RegKeySnapshot&, const RegKeySnapshot&) = default;
};

// One change of a batch that is applied in a single write, all or nothing.
struct RegChange {
    enum class Kind {
        CreateKey,   // create the key and any missing keys above it
        DeleteTree,  // delete the key with all its subkeys; a missing key is not an error
        SetValue,    // create the key if needed, then set `name` to `value`
        DeleteValue, // delete the value `name`; a missing value or key is not an error
    };
    Kind kind = Kind::CreateKey;
    RegRoot root = RegRoot::LocalMachine;
    QString path; // relative to the root, components separated by '\'
    QString name;
    RegValue value;
};

enum class RegStatus {
    Ok,
    NotFound,        // key or value missing, or the hive file does not exist
    HasSubkeys,      // a single-key delete of a key that still has subkeys
    PrefixBusy,      // the prefix's wineserver runs: it owns the registry, writes are refused
    ReadOnly,        // another user's prefix, or one whose registry is another prefix's
    NotAHive,        // the file is not a Wine registry file we can parse; it is never written
    IoError,         // reading, locking or saving failed
    InvalidArgument, // malformed path or name
};

struct RegResult {
    RegStatus status = RegStatus::Ok;
    QString message; // for the user or stderr; empty on success
    // A failed batch over both roots is undone where it can be; the roots whose changes are on
    // disk all the same (their old file could not be put back). Empty on success and whenever
    // the failure changed nothing.
    std::vector<RegRoot> landed;

    [[nodiscard]] bool ok() const { return status == RegStatus::Ok; }
    static RegResult success() { return {}; }
    static RegResult failure(RegStatus s, QString text) { return {s, std::move(text), {}}; }
};

// InvalidArgument for a change no registry could make as asked: a path component longer than 255
// units, a value name longer than 16,383, a NUL in a name, the deletion of the root; else Ok.
[[nodiscard]] RegResult checkChange(const RegChange& change);

} // namespace nixora
