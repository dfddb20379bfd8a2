#include "HiveFile.h"

#include "HiveText.h"

#include <algorithm>
#include <bit>
#include <cstring>

// Building the key tree from the key lines of a file, in whatever order they come.
namespace nixora
{

HiveFile::ChildIndex::ChildIndex(const std::vector<HiveKey*>& children)
{
    m_slots.assign(std::bit_ceil(std::max<size_t>(children.size() * 2, 64)), nullptr);
    for (HiveKey* child : children)
        insert(child);
}

size_t HiveFile::ChildIndex::hashOf(QStringView name)
{
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const QChar c : name) {
        hash ^= hive::foldNameUnit(c.unicode());
        hash *= 0x100000001b3ULL;
    }
    return size_t(hash ^ (hash >> 29));
}

HiveKey* HiveFile::ChildIndex::find(QStringView name) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = hashOf(name) & mask; m_slots[slot] != nullptr; slot = (slot + 1) & mask) {
        if (hive::sameName(m_slots[slot]->name, name))
            return m_slots[slot];
    }
    return nullptr;
}

void HiveFile::ChildIndex::insert(HiveKey* child)
{
    if (2 * (m_size + 1) > m_slots.size()) {
        std::vector<HiveKey*> old(m_slots.size() * 2, nullptr);
        old.swap(m_slots);
        m_size = 0;
        for (HiveKey* key : old) {
            if (key != nullptr)
                insert(key);
        }
    }
    const size_t mask = m_slots.size() - 1;
    size_t slot = hashOf(child->name) & mask;
    while (m_slots[slot] != nullptr)
        slot = (slot + 1) & mask;
    m_slots[slot] = child;
    ++m_size;
}

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
        return indexedChild(parent, name, create);
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
    // its subkeys in file order behind an index by name; finishScan() sorts them once.
    if (m_scanning && children.size() >= kIndexedFrom) {
        m_childIndexes.emplace(parent, ChildIndex(children));
        parent->childrenInFileOrder = true;
        return indexedChild(parent, name, true);
    }
    return *children.insert(it, newKey(parent, name));
}

HiveKey* HiveFile::indexedChild(HiveKey* parent, QStringView name, bool create)
{
    ChildIndex& index = m_childIndexes.at(parent);
    if (HiveKey* child = index.find(name))
        return child;
    if (!create)
        return nullptr;
    parent->children.push_back(newKey(parent, name));
    index.insert(parent->children.back());
    return parent->children.back();
}

void HiveFile::finishScan()
{
    m_scanning = false;
    const auto before = [](const HiveKey* a, const HiveKey* b) {
        return hive::compareNames(a->name, b->name) < 0;
    };
    for (auto& [parent, index] : m_childIndexes) {
        std::vector<HiveKey*>& children = parent->children;
        // Siblings written in exactly the opposite order need no sort.
        if (std::is_sorted(children.rbegin(), children.rend(), before))
            std::reverse(children.begin(), children.end());
        else
            std::sort(children.begin(), children.end(), before);
        parent->childrenInFileOrder = false;
    }
    m_childIndexes.clear();
}

} // namespace nixora
