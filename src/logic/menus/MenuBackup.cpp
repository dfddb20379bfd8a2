#include "menus/MenuBackup.h"

#include "RegularFile.h"
#include "menus/MenuFiles.h"

namespace nixora::menus
{
namespace
{

const QByteArray kHeader = "Nixora menu backup 1";

[[nodiscard]] QByteArray escaped(const QString& text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == '%' || byte == 0x7f)
            out += '%' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        else
            out += c;
    }
    return out;
}

[[nodiscard]] QString unescaped(const QByteArray& text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

// Reads the backup's lines and blobs in order.
class Reader
{
public:
    explicit Reader(const QByteArray& bytes) : m_bytes(bytes) {}

    [[nodiscard]] std::optional<QList<QByteArray>> line()
    {
        const qsizetype end = m_bytes.indexOf('\n', m_at);
        if (end < 0)
            return std::nullopt;
        QList<QByteArray> fields = m_bytes.mid(m_at, end - m_at).split('\t');
        m_at = end + 1;
        return fields;
    }
    [[nodiscard]] std::optional<QByteArray> blob(qsizetype size)
    {
        if (size < 0 || m_at + size >= m_bytes.size() || m_bytes.at(m_at + size) != '\n')
            return std::nullopt;
        QByteArray data = m_bytes.mid(m_at, size);
        m_at += size + 1;
        return data;
    }

private:
    const QByteArray& m_bytes;
    qsizetype m_at = 0;
};

[[nodiscard]] std::optional<timespec> parseTime(const QByteArray& text)
{
    const QList<QByteArray> parts = text.split('.');
    bool secondsOk = false;
    bool nanosOk = false;
    const qint64 seconds = parts.value(0).toLongLong(&secondsOk);
    const qint64 nanos = parts.value(1).toLongLong(&nanosOk);
    if (parts.size() != 2 || !secondsOk || !nanosOk || nanos < 0 || nanos >= 1000000000)
        return std::nullopt;
    return timespec{static_cast<time_t>(seconds), static_cast<long>(nanos)};
}

[[nodiscard]] bool readFile(Reader& reader, const QList<QByteArray>& fields, MenuBackup& backup)
{
    bool modeOk = false;
    bool sizeOk = false;
    const uint mode = fields.value(1).toUInt(&modeOk, 8);
    const std::optional<timespec> time = parseTime(fields.value(2));
    const qsizetype size = fields.value(3).toLongLong(&sizeOk);
    const std::optional<QByteArray> bytes = sizeOk ? reader.blob(size) : std::nullopt;
    if (fields.size() != 5 || !modeOk || mode > 07777 || !time || !bytes)
        return false;
    backup.files.push_back({unescaped(fields[4]), *bytes, static_cast<mode_t>(mode), *time});
    return true;
}

[[nodiscard]] bool readValue(const QList<QByteArray>& fields, MenuBackup& backup)
{
    bool typeOk = false;
    const uint type = fields.value(3).toUInt(&typeOk);
    if (fields.size() != 5 || !typeOk)
        return false;
    backup.values.push_back(
        {unescaped(fields[1]), unescaped(fields[2]), {type, QByteArray::fromHex(fields[4])}});
    return true;
}

} // namespace

bool isMenuBackupName(const QString& fileName)
{
    return fileName.endsWith(kMenuBackupSuffix);
}

QByteArray encodeMenuBackup(const MenuBackup& backup)
{
    QByteArray out = kHeader + '\n';
    out += "title\t" + escaped(backup.title) + '\n';
    out += "prefix\t" + escaped(backup.prefix) + '\n';
    for (const MenuBackup::Value& value : backup.values)
        out += "value\t" + escaped(value.key) + '\t' + escaped(value.name) + '\t' +
               QByteArray::number(value.value.type) + '\t' + value.value.data.toHex() + '\n';
    for (const MenuBackup::File& file : backup.files) {
        out +=
            "file\t" + QByteArray::number(file.mode, 8) + '\t' +
            QByteArray::number(static_cast<qint64>(file.modified.tv_sec)) + '.' +
            QByteArray::number(static_cast<qint64>(file.modified.tv_nsec)).rightJustified(9, '0') +
            '\t' + QByteArray::number(file.bytes.size()) + '\t' + escaped(file.path) + '\n';
        out += file.bytes + '\n';
    }
    return out + "end\n";
}

std::optional<MenuBackup> decodeMenuBackup(const QByteArray& bytes)
{
    Reader reader(bytes);
    const auto header = reader.line();
    if (!header || header->size() != 1 || header->first() != kHeader)
        return std::nullopt;
    MenuBackup backup;
    for (;;) {
        const auto fields = reader.line();
        if (!fields)
            return std::nullopt;
        const QByteArray& kind = fields->first();
        if (kind == "end" && fields->size() == 1)
            return backup;
        bool ok = fields->size() == 2;
        if (kind == "title" && ok)
            backup.title = unescaped(fields->at(1));
        else if (kind == "prefix" && ok)
            backup.prefix = unescaped(fields->at(1));
        else if (kind == "value")
            ok = readValue(*fields, backup);
        else if (kind == "file")
            ok = readFile(reader, *fields, backup);
        else
            ok = false;
        if (!ok)
            return std::nullopt;
    }
}

QString readMenuBackupTitle(const QString& path)
{
    QByteArray head;
    if (!readRegularFileHead(path, 64 * 1024, head).ok() || !head.startsWith(kHeader + '\n'))
        return {};
    Reader reader(head);
    (void)reader.line();
    const auto title = reader.line();
    return title && title->size() == 2 && title->first() == "title" ? unescaped(title->at(1))
                                                                    : QString();
}

bool isMenuRecordKey(const QString& key)
{
    return key.compare(kMenuFilesKey, Qt::CaseInsensitive) == 0 ||
           (key.startsWith(kAssociationsKey + u'\\', Qt::CaseInsensitive) &&
            !key.mid(kAssociationsKey.size() + 1).contains(u'\\'));
}

} // namespace nixora::menus
