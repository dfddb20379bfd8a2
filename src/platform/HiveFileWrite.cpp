#include "HiveFile.h"

#include "HiveText.h"

#include <vector>

namespace nixora
{
namespace
{

// The key's path below the root; keys may be nested far deeper than calls could follow.
void appendPath(QByteArray& out, const HiveKey* key)
{
    std::vector<const HiveKey*> chain;
    for (; key->parent != nullptr; key = key->parent)
        chain.push_back(key);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            out += "\\\\";
        hive::appendEscaped(out, (*it)->name, "[]");
    }
}

} // namespace

std::optional<QByteArray> HiveFile::serialize(bool walkTree)
{
    if (!m_modified && !walkTree)
        return m_bytes;
    // A tree of a few subtrees lacks every other key of the file: written, it would save the
    // file without them. Nothing may ever write one, in any build.
    if (m_partial)
        return std::nullopt;
    QByteArray out;
    out.reserve(m_bytes.size() + 4096);
    out.append(m_bytes.constData(), m_headerEnd);
    writeKey(m_root, out);
    return out;
}

// Keys in Wine's order, depth first, as Wine saves them; a stack of our own rather than a call
// per level, as a hive may nest keys a million levels deep.
void HiveFile::writeKey(HiveKey* top, QByteArray& out)
{
    std::vector<HiveKey*> stack{top};
    while (!stack.empty()) {
        HiveKey* key = stack.back();
        stack.pop_back();
        if (key->dirty) {
            loadDetails(key);
            writeFreshBlock(key, out);
        } else {
            for (int32_t index = key->firstBlock; index >= 0;
                 index = m_blocks[size_t(index)].next) {
                const Block& block = m_blocks[size_t(index)];
                appendPiece(out, m_bytes.constData() + block.begin, block.end - block.begin);
            }
        }
        stack.insert(stack.end(), key->children.rbegin(), key->children.rend());
    }
}

void HiveFile::appendPiece(QByteArray& out, const char* data, qsizetype size)
{
    if (size == 0)
        return;
    // A piece that ended the old file may lack its line end; the next piece needs one.
    if (!out.isEmpty() && !out.endsWith('\n'))
        out += '\n';
    out.append(data, size);
}

// Wine writes a key only when it has values, has no subkeys, or carries a class or link; a key
// with subkeys and nothing else is implied by its subkeys' paths.
void HiveFile::writeFreshBlock(HiveKey* key, QByteArray& out)
{
    decodeAll(key);
    const bool needed = !key->values.empty() || key->children.empty() ||
                        !key->classLine.isEmpty() || key->isLink || !key->otherLines.isEmpty();
    if (!needed)
        return;
    QByteArray block = "\n[";
    if (key->parent != nullptr)
        appendPath(block, key);
    const uint64_t modified = key->modified;
    block += "] " + QByteArray::number(
                        quint64(modified > kTicks1601To1970
                                    ? uint32_t((modified - kTicks1601To1970) / kTicksPerSecond)
                                    : 0));
    block += "\n#time=" + QByteArray::number(quint64(modified >> 32), 16) +
             QByteArray::number(quint64(modified & 0xffffffffu), 16).rightJustified(8, '0') + '\n';
    if (!key->classLine.isEmpty())
        block += key->classLine + '\n';
    if (key->isLink)
        block += "#link\n";
    for (const HiveValue& value : key->values) {
        if (!value.rawText.isEmpty())
            block += value.rawText + '\n';
        else
            hive::appendValueLine(block, value.name, value.value);
    }
    block += key->otherLines;
    if (!block.endsWith('\n'))
        block += '\n';
    appendPiece(out, block.constData(), block.size());
}

} // namespace nixora
