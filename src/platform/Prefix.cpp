#include "Prefix.h"

#include "HiveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

constexpr QByteArrayView kHiveHeader = "WINE REGISTRY Version 2";
// Wine writes the #arch line within the first few lines; no need to read a large hive whole.
constexpr qsizetype kHeaderBytes = 4096;

QString archOf(const QByteArray& head)
{
    for (const QByteArray& line : head.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith("#arch="))
            return QString::fromLatin1(trimmed.mid(6));
    }
    return {};
}

} // namespace

Prefix::Prefix(QString path) : m_path(std::move(path)) {}

Prefix Prefix::fromEnvironment()
{
    QString path = qEnvironmentVariable("WINEPREFIX");
    if (path.isEmpty())
        return Prefix(QDir::homePath() + QStringLiteral("/.wine"));
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    Prefix prefix(path);
    if (!QDir::isAbsolutePath(path))
        prefix.m_error = QStringLiteral("WINEPREFIX must be an absolute path: %1").arg(path);
    return prefix;
}

Prefix Prefix::fromCommandLine(const QString& dir)
{
    if (dir.isEmpty()) {
        Prefix prefix(dir);
        prefix.m_error = QStringLiteral("--prefix needs a folder");
        return prefix;
    }
    return Prefix(QDir::cleanPath(QDir::current().absoluteFilePath(dir)));
}

QString Prefix::systemHive() const
{
    return m_path + QStringLiteral("/system.reg");
}

QString Prefix::userHive() const
{
    return m_path + QStringLiteral("/user.reg");
}

QString Prefix::backupFolder() const
{
    return m_path + QStringLiteral("/nixora-backups");
}

bool Prefix::exists() const
{
    return m_error.isEmpty() && QFileInfo(m_path).isDir();
}

HiveHeader readHiveHeader(const QString& folder)
{
    HiveHeader header;
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/system.reg"));
    // Non-blocking open and a regular-file check: a FIFO or device named system.reg must not
    // hang the scan.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        header.missing = errno == ENOENT;
        if (!header.missing) {
            header.isHive = true;
            header.problem =
                QStringLiteral("system.reg: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
        return header;
    }
    QFile file;
    struct stat info {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        header.isHive = true;
        header.problem = QStringLiteral("system.reg is not a readable file");
        return header;
    }
    const QByteArray head = file.read(kHeaderBytes);
    // Listing such a prefix would read the whole file; its own row says why it is not listed.
    if (head.startsWith(kHiveHeader) && info.st_size > HiveFile::kMaxFileBytes) {
        header.isHive = true;
        header.problem = QStringLiteral("system.reg is ") + HiveFile::tooLargeText(info.st_size);
        return header;
    }
    const qsizetype lineEnd = head.indexOf('\n');
    QByteArray first = lineEnd < 0 ? head : head.left(lineEnd);
    if (first.endsWith('\r'))
        first.chop(1);
    if (first != kHiveHeader)
        return header;
    header.isHive = true;
    header.arch = archOf(head);
    return header;
}

QString notAPrefixReason(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("no such folder");
    const HiveHeader header = readHiveHeader(folder);
    if (header.missing)
        return QStringLiteral("no system.reg");
    if (!header.isHive)
        return QStringLiteral("system.reg is not a Wine registry file");
    return {};
}

} // namespace nixora
