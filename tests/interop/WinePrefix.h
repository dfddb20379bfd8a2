#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace nixora::interop
{

// What a Wine tool printed and how it ended.
struct ToolRun {
    bool started = false;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

// A Wine prefix as `wineboot --init` leaves it once `wineserver -w` has returned, for one test.
//
// Making a prefix takes Wine half a minute, so the first test of a build makes one pristine
// 64-bit prefix (kept in the build folder, remade when the Wine installation changes: its
// loaders, servers and versions) and every test gets
// its own copy of it. A copy is as good as a freshly booted prefix: the files and hives are the
// same, and Wine keys its server to the copy's own folder. Wine's large installed program files
// are shared by hard links to save time and space; Wine never rewrites them in place.
class WinePrefix
{
public:
    WinePrefix();
    ~WinePrefix();
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    [[nodiscard]] const QString& error() const { return m_error; } // empty when usable
    [[nodiscard]] QString path() const { return m_dir ? m_dir->path() : QString(); }
    [[nodiscard]] QString hostPath(const QString& relative) const;

    // Runs `wine64 <arguments>` (or wineserver) in this prefix with the test environment and
    // waits for the command itself (not for the server). The 64-bit loader: where 32-bit Wine
    // is installed, `wine` is the 32-bit one, and `reg` or `regedit` started by it would see
    // the 32-bit view of HKLM\Software. Pass /reg:32 or /reg:64 to `reg` to choose a view.
    [[nodiscard]] ToolRun wine(const QStringList& arguments) const;
    [[nodiscard]] ToolRun wineserver(const QStringList& arguments) const;
    // `wine64 regedit /S <windowsPath>`. Wine's regedit once ended with 1 in a full run of the
    // suite, and not in 25 runs of the same test alone: after a failure it gets one more try
    // with a server of its own (the first server has exited). A file it cannot read fails
    // both times; the first run's stderr stays in the result.
    [[nodiscard]] ToolRun regeditImport(const QString& windowsPath) const;
    // `wineserver -w`: afterwards Wine has written its registry back.
    void waitForServer() const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_error;
};

// Sets the environment every Wine program of the tests runs with: no debug output, no Mono or
// Gecko installers, no display. Children started by the program under test inherit it.
void setWineEnvironment();

// Empty when wine, wineserver and wineboot are on PATH, else what is missing.
[[nodiscard]] QString missingWineTools();

// Sets `path` to a program the tests need beside Wine (makensis, wixl), found on PATH. Where it
// is missing the test fails, or is skipped when NIXORA_SKIP_INTEROP=1 asks for that; the caller
// returns when HasFatalFailure() or IsSkipped().
void findTestTool(const QString& name, const QString& package, QString& path);

// Runs any program with the test environment plus `extraEnvironment` and captures its output.
[[nodiscard]] ToolRun runTool(const QString& program, const QStringList& arguments,
                              const QStringList& extraEnvironment = {},
                              const QByteArray& standardInput = {});

// Base of the tests that need Wine: each gets a fresh prefix. Without Wine the tests fail,
// unless NIXORA_SKIP_INTEROP=1 asks to skip them.
class WineTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<WinePrefix> m_wine;
};

} // namespace nixora::interop
