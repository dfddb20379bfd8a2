#include "Wineserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora::wineserver
{
namespace
{

// The process holding the lock, 0 when it is held from where its id cannot be told (another
// pid namespace, a sandbox), -1 when the lock is free or not a server's.
pid_t lockHolder(const QString& lockFile)
{
    const QByteArray path = QFile::encodeName(lockFile);
    // Without O_NONBLOCK a FIFO in the lock's place would block the open, and start-up with it.
    int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    struct flock query {
    };
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0;
    query.l_len = 1;
    const bool held = ::fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
    ::close(fd);
    return held ? std::max<pid_t>(query.l_pid, 0) : -1;
}

// The server folder named in <prefix>/wineserver: a symlink or a file holding the name.
QString storedServerName(const QString& prefixPath)
{
    const QString stored = prefixPath + QStringLiteral("/wineserver");
    const QFileInfo info(stored);
    if (info.isSymLink()) {
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName(stored).constData(), target, sizeof target);
        return n > 0 ? QFile::decodeName(QByteArray(target, int(n))) : QString();
    }
    QFile file(stored);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

// The folders where the prefix's server could keep its "lock" file:
// server-<dev>-<ino> (lower-case hex, unpadded) of the prefix folder under /tmp/.wine-<uid>/
// and /run/user/<uid>/wine/, and $TMPDIR (else /tmp) joined with the name stored in
// <prefix>/wineserver when that exists, as well as the server-<dev>-<ino> folder inside it.
[[nodiscard]] QStringList serverDirectories(const QString& prefixPath)
{
    QStringList folders;
    QString name;
    struct stat info {
    };
    if (::stat(QFile::encodeName(prefixPath).constData(), &info) == 0) {
        name = QStringLiteral("server-%1-%2")
                   .arg(quint64(info.st_dev), 0, 16)
                   .arg(quint64(info.st_ino), 0, 16);
        const QString uid = QString::number(::getuid());
        folders << QStringLiteral("/tmp/.wine-%1/%2").arg(uid, name)
                << QStringLiteral("/run/user/%1/wine/%2").arg(uid, name);
    }
    const QString stored = storedServerName(prefixPath);
    if (!stored.isEmpty()) {
        QString base = stored;
        if (!QDir::isAbsolutePath(stored)) {
            QString tmp = qEnvironmentVariable("TMPDIR");
            if (tmp.isEmpty())
                tmp = QStringLiteral("/tmp");
            base = tmp + u'/' + stored;
        }
        // Debian's Wine keeps the server-<dev>-<ino> folder inside the one the prefix names.
        folders << base;
        if (!name.isEmpty())
            folders << base + u'/' + name;
    }
    return folders;
}

} // namespace

bool isRunning(const QString& prefixPath)
{
    return serverProcess(prefixPath) >= 0;
}

pid_t serverProcess(const QString& prefixPath)
{
    for (const QString& folder : serverDirectories(prefixPath)) {
        const pid_t holder = lockHolder(folder + QStringLiteral("/lock"));
        if (holder >= 0)
            return holder;
    }
    return -1;
}

} // namespace nixora::wineserver
