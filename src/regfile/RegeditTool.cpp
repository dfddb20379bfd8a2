#include "RegeditTool.h"

#include "RegFileReader.h"
#include "RegFileWriter.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

[[nodiscard]] RegeditOutcome failure(const QString& fileName, const QString& what, int line = 0)
{
    const QString where = line > 0 ? QStringLiteral("%1:%2").arg(fileName).arg(line) : fileName;
    return {kRegeditFailed, where + QStringLiteral(": ") + what};
}

[[nodiscard]] QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

[[nodiscard]] bool writeAll(int fd, const QByteArray& bytes)
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

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

[[nodiscard]] bool isSwitch(const QString& argument, QChar letter)
{
    return argument.size() == 2 && (argument[0] == u'/' || argument[0] == u'-') &&
           argument[1].toUpper() == letter;
}

} // namespace

QString writeFileAtomically(const QString& fileName, const QByteArray& bytes)
{
    const QFileInfo info(fileName);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    QByteArray temp = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                        info.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return systemError();
    const bool written = writeAll(fd, bytes) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    const QString error = written ? QString() : systemError();
    if (::close(fd) != 0 || !written || ::rename(temp.constData(), target.constData()) != 0) {
        const QString reason = error.isEmpty() ? systemError() : error;
        ::unlink(temp.constData());
        return reason;
    }
    syncFolder(info.absolutePath());
    return {};
}

RegeditOutcome exportRegFile(Registry& registry, const QString& fileName, const QString& key)
{
    const auto path = parseRegKeyPath(key);
    if (!path)
        return failure(fileName, QStringLiteral("not a registry key: %1").arg(key));
    const auto snapshot = registry.exportKey(path->root, path->path);
    if (!snapshot)
        return failure(fileName, QStringLiteral("key not found: %1").arg(key));
    const RegExportText text = writeRegText(path->root, path->path, *snapshot);
    if (!text.ok())
        return failure(fileName, text.error);
    if (const QString error = writeFileAtomically(fileName, text.bytes); !error.isEmpty())
        return failure(fileName, error);
    return {};
}

RegeditOutcome importRegFile(Registry& registry, const QString& fileName)
{
    const RegParseResult parsed = readRegFile(fileName);
    if (!parsed.ok())
        return failure(fileName, parsed.error, parsed.errorLine);
    const RegResult applied = registry.apply(parsed.changes);
    if (!applied.ok())
        return failure(fileName, applied.message.isEmpty() ? QStringLiteral("registry write failed")
                                                           : applied.message);
    return {};
}

RegeditOutcome runRegedit(Registry& registry, const QStringList& arguments)
{
    if (arguments.size() == 3 && isSwitch(arguments[0], u'E'))
        return exportRegFile(registry, arguments[1], arguments[2]);
    if (arguments.size() == 2 && isSwitch(arguments[0], u'S'))
        return importRegFile(registry, arguments[1]);
    return {kRegeditUsage, QStringLiteral("usage: nixora-regedit /E file key | /S file")};
}

} // namespace nixora
