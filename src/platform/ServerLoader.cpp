#include "ServerLoader.h"

#include "PrefixProcesses.h"
#include "RegularFile.h"
#include "Wineserver.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

constexpr qint64 kMaxEnvironmentBytes = 4 * 1024 * 1024;
const QStringList kSyncVariables{QStringLiteral("WINEESYNC"), QStringLiteral("WINEFSYNC")};

[[nodiscard]] QString procLink(pid_t pid, const char* name)
{
    const QByteArray path =
        QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)).toLatin1();
    char target[4096];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target);
    QString link = n > 0 ? QFile::decodeName(QByteArray(target, int(n))) : QString();
    // An executable replaced since it started (Wine upgraded under a running server): its old
    // path still names the build, and a client of the new one finds out that it differs.
    if (link.endsWith(QLatin1String(" (deleted)")))
        link.chop(10);
    return link;
}

[[nodiscard]] QByteArrayList environmentOf(pid_t pid)
{
    QByteArray bytes;
    (void)readRegularFile(QStringLiteral("/proc/%1/environ").arg(pid), kMaxEnvironmentBytes, bytes);
    return bytes.split('\0');
}

[[nodiscard]] QString variable(const QByteArrayList& environment, const QString& name)
{
    const QByteArray key = name.toLatin1() + '=';
    for (const QByteArray& item : environment) {
        if (item.startsWith(key))
            return QFile::decodeName(item.mid(key.size()));
    }
    return {};
}

// A process whose root is not ours lives in a sandbox (flatpak, a container): the paths it
// names are not ours, and its server's socket is out of our reach.
[[nodiscard]] bool sharesOurRoot(pid_t pid)
{
    struct stat theirs {
    };
    struct stat ours {
    };
    const QByteArray root = QStringLiteral("/proc/%1/root/").arg(pid).toLatin1();
    return ::stat(root.constData(), &theirs) == 0 && ::stat("/", &ours) == 0 &&
           theirs.st_dev == ours.st_dev && theirs.st_ino == ours.st_ino;
}

[[nodiscard]] QString executableIn(const QString& folder, const QStringList& names)
{
    for (const QString& name : names) {
        const QFileInfo candidate(folder + u'/' + name);
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.filePath();
    }
    return {};
}

// The 64-bit loader of the build an executable of Wine belongs to: the server, a loader or a
// preloader. Our client is a 64-bit program, which only a 64-bit loader starts directly.
[[nodiscard]] QString loaderOfBuild(const QString& executable)
{
    const QFileInfo info(executable);
    const QString name = info.fileName();
    const QString folder = info.absolutePath();
    if (name == QLatin1String("wineserver32"))
        return {};
    if (name.startsWith(QLatin1String("wineserver")) || name == QLatin1String("wine") ||
        name == QLatin1String("wine-preloader"))
        return executableIn(folder, {QStringLiteral("wine64"), QStringLiteral("wine")});
    if (name == QLatin1String("wine64") || name == QLatin1String("wine64-preloader"))
        return executableIn(folder, {QStringLiteral("wine64")});
    return {};
}

[[nodiscard]] bool setsVariable(const QStringList& environment, const QString& name)
{
    return std::any_of(environment.begin(), environment.end(), [&name](const QString& item) {
        return item.startsWith(name) && item.size() > name.size() && item[name.size()] == u'=';
    });
}

void copySyncVariables(const QByteArrayList& from, QStringList& environment)
{
    for (const QString& name : kSyncVariables) {
        const QString value = variable(from, name);
        if (!value.isEmpty() && !setsVariable(environment, name))
            environment << name + u'=' + value;
    }
}

// What the prefix's programs tell: the loader they were started by, and their environment.
void lookAtPrefixProcesses(const QString& prefixPath, ServerLoader& found)
{
    for (const pid_t pid : prefixprocesses::processesOf(prefixPath)) {
        const QByteArrayList environment = environmentOf(pid);
        copySyncVariables(environment, found.environment);
        if (!found.loader.isEmpty() || !sharesOurRoot(pid))
            continue;
        found.loader = loaderOfBuild(variable(environment, QStringLiteral("WINELOADER")));
        if (found.loader.isEmpty())
            found.loader = loaderOfBuild(procLink(pid, "exe"));
    }
}

} // namespace

ServerLoader findServerLoader(const QString& prefixPath)
{
    ServerLoader found;
    found.server = wineserver::serverProcess(prefixPath);
    if (found.server < 0) {
        found.error = QStringLiteral("no wineserver runs for it");
        return found;
    }
    if (found.server == 0 || !sharesOurRoot(found.server)) {
        found.error = QStringLiteral("its wineserver runs in a sandbox (a flatpak or another "
                                     "container) that Nixora cannot reach");
        return found;
    }
    const QString serverProgram = procLink(found.server, "exe");
    const bool server32 = serverProgram.endsWith(QLatin1String("wineserver32"));
    copySyncVariables(environmentOf(found.server), found.environment);
    found.loader = loaderOfBuild(serverProgram);
    if (!server32)
        lookAtPrefixProcesses(prefixPath, found);
    if (found.loader.isEmpty()) {
        found.error =
            server32
                ? QStringLiteral("its wineserver (%1) is a 32-bit build, which cannot "
                                 "serve Nixora's 64-bit client")
                      .arg(serverProgram)
                : QStringLiteral("no Wine loader of the build that runs its wineserver "
                                 "(%1) was found")
                      .arg(serverProgram.isEmpty() ? QStringLiteral("process %1").arg(found.server)
                                                   : serverProgram);
        return found;
    }
    // A variable the prefix's programs do not set must not come from our own environment.
    for (const QString& name : kSyncVariables) {
        if (!setsVariable(found.environment, name))
            found.environment << name + u'=';
    }
    found.environment << QStringLiteral("WINEPREFIX=") + prefixPath
                      << QStringLiteral("WINEDEBUG=-all");
    return found;
}

} // namespace nixora
