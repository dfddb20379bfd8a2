#include "DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

constexpr int kMaxLinks = 40; // as the kernel's limit on links in one lookup

[[nodiscard]] QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// ".<name>.nixora-<pid>-<n>.tmp": the writer's process id in the name lets a later writer tell
// a temporary left by a killed writer from one that a running writer is about to rename.
[[nodiscard]] QString temporaryName(const QString& fileName)
{
    static std::atomic<int> counter{0};
    return QStringLiteral(".%1.nixora-%2-%3.tmp").arg(fileName).arg(::getpid()).arg(counter++);
}

// The new file takes the old one's owner, group and mode (the owner first: a change of owner
// clears the set-id bits). Run as root on a user's file, the file stays the user's; where the
// owner cannot be kept, the file is not replaced.
[[nodiscard]] bool keepOwnerAndMode(int fd, const struct stat& old)
{
    struct stat fresh {
    };
    if (::fstat(fd, &fresh) != 0)
        return false;
    if ((fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

[[nodiscard]] bool processAlive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno != ESRCH);
}

void removeDeadWritersTemporaries(const QFileInfo& target)
{
    QDir folder = target.dir();
    const QString lead = QStringLiteral(".%1.nixora-").arg(target.fileName());
    const QStringList names = folder.entryList({lead + QStringLiteral("*.tmp")},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QString rest = name.mid(lead.size());
        bool ok = false;
        const qint64 pid = rest.left(rest.indexOf(u'-')).toLongLong(&ok);
        if (ok && !processAlive(pid_t(pid)))
            folder.remove(name);
    }
}

} // namespace

bool writeAllToDescriptor(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool syncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

QString FileReplacement::realPath(const QString& path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int i = 0; i < kMaxLinks; ++i) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            break;
        const QString next = info.symLinkTarget();
        if (next.isEmpty())
            break;
        current = next;
    }
    // The folders on the way may be links too; the file's own folder is what counts.
    const QFileInfo last(current);
    const QString folder = QFileInfo(last.path()).canonicalFilePath();
    return folder.isEmpty() ? current : folder + u'/' + last.fileName();
}

bool FileReplacement::stage(const QString& path, const QByteArray& bytes)
{
    discard();
    m_target = realPath(path);
    const QFileInfo info(m_target);
    removeDeadWritersTemporaries(info);
    const QString temp = info.path() + u'/' + temporaryName(info.fileName());
    const QByteArray nativeTemp = QFile::encodeName(temp);
    // 0666 less the umask for a new file; the old file's bits otherwise.
    const int fd = ::open(nativeTemp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        m_error = systemError();
        return false;
    }
    m_temp = temp;
    struct stat old {
    };
    bool ok = true;
    if (::stat(QFile::encodeName(m_target).constData(), &old) == 0 && S_ISREG(old.st_mode))
        ok = keepOwnerAndMode(fd, old);
    ok = ok && writeAllToDescriptor(fd, bytes) && ::fsync(fd) == 0;
    if (!ok)
        m_error = systemError();
    if (::close(fd) != 0 && ok) {
        m_error = systemError();
        ok = false;
    }
    if (!ok)
        discard();
    return ok;
}

bool FileReplacement::commit()
{
    if (m_temp.isEmpty())
        return false;
    const QByteArray target = QFile::encodeName(m_target);
    if (::rename(QFile::encodeName(m_temp).constData(), target.constData()) != 0) {
        m_error = systemError();
        discard();
        return false;
    }
    m_temp.clear();
    // The new file is in place; a folder that cannot be synced (some file systems refuse it)
    // does not make the write a failure.
    (void)syncFolder(QFileInfo(m_target).path());
    return true;
}

void FileReplacement::discard()
{
    if (!m_temp.isEmpty())
        ::unlink(QFile::encodeName(m_temp).constData());
    m_temp.clear();
}

QString replaceFileDurably(const QString& path, const QByteArray& bytes)
{
    FileReplacement replacement;
    if (!replacement.stage(path, bytes) || !replacement.commit())
        return replacement.error().isEmpty() ? QStringLiteral("cannot write the file")
                                             : replacement.error();
    return {};
}

} // namespace nixora
