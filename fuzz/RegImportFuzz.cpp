#include "FuzzTargets.h"

#include "RegFileReader.h"
#include "RegeditTool.h"
#include "HiveFile.h"
#include "WineRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace nixora::fuzz
{
namespace
{

const QByteArray kSystemHive =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\App] 1700000000\n"
    "#time=1da0000000000000\n\"DisplayName\"=\"App 1.0\"\n"
    "\"UninstallString\"=\"C:\\\\Program Files\\\\App\\\\uninst.exe /S\"\n"
    "\"EstimatedSize\"=dword:00000400\n";
const QByteArray kUserHive = "WINE REGISTRY Version 2\n;; All keys relative to "
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

ScratchPrefix& scratch()
{
    static ScratchPrefix prefix;
    return prefix;
}

QString checkSuccess(const QByteArray& input, ScratchPrefix& prefix)
{
    if (!parseRegText(input).ok())
        return QStringLiteral("a file the parser refuses was imported");
    for (const char* name : {"system.reg", "user.reg"}) {
        if (!HiveFile::parse(ScratchPrefix::read(prefix.file(name))))
            return QStringLiteral("%1 no longer parses after an import").arg(QLatin1String(name));
    }
    const std::vector<RegChange> changes = parseRegText(input).changes;
    if (changes.empty() || changes.back().kind != RegChange::Kind::SetValue)
        return {};
    // The last change of a file is never overridden by a later one: it must be there.
    const RegChange& last = changes.back();
    WineRegistry reader{Prefix(prefix.path())};
    const std::optional<RegValue> stored = reader.queryValue(last.root, last.path, last.name);
    if (!stored || !(*stored == last.value))
        return QStringLiteral("the last value of an imported file is not stored: %1 %2")
            .arg(last.path, last.name);
    return {};
}

} // namespace

QString regImport(QByteArrayView input)
{
    ScratchPrefix& prefix = scratch();
    const QString regFile = prefix.file("input.reg");
    const QByteArray bytes = input.toByteArray();
    ScratchPrefix::write(regFile, bytes);
    QString failure;
    {
        WineRegistry registry{Prefix(prefix.path())};
        const RegeditOutcome outcome = importRegFile(registry, regFile);
        if (!outcome.ok() && !prefix.untouched())
            failure = QStringLiteral("a refused import changed a hive: ") + outcome.error;
        else if (outcome.ok())
            failure = checkSuccess(bytes, prefix);
    }
    prefix.reset();
    return failure;
}

} // namespace nixora::fuzz
