#include <gtest/gtest.h>

#include "FileQuery.h"
#include "ShortName.h"
#include "support/TempPrefix.h"
#include "support/TestNames.h"

#include <QDir>

#include <sys/xattr.h>

#include <cerrno>

namespace nixora
{
namespace
{

using test::TempPrefix;

struct ShortNameCase {
    const char* longName;
    const char* shortName;
};

class WineShortName : public ::testing::TestWithParam<ShortNameCase>
{
};

TEST_P(WineShortName, MatchesWine)
{
    EXPECT_EQ(wineShortName(QString::fromUtf8(GetParam().longName)),
              QString::fromUtf8(GetParam().shortName));
}

INSTANTIATE_TEST_SUITE_P(Table, WineShortName,
                         ::testing::Values(ShortNameCase{"Program Files", "PROG~FBU"},
                                           ShortNameCase{"Program Files (x86)", "PROG~5P2"},
                                           ShortNameCase{"Long File Name.html", "LONG~1ZR.HTM"},
                                           ShortNameCase{"test dir", "TEST~CZ3"},
                                           ShortNameCase{"abc+def.t", "ABC_~21I.T"},
                                           ShortNameCase{"a.b.c.txt", "A_B_~BDV.TXT"},
                                           // Legal 8.3 names keep their name, in upper case.
                                           ShortNameCase{"readme.txt", "README.TXT"},
                                           ShortNameCase{"UNINST", "UNINST"}),
                         [](const auto& info) {
                             return test::testName(QString::fromUtf8(info.param.longName));
                         });

// A prefix with a few programs; "%P" in a query stands for the prefix's Unix path (via z:).
class PrefixFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_prefix.createFile(QStringLiteral("Program Files/App/uninst.exe"), "x");
        m_prefix.createFile(QStringLiteral("Program Files (x86)/Long File Name.html"), "x");
        m_prefix.createFile(QStringLiteral("test dir/a.b.c.txt"), "x");
        m_prefix.createFile(QStringLiteral("Apps/.hidden.exe"), "x");
        m_prefix.createFile(QStringLiteral("Ohjelmat/Äänitys/poista.exe"), "x");
        QDir().mkpath(m_prefix.hostPath(QStringLiteral("drive_c/Tools/App.old")));
    }

    // In a batch the query keeps folder listings; the answers must be the same.
    [[nodiscard]] std::string query(QString windowsPath, bool batch = false) const
    {
        windowsPath.replace(QStringLiteral("%P"), m_prefix.path());
        PrefixFileQuery files(m_prefix.path());
        if (batch) {
            files.beginBatch();
            (void)files.findFirstFile(windowsPath); // answered from kept listings below
        }
        return files.findFirstFile(windowsPath).value_or(QStringLiteral("<none>")).toStdString();
    }

    TempPrefix m_prefix;
};

struct QueryCase {
    const char* windowsPath;
    const char* found; // the matching file's name, or "<none>"
};

class FileQueryTable : public PrefixFiles, public ::testing::WithParamInterface<QueryCase>
{
};

TEST_P(FileQueryTable, AnswersAsWine)
{
    const QString path = QString::fromUtf8(GetParam().windowsPath);
    EXPECT_EQ(query(path), GetParam().found) << GetParam().windowsPath;
    EXPECT_EQ(query(path, true), GetParam().found) << GetParam().windowsPath << " (batch)";
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileQueryTable,
    ::testing::Values(QueryCase{R"(C:\Program Files\App\uninst.exe)", "uninst.exe"},
                      QueryCase{R"(c:\PROGRAM FILES\app\UNINST.EXE)", "uninst.exe"},
                      QueryCase{R"(C:/Program Files/App/uninst.exe)", "uninst.exe"},
                      QueryCase{R"(C:\\Program Files\.\Other\..\App\\uninst.exe)", "uninst.exe"},
                      QueryCase{R"(C:\Program Files\App.\uninst.exe. .)", "uninst.exe"},
                      QueryCase{R"(C:\PROG~FBU\App\uninst.exe)", "uninst.exe"},
                      QueryCase{R"(C:\prog~5p2\LONG~1ZR.HTM)", "Long File Name.html"},
                      QueryCase{R"(C:\TEST~CZ3\A_B_~BDV.TXT)", "a.b.c.txt"},
                      QueryCase{R"(C:\PROGRA~1\App\uninst.exe)", "<none>"},
                      QueryCase{R"(c:\ohjelmat\ÄÄNITYS\Poista.exe)", "poista.exe"},
                      QueryCase{R"(Z:%P\drive_c\Program Files\App\uninst.exe)", "uninst.exe"},
                      QueryCase{R"(C:\Program Files\App\UNIN*.e?e)", "uninst.exe"},
                      QueryCase{R"(C:\Program Files\App\*.*)", "uninst.exe"},
                      QueryCase{R"(C:\Program Files (x86)\long~*.htm)", "Long File Name.html"},
                      QueryCase{R"(C:\Program Files\App\*.dll)", "<none>"},
                      QueryCase{R"(C:\Program Files\App\uninst.ex)", "<none>"},
                      QueryCase{R"(C:\Program Files\*\uninst.exe)", "<none>"},
                      QueryCase{R"(C:\Program Files\App)", "<none>"},
                      QueryCase{R"(C:\Tools\App.old)", "<none>"},
                      QueryCase{R"(C:\Tools\App.*)", "<none>"}, QueryCase{R"(C:\)", "<none>"},
                      QueryCase{R"(C:\Apps\.hidden.exe)", "<none>"},
                      QueryCase{R"(C:\Apps\*)", "<none>"},
                      QueryCase{R"(Q:\Program Files\App\uninst.exe)", "<none>"},
                      QueryCase{R"(C:\Program Files\Gone\unins000.exe)", "<none>"},
                      QueryCase{R"(C:\Program)", "<none>"},
                      QueryCase{R"(C:\Program Files\App\uninst.exe\more)", "<none>"},
                      QueryCase{R"(C:\Program Files\App\un|inst.exe)", "<none>"},
                      QueryCase{R"(\\server\share\uninst.exe)", "<none>"}, QueryCase{"", "<none>"},
                      QueryCase{R"(1:\uninst.exe)", "<none>"}),
    [](const auto& info) {
        return test::indexedTestName(info.index, QString::fromUtf8(info.param.windowsPath));
    });

