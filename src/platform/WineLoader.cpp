#include "WineLoader.h"

#include "Prefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

// Wine writes the #arch line among the first few lines; the rest of a large hive is not read.
constexpr qsizetype kHeaderBytes = 4096;

[[nodiscard]] QByteArray hiveHead(const QString& path)
{
    // Non-blocking and a regular file only: a FIFO in the hive's place must not hang a run.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray head(kHeaderBytes, '\0');
    struct stat info {
    };
    ssize_t n = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        n = ::read(fd, head.data(), head.size());
    ::close(fd);
    head.resize(n > 0 ? qsizetype(n) : 0);
    return head;
}

[[nodiscard]] bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

[[nodiscard]] bool isScript(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "#!";
}

} // namespace

bool isWin64Prefix(const QString& prefixPath)
{
    const QByteArray head = hiveHead(Prefix(prefixPath).systemHive());
    for (QByteArray line : head.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line == "#arch=win64")
            return true;
    }
    return false;
}

QString wine64Loader()
{
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    if (!wine.isEmpty()) {
        const QFileInfo real(QFileInfo(wine).canonicalFilePath());
        QStringList candidates{real.dir().filePath(QStringLiteral("wine64"))};
        // Debian's /usr/bin/wine is a script that starts /usr/lib/wine/wine or wine64.
        if (isScript(real.filePath()))
            candidates << real.dir().filePath(QStringLiteral("../lib/wine/wine64"));
        for (const QString& candidate : candidates)
            if (isExecutableFile(candidate))
                return QFileInfo(candidate).canonicalFilePath();
    }
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("wine64"));
    return onPath.isEmpty() ? wine : onPath;
}

QString wineLoaderFor(const QString& prefixPath)
{
    if (isWin64Prefix(prefixPath))
        return wine64Loader();
    return QStandardPaths::findExecutable(QStringLiteral("wine"));
}

} // namespace nixora
