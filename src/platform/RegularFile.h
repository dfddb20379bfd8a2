#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

struct stat;

namespace nixora
{

// Reading a file that someone else may have put in our way. Only a regular file is read (a
// FIFO, a device or a link to one is refused), it is opened without blocking, and no more than
// `maxBytes` are read: a file that says it is larger, or turns out to be (files under /proc
// say they are empty), is refused as too large.
enum class FileReadStatus { Ok, CannotOpen, NotRegular, TooLarge, ReadError };

struct FileRead {
    FileReadStatus status = FileReadStatus::Ok;
    QString error;       // for the user; empty on success
    int systemError = 0; // errno of an open or read that failed

    [[nodiscard]] bool ok() const { return status == FileReadStatus::Ok; }
};

// Hands the file to `onBlock` in blocks of up to 64 KiB, in order.
[[nodiscard]] FileRead readRegularFile(const QString& path, qint64 maxBytes,
                                       const std::function<void(QByteArrayView)>& onBlock);

// The whole file at once.
[[nodiscard]] FileRead readRegularFile(const QString& path, qint64 maxBytes, QByteArray& bytes);

// The whole of a file already opened (without blocking, by whatever path rule the caller has),
// checked as above; `info` gets what fstat said of it.
[[nodiscard]] FileRead readOpenedFile(int fd, qint64 maxBytes, QByteArray& bytes,
                                      struct stat& info);

// The first `maxBytes` of a regular file (fewer when it is shorter); a larger file is no error.
[[nodiscard]] FileRead readRegularFileHead(const QString& path, qint64 maxBytes, QByteArray& bytes);

} // namespace nixora
