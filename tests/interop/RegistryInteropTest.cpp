#include "interop/WinePrefix.h"

#include "RegFileReader.h"
#include "WineRegistry.h"
#include "mdlPoisto.h"

#include <QFile>

#include <map>

namespace nixora::interop
{
namespace
{

const QString kUninstall =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
const QString kMachine = QStringLiteral("HKEY_LOCAL_MACHINE\\");

[[nodiscard]] RegValue raw(uint32_t type, const QByteArray& bytes)
{
    return RegValue{type, bytes};
}

[[nodiscard]] RegValue multiString(const QStringList& items)
{
    QByteArray data;
    for (const QString& item : items)
        data += makeStringValue(item).data;
    return raw(kRegMultiSz, data + QByteArray(2, '\0'));
}

[[nodiscard]] QByteArray countingBytes(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i * 7 % 256));
    return bytes;
}

// Every kind the registry keeps, with the characters that need escaping in names and texts.
[[nodiscard]] std::vector<RegNamedValue> trickyValues()
{
    return {
        {QString(), makeStringValue(QStringLiteral("default \"value\""))},
        {QStringLiteral("DisplayName"),
         makeStringValue(QStringLiteral("Mökki \"quoted\" C:\\path\\ [br] – € 𝄞"))},
        {QStringLiteral("na\"me\\with [brackets] = ä"), makeStringValue(QStringLiteral("x"))},
        {QStringLiteral("Empty"), makeStringValue(QString())},
        {QStringLiteral("Expand"),
         makeStringValue(QStringLiteral("%ProgramFiles%\\App"), kRegExpandSz)},
        {QStringLiteral("Multi"),
         multiString({QStringLiteral("a"), QStringLiteral("b c"), QStringLiteral("ü\\\"")})},
        {QStringLiteral("Dword"), makeDwordValue(0xdeadbeef)},
        {QStringLiteral("Zero"), makeDwordValue(0)},
        {QStringLiteral("Qword"), raw(kRegQword, QByteArray::fromHex("efcdab8967452301"))},
        {QStringLiteral("Binary"), raw(kRegBinary, countingBytes(300))},
        {QStringLiteral("EmptyBinary"), raw(kRegBinary, {})},
        {QStringLiteral("None"), raw(kRegNone, QByteArray::fromHex("0102"))},
        {QStringLiteral("BigEndian"), raw(5, QByteArray::fromHex("01020304"))},
        {QStringLiteral("Long"), makeStringValue(QString(3000, u'w'))},
    };
}

[[nodiscard]] std::map<QString, RegValue> byName(const std::vector<RegNamedValue>& values)
{
    std::map<QString, RegValue> map;
    for (const RegNamedValue& value : values)
        map[value.name.toLower()] = value.value;
    return map;
}

