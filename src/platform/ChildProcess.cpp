#include "mdlProsessi.h"

#include <QProcess>
#include <QProcessEnvironment>

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
    process->setStandardErrorFile(QProcess::nullDevice());
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
    return result;
}

} // namespace nixora
