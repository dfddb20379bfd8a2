#include "HiveLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{

HiveLock::HiveLock(const QString& hivePath)
{
    const QByteArray path = QFile::encodeName(lockPath(hivePath));
    // A link in the lock's place is not followed (it would make us create a file wherever it
    // points), and anything but a regular file is not a lock of ours: the write is refused.
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (m_fd < 0)
        return;
    struct stat info {
    };
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    int rc = 0;
    do {
        rc = ::flock(m_fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

HiveLock::~HiveLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString HiveLock::lockPath(const QString& hivePath)
{
    return hivePath + QStringLiteral(".lock");
}

} // namespace nixora
