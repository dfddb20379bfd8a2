#include "HiveLock.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

struct Folder {
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
};

[[nodiscard]] bool lockExclusive(int fd)
{
    int rc = 0;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

} // namespace

HiveLock::HiveLock(const QStringList& hivePaths)
{
    std::vector<Folder> folders;
    for (const QString& hive : hivePaths) {
        const QString folder = QFileInfo(hive).absolutePath();
        Folder opened;
        opened.fd =
            ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info {
        };
        if (opened.fd < 0 || ::fstat(opened.fd, &info) != 0) {
            m_error =
                QStringLiteral("%1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
            if (opened.fd >= 0)
                ::close(opened.fd);
            for (const Folder& f : folders)
                ::close(f.fd);
            return;
        }
        opened.device = info.st_dev;
        opened.inode = info.st_ino;
        folders.push_back(opened);
    }
    std::sort(folders.begin(), folders.end(), [](const Folder& a, const Folder& b) {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    });
    for (size_t i = 0; i < folders.size(); ++i) {
        // A second lock of one folder by this process would wait for the first.
        if (i > 0 && folders[i].device == folders[i - 1].device &&
            folders[i].inode == folders[i - 1].inode) {
            ::close(folders[i].fd);
            continue;
        }
        m_fds.push_back(folders[i].fd);
    }
    for (int fd : m_fds) {
        if (!lockExclusive(fd)) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            release();
            return;
        }
    }
    m_locked = true;
}

HiveLock::~HiveLock()
{
    release();
}

void HiveLock::release()
{
    for (int fd : m_fds)
        ::close(fd);
    m_fds.clear();
    m_locked = false;
}

} // namespace nixora
