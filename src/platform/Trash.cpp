#include "Trash.h"

#include "DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

constexpr int kMaxNameTries = 1000;

[[nodiscard]] QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

[[nodiscard]] std::optional<struct stat> statOf(const QString& path, bool followLinks)
{
    struct stat st {
    };
    const QByteArray name = QFile::encodeName(path);
    const int rc = followLinks ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st);
    return rc == 0 ? std::optional<struct stat>(st) : std::nullopt;
}

// A folder of the trash: made when missing, and used only when it is a real folder of ours.
[[nodiscard]] bool ownFolder(const QString& path)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    const auto st = statOf(path, false);
    return st && S_ISDIR(st->st_mode) && st->st_uid == ::getuid();
}

[[nodiscard]] bool usableTrash(const QString& trash)
{
    return ownFolder(trash) && ownFolder(trash + QStringLiteral("/files")) &&
           ownFolder(trash + QStringLiteral("/info"));
}

// The device of a path that may not exist yet: that of its nearest existing ancestor.
[[nodiscard]] std::optional<dev_t> deviceOf(QString path)
{
    for (;;) {
        if (const auto st = statOf(path, true))
            return st->st_dev;
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return std::nullopt;
        path = parent;
    }
}

// The top folder of the file system that holds `folder`: the last ancestor on its device.
[[nodiscard]] QString topFolderOf(QString folder, dev_t device)
{
    for (;;) {
        const QString parent = QFileInfo(folder).path();
        const auto st = statOf(parent, true);
        if (parent == folder || !st || st->st_dev != device)
            return folder;
        folder = parent;
    }
}

// The data home's folders are made with mode 0700 where they are missing, as the XDG base
// directories ask.
[[nodiscard]] bool makeDataHome(const QString& dataHome)
{
    if (QFileInfo(dataHome).isDir())
        return true;
    const QString parent = QFileInfo(dataHome).path();
    if (parent == dataHome || !makeDataHome(parent))
        return false;
    return ::mkdir(QFile::encodeName(dataHome).constData(), 0700) == 0 || errno == EEXIST;
}

struct TrashPlace {
    QString trash;
    QString top; // what Path= is relative to; empty: Path= is absolute (the home trash)
};

// The trash on the file's own file system, ready to take it; nullopt when there is none.
[[nodiscard]] std::optional<TrashPlace> trashFor(const QString& file, const QString& dataHome)
{
    const auto fileStat = statOf(file, false);
    if (!fileStat || dataHome.isEmpty())
        return std::nullopt;
    if (deviceOf(dataHome) == fileStat->st_dev) {
        const QString home = dataHome + QStringLiteral("/Trash");
        if (makeDataHome(dataHome) && usableTrash(home))
            return TrashPlace{home, {}};
        return std::nullopt;
    }
    const QString top = topFolderOf(QFileInfo(file).path(), fileStat->st_dev);
    const QString uid = QString::number(::getuid());
    const QString shared = top + QStringLiteral("/.Trash");
    const auto sharedStat = statOf(shared, false);
    if (sharedStat && S_ISDIR(sharedStat->st_mode) && (sharedStat->st_mode & S_ISVTX) &&
        usableTrash(shared + u'/' + uid))
        return TrashPlace{shared + u'/' + uid, top};
    const QString own = top + QStringLiteral("/.Trash-") + uid;
    if (usableTrash(own))
        return TrashPlace{own, top};
    return std::nullopt;
}

[[nodiscard]] QByteArray trashInfo(const QString& file, const TrashPlace& place,
                                   const QDateTime& deletionTime)
{
    const QString original = place.top.isEmpty() ? file : QDir(place.top).relativeFilePath(file);
    return "[Trash Info]\nPath=" + QFile::encodeName(original).toPercentEncoding("/") +
           "\nDeletionDate=" +
           deletionTime.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() +
           '\n';
}

// "name.reg", then "name.2.reg", "name.3.reg", ...
[[nodiscard]] QString candidateName(const QString& fileName, int attempt)
{
    if (attempt == 1)
        return fileName;
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= 0)
        return QStringLiteral("%1.%2").arg(fileName).arg(attempt);
    return QStringLiteral("%1.%2%3").arg(fileName.left(dot)).arg(attempt).arg(fileName.mid(dot));
}

// Reserves the name by creating its info file first, as the trash's rules ask, so that two
// programs trashing at once never take the same name.
[[nodiscard]] int reserveName(const QString& infoPath, const QByteArray& info)
{
    const int fd = ::open(QFile::encodeName(infoPath).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST ? 0 : -1;
    const bool written = writeAllToDescriptor(fd, info) && ::fsync(fd) == 0;
    ::close(fd);
    if (written)
        return 1;
    ::unlink(QFile::encodeName(infoPath).constData());
    return -1;
}

// Renames without replacing a file left in files/ by someone else.
[[nodiscard]] bool renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: the reserved info name keeps other trashers away.
    if (statOf(to, false)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(source.constData(), target.constData()) == 0;
}

} // namespace

QString userDataHome()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.local/share");
}

TrashResult moveToTrash(const QString& path, const QString& dataHome, const QDateTime& deletionTime)
{
    const QString file = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const auto place = trashFor(file, dataHome);
    if (!place)
        return {false, {}, QStringLiteral("no trash on the file system of %1").arg(file)};
    const QByteArray info = trashInfo(file, *place, deletionTime);
    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        const QString name = candidateName(QFileInfo(file).fileName(), attempt);
        const QString infoPath =
            place->trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo");
        const int reserved = reserveName(infoPath, info);
        if (reserved < 0)
            return {false, {}, systemError()};
        if (reserved == 0)
            continue;
        const QString target = place->trash + QStringLiteral("/files/") + name;
        if (renameNoReplace(file, target)) {
            (void)syncFolder(place->trash + QStringLiteral("/files"));
            (void)syncFolder(QFileInfo(file).path());
            return {true, target, {}};
        }
        const int error = errno;
        ::unlink(QFile::encodeName(infoPath).constData());
        if (error != EEXIST) {
            errno = error;
            return {false, {}, systemError()};
        }
    }
    return {false, {}, QStringLiteral("no free name in the trash")};
}

} // namespace nixora