TEST_F(PrefixFiles, AnswersKeptInABatchEndWithIt)
{
    const QString path = QStringLiteral(R"(C:\Program Files\App\uninst.exe)");
    const QString later = QStringLiteral(R"(C:\Program Files\App\later.exe)");
    PrefixFileQuery files(m_prefix.path());
    files.beginBatch();
    EXPECT_EQ(files.findFirstFile(path), QStringLiteral("uninst.exe"));
    EXPECT_EQ(files.findFirstFile(later), std::nullopt);
    files.endBatch();

    ASSERT_TRUE(
        QFile::remove(m_prefix.hostPath(QStringLiteral("drive_c/Program Files/App/uninst.exe"))));
    m_prefix.createFile(QStringLiteral("Program Files/App/later.exe"), "x");
    EXPECT_EQ(files.findFirstFile(path), std::nullopt);
    files.beginBatch();
    EXPECT_EQ(files.findFirstFile(path), std::nullopt);
    EXPECT_EQ(files.findFirstFile(later), QStringLiteral("later.exe"));
    files.endBatch();
}

TEST_F(PrefixFiles, ResolveFindsFoldersAndHiddenFiles)
{
    const QString driveC = m_prefix.hostPath(QStringLiteral("drive_c"));
    const QString prefixPath = m_prefix.path();
    EXPECT_EQ(QDir(resolveWindowsPath(prefixPath, QStringLiteral("c:\\prog~fbu\\APP")).value())
                  .canonicalPath(),
              QDir(driveC + QStringLiteral("/Program Files/App")).canonicalPath());
    EXPECT_TRUE(resolveWindowsPath(prefixPath, QStringLiteral("C:\\apps\\.HIDDEN.exe")));
    EXPECT_FALSE(resolveWindowsPath(prefixPath, QStringLiteral("C:\\apps\\*.exe")));
    EXPECT_FALSE(resolveWindowsPath(prefixPath, QStringLiteral("D:\\")));
}

// The current folder is process-wide: these tests put it back however they end.
class RelativePaths : public PrefixFiles
{
protected:
    void SetUp() override
    {
        PrefixFiles::SetUp();
        m_saved = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_prefix.hostPath(QStringLiteral("drive_c/Program Files"))));
    }
    void TearDown() override { QDir::setCurrent(m_saved); }

    QString m_saved;
};

TEST_F(RelativePaths, ResolveAgainstTheCurrentFolderAndItsDrive)
{
    EXPECT_EQ(query(QStringLiteral("app\\Uninst.exe")), "uninst.exe");
    EXPECT_EQ(query(QStringLiteral("..\\Program Files\\App\\uninst.exe")), "uninst.exe");
    // A rooted path without a drive starts at the root of the current folder's drive (c:).
    EXPECT_EQ(query(QStringLiteral("\\Program Files\\App\\uninst.exe")), "uninst.exe");
    EXPECT_EQ(query("uninst.exe"), "<none>");
}

class DosAttributes : public PrefixFiles
{
protected:
    // False (and the test skipped) where the filesystem keeps no user extended attributes.
    [[nodiscard]] bool setAttributes(const QString& relative, const char* value)
    {
        const QByteArray path = QFile::encodeName(m_prefix.hostPath(relative));
        return ::setxattr(path.constData(), "user.DOSATTRIB", value, qstrlen(value), 0) == 0;
    }
};

TEST_F(DosAttributes, HiddenAndSystemFilesNeverMatch)
{
    m_prefix.createFile(QStringLiteral("Attr/hidden.exe"), "x");
    m_prefix.createFile(QStringLiteral("Attr/system.exe"), "x");
    m_prefix.createFile(QStringLiteral("Attr/archive.exe"), "x");
    if (!setAttributes(QStringLiteral("drive_c/Attr/hidden.exe"), "0x22"))
        GTEST_SKIP() << "user extended attributes unsupported here (errno " << errno << ")";
    ASSERT_TRUE(setAttributes(QStringLiteral("drive_c/Attr/system.exe"), "0x4"));
    ASSERT_TRUE(setAttributes(QStringLiteral("drive_c/Attr/archive.exe"), "0x20"));

    EXPECT_EQ(query(QStringLiteral("C:\\Attr\\hidden.exe")), "<none>");
    EXPECT_EQ(query(QStringLiteral("C:\\Attr\\system.exe")), "<none>");
    EXPECT_EQ(query(QStringLiteral("C:\\Attr\\archive.exe")), "archive.exe");
    EXPECT_EQ(query(QStringLiteral("C:\\Attr\\*.exe")), "archive.exe");
    EXPECT_TRUE(resolveWindowsPath(m_prefix.path(), QStringLiteral("C:\\Attr\\hidden.exe")));
}

} // namespace
} // namespace nixora
