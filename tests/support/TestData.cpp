#include "TestData.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace nixora::test
{

QString dataPath(const QString& relative)
{
    return QStringLiteral(NIXORA_TEST_DATA "/") + relative;
}

QByteArray readDataFile(const QString& relative)
{
    const QString path = dataPath(relative);
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (bytes.isEmpty())
        ADD_FAILURE() << "test data missing or empty: " << path.toStdString();
    return bytes;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

ProgramRun runProgram(const QString& program, const QStringList& arguments,
                      const QProcessEnvironment& extra)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(extra);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace nixora::test
