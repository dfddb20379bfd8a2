#include "Settings.h"
#include "WineRegistry.h"
#include "actions/ModifyEntry.h"
#include "frmMuokkaa.h"
#include "mdlPoisto.h"
#include "support/FixedClock.h"
#include "support/ScriptedUi.h"
#include "support/TestWorkspace.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace nixora;
using nixora::test::FixedClock;
using nixora::test::ScriptedUi;
using nixora::test::TempPrefix;

namespace
{

const QString kEntryPath =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App");

class ModifyDialogTest : public ::testing::Test
{
protected:
    ModifyDialogTest()
    {
        m_ws.view.onFillEntries = [this] { ++m_refills; };
        m_ws.view.onFillBackups = [] {};
        m_ws.view.onShowSelectedPage = [] {};
        m_ws.view.onEntrySelectionChanged = [] {};
        m_ws.view.onBackupSelectionChanged = [] {};
        m_ws.view.onRefresh = [] {};
    }

    void setEntry(const QList<QPair<QString, QString>>& values)
    {
        m_prefix.setHiveBody(RegRoot::LocalMachine,
                             test::uninstallEntryBlock(QStringLiteral("App"), values));
    }

    void select(const QString& name, const QString& uninstaller, const QString& version,
                bool nameLocked = false)
    {
        m_state.entry = {
            QStringLiteral("App"), name, uninstaller, version, nameLocked, false, false};
    }

    QString read(const QString& name)
    {
        return mdlPoisto::LueRekisteriarvo(m_registry, RegRoot::LocalMachine, kEntryPath, name);
    }

    // Opens the dialog as the menu command does, lets `interact` work on it while it is modal.
    void runDialog(const std::function<void(frmMuokkaa&)>& interact)
    {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<frmMuokkaa*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            interact(*dialog);
        });
        frmMuokkaa::mMuokkaa_Click(m_ctx, nullptr);
    }

    test::TestWorkspace m_ws;
    TempPrefix& m_prefix = m_ws.prefix;
    Registry& m_registry = m_ws.registry();
    ScriptedUi& m_ui = m_ws.ui;
    WindowState& m_state = m_ws.state;
    Workspace& m_ctx = m_ws.ctx;
    int m_refills = 0;
};

TEST_F(ModifyDialogTest, OkRewritesPlainValuesTrimmedAndCreatesNoQuietValues)
{
    setEntry({{"DisplayName", "Old"}, {"UninstallString", "C:\\u.exe"}, {"DisplayVersion", "1"}});
    select("Old", "C:\\u.exe", "1");
    runDialog([](frmMuokkaa& dialog) {
        dialog.chkVarmuuskopioi->setChecked(false);
        dialog.txtOhjelma->setText(QStringLiteral("  New Name  "));
        dialog.txtVersionumero->setText(QStringLiteral("\t2.0 "));
        dialog.cmdPainike_Click(0);
    });
    EXPECT_EQ(read("DisplayName"), "New Name");
    EXPECT_EQ(read("UninstallString"), "C:\\u.exe");
    EXPECT_EQ(read("DisplayVersion"), "\t2.0") << "only blanks are trimmed";
    EXPECT_EQ(read("QuietDisplayName"), mdlPoisto::kNotFound);
    EXPECT_EQ(read("QuietUninstallString"), mdlPoisto::kNotFound);
    EXPECT_EQ(read("QuietDisplayVersion"), mdlPoisto::kNotFound);
    EXPECT_EQ(m_refills, 1);
    EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
}

TEST_F(ModifyDialogTest, QuietValuesFollowTheShownTextIgnoringCaseAndBlanks)
{
    setEntry({{"QuietDisplayName", " shown NAME "},
              {"DisplayName", "Other"},
              {"UninstallString", "x"},
              {"QuietUninstallString", "different"}});
    select("Shown Name", "x", "not found");
    runDialog([](frmMuokkaa& dialog) {
        dialog.chkVarmuuskopioi->setChecked(false);
        dialog.txtOhjelma->setText(QStringLiteral("Edited"));
        dialog.txtVersionumero->setText(QStringLiteral("3"));
        dialog.cmdPainike_Click(0);
    });
    EXPECT_EQ(read("DisplayName"), "Edited");
    EXPECT_EQ(read("QuietDisplayName"), "Edited");
    EXPECT_EQ(read("QuietUninstallString"), "different");
    // The shown version reads "Not Found" apart from case, as a missing quiet value does.
    EXPECT_EQ(read("QuietDisplayVersion"), "3");
    EXPECT_EQ(read("DisplayVersion"), mdlPoisto::kNotFound)
        << "a missing plain value is not created";
}

