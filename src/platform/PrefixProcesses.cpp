#include "PrefixProcesses.h"

#include "RegularFile.h"
#include "Wineserver.h"

#include <QDir>

#include <chrono>
#include <thread>
#include <unistd.h>

namespace nixora::prefixprocesses
{
namespace
{

// /proc files say they are empty; the environment of a process is at most a few hundred KiB.
constexpr qint64 kMaxProcFileBytes = 4 * 1024 * 1024;
constexpr auto kPollInterval = std::chrono::milliseconds(50);

[[nodiscard]] QByteArray procFile(pid_t pid, const char* name)
{
    QByteArray bytes;
    (void)readRegularFile(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)),
                          kMaxProcFileBytes, bytes);
    return bytes;
}

[[nodiscard]] QByteArray withoutTrailingSlashes(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

[[nodiscard]] bool namesPrefix(const QByteArray& environment, const QByteArray& prefix)
{
    for (const QByteArray& item : environment.split('\0')) {
        if (item.startsWith("WINEPREFIX="))
            return withoutTrailingSlashes(item.mid(11)) == prefix;
    }
    return false;
}

// Sleeps one interval unless the caller wants to stop.
[[nodiscard]] bool pause(const KeepWaiting& keepWaiting)
{
    if (keepWaiting && !keepWaiting())
        return false;
    std::this_thread::sleep_for(kPollInterval);
    return true;
}

[[nodiscard]] bool anyStartedSince(const QString& prefixPath, const Snapshot& before)
{
    for (const pid_t pid : processesOf(prefixPath)) {
        if (!before.processes.contains(pid) && !isWineService(pid))
            return true;
    }
    return false;
}

} // namespace

std::set<pid_t> processesOf(const QString& prefixPath)
{
    std::set<pid_t> found;
    const QByteArray prefix = withoutTrailingSlashes(QFile::encodeName(prefixPath));
    const pid_t self = ::getpid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        if (number && pid != self && namesPrefix(procFile(pid, "environ"), prefix))
            found.insert(pid);
    }
    return found;
}

bool isWineService(pid_t pid)
{
    static const QStringList kServices{
        QStringLiteral("services.exe"), QStringLiteral("winedevice.exe"),
        QStringLiteral("plugplay.exe"), QStringLiteral("explorer.exe"),
        QStringLiteral("rpcss.exe"),    QStringLiteral("svchost.exe"),
        QStringLiteral("conhost.exe"),  QStringLiteral("winemenubuilder.exe"),
        QStringLiteral("wineserver"),   QStringLiteral("wineserver64")};
    const QByteArray commandLine = procFile(pid, "cmdline");
    const QString program = QString::fromUtf8(commandLine.left(commandLine.indexOf('\0')));
    const qsizetype cut = std::max(program.lastIndexOf(u'\\'), program.lastIndexOf(u'/'));
    return kServices.contains(program.mid(cut + 1), Qt::CaseInsensitive);
}

Snapshot takeSnapshot(const QString& prefixPath)
{
    return {processesOf(prefixPath), wineserver::isRunning(prefixPath)};
}

bool waitForStartedProcesses(const QString& prefixPath, const Snapshot& before,
                             const KeepWaiting& keepWaiting)
{
    while (anyStartedSince(prefixPath, before)) {
        if (!pause(keepWaiting))
            return false;
    }
    // A server that ran before keeps the registry in memory until its own programs end; that is
    // not ours to wait for (the caller says so).
    while (!before.serverRunning && wineserver::isRunning(prefixPath)) {
        if (!pause(keepWaiting))
            return false;
    }
    return true;
}

} // namespace nixora::prefixprocesses