class RegistryInterop : public WineTest
{
protected:
    // Wine's own export of a key (reg export writes UTF-16LE with a byte-order mark).
    [[nodiscard]] QString wineExport(const QString& key)
    {
        const ToolRun run =
            m_wine->wine({QStringLiteral("reg"), QStringLiteral("export"), key,
                          QStringLiteral("C:\\wine-export.reg"), QStringLiteral("/y")});
        expectHivesAccepted(run);
        EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
        QFile file(m_wine->hostPath(QStringLiteral("drive_c/wine-export.reg")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll();
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                  (bytes.size() - 2) / 2);
    }

    // The values Wine exported for one key, read back with our .reg reader.
    [[nodiscard]] std::map<QString, RegValue> exportedValues(const QString& path)
    {
        const QString text = wineExport(kMachine + path);
        QByteArray bytes("\xff\xfe");
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        const RegParseResult parsed = parseRegText(bytes);
        EXPECT_TRUE(parsed.ok()) << parsed.error.toStdString() << " line " << parsed.errorLine;
        std::vector<RegNamedValue> values;
        for (const RegChange& change : parsed.changes)
            if (change.kind == RegChange::Kind::SetValue &&
                change.path.compare(path, Qt::CaseInsensitive) == 0)
                values.push_back({change.name, change.value});
        return byName(values);
    }

    static void expectHivesAccepted(const ToolRun& run)
    {
        EXPECT_FALSE(run.standardError.contains("not a valid registry file"))
            << run.standardError.toStdString();
        EXPECT_FALSE(run.standardError.contains("registry")) << run.standardError.toStdString();
    }

    // Makes Wine load the hive, change it and write it back in its own format.
    void letWineRewriteTheHive()
    {
        const ToolRun run =
            m_wine->wine({QStringLiteral("reg"), QStringLiteral("add"),
                          QStringLiteral("HKLM\\Software\\NixoraTouched"), QStringLiteral("/f")});
        expectHivesAccepted(run);
        m_wine->waitForServer();
        QFile hive(m_wine->hostPath(QStringLiteral("system.reg")));
        ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
        ASSERT_TRUE(hive.readAll().contains("NixoraTouched"));
    }
};

TEST_F(RegistryInterop, ValuesWrittenByNixoraReadByWineExactly)
{
    const QString path = kUninstall + QStringLiteral("\\Nixora \"Interop\" [1] Ärger €");
    WineRegistry registry{Prefix(m_wine->path())};
    std::vector<RegChange> changes;
    for (const RegNamedValue& value : trickyValues())
        changes.push_back(
            {RegChange::Kind::SetValue, RegRoot::LocalMachine, path, value.name, value.value});
    ASSERT_TRUE(registry.apply(changes).ok());
    ASSERT_TRUE(mdlPoisto::KirjoitaRekisteriarvo(
        registry, RegRoot::LocalMachine, kUninstall + "\\Plain\\",
        QStringLiteral("UninstallString"), 1,
        QStringLiteral("\"C:\\Program Files\\A [b]\\un.exe\" /S")));
    ASSERT_TRUE(mdlPoisto::KirjoitaRekisteriarvo(registry, RegRoot::LocalMachine,
                                                 kUninstall + "\\Plain", QStringLiteral("NoModify"),
                                                 4, QStringLiteral("-2")));

    EXPECT_EQ(exportedValues(path), byName(trickyValues()));
    const QString text = wineExport(kMachine + path);
    EXPECT_TRUE(text.contains(QStringLiteral("[HKEY_LOCAL_MACHINE\\") + path + "]\r\n"));
    EXPECT_TRUE(text.contains(
        QStringLiteral("\"DisplayName\"=\"Mökki \\\"quoted\\\" C:\\\\path\\\\ [br] – € 𝄞\"\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\"na\\\"me\\\\with [brackets] = ä\"=\"x\"\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\"Dword\"=dword:deadbeef\r\n")));

    const ToolRun query =
        m_wine->wine({QStringLiteral("reg"), QStringLiteral("query"),
                      QStringLiteral("HKLM\\") + kUninstall + QStringLiteral("\\Plain")});
    EXPECT_TRUE(query.standardOutput.contains(
        "    UninstallString    REG_SZ    \"C:\\Program Files\\A [b]\\un.exe\" /S\r\n"))
        << query.standardOutput.toStdString();
    EXPECT_TRUE(query.standardOutput.contains("    NoModify    REG_DWORD    0xfffffffe\r\n"))
        << query.standardOutput.toStdString();
}

TEST_F(RegistryInterop, WineKeepsEverythingWhenItRewritesOurHive)
{
    const QString path = kUninstall + QStringLiteral("\\Kept \"by\" Wine [ä]");
    {
        WineRegistry registry{Prefix(m_wine->path())};
        std::vector<RegChange> changes;
        for (const RegNamedValue& value : trickyValues())
            changes.push_back({RegChange::Kind::SetValue, RegRoot::LocalMachine, path + "\\Sub ü",
                               value.name, value.value});
        ASSERT_TRUE(registry.apply(changes).ok());
    }
    WineRegistry before{Prefix(m_wine->path())};
    const std::optional<RegKeySnapshot> written =
        before.exportKey(RegRoot::LocalMachine, kUninstall);
    ASSERT_TRUE(written);

    letWineRewriteTheHive();

    WineRegistry after{Prefix(m_wine->path())};
    EXPECT_EQ(after.exportKey(RegRoot::LocalMachine, kUninstall), written);
    EXPECT_EQ(before.exportKey(RegRoot::LocalMachine, kUninstall), written);
}

// Our backups are REGEDIT4 in UTF-8; Wine's regedit reads REGEDIT4 in the ANSI code page and
// takes hex(2)/hex(7) data there as 8-bit text, as our export now writes it: every value whose
// texts are ASCII comes back exactly through Wine's own importer, of every kind.
TEST_F(RegistryInterop, OurBackupImportedByWinesRegedit)
{
    const QString path = kUninstall + QStringLiteral("\\Backed \"up\" [1]");
    const std::vector<RegNamedValue> values{
        {QStringLiteral("DisplayName"), makeStringValue(QStringLiteral("C:\\x \"y\" [z]"))},
        {QStringLiteral("Dword"), makeDwordValue(0x10)},
        {QStringLiteral("Binary"), raw(kRegBinary, countingBytes(100))},
        {QString(), makeStringValue(QStringLiteral("default"))},
        {QStringLiteral("Expand"),
         makeStringValue(QStringLiteral("%ProgramFiles%\\App\\u.exe /x"), kRegExpandSz)},
        {QStringLiteral("Multi"), multiString({QStringLiteral("one"), QStringLiteral("two 2")})},
    };
    {
        WineRegistry registry{Prefix(m_wine->path())};
        std::vector<RegChange> changes;
        for (const RegNamedValue& value : values)
            changes.push_back(
                {RegChange::Kind::SetValue, RegRoot::LocalMachine, path, value.name, value.value});
        ASSERT_TRUE(registry.apply(changes).ok());
    }
    const QStringList environment{QStringLiteral("WINEPREFIX=") + m_wine->path()};
    const ToolRun backup =
        runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"),
                {QStringLiteral("/E"), m_wine->hostPath(QStringLiteral("drive_c/backup.reg")),
                 kMachine + path},
                environment);
    ASSERT_EQ(backup.exitCode, 0) << backup.standardError.toStdString();
    const ToolRun removal = m_wine->wine(
        {QStringLiteral("reg"), QStringLiteral("delete"), kMachine + path, QStringLiteral("/f")});
    ASSERT_EQ(removal.exitCode, 0) << removal.standardError.toStdString();
    expectHivesAccepted(m_wine->regeditImport(QStringLiteral("C:\\backup.reg")));
    EXPECT_EQ(exportedValues(path), byName(values));
}

