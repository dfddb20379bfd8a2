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
    return {status, text};
}

[[nodiscard]] QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
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
            return failure(FileReadStatus::ReadError, systemError());
        if (n == 0)
            return {};
        total += n;
        if (total > maxBytes)
            return tooLarge(maxBytes);
        onBlock(QByteArrayView(buffer, n));
    }
}

} // namespace

FileRead readRegularFile(const QString& path, qint64 maxBytes,
                         const std::function<void(QByteArrayView)>& onBlock)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failure(FileReadStatus::CannotOpen, systemError());
    struct stat info {
    };
    FileRead result;
    if (::fstat(fd, &info) != 0)
        result = failure(FileReadStatus::ReadError, systemError());
    else if (!S_ISREG(info.st_mode))
        result = failure(FileReadStatus::NotRegular, QStringLiteral("not a regular file"));
    else if (info.st_size > maxBytes)
        result = tooLarge(maxBytes);
    else
        result = readBlocks(fd, maxBytes, onBlock);
    ::close(fd);
    return result;
}

FileRead readRegularFileHead(const QString& path, qint64 headBytes, QByteArray& bytes)
{
    bytes.clear();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failure(FileReadStatus::CannotOpen, systemError());
    struct stat info {
    };
    FileRead result;
    if (::fstat(fd, &info) != 0) {
        result = failure(FileReadStatus::ReadError, systemError());
    } else if (!S_ISREG(info.st_mode)) {
        result = failure(FileReadStatus::NotRegular, QStringLiteral("not a regular file"));
    } else {
        bytes.resize(headBytes);
        ssize_t n = -1;
        do {
            n = ::pread(fd, bytes.data(), static_cast<size_t>(headBytes), 0);
        } while (n < 0 && errno == EINTR);
        bytes.resize(n < 0 ? 0 : n);
        if (n < 0)
            result = failure(FileReadStatus::ReadError, systemError());
    }
    ::close(fd);
    return result;
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

} // namespace nixora
