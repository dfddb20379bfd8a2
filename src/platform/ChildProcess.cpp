#include "mdlProsessi.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryFile>

#include <vector>

namespace nixora
{

namespace
{

void prepare(QProcess& process, const QString& program, const QStringList& arguments,
             const QStringList& extraEnvironment)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& item : extraEnvironment) {
        const qsizetype equals = item.indexOf(u'=');
        if (equals > 0)
            environment.insert(item.left(equals), item.mid(equals + 1));
    }

    process.setProcessEnvironment(environment);
    process.setProgram(program);
    process.setArguments(arguments);
    // The child gets no terminal input; its output would only clutter ours.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);
}

void collect(QProcess& process, ChildResult& result, bool withError = true)
{
    if (withError)
        result.standardError = QString::fromLocal8Bit(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    else
        result.terminatingSignal = process.exitCode(); // Qt keeps the signal number there
}

} // namespace

ChildResult runHidden(const QString& program, const QStringList& arguments,
                      const QStringList& extraEnvironment)
{
    QProcess process;
    prepare(process, program, arguments, extraEnvironment);
    process.start();
    ChildResult result;
    if (!process.waitForStarted(-1))
        return result;
    result.started = true;
    process.waitForFinished(-1);
    collect(process, result);
    return result;
}

namespace
{

// Enough for the loader's own words; an uninstaller's chatter after them is not kept.
constexpr qint64 kErrorHeadBytes = 64 * 1024;

// Where a watched child's standard error goes: a file, not a pipe. Programs the child starts
// inherit it and may write after the wait has ended; a pipe nobody reads any more would stop
// or kill them (SIGPIPE), a file takes it. The name is removed when the wait ends; writers that
// still hold the file keep it until they end.
class ErrorFile
{
public:
    ErrorFile() : m_file(QDir::tempPath() + QStringLiteral("/nixora-stderr-XXXXXX")) {}

    void attach(QProcess& process)
    {
        process.setStandardErrorFile(m_file.open() ? m_file.fileName() : QProcess::nullDevice());
    }
    [[nodiscard]] QString head()
    {
        if (!m_file.isOpen() || !m_file.seek(0))
            return {};
        return QString::fromLocal8Bit(m_file.read(kErrorHeadBytes));
    }

private:
    QTemporaryFile m_file;
};

// The children whose wait was cancelled, still running: their QProcess objects are kept here
// until the children end (destroying one would kill its child). Never destroyed itself, so what
// it holds stays reachable while the program runs.
std::vector<QProcess*>& abandonedProcesses()
{
    static auto* processes = new std::vector<QProcess*>;
    return *processes;
}

} // namespace

ChildResult runHiddenWatched(const QString& program, const QStringList& arguments,
                             const QStringList& extraEnvironment,
                             const std::function<bool()>& keepWaiting)
{
    // On the heap: a QProcess that is destroyed kills its child, and a cancelled wait must leave
    // the child running. It is freed when the child ends.
    auto* process = new QProcess;
    prepare(*process, program, arguments, extraEnvironment);
    ErrorFile errors;
    errors.attach(*process);
    process->start();
    ChildResult result;
    if (!process->waitForStarted(-1)) {
        delete process;
        return result;
    }
    result.started = true;
    while (!process->waitForFinished(50)) {
        if (process->state() == QProcess::NotRunning)
            break;
        if (!keepWaiting()) {
            result.cancelled = true;
            abandonedProcesses().push_back(process);
            QObject::connect(process, &QProcess::finished, process, [process] {
                std::erase(abandonedProcesses(), process);
                process->deleteLater();
            });
            return result;
        }
    }
    collect(*process, result, false);
    delete process;
    result.standardError = errors.head();
    return result;
}

} // namespace nixora