TEST_F(RegistryInterop, RegeditImportReadByWineExactly)
{
    const QByteArray file =
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Imported "
        "[x] \"ö\"]\r\n"
        "@=\"default\"\r\n"
        "\"DisplayName\"=\"Tuonti \\\"ä\\\" \\\\share\\\\ [1]\"\r\n"
        "\"a\\\\b\\\"c\"=dword:00000010\r\n"
        "\"Bin\"=hex:00,01,fe,ff\r\n"
        "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        "\"Qword\"=hex(b):01,00,00,00,00,00,00,80\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Imported "
        "[x] \"ö\"\\Child]\r\n"
        "\"Version\"=\"1.0 β\"\r\n";
    const QString fileName = m_wine->hostPath(QStringLiteral("import.reg"));
    QFile out(fileName);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    out.close();
    const ToolRun import =
        runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"), {QStringLiteral("/S"), fileName},
                {QStringLiteral("WINEPREFIX=") + m_wine->path()});
    ASSERT_EQ(import.exitCode, 0) << import.standardError.toStdString();

    const QString path = kUninstall + QStringLiteral("\\Imported [x] \"ö\"");
    const std::map<QString, RegValue> expected{
        {QString(), makeStringValue(QStringLiteral("default"))},
        {QStringLiteral("displayname"),
         makeStringValue(QStringLiteral("Tuonti \"ä\" \\share\\ [1]"))},
        {QStringLiteral("a\\b\"c"), makeDwordValue(16)},
        {QStringLiteral("bin"), raw(kRegBinary, QByteArray::fromHex("0001feff"))},
        {QStringLiteral("expand"), makeStringValue(QStringLiteral("%TEMP%"), kRegExpandSz)},
        {QStringLiteral("multi"), multiString({QStringLiteral("a"), QStringLiteral("b")})},
        {QStringLiteral("qword"), raw(kRegQword, QByteArray::fromHex("0100000000000080"))},
    };
    EXPECT_EQ(exportedValues(path), expected);
    const std::map<QString, RegValue> child{
        {QStringLiteral("version"), makeStringValue(QStringLiteral("1.0 β"))}};
    EXPECT_EQ(exportedValues(path + QStringLiteral("\\Child")), child);
}

