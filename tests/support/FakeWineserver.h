#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nixora::test
{

// Holds a write lock on byte 0 of <folder>/lock from a child process, as a wineserver does.
class FakeWineserver
{
public:
    explicit FakeWineserver(const QString& folder) : m_folder(folder)
    {
        QDir().mkpath(folder);
        int ready[2];
        if (pipe(ready) != 0)
            return;
        m_child = fork();
        if (m_child == 0) {
            const int fd =
                ::open(QFile::encodeName(folder + "/lock").constData(), O_RDWR | O_CREAT, 0600);
            struct flock lock {
            };
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_len = 1;
            const char ok = (fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0) ? 1 : 0;
            (void)!::write(ready[1], &ok, 1);
            pause();
            _exit(0);
        }
        char ok = 0;
        (void)!::read(ready[0], &ok, 1);
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~FakeWineserver()
    {
        stop();
        QDir(m_folder).removeRecursively();
    }
    void stop()
    {
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
            m_child = -1;
        }
    }

private:
    QString m_folder;
    pid_t m_child = -1;
};

// The folder a wineserver of the prefix at `prefixPath` keeps its lock in (/tmp/.wine-<uid>/...).
inline QString wineserverFolderOf(const QString& prefixPath)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(prefixPath).constData(), &info) != 0)
        return {};
    return QStringLiteral("/tmp/.wine-%1/server-%2-%3")
        .arg(::getuid())
        .arg(quint64(info.st_dev), 0, 16)
        .arg(quint64(info.st_ino), 0, 16);
}

} // namespace nixora::test
