#include "support/GuiTestApp.h"
#include "support/ScriptedUi.h"

#include "frmTietoja.h"
#include "help/HelpLinks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace nixora
{
namespace
{

using test::ScriptedUi;

TEST(HelpLinksTest, HomePageCarriesProductAndVersionInItsQuery)
{
    const QUrl home(help::homePage());
    EXPECT_EQ(home.path(), QStringLiteral("/nixora/"));
    EXPECT_EQ(home.query(), QStringLiteral("nixora41"));
    EXPECT_TRUE(home.host().endsWith(QStringLiteral(".example")));
    EXPECT_EQ(help::homePageWithoutQuery() + QStringLiteral("?nixora41"), help::homePage());
}

TEST(HelpLinksTest, ReferralEncodesPageTagAndDestination)
{
    const QString target =
        help::referral(QStringLiteral("a&b"), QStringLiteral("https://x.example/?q=1&r=2"));
    // Every reserved character of the values is encoded, so the query has exactly two keys.
    EXPECT_TRUE(
        target.contains(QStringLiteral("osoite=https%3A%2F%2Fx.example%2F%3Fq%3D1%26r%3D2")));
    const QUrl url(target);
    EXPECT_EQ(url.path(), QStringLiteral("/cgi/referenssi.cgi"));
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItems().size(), 2);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("sivu"), QUrl::FullyDecoded),
              QStringLiteral("nixora41a&b"));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("osoite"), QUrl::FullyDecoded),
              QStringLiteral("https://x.example/?q=1&r=2"));
}

TEST(HelpLinksTest, MenuReferralsPointAtTheTwoSites)
{
    const QUrlQuery software{QUrl(help::softwareDevelopmentReferral())};
    const QUrlQuery design{QUrl(help::webDesignReferral())};
    EXPECT_TRUE(
        software.queryItemValue(QStringLiteral("sivu")).startsWith(QStringLiteral("nixora41")));
    EXPECT_NE(software.queryItemValue(QStringLiteral("sivu")),
              design.queryItemValue(QStringLiteral("sivu")));
    EXPECT_EQ(QUrl(software.queryItemValue(QStringLiteral("osoite"), QUrl::FullyDecoded)).host(),
              QUrl(help::homePage()).host());
}

TEST(HelpLinksTest, ReadmeIsLookedForInTheProgramFolderThenWhereAnInstallPutsIt)
{
    EXPECT_EQ(help::readmePath(QStringLiteral("/opt/nixora/bin")),
              QStringLiteral("/opt/nixora/bin/readme.txt"));
    EXPECT_EQ(help::mailtoSupport(), QStringLiteral("mailto:support@nixora.example"));

    // The layout `cmake --install` makes: <prefix>/bin and <prefix>/share/doc/nixora.
    const QTemporaryDir prefix;
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    const QString installed = prefix.filePath(QStringLiteral("share/doc/nixora/readme.txt"));
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(QFileInfo(installed).path()));
    ASSERT_TRUE(QFile(installed).open(QIODevice::WriteOnly));
    EXPECT_EQ(help::readmePath(bin), installed);
    ASSERT_TRUE(QFile(bin + QStringLiteral("/readme.txt")).open(QIODevice::WriteOnly));
    EXPECT_EQ(help::readmePath(bin), bin + QStringLiteral("/readme.txt"));
}

class AboutTest : public ::testing::Test
{
protected:
    void SetUp() override { test::guiTestApp(); }

    QLabel* label(const char* name)
    {
        return m_dialog.findChild<QLabel*>(QString::fromLatin1(name));
    }
    QPushButton* button(const char* name)
    {
        return m_dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    }

    ScriptedUi m_ui;
    frmTietoja m_dialog{m_ui};
};

TEST_F(AboutTest, ShowsNameVersionAndTheLinkWithoutItsQuery)
{
    EXPECT_EQ(label("lblOhjelmanNimi")->text(), QStringLiteral("Nixora"));
    EXPECT_TRUE(label("lblOhjelmanNimi")->font().bold());
    EXPECT_EQ(label("lblVersio")->text(), QStringLiteral("Version 4.1"));
    EXPECT_EQ(label("lblWWW")->text(), QStringLiteral("https://www.nixora.example/nixora/"));
    EXPECT_EQ(label("lblEmail")->text(), help::kSupportAddress);
    for (const char* link : {"lblWWW", "lblEmail"}) {
        EXPECT_TRUE(label(link)->font().underline()) << link;
        EXPECT_EQ(label(link)->palette().color(QPalette::WindowText), QColor(192, 0, 0)) << link;
        EXPECT_EQ(label(link)->cursor().shape(), Qt::PointingHandCursor) << link;
    }
    EXPECT_EQ(button("cmdRekisteroi")->text(), QStringLiteral("&Free Updates..."));
    EXPECT_EQ(m_dialog.size(), QSize(347, 204));
    // The load handler leaves the normal pointer while the dialog is open.
    EXPECT_EQ(m_ui.pointerHistory, std::vector<int>{kPointerDefault});
}

TEST_F(AboutTest, LinkClicksOpenTargetsAndKeepTheDialogOpen)
{
    m_dialog.show();
    QTest::mouseClick(label("lblWWW"), Qt::LeftButton);
    QTest::mouseClick(label("lblEmail"), Qt::LeftButton);
    EXPECT_EQ(m_ui.opened, QStringList({help::homePage(), help::mailtoSupport()}));
    EXPECT_TRUE(m_dialog.isVisible());
    EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
}

TEST_F(AboutTest, FreeUpdatesOpensTheHomePageAndCloses)
{
    m_dialog.show();
    QTest::mouseClick(button("cmdRekisteroi"), Qt::LeftButton);
    EXPECT_EQ(m_ui.opened, QStringList{help::homePage()});
    EXPECT_FALSE(m_dialog.isVisible());
}

TEST_F(AboutTest, EnterAndEscapeBothPressOk)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        m_dialog.show();
        m_ui.pointerHistory.clear();
        QTest::keyClick(&m_dialog, key);
        EXPECT_FALSE(m_dialog.isVisible()) << key;
        EXPECT_EQ(m_ui.pointerHistory, (std::vector<int>{kPointerHourglass, kPointerDefault}));
    }
    EXPECT_TRUE(m_ui.opened.isEmpty());
}

} // namespace
} // namespace nixora
