#include "HiveFile.h"

#include "HiveText.h"

namespace nixora
{
namespace
{

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicks1601To1970 = 116444736000000000ULL;

void appendPath(QByteArray& out, const HiveKey* key)
{
    if (key->parent != nullptr && key->parent->parent != nullptr) {
        appendPath(out, key->parent);
        out += "\\\\";
    }
    hive::appendEscaped(out, key->name, "[]");
}

} // namespace

QByteArray HiveFile::serialize(bool walkTree)
{
    if (!m_modified && !walkTree)
        return m_bytes;
    QByteArray out;
    out.reserve(m_bytes.size() + 4096);
    out.append(m_bytes.constData(), m_headerEnd);
    writeKey(m_root, out);
    return out;
}

// Keys in Wine's order, depth first, as Wine saves them.
void HiveFile::writeKey(HiveKey* key, QByteArray& out)
{
    if (key->dirty) {
        loadDetails(key);
        writeFreshBlock(key, out);
    } else {
        for (int32_t index = key->firstBlock; index >= 0; index = m_blocks[size_t(index)].next) {
            const Block& block = m_blocks[size_t(index)];
            appendPiece(out, m_bytes.constData() + block.begin, block.end - block.begin);
        }
    }
    for (HiveKey* child : key->children)
        writeKey(child, out);
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
