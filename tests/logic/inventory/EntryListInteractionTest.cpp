#include "inventory/EntryListInteraction.h"
#include "StatusBar.h"
#include "inventory/EntryTags.h"
#include "support/TestNames.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace nixora
{
namespace
{

ListRow* addEntryRow(WindowState& state, const QString& subkey, const QStringList& texts,
                     const QStringList& rowTags)
{
    auto& list = state.lvwOhjelmat;
    ListRow* row = list.addRow(tags::kRowKeyPrefix + subkey, texts.value(0));
    for (int column = 0; column < 3; ++column) {
        list.setText(row, column, texts.value(column));
        list.setTag(row, column, rowTags.value(column));
    }
    return row;
}

struct LockCase {
    const char* name;
    QStringList tags;
    bool nameLocked;
    bool uninstallerLocked;
    bool versionLocked;
    bool modifyEnabled;
    bool start; // all three flags before the click
};

class LockFlagsTest : public testing::TestWithParam<LockCase>
{
};

TEST_P(LockFlagsTest, ItemClickSetsFlagsAndModify)
{
    const LockCase& c = GetParam();
    WindowState state;
    state.entry.SelectedEntryNameLocked = c.start;
    state.entry.SelectedEntryUninstallerLocked = c.start;
    state.entry.SelectedEntryVersionLocked = c.start;
    const ListRow* row = addEntryRow(state, "FooApp", {"Foo", "x", "1"}, c.tags);
    lvwOhjelmat_ItemClick(state, row);
    EXPECT_EQ(state.entry.SelectedEntryNameLocked, c.nameLocked);
    EXPECT_EQ(state.entry.SelectedEntryUninstallerLocked, c.uninstallerLocked);
    EXPECT_EQ(state.entry.SelectedEntryVersionLocked, c.versionLocked);
    EXPECT_EQ(state.popup.mMuokkaa, c.modifyEnabled);
    EXPECT_EQ(state.entry.SelectedEntryKey, "FooApp");
}

INSTANTIATE_TEST_SUITE_P(
    Tags, LockFlagsTest,
    testing::Values(
        LockCase{
            "AllNormal", {"normaali", "normaali", "normaali"}, false, false, false, true, true},
        LockCase{"Quiet",
                 {"normaali quiet", "normaali quiet", "lukittu"},
                 false,
                 false,
                 true,
                 true,
                 false},
        LockCase{
            "AllLocked",
            {"lukittu komponenttinimi", "lukittu normaali ja quiet", "lukittu komponenttiversio"},
            true,
            true,
            true,
            false,
            false},
        LockCase{"OnlyVersionEditable",
                 {"lukittu quiet", "lukittu", "normaali"},
                 true,
                 true,
                 false,
                 true,
                 false},
        // Tags outside the vocabulary (letter case differs, empty, wrong column) change nothing.
        LockCase{"UnknownTagsKeepLocked",
                 {"Normaali", "", "lukittu quiet"},
                 true,
                 true,
                 true,
                 false,
                 true},
        LockCase{"UnknownTagsKeepUnlocked",
                 {"LUKITTU", "lukittu quiet", "normaali quiet"},
                 false,
                 false,
                 false,
                 true,
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EntryListInteractionTest, EmptyUninstallerDisablesItsItemsOnly)
{
    WindowState state;
    const ListRow* row =
        addEntryRow(state, "A", {"App", "", ""}, {"normaali", "normaali", "lukittu"});
    lvwOhjelmat_ItemClick(state, row);
    EXPECT_FALSE(state.popup.mAjaPoistoohjelma);
    EXPECT_FALSE(state.popup.mKopioiLeikepoydalle[1]);
    EXPECT_FALSE(state.popup.mKopioiLeikepoydalle[2]);
    EXPECT_TRUE(state.popup.mKopioiLeikepoydalle[0]);
    EXPECT_TRUE(state.popup.mPoistaRekisterista);
    EXPECT_TRUE(state.popup.mVarmuuskopioi);
    EXPECT_EQ(state.entry.SelectedEntryName, "App");
    EXPECT_TRUE(state.entry.SelectedEntryUninstaller.isEmpty());
}

TEST(EntryListInteractionTest, ClickReadsSelectedRowOrClearsEntry)
{
    WindowState state;
    ListRow* named =
        addEntryRow(state, "Named", {"Named", "u.exe", "2"}, {"normaali", "normaali", "normaali"});
    ListRow* unnamed =
        addEntryRow(state, "Unnamed", {"", "v.exe", "3"}, {"normaali", "normaali", "normaali"});
    lvwOhjelmat_Click(state); // no selected row
    EXPECT_TRUE(state.entry.SelectedEntryKey.isEmpty());
    EXPECT_TRUE(state.entry.SelectedEntryNameLocked && state.entry.SelectedEntryVersionLocked);

    state.lvwOhjelmat.setHighlighted(named, true);
    state.lvwOhjelmat.setHighlighted(named, false); // still the selected row
    state.popup.mAjaPoistoohjelma = false;
    lvwOhjelmat_Click(state);
    EXPECT_EQ(state.entry.SelectedEntryKey, "Named");
    EXPECT_EQ(state.entry.SelectedEntryUninstaller, "u.exe");
    EXPECT_EQ(state.entry.SelectedEntryVersion, "2");
    EXPECT_FALSE(state.entry.SelectedEntryNameLocked);
    EXPECT_FALSE(state.popup.mAjaPoistoohjelma); // the list click touches only "Modify"

    state.lvwOhjelmat.setHighlighted(unnamed, true);
    lvwOhjelmat_Click(state);
    EXPECT_TRUE(state.entry.SelectedEntryKey.isEmpty());
    EXPECT_TRUE(state.entry.SelectedEntryUninstaller.isEmpty());
    EXPECT_TRUE(state.entry.SelectedEntryUninstallerLocked);
}

TEST(EntryListInteractionTest, ColumnClicksToggleOrderAndSwitchColumn)
{
    WindowState state;
    state.lvwOhjelmat.setSorted(true);
    addEntryRow(state, "a", {"Alpha", "", "9.0"}, {});
    addEntryRow(state, "b", {"beta", "", "10.0"}, {});
    const auto firstKey = [&] { return state.lvwOhjelmat.rowAt(0)->key.mid(14); };
    EXPECT_EQ(firstKey(), "a");
    lvwOhjelmat_ColumnClick(state, 2);
    EXPECT_EQ(firstKey(), "a"); // versions by number: 9.0 before 10.0
    lvwOhjelmat_ColumnClick(state, 2);
    EXPECT_EQ(state.lvwOhjelmat.sortOrder(), 1);
    EXPECT_EQ(firstKey(), "b");
    lvwOhjelmat_ColumnClick(state, 0);
    EXPECT_EQ(state.lvwOhjelmat.sortKey(), 0);
    EXPECT_EQ(state.lvwOhjelmat.sortOrder(), 0);
    EXPECT_EQ(firstKey(), "a");
}

struct PopupCase {
    double x;
    double y;
    int16_t expectedX;
    int16_t expectedY;
};

class PopupPositionTest : public testing::TestWithParam<PopupCase>
{
};

TEST_P(PopupPositionTest, RoundsHalfToEvenIn16Bits)
{
    WindowState state;
    recordPopupPosition(state, 240, 720, GetParam().x, GetParam().y);
    EXPECT_EQ(state.popupX, GetParam().expectedX);
    EXPECT_EQ(state.popupY, GetParam().expectedY);
}

INSTANTIATE_TEST_SUITE_P(Positions, PopupPositionTest,
                         testing::Values(PopupCase{0, 0, 290, 770}, PopupCase{0.5, 1.5, 290, 772},
                                         PopupCase{2.5, -0.5, 292, 770},
                                         PopupCase{100000, -100000, 32767, -32768}),
                         [](const auto& info) {
                             return test::indexedTestName(
                                 info.index,
                                 QStringLiteral("%1 %2").arg(info.param.x).arg(info.param.y));
                         });

TEST(EntryListInteractionTest, MouseUpOpensPopupOnlyForRightButtonWithEntry)
{
    WindowState state;
    EXPECT_FALSE(entryPopupOpensOnMouseUp(state, 2));
    state.entry.SelectedEntryKey = "App";
    EXPECT_TRUE(entryPopupOpensOnMouseUp(state, 2));
    EXPECT_FALSE(entryPopupOpensOnMouseUp(state, 1));
}

TEST(EntryListInteractionTest, StatusTextCountsPhantomRowsWhateverTheirBold)
{
    WindowState state;
    updateStatusText(state);
    EXPECT_EQ(state.statusText, "0 phantom program entries (0 entries in total)");
    ListRow* a = addEntryRow(state, "a", {"a"}, {});
    addEntryRow(state, "b", {"b"}, {});
    state.lvwOhjelmat.setForeColor(a, 0, kPhantomColor);
    state.lvwOhjelmat.setBold(a, 0, false);
    EXPECT_EQ(RikkinaistenEntryjenLukumaara(state), 1);
    updateStatusText(state);
    EXPECT_EQ(state.statusText, "1 phantom program entries (2 entries in total)");
    state.selectedTab = kTabBackups;
    updateStatusText(state);
    EXPECT_EQ(state.statusText, "0 removed program entries");
    state.selectedTab = "other";
    updateStatusText(state);
    EXPECT_EQ(state.statusText, "0 removed program entries");
}

} // namespace
} // namespace nixora
