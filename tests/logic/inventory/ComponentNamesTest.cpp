#include "InventoryFixture.h"

#include "inventory/ComponentNames.h"

namespace nixora::test
{
namespace
{

struct Component {
    QString key;
    Values values;
};

struct PassCase {
    const char* name;
    QList<Component> components; // in Wine's (sorted) order
    QString subkey;              // the one Uninstall entry, without DisplayVersion
    QString displayName;
    QString expectedRow;
};

void PrintTo(const PassCase& c, std::ostream* out)
{
    *out << c.name;
}

class ComponentPassTest : public testing::TestWithParam<PassCase>, public InventoryFixture
{
};

TEST_P(ComponentPassTest, RenamesMatchingRow)
{
    const PassCase& c = GetParam();
    QString body;
    for (const Component& component : c.components)
        body += componentBlock(component.key, component.values);
    body +=
        uninstallEntryBlock(c.subkey, {{"DisplayName", c.displayName}, {"UninstallString", ""}});
    setMachineHive(body);
    fill();
    ASSERT_EQ(rows().size(), 1);
    EXPECT_EQ(rows().front(), c.expectedRow);
}

INSTANTIATE_TEST_SUITE_P(
    Passes, ComponentPassTest,
    testing::Values(
        PassCase{"KeyNameWithDisplayName",
                 {{"Codec", {{"", "Friendly"}, {"DisplayName", "Shown"}, {"Version", "1,2"}}}},
                 "Codec",
                 "c",
                 "Codec|Shown||1,2|lukittu komponenttinimi|normaali|lukittu komponenttiversio|"
                 "plain"},
        PassCase{"DefaultValueMatch",
                 {{"{A}", {{"", "Help Engine"}, {"Version", "2"}}}},
                 "Help Engine",
                 "h",
                 "Help Engine|Help Engine||2|lukittu komponenttinimi|normaali|lukittu "
                 "komponenttiversio|plain"},
        PassCase{"ComponentIdGetsDisplayName",
                 {{"{A}",
                   {{"", "Media Player"},
                    {"ComponentID", "wmp"},
                    {"DisplayName", "WMP 12"},
                    {"Version", "12"}}}},
                 "wmp",
                 "wmp",
                 "wmp|WMP 12||12|lukittu komponenttinimi|normaali|lukittu komponenttiversio|plain"},
        PassCase{"ComponentIdFallsBackToFriendlyName",
                 {{"{A}", {{"", "Media Player"}, {"ComponentID", "wmp"}, {"Version", "12"}}}},
                 "wmp",
                 "wmp",
                 "wmp|Media Player||12|lukittu komponenttinimi|normaali|lukittu "
                 "komponenttiversio|plain"},
        PassCase{"DisplayNameMatch",
                 {{"{A}", {{"ComponentID", "DX"}, {"DisplayName", "DirectX"}, {"Version", "9"}}}},
                 "DirectX",
                 "dx",
                 "DirectX|DirectX||9|lukittu komponenttinimi|normaali|lukittu komponenttiversio|"
                 "plain"},
        PassCase{"NamelessComponentGivesKeyName",
                 {{"Bare", {{"Version", "1,0"}}}},
                 "Bare",
                 "b",
                 "Bare|Bare||1,0|lukittu komponenttinimi|normaali|lukittu komponenttiversio|"
                 "plain"},
        PassCase{"MissingVersionShowsNotFound",
                 {{"Codec", {{"", "Codec Pack"}}}},
                 "Codec",
                 "c",
                 "Codec|Codec Pack||Not Found|lukittu komponenttinimi|normaali|lukittu "
                 "komponenttiversio|plain"},
        PassCase{"RowKeyLookupIsExact",
                 {{"CODEC", {{"", "Codec Pack"}, {"Version", "1"}}}},
                 "Codec",
                 "c",
                 "Codec|c|||normaali|normaali|lukittu|plain"}),
    [](const auto& info) { return std::string(info.param.name); });

class ComponentVersionTest : public testing::Test, public InventoryFixture
{
protected:
    void SetUp() override
    {
        setMachineHive(componentBlock("{A}", {{"", "Viewer"}, {"Version", "5,0"}}) +
                       uninstallEntryBlock("First", {{"DisplayName", "Viewer"}}) +
                       uninstallEntryBlock("Second", {{"DisplayName", "Viewer"}}));
        state.lvwOhjelmat.addRow("rekisteriavainFirst", "Viewer");
        state.lvwOhjelmat.addRow("rekisteriavainSecond", "Viewer");
    }
};

TEST_F(ComponentVersionTest, EachComponentAnswersOnce)
{
    EXPECT_EQ(SelvitaKomponentinVersionumero(ctx, "First", "Viewer"), "5,0");
    EXPECT_EQ(SelvitaKomponentinVersionumero(ctx, "Second", "Viewer"), "Not Found");
    EXPECT_EQ(state.usedComponents, std::set<int>{0});
}

TEST_F(ComponentVersionTest, ComparisonIsExact)
{
    EXPECT_EQ(SelvitaKomponentinVersionumero(ctx, "First", "viewer"), "Not Found");
    EXPECT_EQ(SelvitaKomponentinVersionumero(ctx, "First", "Viewer "), "Not Found");
    EXPECT_EQ(SelvitaKomponentinVersionumero(ctx, "Missing", "Viewer"), "Not Found");
    EXPECT_TRUE(state.usedComponents.empty());
}

TEST_F(ComponentVersionTest, FriendlyNamesOffDoesNothing)
{
    state.friendlyNames = false;
    EXPECT_EQ(SelvitaKomponentinVersionumero(ctx, "First", "Viewer"), "Not Found");
    MuunnaKomponenttienNimetSelkokielisiksi(ctx, 1);
    EXPECT_TRUE(state.usedComponents.empty());
}

TEST(ComponentWalkTest, AComponentNamedNotFoundDoesNotEndTheWalk)
{
    // A component key literally named "Not Found" is a component like any other: the walk ends
    // only past the last key, used or not.
    InventoryFixture f;
    f.setMachineHive(
        componentBlock("Alpha", {{"", "A"}}) +
        componentBlock("Not Found", {{"", "Y"}, {"Version", "1"}}) +
        componentBlock("Zeta", {{"", "Z"}, {"Version", "9"}}) +
        uninstallEntryBlock("EntryY", {{"DisplayName", "Y"}, {"UninstallString", "x"}}) +
        uninstallEntryBlock("EntryZ", {{"DisplayName", "Z"}, {"UninstallString", "x"}}));
    f.fill();
    const QStringList rows = f.rows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].startsWith("EntryY|Y|x|1|")) << rows[0].toStdString();
    EXPECT_TRUE(rows[1].startsWith("EntryZ|Z|x|9|")) << rows[1].toStdString();

