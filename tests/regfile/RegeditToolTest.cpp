#include "RegeditTool.h"
#include "RegFileReader.h"
#include "WineRegistry.h"
#include "mdlProsessi.h"
#include "support/TempPrefix.h"
#include "support/TestData.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace nixora
{
namespace
{

using test::readAll;

using test::TempPrefix;

const QString kUninstall =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");

QByteArray utf16(const QString& text)
{
    QByteArray data;
    for (const QChar c : text) {
        data += char(c.unicode() & 0xff);
        data += char(c.unicode() >> 8);
    }
    return data + QByteArray(2, '\0');
}

class RegeditProgram : public ::testing::Test
{
protected:
    ChildResult regedit(const QStringList& arguments)
    {
        return runHidden(QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"), arguments,
                         {QStringLiteral("WINEPREFIX=") + m_prefix.path()});
    }

    void useHive(const QString& folder)
    {
        for (const char* name : {"system.reg", "user.reg"}) {
            const QString target = m_prefix.hostPath(QString::fromLatin1(name));
            QFile::remove(target);
            const QString source = folder + u'/' + QString::fromLatin1(name);
            ASSERT_TRUE(QFile::copy(source, target)) << "cannot copy " << source.toStdString();
            QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    }

    // Export through the child, delete the key, import through the child: the key must be back
    // exactly as it was.
    void expectRoundTrip(const QString& path)
    {
        SCOPED_TRACE(path.toStdString());
        WineRegistry registry(m_prefix.prefix());
        const auto before = registry.exportKey(RegRoot::LocalMachine, path);
        ASSERT_TRUE(before.has_value());
        const QString file = m_prefix.hostPath(QStringLiteral("entry backup.reg"));
        const ChildResult exported =
            regedit({QStringLiteral("/E"), file, QStringLiteral("HKEY_LOCAL_MACHINE\\") + path});
        ASSERT_EQ(exported.exitCode, 0) << exported.standardError.toStdString();
        RegChange removal{RegChange::Kind::DeleteTree, RegRoot::LocalMachine, path, {}, {}};
        ASSERT_TRUE(registry.apply({removal}).ok());
        ASSERT_FALSE(registry.exportKey(RegRoot::LocalMachine, path).has_value());
        const ChildResult imported = regedit({QStringLiteral("/S"), file});
        ASSERT_EQ(imported.exitCode, 0) << imported.standardError.toStdString();
        EXPECT_EQ(registry.exportKey(RegRoot::LocalMachine, path), before);
    }

    TempPrefix m_prefix;
};

TEST_F(RegeditProgram, EveryUninstallEntryOfARealWinePrefixComesBack)
{
    useHive(test::dataPath(QStringLiteral("wine8/tricky")));
    WineRegistry registry(m_prefix.prefix());
    QStringList names;
    for (uint32_t i = 0;; ++i) {
        const auto name = registry.subkeyName(RegRoot::LocalMachine, kUninstall, i);
        if (!name)
            break;
        names << *name;
    }
    ASSERT_GE(names.size(), 5);
    for (const QString& name : names)
        expectRoundTrip(kUninstall + u'\\' + name);
}

TEST_F(RegeditProgram, TrickyNamesAndKindsComeBack)
{
    const QString path = kUninstall + QStringLiteral("\\Tricky [\"key\"] ä");
    std::vector<RegChange> changes;
    auto set = [&](const QString& key, const QString& name, RegValue value) {
        changes.push_back({RegChange::Kind::SetValue, RegRoot::LocalMachine, key, name, value});
    };
    set(path, {}, RegValue{kRegSz, utf16(QStringLiteral("default"))});
    set(path, QStringLiteral("Quote\"Back\\slash[]"),
        RegValue{kRegSz, utf16(QStringLiteral("a\\\"b"))});
    set(path, QStringLiteral("line\nfeed"), RegValue{kRegSz, utf16(QStringLiteral("x\ny"))});
    set(path, QStringLiteral("Nämé 中"),
        RegValue{kRegExpandSz, utf16(QStringLiteral("%Temp%\\€"))});
    set(path, QStringLiteral("Multi"),
        RegValue{kRegMultiSz, utf16({}) + utf16(QStringLiteral("b")) + utf16({})});
    set(path, QStringLiteral("Q"),
        RegValue{kRegQword, QByteArray("\x88\x77\x66\x55\x44\x33\x22\x11")});
    set(path, QStringLiteral("None"), RegValue{kRegNone, QByteArray()});
    set(path, QStringLiteral("Odd"), RegValue{kRegSz, QByteArray("abc", 3)});
    set(path, QStringLiteral("Unknown"), RegValue{0x12345u, QByteArray(200, '\x5a')});
    set(path + QStringLiteral("\\Sub key"), QStringLiteral("D"),
        RegValue{kRegDword, QByteArray("\x01\x02\x03\x04")});
    WineRegistry registry(m_prefix.prefix());
    ASSERT_TRUE(registry.apply(changes).ok());
    expectRoundTrip(path);
}

TEST_F(RegeditProgram, MalformedImportChangesNothingAndSaysWhere)
{
    m_prefix.setHiveBody(RegRoot::LocalMachine, test::uninstallEntryBlock(QStringLiteral("A"), {}));
    const QByteArray hiveBefore = readAll(m_prefix.hivePath(RegRoot::LocalMachine));
    const QString file = m_prefix.hostPath(QStringLiteral("bad.reg"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\New]\r\n\"x\"=\"1\"\r\n"
        "[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\A]\r\n"
        "\"y\"=hex:0g\r\n");
    out.close();
    const ChildResult result = regedit({QStringLiteral("/s"), file});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.standardError.startsWith(file + QStringLiteral(":6: ")))
        << result.standardError.toStdString();
    EXPECT_EQ(result.standardError.count(u'\n'), 1);
    EXPECT_EQ(readAll(m_prefix.hivePath(RegRoot::LocalMachine)), hiveBefore);
}

TEST_F(RegeditProgram, ExportOfAMissingKeyFailsAndWritesNothing)
{
    const QString file = m_prefix.hostPath(QStringLiteral("out.reg"));
    const ChildResult result =
        regedit({QStringLiteral("-e"), file, QStringLiteral("hklm\\Software\\Nope")});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_FALSE(result.standardError.isEmpty());
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(RegeditProgram, ExportReplacesAFileWholeAndLeavesNoTemporaryFile)
{
    m_prefix.setHiveBody(
        RegRoot::LocalMachine,
        test::uninstallEntryBlock(QStringLiteral("A"),
                                  {{QStringLiteral("DisplayName"), QStringLiteral("Alpha")}}));
    const QString folder = m_prefix.hostPath(QStringLiteral("out"));
    QDir().mkpath(folder);
    const QString file = folder + QStringLiteral("/a.reg");
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(10000, 'x'));
    old.close();
    const ChildResult result =
        regedit({QStringLiteral("/E"), file,
                 QStringLiteral("HKEY_LOCAL_MACHINE\\") + kUninstall + QStringLiteral("\\A")});
    ASSERT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    EXPECT_EQ(readAll(file), QByteArray("REGEDIT4\r\n; hex(2) and hex(7) data: UTF-8 text, or "
                                        "ff,fe and the bytes as stored\r\n"
                                        "\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\"
                                        "Windows\\CurrentVersion\\Uninstall\\A]\r\n"
                                        "\"DisplayName\"=\"Alpha\"\r\n\r\n"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("a.reg")});
}

TEST_F(RegeditProgram, WrongArgumentsAreRefused)
{
    for (const QStringList& arguments :
         {QStringList{}, QStringList{QStringLiteral("/X"), QStringLiteral("f")},
          QStringList{QStringLiteral("/E"), QStringLiteral("f")}}) {
        const ChildResult result = regedit(arguments);
        EXPECT_TRUE(result.started);
        EXPECT_NE(result.exitCode, 0);
    }
}

} // namespace
} // namespace nixora
