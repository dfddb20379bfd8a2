#include "FuzzTargets.h"

#include "backup/BackupList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace nixora::fuzz
{
namespace
{

QString scratchFile()
{
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/nixora-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/nixora-fuzz-XXXXXX"));
    return dir.path() + QStringLiteral("/backup.reg");
}

BackupFileInfo readBytes(const QByteArray& bytes)
{
    const QString path = scratchFile();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(bytes);
    file.close();
    return readBackupFile(path);
}

bool hasLineEnd(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

} // namespace

QString backupFile(QByteArrayView input)
{
    const QByteArray bytes = input.toByteArray();
    const BackupFileInfo info = readBytes(bytes);
    if (hasLineEnd(info.entryName) || hasLineEnd(info.version))
        return QStringLiteral("a line end inside a read field");
    QByteArray unixLines = bytes;
    unixLines.replace("\r\n", "\n");
    const BackupFileInfo again = readBytes(unixLines);
    if (again.entryName != info.entryName || again.version != info.version)
        return QStringLiteral("CR LF and LF line ends read differently");
    return {};
}

} // namespace nixora::fuzz
