#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace nixora::test
{

// A file or folder below tests/data ("wine8/tricky/system.reg").
[[nodiscard]] QString dataPath(const QString& relative);

// The bytes of a file below tests/data. A missing or empty file fails the running test with the
// path it looked at, so a checkout without its data can never pass by reading nothing.
[[nodiscard]] QByteArray readDataFile(const QString& relative);

// The bytes of any file; empty when it cannot be read.
[[nodiscard]] QByteArray readAll(const QString& path);

// Replaces a file's bytes; fails the running test when the file cannot be written.
void writeAll(const QString& path, const QByteArray& bytes);

// What a program run to its end gave: its exit status (-1 when it did not end within a minute)
// and its output and error text.
struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs `program` in this process's environment with `extra` added (WINEPREFIX, say).
[[nodiscard]] ProgramRun runProgram(const QString& program, const QStringList& arguments,
                                    const QProcessEnvironment& extra = {});

} // namespace nixora::test
