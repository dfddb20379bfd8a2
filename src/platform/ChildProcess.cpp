#include "mdlProsessi.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace nixora
{

ChildResult runHidden(const QString& program, const QStringList& arguments,
                      const QStringList& extraEnvironment)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& item : extraEnvironment) {
        const qsizetype equals = item.indexOf(u'=');
        if (equals > 0)
            environment.insert(item.left(equals), item.mid(equals + 1));
    }

    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProgram(program);
    process.setArguments(arguments);
    // The child gets no terminal input; its output would only clutter ours.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start();

    ChildResult result;
    if (!process.waitForStarted(-1))
        return result;
    result.started = true;
    process.waitForFinished(-1);
    result.standardError = QString::fromLocal8Bit(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    else
        result.terminatingSignal = process.exitCode(); // Qt keeps the signal number there
    return result;
}

} // namespace nixora
