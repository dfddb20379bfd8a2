#include "interop/WinePrefix.h"

#include "FileQuery.h"
#include "ShortName.h"

#include <QDir>
#include <QFile>

#include <sys/xattr.h>

namespace nixora::interop
{
namespace
{

// One question put to both: Wine's cmd answers with `dir /b /a:-d-h-s` (the ordinary files that
// match, in its own order) and `if exist` (anything at the path, hidden or folder).
struct WineAnswer {
    QStringList ordinaryMatches;
    bool exists = false;
};

class FileQueryInterop : public WineTest
{
protected:
    void SetUp() override
    {
        WineTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        for (const char* file :
             {"Program Files X/App/Uninstall.exe", "Mixed/CaseFile.TXT",
              "Long Folder Name/Long File Name.text", ".hidden/inside.exe", ".dotfile.exe",
              "hid.exe", "sys.exe", "arch.exe", "both.exe", "wine-hidden.exe", "wild/a1.log",
              "wild/b22.log", "wild/.c.log", "wild/LOUD.LOG"})
            create(QString::fromUtf8(file));
        ASSERT_TRUE(QDir().mkpath(tree() + QStringLiteral("/folder.exe")));
        setAttributes(QStringLiteral("hid.exe"), "0x2");
        setAttributes(QStringLiteral("sys.exe"), "0x4");
        setAttributes(QStringLiteral("arch.exe"), "0x20");
        setAttributes(QStringLiteral("both.exe"), "0x26");
    }

    [[nodiscard]] QString tree() const { return m_wine->hostPath(QStringLiteral("drive_c/FQ")); }

    void create(const QString& relative) const
    {
        const QString path = tree() + u'/' + relative;
        ASSERT_TRUE(QDir().mkpath(path.section(u'/', 0, -2)));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    // Written as Wine writes it: the attributes as hexadecimal text.
    void setAttributes(const QString& relative, const char* value) const
    {
        const QByteArray path = QFile::encodeName(tree() + u'/' + relative);
        ASSERT_EQ(::setxattr(path.constData(), "user.DOSATTRIB", value, qstrlen(value), 0), 0)
            << "user extended attributes are needed here";
    }

    // Asks Wine all questions in one cmd run, after Wine itself has hidden one file.
    [[nodiscard]] std::vector<WineAnswer> askWine(const QStringList& paths) const
    {
        QByteArray batch = "@echo off\r\nattrib +h C:\\FQ\\wine-hidden.exe\r\n";
        for (int i = 0; i < paths.size(); ++i) {
            const QByteArray path = paths[i].toLatin1();
            batch += "echo ##" + QByteArray::number(i) + "\r\ndir /b /a:-d-h-s \"" + path +
                     "\" 2>nul\r\nif exist \"" + path + "\" (echo @@exists) else (echo @@none)\r\n";
        }
        QFile file(m_wine->hostPath(QStringLiteral("drive_c/ask.bat")));
        if (!file.open(QIODevice::WriteOnly) || file.write(batch) != batch.size())
            return {};
        file.close();
        const ToolRun run = m_wine->wine(
            {QStringLiteral("cmd"), QStringLiteral("/c"), QStringLiteral("C:\\ask.bat")});
        std::vector<WineAnswer> answers;
        for (const QByteArray& raw : run.standardOutput.split('\n')) {
            const QString line = QString::fromLatin1(raw).trimmed();
            if (line.startsWith(QStringLiteral("##")))
                answers.emplace_back();
            else if (answers.empty() || line.isEmpty() || line == QStringLiteral("File not found."))
                continue;
            else if (line.startsWith(QStringLiteral("@@")))
                answers.back().exists = line == QStringLiteral("@@exists");
            else
                answers.back().ordinaryMatches << line;
        }
        return answers;
    }
};

TEST_F(FileQueryInterop, AgreesWithWineOnAGeneratedTree)
{
    const QString folderShort = wineShortName(QStringLiteral("Long Folder Name"));
    const QString fileShort = wineShortName(QStringLiteral("Long File Name.text"));
    const QString zPath = QStringLiteral("Z:") + QString(tree()).replace(u'/', u'\\');
    const QStringList paths{
        QStringLiteral("C:\\FQ\\Program Files X\\App\\Uninstall.exe"),
        QStringLiteral("c:\\fq\\PROGRAM FILES X\\app\\uninstall.EXE"),
        QStringLiteral("C:\\FQ\\") + wineShortName(QStringLiteral("Program Files X")) +
            QStringLiteral("\\App\\Uninstall.exe"),
        QStringLiteral("C:\\FQ\\PROGRA~1\\App\\Uninstall.exe"),
        QStringLiteral("C:\\FQ\\") + folderShort + u'\\' + fileShort,
        QStringLiteral("C:\\FQ\\Long Folder Name\\") + fileShort,
        QStringLiteral("C:\\FQ\\Long Folder Name\\LONGFI~1.TEX"),
        QStringLiteral("C:\\FQ\\") + folderShort + QStringLiteral("\\*.tex"),
        QStringLiteral("C:\\FQ\\Long Folder Name\\") + fileShort.left(5) + u'*',
        QStringLiteral("C:\\FQ\\Mixed\\casefile.txt"),
        QStringLiteral("C:\\FQ\\Mixed\\Case?ile.*"),
        QStringLiteral("C:\\FQ\\.dotfile.exe"),
        QStringLiteral("C:\\FQ\\.hidden\\inside.exe"),
        QStringLiteral("C:\\FQ\\hid.exe"),
        QStringLiteral("C:\\FQ\\sys.exe"),
        QStringLiteral("C:\\FQ\\arch.exe"),
        QStringLiteral("C:\\FQ\\both.exe"),
        QStringLiteral("C:\\FQ\\wine-hidden.exe"),
        QStringLiteral("C:\\FQ\\folder.exe"),
        QStringLiteral("C:\\FQ\\folder.*"),
        QStringLiteral("C:\\FQ\\*.exe"),
        QStringLiteral("C:\\FQ\\*"),
        QStringLiteral("C:\\FQ\\wild\\*.log"),
        QStringLiteral("C:\\FQ\\wild\\?22.LOG"),
        QStringLiteral("C:\\FQ\\wild\\.c*"),
        QStringLiteral("C:\\FQ\\wild\\z*"),
        QStringLiteral("C:\\FQ\\wild\\a1.log.old"),
        QStringLiteral("C:\\FQ\\nothere.exe"),
        QStringLiteral("C:\\FQ\\missing\\a1.log"),
        zPath + QStringLiteral("\\arch.exe"),
        zPath + QStringLiteral("\\hid.exe"),
    };
    const std::vector<WineAnswer> wine = askWine(paths);
    ASSERT_EQ(wine.size(), size_t(paths.size()));

    PrefixFileQuery query(m_wine->path());
    for (int i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i].toStdString() +
                     " (Wine: " + wine[i].ordinaryMatches.join(u',').toStdString() + ")");
        const std::optional<QString> ours = query.findFirstFile(paths[i]);
        EXPECT_EQ(ours.has_value(), !wine[i].ordinaryMatches.isEmpty());
        if (ours) {
            EXPECT_TRUE(wine[i].ordinaryMatches.contains(*ours)) << ours->toStdString();
        }
        if (!paths[i].contains(u'*') && !paths[i].contains(u'?')) {
            EXPECT_EQ(resolveWindowsPath(m_wine->path(), paths[i]).has_value(), wine[i].exists);
        }
    }
}

} // namespace
} // namespace nixora::interop