    InventoryFixture g; // without the first entry, the walk still goes past "Not Found"
    g.setMachineHive(
        componentBlock("Alpha", {{"", "A"}}) +
        componentBlock("Not Found", {{"", "Y"}, {"Version", "1"}}) +
        componentBlock("Zeta", {{"", "Z"}, {"Version", "9"}}) +
        uninstallEntryBlock("EntryZ", {{"DisplayName", "Z"}, {"UninstallString", "x"}}));
    g.fill();
    ASSERT_EQ(g.rows().size(), 1);
    EXPECT_TRUE(g.rows()[0].startsWith("EntryZ|Z|x|9|")) << g.rows()[0].toStdString();
}

TEST(ComponentWalkTest, ComponentUsedByFirstMatchingPassOnly)
{
    InventoryFixture f;
    f.setMachineHive(componentBlock("wmp", {{"", "Friendly"}, {"Version", "1"}}) +
                     uninstallEntryBlock("Friendly", {{"DisplayName", "f"}}) +
                     uninstallEntryBlock("wmp", {{"DisplayName", "w"}}));
    f.fill();
    EXPECT_EQ(f.rows(),
              QStringList({"Friendly|f|||normaali|lukittu normaali ja quiet|lukittu|plain",
                           "wmp|Friendly||1|lukittu komponenttinimi|lukittu normaali ja "
                           "quiet|lukittu komponenttiversio|plain"}));
}

TEST(ComponentWalkTest, LaterPassOverwritesRowChangedByAnotherComponent)
{
    InventoryFixture f;
    f.setMachineHive(
        componentBlock("App", {{"", "First Name"}, {"Version", "1"}}) +
        componentBlock("{B}",
                       {{"ComponentID", "App"}, {"DisplayName", "Second"}, {"Version", "2"}}) +
        uninstallEntryBlock("App", {{"DisplayName", "a"}}));
    f.fill();
    ASSERT_EQ(f.rows().size(), 1);
    EXPECT_TRUE(f.rows()[0].startsWith("App|Second||2|")) << f.rows()[0].toStdString();
    EXPECT_EQ(f.state.usedComponents, (std::set<int>{0, 1}));
}

} // namespace
} // namespace nixora::test
