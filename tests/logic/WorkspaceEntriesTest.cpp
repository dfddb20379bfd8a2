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
    Workspace ctx(Services{nullptr, nullptr, &ui, &clock, {}, {}, {}, {}});
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
}

} // namespace
} // namespace nixora
