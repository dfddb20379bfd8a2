#include "HiveFile.h"

#include "HiveText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

// Building the key tree from the key lines of a file, in whatever order they come.
namespace nixora
{

HiveFile::ChildIndex::ChildIndex(std::vector<HiveKey*>& children) : m_children(children)
{
    m_slots.resize(std::bit_ceil(std::max<size_t>(children.size() * 2, 64)));
    for (uint32_t i = 0; i < children.size(); ++i)
        place(i, hashOf(children[i]->name));
}

uint32_t HiveFile::ChildIndex::hashOf(QStringView name)
{
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const QChar c : name) {
        hash ^= hive::foldNameUnit(c.unicode());
        hash *= 0x100000001b3ULL;
    }
    return uint32_t(hash ^ (hash >> 32));
}

// The slot of the child named `name`, else the empty slot where it belongs. A slot holds the
// child's place in the list and its hash, so that children of other names are passed by.
size_t HiveFile::ChildIndex::slotOf(QStringView name, uint32_t hash) const
{
    const size_t mask = m_slots.size() - 1;
    size_t slot = hash & mask;
    for (; m_slots[slot].place != 0; slot = (slot + 1) & mask) {
        if (m_slots[slot].hash == hash &&
            hive::sameName(m_children[m_slots[slot].place - 1]->name, name))
            break;
    }
    return slot;
}

void HiveFile::ChildIndex::place(uint32_t index, uint32_t hash)
{
    const size_t mask = m_slots.size() - 1;
    size_t slot = hash & mask;
    while (m_slots[slot].place != 0)
        slot = (slot + 1) & mask;
    m_slots[slot] = {index + 1, hash};
}

HiveKey* HiveFile::ChildIndex::find(QStringView name) const
{
    const Slot& slot = m_slots[slotOf(name, hashOf(name))];
    return slot.place != 0 ? m_children[slot.place - 1] : nullptr;
}

template <typename Make> HiveKey* HiveFile::ChildIndex::findOrAppend(QStringView name, Make make)
{
    if (2 * (m_children.size() + 1) > m_slots.size()) {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        for (const Slot& kept : old) {
            if (kept.place != 0)
                place(kept.place - 1, kept.hash);
        }
    }
    const uint32_t hash = hashOf(name);
    Slot& slot = m_slots[slotOf(name, hash)];
    if (slot.place != 0)
        return m_children[slot.place - 1];
    m_children.push_back(make());
    slot = {uint32_t(m_children.size()), hash};
    return m_children.back();
}

namespace
{

// A subkey with the first units of its folded name, big-endian, so that comparing these bytes
// orders most names as compareNames does; names alike in all of them are compared in full.
struct SortEntry {
    std::array<unsigned char, 24> head;
    HiveKey* key;
};

SortEntry sortEntry(HiveKey* key)
{
    SortEntry entry{{}, key};
    const qsizetype n = std::min<qsizetype>(key->name.size(), qsizetype(entry.head.size() / 2));
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = hive::foldNameUnit(key->name[i].unicode());
        entry.head[size_t(2 * i)] = static_cast<unsigned char>(unit >> 8);
        entry.head[size_t(2 * i + 1)] = static_cast<unsigned char>(unit & 0xff);
    }
    return entry;
}

// Puts the subkeys in Wine's order with one sort over a contiguous array: comparing through
// each key's scattered name made the sort of a million shuffled siblings most of the scan.
void sortChildren(std::vector<HiveKey*>& children)
{
    std::vector<SortEntry> entries;
    entries.reserve(children.size());
    for (HiveKey* child : children)
        entries.push_back(sortEntry(child));
    const auto before = [](const SortEntry& a, const SortEntry& b) {
        const int order = std::memcmp(a.head.data(), b.head.data(), a.head.size());
        return order != 0 ? order < 0 : hive::compareNames(a.key->name, b.key->name) < 0;
    };
    // Siblings written in exactly the opposite order need no sort.
    if (std::is_sorted(entries.rbegin(), entries.rend(), before))
        std::reverse(entries.begin(), entries.end());
    else
        std::sort(entries.begin(), entries.end(), before);
    for (size_t i = 0; i < entries.size(); ++i)
        children[i] = entries[i].key;
}

} // namespace

// A new block of `key` starting at `blockStart`, chained after the key's earlier blocks.
void HiveFile::linkBlock(HiveKey* key, qsizetype blockStart)
{
    const auto index = int32_t(m_blocks.size());
    m_blocks.push_back({blockStart, blockStart, -1});
    if (key->firstBlock < 0) {
        key->firstBlock = index;
        return;
    }
    int32_t last = key->firstBlock;
    while (m_blocks[size_t(last)].next >= 0)
        last = m_blocks[size_t(last)].next;
    m_blocks[size_t(last)].next = index;
}

namespace
{

template <typename Visit> void forEachComponent(QStringView path, Visit visit)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\') {
            if (i > start)
                visit(path.mid(start, i - start));
            start = i + 1;
        }
    }
}

} // namespace

