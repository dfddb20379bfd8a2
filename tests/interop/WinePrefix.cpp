#include "interop/WinePrefix.h"
#include "support/TestData.h"

#include "WineLoader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace nixora::interop
{
namespace
{

using test::readAll;

namespace fs = std::filesystem;

constexpr std::uintmax_t kShareFromBytes = 64 * 1024;

[[nodiscard]] QString cacheFolder()
{
    return QStringLiteral(NIXORA_INTEROP_CACHE);
}

[[nodiscard]] QString pristinePath()
{
    return cacheFolder() + QStringLiteral("/pristine");
}

// Holds an exclusive flock for its life, so that test processes started side by side make the
// pristine prefix once.
class FolderLock
{
public:
    explicit FolderLock(const QString& fileName)
        : m_fd(::open(QFile::encodeName(fileName).constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0644))
    {
        if (m_fd >= 0)
            (void)::flock(m_fd, LOCK_EX);
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

[[nodiscard]] QString bootPristine(const QByteArray& key)
{
    QDir(pristinePath()).removeRecursively();
    const QStringList environment{QStringLiteral("WINEPREFIX=") + pristinePath(),
                                  QStringLiteral("WINEARCH=win64")};
    const ToolRun boot = runTool(
        wine64Loader(), {QStringLiteral("wineboot"), QStringLiteral("--init")}, environment);
    (void)runTool(QStringLiteral("wineserver"), {QStringLiteral("-w")}, environment);
    if (boot.exitCode != 0 || !QFile::exists(pristinePath() + QStringLiteral("/system.reg")))
        return QStringLiteral("wineboot --init failed: ") +
               QString::fromLocal8Bit(boot.standardError);
    QFile marker(cacheFolder() + QStringLiteral("/pristine.key"));
    if (!marker.open(QIODevice::WriteOnly) || marker.write(key) != key.size())
        return QStringLiteral("cannot write ") + marker.fileName();
    return {};
}

// What the pristine prefix depends on: every Wine loader and server in the folders the tools
// come from (its real path, size and time) and the version each loader reports. A prefix made
// before 32-bit Wine was installed beside 64-bit Wine has no 32-bit side, and its 32-bit
// programs cannot start; `wine --version` says the same before and after.
[[nodiscard]] QByteArray installationKey()
{
    QStringList folders;
    for (const QString& tool :
         {QStandardPaths::findExecutable(QStringLiteral("wine")),
          QStandardPaths::findExecutable(QStringLiteral("wineserver")), wine64Loader()}) {
        if (tool.isEmpty())
            continue;
        folders << QFileInfo(tool).absolutePath()
                << QFileInfo(QFileInfo(tool).canonicalFilePath()).absolutePath();
    }
    folders.removeDuplicates();
    QByteArray key;
    for (const QString& folder : folders) {
        for (const QFileInfo& file :
             QDir(folder).entryInfoList({QStringLiteral("wine*")}, QDir::Files, QDir::Name)) {
            const QFileInfo real(file.canonicalFilePath());
            key += QFile::encodeName(file.absoluteFilePath() + QStringLiteral(" -> ") +
                                     real.filePath()) +
                   ' ' + QByteArray::number(real.size()) + ' ' +
                   QByteArray::number(real.lastModified().toMSecsSinceEpoch()) + '\n';
        }
    }
    for (const QString& loader :
         {QStandardPaths::findExecutable(QStringLiteral("wine")), wine64Loader()})
        key += runTool(loader, {QStringLiteral("--version")}).standardOutput.trimmed() + '\n';
    return key;
}

// The pristine prefix, made on first use; empty on success, else why it could not be made.
[[nodiscard]] QString ensurePristine()
{
    static const QString error = [] {
        if (!QDir().mkpath(cacheFolder()))
            return QStringLiteral("cannot create ") + cacheFolder();
        FolderLock lock(cacheFolder() + QStringLiteral("/lock"));
        const QByteArray key = installationKey();
        if (readAll(cacheFolder() + QStringLiteral("/pristine.key")) == key &&
            QFile::exists(pristinePath() + QStringLiteral("/system.reg")))
            return QString();
        return bootPristine(key);
    }();
    return error;
}

[[nodiscard]] bool shareable(const fs::path& relative, std::uintmax_t size)
{
    const auto first = relative.begin();
    return size >= kShareFromBytes && first != relative.end() && *first == "drive_c";
}

[[nodiscard]] QString copyTree(const fs::path& from, const fs::path& to)
{
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(from, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path relative = it->path().lexically_relative(from);
        const fs::path target = to / relative;
        if (it->is_symlink(error))
            fs::copy_symlink(it->path(), target, error);
        else if (it->is_directory(error))
            fs::create_directory(target, error);
        else if (shareable(relative, it->file_size(error)))
            fs::create_hard_link(it->path(), target, error);
        else
            fs::copy_file(it->path(), target, error);
    }
    return error ? QString::fromStdString(error.message()) : QString();
}

} // namespace

void setWineEnvironment()
{
    qputenv("WINEDEBUG", "-all");
    qputenv("WINEDLLOVERRIDES", "mscoree,mshtml=");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
}

QString missingWineTools()
{
    QStringList missing;
    for (const char* tool : {"wine", "wineserver", "wineboot"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    if (missing.isEmpty() && wine64Loader().isEmpty())
        missing << QStringLiteral("the 64-bit loader wine64");
    return missing.join(QStringLiteral(", "));
}

void findTestTool(const QString& name, const QString& package, QString& path)
{
    path = QStandardPaths::findExecutable(name);
    if (path.isEmpty() && qgetenv("NIXORA_SKIP_INTEROP") == "1")
        GTEST_SKIP() << "NIXORA_SKIP_INTEROP=1 and not installed: " << name.toStdString();
    ASSERT_FALSE(path.isEmpty()) << name.toStdString() << " (package " << package.toStdString()
                                 << ") is needed; tools/dev test installs it, or set "
                                 << "NIXORA_SKIP_INTEROP=1 to skip these tests";
}

ToolRun runTool(const QString& program, const QStringList& arguments,
                const QStringList& extraEnvironment, const QByteArray& standardInput)
{
    setWineEnvironment();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& item : extraEnvironment)
        environment.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ToolRun run;
    run.started = process.waitForStarted(-1);
    if (!run.started)
        return run;
    process.write(standardInput);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.standardOutput = process.readAllStandardOutput();
    run.standardError = process.readAllStandardError();
    return run;
}

WinePrefix::WinePrefix()
{
    m_error = ensurePristine();
    if (!m_error.isEmpty())
        return;
    m_dir = std::make_unique<QTemporaryDir>(cacheFolder() + QStringLiteral("/prefix-XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("cannot create a folder in ") + cacheFolder();
        return;
    }
    m_error = copyTree(QFile::encodeName(pristinePath()).toStdString(),
                       QFile::encodeName(path()).toStdString());
}

WinePrefix::~WinePrefix()
{
    if (m_dir && m_error.isEmpty()) {
        (void)wineserver({QStringLiteral("-k")});
        waitForServer();
    }
}

QString WinePrefix::hostPath(const QString& relative) const
{
    return path() + u'/' + relative;
}

ToolRun WinePrefix::wine(const QStringList& arguments) const
{
    return runTool(wine64Loader(), arguments, {QStringLiteral("WINEPREFIX=") + path()});
}

ToolRun WinePrefix::wineserver(const QStringList& arguments) const
{
    return runTool(QStringLiteral("wineserver"), arguments,
                   {QStringLiteral("WINEPREFIX=") + path()});
}

ToolRun WinePrefix::regeditImport(const QString& windowsPath) const
{
    const QStringList arguments{QStringLiteral("regedit"), QStringLiteral("/S"), windowsPath};
    const ToolRun first = wine(arguments);
    if (!first.started || first.exitCode == 0)
        return first;
    waitForServer();
    ToolRun again = wine(arguments);
    again.standardError.prepend("first run ended with " + QByteArray::number(first.exitCode) +
                                ": " + first.standardError + "\n");
    return again;
}

void WinePrefix::waitForServer() const
{
    (void)wineserver({QStringLiteral("-w")});
}

void WineTest::SetUp()
{
    const QString missing = missingWineTools();
    if (!missing.isEmpty()) {
        if (qgetenv("NIXORA_SKIP_INTEROP") == "1")
            GTEST_SKIP() << "NIXORA_SKIP_INTEROP=1 and not installed: " << missing.toStdString();
        FAIL() << "Wine is needed for these tests and not installed (missing: "
               << missing.toStdString() << "); tools/dev test installs it, or set "
               << "NIXORA_SKIP_INTEROP=1 to skip them";
    }
    m_wine = std::make_unique<WinePrefix>();
    ASSERT_TRUE(m_wine->error().isEmpty()) << m_wine->error().toStdString();
}

void WineTest::TearDown()
{
    m_wine.reset();
}

} // namespace nixora::interop
