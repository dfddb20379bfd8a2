#include "Changes.h"

namespace wineclient
{
namespace
{

// Every key is opened in the 64-bit view: a 32-bit key is reached by its Wow6432Node path, as it
// is written in the hive files, so one path names one key whichever view a program would use.
constexpr REGSAM kView = KEY_WOW64_64KEY;
// Deeper than any key Windows allows (512 levels): a tree this deep is not copied for undo, so
// its deletion is refused rather than made without a way back.
constexpr int kMaxDepth = 520;

struct Value {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Tree {
    std::wstring name;
    std::wstring keyClass;
    std::vector<Value> values;
    std::vector<Tree> subkeys;
};

class Key
{
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key()
    {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    HKEY* out() { return &m_key; }
    [[nodiscard]] HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

std::vector<std::wstring> components(const std::wstring& path)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

LONG readValues(HKEY key, DWORD count, DWORD nameLength, DWORD dataLength, Tree& tree)
{
    std::vector<wchar_t> name(nameLength + 1);
    std::vector<BYTE> data(dataLength + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameSize = DWORD(name.size());
        DWORD dataSize = DWORD(data.size());
        DWORD type = REG_NONE;
        const LONG rc =
            RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (rc == ERROR_MORE_DATA) { // the value grew since the key was asked about
            name.resize(name.size() * 2 + 256);
            data.resize(data.size() * 2 + 4096);
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            return rc;
        tree.values.push_back({std::wstring(name.data(), nameSize), type,
                               std::vector<BYTE>(data.begin(), data.begin() + dataSize)});
    }
    return ERROR_SUCCESS;
}

LONG readKeyClass(HKEY key, Tree& tree)
{
    std::vector<wchar_t> keyClass(256);
    for (;;) {
        DWORD size = DWORD(keyClass.size());
        const LONG rc = RegQueryInfoKeyW(key, keyClass.data(), &size, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) {
            keyClass.resize(keyClass.size() * 4);
            continue;
        }
        if (rc == ERROR_SUCCESS)
            tree.keyClass.assign(keyClass.data(), size);
        return rc;
    }
}

// The key with its class, values and subkeys, so that a deletion can be undone.
LONG readTree(HKEY key, Tree& tree, int depth)
{
    DWORD subkeys = 0, subkeyLength = 0, values = 0, nameLength = 0, dataLength = 0;
    LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &subkeyLength, nullptr,
                               &values, &nameLength, &dataLength, nullptr, nullptr);
    if (rc == ERROR_SUCCESS)
        rc = readKeyClass(key, tree);
    if (rc == ERROR_SUCCESS)
        rc = readValues(key, values, nameLength, dataLength, tree);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (subkeys > 0 && depth >= kMaxDepth)
        return ERROR_BUFFER_OVERFLOW;
    std::vector<wchar_t> name(subkeyLength + 1);
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD size = DWORD(name.size());
        rc = RegEnumKeyExW(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            return rc;
        Tree child;
        child.name.assign(name.data(), size);
        Key opened;
        // A link is copied as the key it is, never followed out of the tree.
        rc = RegOpenKeyExW(key, child.name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | kView,
                           opened.out());
        if (rc == ERROR_SUCCESS)
            rc = readTree(opened.get(), child, depth + 1);
        if (rc != ERROR_SUCCESS)
            return rc;
        tree.subkeys.push_back(std::move(child));
    }
    return ERROR_SUCCESS;
}

LONG setValue(HKEY key, const std::wstring& name, DWORD type, const std::vector<BYTE>& data)
{
    // Wine, like Windows, adds a terminating NUL to string data that lacks one when the bytes
    // after the data happen to be a NUL: two bytes that are not keep the data exactly as given.
    std::vector<BYTE> padded(data);
    padded.push_back(0xff);
    padded.push_back(0xff);
    return RegSetValueExW(key, name.c_str(), 0, type, padded.data(), DWORD(data.size()));
}

struct Undo {
    enum class Kind { DeleteKey, PutValue, DropValue, PutTree };
    Kind kind = Kind::DeleteKey;
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring path;
    Value value;
    Tree tree;
};

class Transaction
{
public:
    LONG apply(const Change& change, std::string& reason);
    bool undo();

private:
    LONG createPath(HKEY root, const std::wstring& path, const std::wstring* keyClass, Key& key);
    LONG setValueChange(const Change& change);
    LONG deleteValueChange(const Change& change);
    LONG deleteTreeChange(const Change& change, bool singleKey, std::string& reason);
    LONG restoreTree(HKEY root, const std::wstring& path, const Tree& tree);

    std::vector<Undo> m_log;
};

// Creates the path one key at a time, so that undo can remove exactly the keys it created.
LONG Transaction::createPath(HKEY root, const std::wstring& path, const std::wstring* keyClass,
                             Key& key)
{
    const std::vector<std::wstring> parts = components(path);
    std::wstring sofar;
    LONG rc = ERROR_SUCCESS;
    for (size_t i = 0; i < parts.size() && rc == ERROR_SUCCESS; ++i) {
        sofar += (i > 0 ? L"\\" : L"") + parts[i];
        const bool last = i + 1 == parts.size();
        Key step;
        DWORD disposition = 0;
        const wchar_t* cls = last && keyClass != nullptr ? keyClass->c_str() : nullptr;
        rc = RegCreateKeyExW(root, sofar.c_str(), 0, const_cast<wchar_t*>(cls), 0,
                             KEY_ALL_ACCESS | kView, nullptr, last ? key.out() : step.out(),
                             &disposition);
        if (rc == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY)
            m_log.push_back({Undo::Kind::DeleteKey, root, sofar, {}, {}});
    }
    if (parts.empty())
        rc = RegOpenKeyExW(root, nullptr, 0, KEY_ALL_ACCESS | kView, key.out());
    return rc;
}

LONG Transaction::setValueChange(const Change& change)
{
    Key key;
    LONG rc = createPath(change.root, change.path, nullptr, key);
    if (rc != ERROR_SUCCESS)
        return rc;
    DWORD type = REG_NONE;
    DWORD size = 0;
    rc = RegQueryValueExW(key.get(), change.name.c_str(), nullptr, &type, nullptr, &size);
    Undo undo{Undo::Kind::DropValue, change.root, change.path, {change.name, 0, {}}, {}};
    if (rc == ERROR_SUCCESS) {
        undo.kind = Undo::Kind::PutValue;
        undo.value.data.resize(size);
        rc = RegQueryValueExW(key.get(), change.name.c_str(), nullptr, &undo.value.type,
                              undo.value.data.data(), &size);
        undo.value.data.resize(size);
    } else if (rc == ERROR_FILE_NOT_FOUND) {
        rc = ERROR_SUCCESS;
    }
    if (rc != ERROR_SUCCESS)
        return rc;
    m_log.push_back(undo);
    return setValue(key.get(), change.name, change.type, change.data);
}

LONG Transaction::deleteValueChange(const Change& change)
{
    Key key;
    LONG rc = RegOpenKeyExW(change.root, change.path.c_str(), 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE | kView, key.out());
    if (rc == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    Undo undo{Undo::Kind::PutValue, change.root, change.path, {change.name, 0, {}}, {}};
    DWORD size = 0;
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExW(key.get(), change.name.c_str(), nullptr, nullptr, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    undo.value.data.resize(size);
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExW(key.get(), change.name.c_str(), nullptr, &undo.value.type,
                              undo.value.data.data(), &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    undo.value.data.resize(size);
    m_log.push_back(undo);
    return RegDeleteValueW(key.get(), change.name.c_str());
}

LONG Transaction::deleteTreeChange(const Change& change, bool singleKey, std::string& reason)
{
    if (components(change.path).empty())
        return ERROR_INVALID_PARAMETER;
    Undo undo{Undo::Kind::PutTree, change.root, change.path, {}, {}};
    {
        Key key;
        LONG rc = RegOpenKeyExW(change.root, change.path.c_str(), REG_OPTION_OPEN_LINK,
                                KEY_ALL_ACCESS | kView, key.out());
        if (rc == ERROR_FILE_NOT_FOUND && !singleKey)
            return ERROR_SUCCESS;
        if (rc == ERROR_FILE_NOT_FOUND)
            reason = "notfound";
        DWORD subkeys = 0;
        if (rc == ERROR_SUCCESS && singleKey)
            rc = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr);
        // As Windows does, a key that still has subkeys is not deleted by itself.
        if (rc == ERROR_SUCCESS && subkeys > 0) {
            reason = "hassubkeys";
            return ERROR_ACCESS_DENIED;
        }
        if (rc == ERROR_SUCCESS)
            rc = readTree(key.get(), undo.tree, 0);
        if (rc != ERROR_SUCCESS)
            return rc;
        m_log.push_back(undo);
        if (!singleKey)
            rc = RegDeleteTreeW(key.get(), nullptr);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    return RegDeleteKeyExW(change.root, change.path.c_str(), kView, 0);
}

LONG Transaction::apply(const Change& change, std::string& reason)
{
    switch (change.kind) {
    case Change::Kind::CreateKey: {
        Key key;
        return createPath(change.root, change.path, nullptr, key);
    }
    case Change::Kind::SetValue:
        return setValueChange(change);
    case Change::Kind::DeleteValue:
        return deleteValueChange(change);
    case Change::Kind::DeleteTree:
        return deleteTreeChange(change, false, reason);
    case Change::Kind::DeleteKey:
        return deleteTreeChange(change, true, reason);
    }
    return ERROR_INVALID_PARAMETER;
}

LONG Transaction::restoreTree(HKEY root, const std::wstring& path, const Tree& tree)
{
    Key key;
    LONG rc = createPath(root, path, &tree.keyClass, key);
    for (size_t i = 0; i < tree.values.size() && rc == ERROR_SUCCESS; ++i)
        rc = setValue(key.get(), tree.values[i].name, tree.values[i].type, tree.values[i].data);
    for (size_t i = 0; i < tree.subkeys.size() && rc == ERROR_SUCCESS; ++i)
        rc = restoreTree(root, path + L"\\" + tree.subkeys[i].name, tree.subkeys[i]);
    return rc;
}

// Goes back through the log, newest first. Restoring a tree logs the keys it creates again;
// those entries are never undone themselves, as the log is walked only once.
bool Transaction::undo()
{
    bool ok = true;
    std::vector<Undo> log;
    log.swap(m_log);
    for (auto it = log.rbegin(); it != log.rend(); ++it) {
        LONG rc = ERROR_SUCCESS;
        Key key;
        switch (it->kind) {
        case Undo::Kind::DeleteKey:
            rc = RegDeleteKeyExW(it->root, it->path.c_str(), kView, 0);
            break;
        case Undo::Kind::PutValue:
            rc = RegOpenKeyExW(it->root, it->path.c_str(), 0, KEY_SET_VALUE | kView, key.out());
            if (rc == ERROR_SUCCESS)
                rc = setValue(key.get(), it->value.name, it->value.type, it->value.data);
            break;
        case Undo::Kind::DropValue:
            rc = RegOpenKeyExW(it->root, it->path.c_str(), 0, KEY_SET_VALUE | kView, key.out());
            if (rc == ERROR_SUCCESS)
                rc = RegDeleteValueW(key.get(), it->value.name.c_str());
            break;
        case Undo::Kind::PutTree:
            rc = restoreTree(it->root, it->path, it->tree);
            break;
        }
        ok = ok && rc == ERROR_SUCCESS;
    }
    m_log.clear();
    return ok;
}

} // namespace

ChangeOutcome applyChanges(const std::vector<Change>& changes)
{
    ChangeOutcome outcome;
    Transaction transaction;
    bool machine = false;
    bool user = false;
    for (size_t i = 0; i < changes.size(); ++i) {
        std::string reason = "error";
        const LONG rc = transaction.apply(changes[i], reason);
        if (rc != ERROR_SUCCESS) {
            outcome = {false, i, reason, rc, transaction.undo()};
            break;
        }
        (changes[i].root == HKEY_LOCAL_MACHINE ? machine : user) = true;
    }
    // Upstream Wine saves nothing on a flush (its server writes the files every 30 s and at
    // exit); Proton's writes the hive files then.
    if (machine)
        RegFlushKey(HKEY_LOCAL_MACHINE);
    if (user)
        RegFlushKey(HKEY_CURRENT_USER);
    return outcome;
}

} // namespace wineclient
