#include "RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

constexpr size_t kBlockSize = 65536;

[[nodiscard]] FileRead failure(FileReadStatus status, const QString& text)
{
    return {status, text, 0};
}

[[nodiscard]] FileRead systemFailure(FileReadStatus status)
{
    return {status, QString::fromLocal8Bit(std::strerror(errno)), errno};
}

[[nodiscard]] FileRead tooLarge(qint64 maxBytes)
{
    return failure(FileReadStatus::TooLarge,
                   QStringLiteral("file too large (more than %1 bytes)").arg(maxBytes));
}

[[nodiscard]] FileRead readBlocks(int fd, qint64 maxBytes,
                                  const std::function<void(QByteArrayView)>& onBlock)
{
    char buffer[kBlockSize];
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return systemFailure(FileReadStatus::ReadError);
        if (n == 0)
            return {};
        total += n;
        if (total > maxBytes)
            return tooLarge(maxBytes);
        onBlock(QByteArrayView(buffer, n));
    }
}

// Opened without blocking (a FIFO in the file's place would block the open) and checked after
// the open, so that a file swapped for something else meanwhile is never read.
template <typename Read>
FileRead readOpened(const QString& path, qint64 maxBytes, bool refuseLarger, Read&& read)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return systemFailure(FileReadStatus::CannotOpen);
    struct stat info {
    };
    FileRead result;
    if (::fstat(fd, &info) != 0)
        result = systemFailure(FileReadStatus::ReadError);
    else if (!S_ISREG(info.st_mode))
        result = failure(FileReadStatus::NotRegular, QStringLiteral("not a regular file"));
    else if (refuseLarger && info.st_size > maxBytes)
        result = tooLarge(maxBytes);
    else
        result = read(fd);
    ::close(fd);
    return result;
}

} // namespace

FileRead readRegularFile(const QString& path, qint64 maxBytes,
                         const std::function<void(QByteArrayView)>& onBlock)
{
    return readOpened(path, maxBytes, true,
                      [&](int fd) { return readBlocks(fd, maxBytes, onBlock); });
}

FileRead readRegularFile(const QString& path, qint64 maxBytes, QByteArray& bytes)
{
    bytes.clear();
    FileRead result =
        readRegularFile(path, maxBytes, [&bytes](QByteArrayView block) { bytes += block; });
    if (!result.ok())
        bytes.clear();
    return result;
}

FileRead readRegularFileHead(const QString& path, qint64 maxBytes, QByteArray& bytes)
{
    bytes.clear();
    return readOpened(path, maxBytes, false, [&](int fd) {
        bytes.resize(maxBytes);
        qint64 total = 0;
        while (total < maxBytes) {
            const ssize_t n = ::read(fd, bytes.data() + total, size_t(maxBytes - total));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                bytes.clear();
                return systemFailure(FileReadStatus::ReadError);
            }
            if (n == 0)
                break;
            total += n;
        }
        bytes.truncate(total);
        return FileRead{};
    });
}

} // namespace nixora
