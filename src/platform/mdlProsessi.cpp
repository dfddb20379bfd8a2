#include "mdlProsessi.h"
#include "TextUtil.h"

#include "FileQuery.h"
#include "PrefixProcesses.h"
#include "WineLoader.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace nixora
{
namespace
{

constexpr int32_t kNotStarted = -1;

// A child ended by a signal did run, so it must not look like "could not be started" (-1).
// It reports what a shell reports for it: 128 plus the signal number (137 for SIGKILL).
constexpr int kSignalExitBase = 128;

// Wine ends a process it cannot load (a 32-bit program in a prefix without 32-bit support, a
// DLL it needs missing) with STATUS_DLL_NOT_FOUND, c0000135, whose low byte a Linux exit status
// keeps: 53. A program may exit with 53 of its own accord, so Wine's own words on standard
// error, "wine: could not load kernel32.dll, status c0000135" (printed whatever WINEDEBUG
// says) or its err: lines naming the status, must say it too.
constexpr int kDllNotFoundExit = 0x35;
constexpr QStringView kDllNotFound = u"c0000135";

enum class ProgramKind { Windows, Native, Unusable };

// The front of a command line taken as a program name, and the text after it.
struct Candidate {
    QString name;
    QString argumentText;
};

struct Program {
    QString windowsPath;
    QString unixPath;
    QString argumentText;
};

// Windows' rules with no application name: a quoted name ends at the closing quote; otherwise
// every stretch that ends before a blank is tried, shortest first, then the whole line.
[[nodiscard]] QList<Candidate> programCandidates(const QString& line)
{
    if (line.startsWith(u'"')) {
        const qsizetype close = line.indexOf(u'"', 1);
        if (close < 0)
            return {Candidate{line.mid(1), {}}};
        return {Candidate{line.mid(1, close - 1), line.mid(close + 1)}};
    }
    QList<Candidate> candidates;
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (isBlank(line[i]) && !isBlank(line[i - 1]))
            candidates.append(Candidate{line.left(i), line.mid(i)});
    }
    candidates.append(Candidate{line, {}});
    return candidates;
}

[[nodiscard]] bool hasFolderPart(const QString& name)
{
    return name.contains(u'\\') || name.contains(u'/') || (name.size() >= 2 && name[1] == u':');
}

// ".exe" is tried first when the last component has no dot, as Windows does; the name as it
// stands comes second, which is how Wine finds native programs without an extension.
[[nodiscard]] QStringList namesToTry(const QString& name)
{
    const qsizetype slash = std::max(name.lastIndexOf(u'\\'), name.lastIndexOf(u'/'));
    if (name.indexOf(u'.', slash + 1) >= 0)
        return {name};
    return {name + QStringLiteral(".exe"), name};
}

// A bare program name is looked for in the current folder, then in the system folders.
[[nodiscard]] QStringList searchLocations(const QString& name)
{
    if (hasFolderPart(name))
        return {name};
    return {name, QStringLiteral("C:\\windows\\system32\\") + name,
            QStringLiteral("C:\\windows\\system\\") + name, QStringLiteral("C:\\windows\\") + name};
}

// Only a regular file can be a program: a FIFO or a device in its place would block the
// runner (or never end) when its first bytes are read.
[[nodiscard]] bool isRegularFile(const QString& unixPath)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(unixPath).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

[[nodiscard]] std::optional<Program> findProgram(const QString& prefixPath, const QString& line)
{
    for (const Candidate& candidate : programCandidates(line)) {
        if (candidate.name.isEmpty())
            continue;
        for (const QString& name : namesToTry(candidate.name)) {
            for (const QString& windowsPath : searchLocations(name)) {
                const std::optional<QString> unixPath = resolveWindowsPath(prefixPath, windowsPath);
                if (unixPath && isRegularFile(*unixPath))
                    return Program{windowsPath, *unixPath, candidate.argumentText};
            }
        }
    }
    return std::nullopt;
}

// Reads the first bytes only, to tell a Windows program from a native one as Wine does.
[[nodiscard]] ProgramKind programKind(const QString& unixPath)
{
    // Opened without blocking and checked again: the file may have been swapped for a FIFO.
    const int fd =
        ::open(QFile::encodeName(unixPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ProgramKind::Unusable;
    struct stat info {
    };
    char bytes[4] = {};
    ssize_t n = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        n = ::read(fd, bytes, sizeof bytes);
    ::close(fd);
    if (n < 0)
        return ProgramKind::Unusable;
    const QByteArray head(bytes, int(n));
    if (head.startsWith("MZ"))
        return ProgramKind::Windows;
    const bool native = head.startsWith("\x7f"
                                        "ELF") ||
                        head.startsWith("#!");
    return native && QFileInfo(unixPath).isExecutable() ? ProgramKind::Native
                                                        : ProgramKind::Unusable;
}

[[nodiscard]] bool wineCouldNotLoad(const ChildResult& result)
{
    return result.terminatingSignal == 0 && result.exitCode == kDllNotFoundExit &&
           result.standardError.contains(kDllNotFound, Qt::CaseInsensitive);
}

// `underWine`: the child was a Windows program started by a Wine loader.
[[nodiscard]] int32_t exitCodeOf(const ChildResult& result, bool underWine)
{
    // A program Wine could not load never ran, as when Windows' CreateProcess fails.
    if (!result.started || (underWine && wineCouldNotLoad(result)))
        return kNotStarted;
    if (result.terminatingSignal != 0)
        return kSignalExitBase + result.terminatingSignal;
    // A native child exits with 0-255 and wine passes a Windows exit code on modulo 256, so
    // 0xFFFFFFFF (-1) can only mean "not started" here.
    return result.exitCode;
}

struct Launch {
    QString program;
    QStringList arguments;
    bool underWine = false;
};

// A Windows program under the prefix's Wine loader, a native one directly.
[[nodiscard]] std::optional<Launch> launchOf(const QString& prefixPath, const Program& program)
{
    const QStringList arguments = splitWindowsCommandLine(program.argumentText);
    switch (programKind(program.unixPath)) {
    case ProgramKind::Windows: {
        const QString wine = wineLoaderFor(prefixPath);
        if (wine.isEmpty())
            return std::nullopt;
        return Launch{wine, QStringList{program.windowsPath} + arguments, true};
    }
    case ProgramKind::Native:
        return Launch{program.unixPath, arguments, false};
    case ProgramKind::Unusable:
        break;
    }
    return std::nullopt;
}

// Waits for what the program started, not for "wineserver -w": that waits for every Wine
// program of the prefix, for ever while a launcher such as Steam runs in it.
[[nodiscard]] mdlProsessi::RunOutcome runProgram(const QString& prefixPath, const Program& program,
                                                 const std::function<bool()>& keepWaiting)
{
    const std::optional<Launch> launch = launchOf(prefixPath, program);
    if (!launch)
        return {};
    const prefixprocesses::Snapshot before = prefixprocesses::takeSnapshot(prefixPath);
    const ChildResult result =
        runHiddenWatched(launch->program, launch->arguments,
                         {QStringLiteral("WINEPREFIX=") + prefixPath}, keepWaiting);
    mdlProsessi::RunOutcome outcome{exitCodeOf(result, launch->underWine), result.cancelled,
                                    before.serverRunning};
    // Also after a program Wine could not load: the server it started must end before the
    // entry can be removed.
    if (result.started && !result.cancelled)
        outcome.cancelled =
            !prefixprocesses::waitForStartedProcesses(prefixPath, before, keepWaiting);
    return outcome;
}

} // namespace

} // namespace nixora

namespace mdlProsessi
{

int32_t AjaProsessi(const QString& prefixPath, const QString& commandLine)
{
    return AjaProsessiOdottaen(prefixPath, commandLine, [] { return true; }).exitCode;
}

RunOutcome AjaProsessiOdottaen(const QString& prefixPath, const QString& commandLine,
                               const std::function<bool()>& keepWaiting)
{
    const QString line = nixora::skipBlanks(commandLine).toString();
    if (line.isEmpty())
        return {};
    const std::optional<nixora::Program> program = nixora::findProgram(prefixPath, line);
    if (!program)
        return {};
    return nixora::runProgram(prefixPath, *program, keepWaiting);
}

} // namespace mdlProsessi