TEST_F(RegistryInterop, ValuesWrittenByWineReadByNixoraExactly)
{
    const QString entry = kUninstall + QStringLiteral("\\Wine Made [ä] \"q\"");
    const QString text =
        QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\") +
        entry +
        QStringLiteral(
            "]\r\n"
            "\"DisplayName\"=\"Wine \\\"Made\\\" – Ääni € 𝄞\"\r\n"
            "\"UninstallString\"=\"\\\"C:\\\\Program Files\\\\Wine Made\\\\uninst.exe\\\" /S\"\r\n"
            "\"DisplayVersion\"=\"2.0 [beta]\"\r\n"
            "\"na\\\\me\\\"x\"=dword:00000007\r\n"
            "\"Bin\"=hex:de,ad,be,ef\r\n"
            "\"Multi\"=hex(7):61,00,00,00,c4,00,00,00,00,00\r\n");
    QFile file(m_wine->hostPath(QStringLiteral("drive_c/wine-import.reg")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xff\xfe");
    file.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    file.close();
    expectHivesAccepted(m_wine->regeditImport(QStringLiteral("C:\\wine-import.reg")));
    const QString added = QStringLiteral("HKLM\\") + kUninstall + QStringLiteral("\\Added by reg");
    const QList<QStringList> adds{
        {QStringLiteral("DisplayName"), QStringLiteral("REG_SZ"),
         QStringLiteral("Added \"by\" reg [x] \\o/")},
        {QStringLiteral("Expand"), QStringLiteral("REG_EXPAND_SZ"), QStringLiteral("%WINDIR%\\x")},
        {QStringLiteral("Multi"), QStringLiteral("REG_MULTI_SZ"), QStringLiteral("one\\0two")},
        {QStringLiteral("Dword"), QStringLiteral("REG_DWORD"), QStringLiteral("0x80000001")},
        {QStringLiteral("Qword"), QStringLiteral("REG_QWORD"), QStringLiteral("0x123456789")},
        {QStringLiteral("Binary"), QStringLiteral("REG_BINARY"), QStringLiteral("00ff10")},
    };
    for (const QStringList& add : adds) {
        const ToolRun run = m_wine->wine(
            {QStringLiteral("reg"), QStringLiteral("add"), added, QStringLiteral("/v"), add[0],
             QStringLiteral("/t"), add[1], QStringLiteral("/d"), add[2], QStringLiteral("/f")});
        EXPECT_EQ(run.exitCode, 0) << add[0].toStdString() << run.standardError.toStdString();
    }
    m_wine->waitForServer();

    WineRegistry registry{Prefix(m_wine->path())};
    const auto value = [&](const QString& key, const char* name) {
        return registry.queryValue(RegRoot::LocalMachine, key, QString::fromUtf8(name));
    };
    EXPECT_EQ(value(entry, "DisplayName"),
              makeStringValue(QStringLiteral("Wine \"Made\" – Ääni € 𝄞")));
    EXPECT_EQ(value(entry, "na\\me\"x"), makeDwordValue(7));
    EXPECT_EQ(value(entry, "Bin"), raw(kRegBinary, QByteArray::fromHex("deadbeef")));
    EXPECT_EQ(value(entry, "Multi"), multiString({QStringLiteral("a"), QStringLiteral("Ä")}));
    const QString addedPath = added.mid(5);
    EXPECT_EQ(value(addedPath, "DisplayName"),
              makeStringValue(QStringLiteral("Added \"by\" reg [x] \\o/")));
    EXPECT_EQ(value(addedPath, "Expand"),
              makeStringValue(QStringLiteral("%WINDIR%\\x"), kRegExpandSz));
    EXPECT_EQ(value(addedPath, "Multi"),
              multiString({QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(value(addedPath, "Dword"), makeDwordValue(0x80000001));
    EXPECT_EQ(value(addedPath, "Qword"), raw(kRegQword, QByteArray::fromHex("8967452301000000")));
    EXPECT_EQ(value(addedPath, "Binary"), raw(kRegBinary, QByteArray::fromHex("00ff10")));
    EXPECT_EQ(mdlPoisto::LueRekisteriarvo(registry, RegRoot::LocalMachine, entry,
                                          QStringLiteral("DisplayVersion")),
              QStringLiteral("2.0 [beta]"));

    const ToolRun list =
        runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora"), {QStringLiteral("--list")},
                {QStringLiteral("WINEPREFIX=") + m_wine->path()});
    ASSERT_EQ(list.exitCode, 0) << list.standardError.toStdString();
    const QString listed = QString::fromUtf8(list.standardOutput);
    EXPECT_TRUE(listed.contains(
        QStringLiteral("Wine Made [ä] \"q\"\tWine \"Made\" – Ääni € 𝄞\t\"C:\\Program Files\\Wine "
                       "Made\\uninst.exe\" /S\t2.0 [beta]\t")))
        << listed.toStdString();
    EXPECT_TRUE(listed.contains(QStringLiteral("Added by reg\tAdded \"by\" reg [x] \\o/\t")))
        << listed.toStdString();
}

} // namespace
} // namespace nixora::interop
