#include "RegularFile.h"

#include <QFile>

#include <algorithm>

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

// Checked after the open, so that a file swapped for something else meanwhile is never read.
[[nodiscard]] FileRead checkOpened(int fd, qint64 maxBytes, bool refuseLarger, struct stat& info)
{
    if (::fstat(fd, &info) != 0)
        return systemFailure(FileReadStatus::ReadError);
    if (!S_ISREG(info.st_mode))
        return failure(FileReadStatus::NotRegular, QStringLiteral("not a regular file"));
    if (refuseLarger && info.st_size > maxBytes)
        return tooLarge(maxBytes);
    return {};
}

// One read(2) into `bytes` from `at` to its end, again when a signal interrupted it.
[[nodiscard]] ssize_t readInto(int fd, QByteArray& bytes, qsizetype at)
{
    ssize_t n;
    do
        n = ::read(fd, bytes.data() + at, static_cast<size_t>(bytes.size() - at));
    while (n < 0 && errno == EINTR);
    return n;
}

// Reads to the end into one buffer of the size the file said it had, read on when it grew (or
// said nothing of its size, as the files under /proc do).
[[nodiscard]] FileRead readWhole(int fd, qint64 sizeHint, qint64 maxBytes, QByteArray& bytes)
{
    bytes.resize(static_cast<qsizetype>(sizeHint));
    qsizetype done = 0;
    for (;;) {
        if (done == bytes.size())
            bytes.resize(done + std::max<qsizetype>(4096, done));
        const ssize_t n = readInto(fd, bytes, done);
        if (n < 0) {
            bytes.clear();
            return systemFailure(FileReadStatus::ReadError);
        }
        if (n == 0)
            break;
        done += n;
        if (done > maxBytes) {
            bytes.clear();
            return tooLarge(maxBytes);
        }
    }
    bytes.resize(done);
    return {};
}

// Opened without blocking: a FIFO in the file's place would block the open.
template <typename Read>
FileRead readOpened(const QString& path, qint64 maxBytes, bool refuseLarger, Read&& read)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return systemFailure(FileReadStatus::CannotOpen);
    struct stat info {
    };
    FileRead result = checkOpened(fd, maxBytes, refuseLarger, info);
    if (result.ok())
        result = read(fd, info);
    ::close(fd);
    return result;
}

} // namespace

FileRead readRegularFile(const QString& path, qint64 maxBytes,
                         const std::function<void(QByteArrayView)>& onBlock)
{
    return readOpened(path, maxBytes, true, [&](int fd, const struct stat&) {
        return readBlocks(fd, maxBytes, onBlock);
    });
}

FileRead readRegularFile(const QString& path, qint64 maxBytes, QByteArray& bytes)
{
    bytes.clear();
    return readOpened(path, maxBytes, true, [&](int fd, const struct stat& info) {
        return readWhole(fd, info.st_size, maxBytes, bytes);
    });
}

FileRead readOpenedFile(int fd, qint64 maxBytes, QByteArray& bytes, struct stat& info)
{
    bytes.clear();
    const FileRead result = checkOpened(fd, maxBytes, true, info);
    return result.ok() ? readWhole(fd, info.st_size, maxBytes, bytes) : result;
}

FileRead readRegularFileHead(const QString& path, qint64 maxBytes, QByteArray& bytes)
{
    bytes.clear();
    return readOpened(path, maxBytes, false, [&](int fd, const struct stat&) {
        bytes.resize(maxBytes);
        qsizetype total = 0;
        while (total < maxBytes) {
            const ssize_t n = readInto(fd, bytes, total);
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