// Wine writes the keys in order, so each key shares most of its path with the one before it:
// the walk starts at the deepest key the two paths have in common instead of at the root.
HiveKey* HiveFile::keyAfter(const QString& path)
{
    const QStringView previous(m_previousPath);
    const qsizetype n = std::min(previous.size(), path.size());
    qsizetype same = 0;
    // Four units at a time, then one by one.
    for (; same + 4 <= n; same += 4) {
        uint64_t a = 0;
        uint64_t b = 0;
        std::memcpy(&a, previous.utf16() + same, 8);
        std::memcpy(&b, path.constData() + same, 8);
        if (a != b)
            break;
    }
    while (same < n && previous[same] == path[same])
        ++same;
    const bool boundary = (same == previous.size() || previous[same] == u'\\') &&
                          (same == path.size() || path[same] == u'\\');
    if (!boundary)
        same = std::max<qsizetype>(0, previous.left(same).lastIndexOf(u'\\'));
    HiveKey* key = m_previousKey != nullptr ? m_previousKey : m_root;
    forEachComponent(previous.mid(same), [&key](QStringView) { key = key->parent; });
    forEachComponent(QStringView(path).mid(same),
                     [this, &key](QStringView part) { key = childFor(key, part, true); });
    // A copy into the room already held: sharing `path` would make its next reuse allocate.
    m_previousPath.resize(0);
    m_previousPath += path;
    m_previousKey = key;
    return key;
}

HiveKey* HiveFile::newKey(HiveKey* parent, QStringView name)
{
    HiveKey& key = m_keys.emplace_back();
    key.name = name.toString();
    key.parent = parent;
    return &key;
}

HiveKey* HiveFile::childFor(HiveKey* parent, QStringView name, bool create)
{
    auto& children = parent->children;
    if (parent->childrenInFileOrder)
        return unsortedChild(parent, name, create);
    // Files are written in order, so a new key usually sorts after its last sibling.
    if (!children.empty()) {
        const int order = hive::compareNames(children.back()->name, name);
        if (order == 0)
            return children.back();
        if (order < 0) {
            if (!create)
                return nullptr;
            children.push_back(newKey(parent, name));
            return children.back();
        }
    }
    auto it = std::lower_bound(children.begin(), children.end(), name,
                               [](const HiveKey* child, QStringView wanted) {
                                   return hive::compareNames(child->name, wanted) < 0;
                               });
    if (it != children.end() && hive::compareNames((*it)->name, name) == 0)
        return *it;
    if (!create)
        return nullptr;
    // A key line out of Wine's order. Put in its place, it would move every later sibling: in a
    // file of many siblings in descending or random order that makes the scan quadratic in their
    // number (a million reversed took minutes). While the file is scanned, such a parent keeps
    // the subkeys that come before all others apart, and once a key falls in between, all of
    // them in file order behind an index by name; finishScan() puts them in order once.
    if (m_scanning && children.size() >= kUnsortedFrom) {
        OutOfOrder& unsorted = m_outOfOrder[parent];
        parent->childrenInFileOrder = true;
        if (it == children.begin()) {
            unsorted.before.push_back(newKey(parent, name));
            return unsorted.before.back();
        }
        unsorted.index.emplace(children);
        return unsortedChild(parent, name, true);
    }
    return *children.insert(it, newKey(parent, name));
}

// Subkeys kept apart while the file is scanned: those that came before all others (descending
// order, so the newest is the smallest) and the rest in order, or all of them behind the index.
HiveKey* HiveFile::unsortedChild(HiveKey* parent, QStringView name, bool create)
{
    OutOfOrder& unsorted = m_outOfOrder.at(parent);
    std::vector<HiveKey*>& children = parent->children;
    if (unsorted.index) {
        if (!create)
            return unsorted.index->find(name);
        return unsorted.index->findOrAppend(name, [&] { return newKey(parent, name); });
    }
    std::vector<HiveKey*>& before = unsorted.before;
    const int toSmallest = hive::compareNames(name, before.back()->name);
    if (toSmallest == 0)
        return before.back();
    const int toLargest = hive::compareNames(name, children.back()->name);
    if (toLargest == 0)
        return children.back();
    if (create && (toSmallest < 0 || toLargest > 0)) {
        std::vector<HiveKey*>& end = toSmallest < 0 ? before : children;
        end.push_back(newKey(parent, name));
        return end.back();
    }
    const auto less = [](const HiveKey* child, QStringView wanted) {
        return hive::compareNames(child->name, wanted) < 0;
    };
    const auto more = [](const HiveKey* child, QStringView wanted) {
        return hive::compareNames(child->name, wanted) > 0;
    };
    auto low = std::lower_bound(before.begin(), before.end(), name, more);
    if (low != before.end() && hive::sameName((*low)->name, name))
        return *low;
    auto high = std::lower_bound(children.begin(), children.end(), name, less);
    if (high != children.end() && hive::sameName((*high)->name, name))
        return *high;
    if (!create)
        return nullptr;
    children.insert(children.begin(), before.rbegin(), before.rend());
    before.clear();
    unsorted.index.emplace(children);
    return unsortedChild(parent, name, true);
}

void HiveFile::finishScan()
{
    m_scanning = false;
    for (auto& [parent, unsorted] : m_outOfOrder) {
        std::vector<HiveKey*>& children = parent->children;
        if (unsorted.index)
            sortChildren(children);
        else
            children.insert(children.begin(), unsorted.before.rbegin(), unsorted.before.rend());
        parent->childrenInFileOrder = false;
    }
    m_outOfOrder.clear();
}

} // namespace nixora
