#include "HiveLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace nixora
{

HiveLock::HiveLock(const QString& hivePath)
{
    const QByteArray path = QFile::encodeName(lockPath(hivePath));
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return;
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