TEST_F(ModifyDialogTest, LockedFieldIsDisabledAndNeverWritten)
{
    setEntry({{"DisplayName", "Locked"}, {"QuietDisplayName", "Locked"}, {"UninstallString", "u"}});
    select("Locked", "u", "", /*nameLocked=*/true);
    runDialog([](frmMuokkaa& dialog) {
        EXPECT_FALSE(dialog.txtOhjelma->isEnabled());
        EXPECT_TRUE(dialog.txtPoistoOhjelma->isEnabled());
        dialog.chkVarmuuskopioi->setChecked(false);
        dialog.txtOhjelma->setText(QStringLiteral("Changed"));
        dialog.cmdPainike_Click(0);
    });
    EXPECT_EQ(read("DisplayName"), "Locked");
    EXPECT_EQ(read("QuietDisplayName"), "Locked");
}

TEST_F(ModifyDialogTest, BackupCheckBoxIsRememberedOnlyWhenOkIsPressed)
{
    setEntry({{"DisplayName", "A"}});
    select("A", "", "");
    runDialog([](frmMuokkaa& dialog) {
        EXPECT_TRUE(dialog.chkVarmuuskopioi->isChecked()) << "no setting yet: checked";
        dialog.chkVarmuuskopioi->setChecked(false);
        dialog.cmdPainike_Click(0);
    });
    EXPECT_EQ(m_prefix.backupFileCount(), 0);
    EXPECT_FALSE(settings::readPreference(m_ws.settings(), settings::kMuokkausvarmuuskopio));

    runDialog([](frmMuokkaa& dialog) {
        EXPECT_FALSE(dialog.chkVarmuuskopioi->isChecked());
        dialog.chkVarmuuskopioi->setChecked(true);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(settings::readPreference(m_ws.settings(), settings::kMuokkausvarmuuskopio))
        << "Esc writes nothing";
}

TEST_F(ModifyDialogTest, OkWithBackupSavesTheEntryAsItWasFirst)
{
    setEntry({{"DisplayName", "Before"}});
    select("Before", "", "");
    runDialog([](frmMuokkaa& dialog) {
        dialog.txtOhjelma->setText(QStringLiteral("After"));
        dialog.cmdPainike_Click(0);
    });
    ASSERT_EQ(m_prefix.backupFileCount(), 1);
    QFile backup(m_prefix.hostPath(QStringLiteral("nixora-backups/20090302080509.reg")));
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_TRUE(backup.readAll().contains("\"DisplayName\"=\"Before\""));
    EXPECT_EQ(read("DisplayName"), "After");
}

TEST_F(ModifyDialogTest, OkWithBackupActsOnTheEntrysOwnSource)
{
    const EntrySource& wow = entrySource(SourceKind::Machine32);
    m_prefix.setHiveBody(
        RegRoot::LocalMachine,
        test::uninstallEntryBlock(QStringLiteral("App"), {{"DisplayName", "Native"}}) +
            test::hiveKeyBlock(wow.entryPath(QStringLiteral("App")), {{"DisplayName", "Before"}}));
    select("Before", "", "");
    m_state.entry.SelectedEntrySource = SourceKind::Machine32;
    runDialog([](frmMuokkaa& dialog) {
        dialog.txtOhjelma->setText(QStringLiteral("After"));
        dialog.cmdPainike_Click(0);
    });
    QFile backup(m_prefix.hostPath(QStringLiteral("nixora-backups/20090302080509.reg")));
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_TRUE(backup.readAll().startsWith(
        ("REGEDIT4\r\n; hex(2) and hex(7) data: UTF-8 text, or ff,fe "
         "and the bytes as stored\r\n\r\n[" +
         wow.entryKeyName(QStringLiteral("App")) + "]\r\n\"DisplayName\"=\"Before\"")
            .toUtf8()));
    EXPECT_EQ(mdlPoisto::LueRekisteriarvo(m_registry, RegRoot::LocalMachine,
                                          wow.entryPath(QStringLiteral("App")),
                                          QStringLiteral("DisplayName")),
              "After");
    EXPECT_EQ(read("DisplayName"), "Native");
}

TEST_F(ModifyDialogTest, FailedBackupLeavesTheEntryAsItWas)
{
    setEntry({{"DisplayName", "Before"}});
    select("Before", "", "");
    m_ctx.services.regeditProgram = m_prefix.hostPath(QStringLiteral("no-such-editor"));
    runDialog([](frmMuokkaa& dialog) {
        dialog.chkVarmuuskopioi->setChecked(true);
        dialog.txtOhjelma->setText(QStringLiteral("After"));
        dialog.cmdPainike_Click(0);
    });
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_TRUE(m_ui.shown.front().text.startsWith(QStringLiteral("Nixora cannot backup")));
    EXPECT_EQ(m_prefix.backupFileCount(), 0);
    EXPECT_EQ(read("DisplayName"), "Before");
    EXPECT_EQ(m_refills, 1);
    EXPECT_TRUE(modifyBackupPreference(m_ws.settings()));
}

} // namespace
