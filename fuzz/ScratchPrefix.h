#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A small prefix the import and restore targets write into, put back after every input.
namespace nixora::fuzz
{

inline const QByteArray kSystemHive =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\App] 1700000000\n"
    "#time=1da0000000000000\n\"DisplayName\"=\"App 1.0\"\n"
    "\"UninstallString\"=\"C:\\\\Program Files\\\\App\\\\uninst.exe /S\"\n"
    "\"EstimatedSize\"=dword:00000400\n";
inline const QByteArray kUserHive =
    "WINE REGISTRY Version 2\n;; All keys relative to "
    "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n"
    "[Software\\\\Qelvaro\\\\Nixora] 1700000000\n#time=1da0000000000000\n"
    "\"ruudukko\"=\"ei\"\n";

// A prefix on a memory file system when there is one: every import is synced to disk.
class ScratchPrefix
{
public:
    ScratchPrefix()
        : m_dir(QDir(QStringLiteral("/dev/shm")).exists()
                    ? QStringLiteral("/dev/shm/nixora-fuzz-XXXXXX")
                    : QDir::tempPath() + QStringLiteral("/nixora-fuzz-XXXXXX"))
    {
        reset();
    }
    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString file(const char* name) const
    {
        return m_dir.path() + u'/' + QLatin1String(name);
    }
    void reset() const
    {
        write(file("system.reg"), kSystemHive);
        write(file("user.reg"), kUserHive);
    }
    [[nodiscard]] bool untouched() const
    {
        return read(file("system.reg")) == kSystemHive && read(file("user.reg")) == kUserHive;
    }
    static void write(const QString& path, const QByteArray& bytes)
    {
        QFile out(path);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            out.write(bytes);
    }
    static QByteArray read(const QString& path)
    {
        QFile in(path);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};

inline ScratchPrefix& scratch()
{
    static ScratchPrefix prefix;
    return prefix;
}

} // namespace nixora::fuzz
