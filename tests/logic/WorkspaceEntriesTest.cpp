#include "Workspace.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryTags.h"
#include "support/FixedClock.h"
#include "support/ScriptedUi.h"
#include "support/TestData.h"
#include "view/LogicOnlyView.h"

#include <gtest/gtest.h>

#include <map>

namespace nixora
{
namespace
{

struct Expected {
    Verdict verdict;
    const char* reason;
    const QString& toolTip;
};

// The entry list is data: every question about an entry is answered by its Entry, and the rows
// only show those answers. The demo prefix holds every kind of entry.
TEST(WorkspaceEntries, VerdictsAndReasonsAreReadFromTheEntriesAndTheRowsShowThem)
{
    test::ScriptedUi ui;
    test::FixedClock clock;
    Workspace ctx(Services{.ui = &ui, .clock = clock});
    LogicOnlyView view(ctx);
    ctx.setView(&view);
    (void)ctx.openPrefix(Prefix(test::dataPath(QStringLiteral("../../examples/demo-prefix"))));
    ctx.loadListPreferences();
    ListaaLisaaPoistaOhjelmat(ctx);

    const std::map<QString, Expected> expected{
        {QStringLiteral("HKLM\\GoneTool"),
         {Verdict::Phantom, "the file(s) in the uninstall string were not found",
          tags::kTipMissing}},
        {QStringLiteral("HKLM32\\Demo32Gone"),
         {Verdict::Phantom, "the file(s) in the uninstall string were not found",
          tags::kTipMissing}},
        // Its drive's link leads nowhere: marked as the file check marks it, but cannot be told.
        {QStringLiteral("HKLM\\DemoUsbTool"),
         {Verdict::Unknown, "drive D: is not available", tags::kTipMissing}},
        // Windows Installer products: registered with their package, registered without it, and
        // not registered at all.
        {QStringLiteral("HKLM\\{6F1C2D3E-0000-4000-8000-000000000001}"),
         {Verdict::Found, "", tags::kTipFound}},
        {QStringLiteral("HKLM\\{6F1C2D3E-0000-4000-8000-000000000002}"),
         {Verdict::Phantom,
          "the product's installer package is missing; its uninstaller would fail",
          tags::kTipPackageMissing}},
        {QStringLiteral("HKLM\\{AAAAAAAA-0000-4000-8000-00000000000A}"),
         {Verdict::Phantom,
          "the Windows Installer product is not registered; its uninstaller would fail",
          tags::kTipNotRegistered}},
        {QStringLiteral("HKCU\\DemoUserApp"), {Verdict::Found, "", tags::kTipFound}},
        {QStringLiteral("HKLM\\NoUninstaller"), {Verdict::Plain, "", tags::kTipPlain}},
        {QStringLiteral("HKLM\\QuietUninstallerEmpty"), {Verdict::Plain, "", tags::kTipPlain}},
    };
    ASSERT_EQ(ctx.entries.size(), static_cast<size_t>(ctx.state.lvwOhjelmat.rowCount()));
    int checked = 0;
    for (const Entry& entry : ctx.entries) {
        const ListRow* row = ctx.state.lvwOhjelmat.findByKey(entry.rowKey());
        ASSERT_NE(row, nullptr) << entry.subkey.toStdString();
        for (int column = 0; column < 3; ++column) {
            const ListCell& cell = row->cells[static_cast<size_t>(column)];
            EXPECT_EQ(cell.text, entry.columns[static_cast<size_t>(column)].text);
            EXPECT_EQ(cell.tag, entry.columns[static_cast<size_t>(column)].tag);
            EXPECT_EQ(cell.toolTip, entry.toolTip);
            EXPECT_EQ(cell.foreColor == kPhantomColor, entry.marked);
        }
        EXPECT_EQ(entry.reason.isEmpty(),
                  entry.verdict == Verdict::Found || entry.verdict == Verdict::Plain);
        const auto it = expected.find(entry.source->label + u'\\' + entry.subkey);
        if (it == expected.end())
            continue;
        ++checked;
        EXPECT_EQ(entry.verdict, it->second.verdict) << entry.subkey.toStdString();
        EXPECT_EQ(entry.reason, QLatin1String(it->second.reason)) << entry.subkey.toStdString();
        EXPECT_TRUE(entry.toolTip.startsWith(it->second.toolTip + u'\n'));
    }
    EXPECT_EQ(checked, static_cast<int>(expected.size()));

    // Without the Installer checks the file check alone judges: the same entries, no Installer
    // verdict left, every other verdict as it was.
    std::map<QString, Verdict> withChecks;
    for (const Entry& entry : ctx.entries)
        withChecks[entry.rowKey()] = entry.verdict;
    ctx.state.installerChecks = false;
    ListaaLisaaPoistaOhjelmat(ctx);
    ASSERT_EQ(ctx.entries.size(), withChecks.size());
    for (const Entry& entry : ctx.entries) {
        const bool installer = entry.reason.contains(QLatin1String("Windows Installer")) ||
                               entry.toolTip.startsWith(tags::kTipNotRegistered);
        EXPECT_FALSE(installer) << entry.subkey.toStdString();
        if (entry.subkey.startsWith(u"{6F1C2D3E") || entry.subkey.startsWith(u"{AAAAAAAA"))
            EXPECT_EQ(entry.verdict, Verdict::Found) << entry.subkey.toStdString();
        else
            EXPECT_EQ(entry.verdict, withChecks[entry.rowKey()]) << entry.subkey.toStdString();
    }
}

} // namespace
} // namespace nixora
