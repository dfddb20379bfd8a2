#include "ListViewModel.h"
#include "support/TestNames.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QStringList>

#include <ostream>
#include <random>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace nixora
{
namespace
{

QStringList columnTexts(const ListViewModel& list, int column)
{
    QStringList out;
    for (int i = 0; i < list.rowCount(); ++i)
        out << list.rowAt(i)->cells[column].text;
    return out;
}

QStringList keys(const ListViewModel& list)
{
    QStringList out;
    for (int i = 0; i < list.rowCount(); ++i)
        out << list.rowAt(i)->key;
    return out;
}

struct CompareCase {
    const char* locale;
    const char* a;
    const char* b;
    int sign;
};

// The order is the collation locale's, so each case names its own: the machine's never counts.
class CompareListTextTest : public testing::TestWithParam<CompareCase>
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QString::fromLatin1(GetParam().locale))); }
    void TearDown() override { QLocale::setDefault(m_before); }

private:
    QLocale m_before;
};

TEST_P(CompareListTextTest, OrdersAsUsersExpect)
{
    const auto& c = GetParam();
    const int r = compareListText(QString::fromUtf8(c.a), QString::fromUtf8(c.b));
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    const int back = compareListText(QString::fromUtf8(c.b), QString::fromUtf8(c.a));
    EXPECT_EQ((back > 0) - (back < 0), -c.sign);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompareListTextTest,
    testing::Values(
        // Numbers by value, in every locale, the C locale included.
        CompareCase{"en_US", "App 1", "App 2", -1}, CompareCase{"en_US", "App 2", "App 10", -1},
        CompareCase{"en_US", "2.4", "10.0", -1}, CompareCase{"en_US", "9.0", "10.0", -1},
        CompareCase{"C", "App 2", "App 10", -1}, CompareCase{"C", "2.4", "10.0", -1},
        CompareCase{"fi_FI", "App 2", "App 10", -1},
        // Equal numbers are told apart all the same.
        CompareCase{"en_US", "App 01", "App 1", -1},
        // Letter case and accents as the locale orders them.
        CompareCase{"en_US", "apple", "Banana", -1}, CompareCase{"en_US", "apple", "Apple", -1},
        CompareCase{"en_US", "abc", "ABD", -1}, CompareCase{"en_US", "Ärger", "Bar", -1},
        CompareCase{"fi_FI", "Zebra", "Ärger", -1}, CompareCase{"en_US", "same", "same", 0},
        CompareCase{"en_US", "", "a", -1}),
    [](const auto& info) {
        return test::indexedTestName(info.index, QString::fromLatin1(info.param.locale) + u' ' +
                                                     QString::fromUtf8(info.param.a) + u' ' +
                                                     QString::fromUtf8(info.param.b));
    });

class SortedListTest : public testing::Test
{
protected:
    void add(const QString& key, const QString& name, const QString& version = {})
    {
        ListRow* row = list.addRow(key, name);
        ASSERT_NE(row, nullptr);
        list.setText(row, 2, version);
    }
    ListViewModel list;
};

TEST_F(SortedListTest, RowsAddedToSortedListTakeTheirPlace)
{
    list.setSorted(true);
    add("k1", "mango");
    add("k2", "Apple");
    EXPECT_EQ(list.rowAt(0)->key, "k2"); // read in between: later rows must still be placed
    add("k3", "banana");
    add("k4", "apple");
    EXPECT_EQ(columnTexts(list, 0), QStringList({"apple", "Apple", "banana", "mango"}));
}

TEST_F(SortedListTest, UnsortedListKeepsInsertionOrder)
{
    add("b", "b");
    add("a", "a");
    EXPECT_EQ(keys(list), QStringList({"b", "a"}));
    list.setSorted(true);
    EXPECT_EQ(keys(list), QStringList({"a", "b"}));
}

TEST_F(SortedListTest, SortColumnAndOrderResortAtOnce)
{
    list.setSorted(true);
    add("x", "Xray", "9.0");
    add("y", "Yank", "10.0");
    add("z", "Zulu", "2");
    list.setSortKey(2);
    EXPECT_EQ(columnTexts(list, 2), QStringList({"2", "9.0", "10.0"}));
    list.setSortOrder(1);
    EXPECT_EQ(columnTexts(list, 2), QStringList({"10.0", "9.0", "2"}));
    add("w", "Whisky", "5");
    EXPECT_EQ(columnTexts(list, 2), QStringList({"10.0", "9.0", "5", "2"}));
}

TEST_F(SortedListTest, ChangedSortTextMovesTheRow)
{
    list.setSorted(true);
    add("a", "alpha");
    add("b", "beta");
    add("c", "gamma");
    ASSERT_EQ(list.rowAt(0)->key, "a");
    list.setText(list.findByKey("a"), 0, "omega");
    EXPECT_EQ(keys(list), QStringList({"b", "c", "a"}));
    list.setText(list.findByKey("a"), 1, "zzz"); // not the sort column: stays
    EXPECT_EQ(keys(list), QStringList({"b", "c", "a"}));
}

TEST_F(SortedListTest, SwitchingOffKeepsTheSortedOrder)
{
    list.setSorted(true);
    add("c", "c");
    add("a", "a");
    list.setSorted(false);
    add("b", "b");
    EXPECT_EQ(keys(list), QStringList({"a", "c", "b"}));
}

TEST_F(SortedListTest, LazyPlacementMatchesEagerSorting)
{
    // Many rows with colliding texts, read at irregular moments, against a reference built by
    // a full stable sort of the rows in the order they were added.
    std::mt19937 random(7);
    list.setSorted(true);
    QStringList reference;
    for (int i = 0; i < 3000; ++i) {
        const QString name = QStringLiteral("n%1").arg(random() % 50);
        add(QString::number(i), (i % 3) ? name : name.toUpper());
        reference << QString::number(i);
        if (random() % 97 == 0)
            (void)list.rowAt(0);
    }
    std::stable_sort(reference.begin(), reference.end(),
                     [this](const QString& a, const QString& b) {
                         return compareListText(list.findByKey(a)->cells[0].text,
                                                list.findByKey(b)->cells[0].text) < 0;
                     });
    EXPECT_EQ(keys(list), reference);
}

TEST(ListViewModelTest, DuplicateKeyIsRefusedAndLookupIsExact)
{
    ListViewModel list;
    ASSERT_NE(list.addRow("rekisteriavainApp", "App"), nullptr);
    EXPECT_EQ(list.addRow("rekisteriavainApp", "Other"), nullptr);
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.findByKey("rekisteriavainapp"), nullptr);
    EXPECT_NE(list.findByKey("rekisteriavainApp"), nullptr);
}

TEST(ListViewModelTest, UnhighlightedRowStaysSelectedUntilAnotherOrClear)
{
    ListViewModel list;
    EXPECT_EQ(list.selectedRow(), nullptr);
    ListRow* a = list.addRow("a", "a");
    ListRow* b = list.addRow("b", "b");
    list.setHighlighted(a, true);
    list.setHighlighted(a, false);
    EXPECT_EQ(list.selectedRow(), a);
    EXPECT_FALSE(a->highlighted);
    list.setHighlighted(b, true);
    EXPECT_EQ(list.selectedRow(), b);
    EXPECT_FALSE(a->highlighted);
    list.clear();
    EXPECT_EQ(list.selectedRow(), nullptr);
    EXPECT_EQ(list.rowCount(), 0);
}

TEST(ListViewModelTest, PhantomCountFollowsRowColour)
{
    ListViewModel list;
    ListRow* a = list.addRow("a", "a");
    ListRow* b = list.addRow("b", "b");
    list.setForeColor(a, 0, kPhantomColor);
    list.setForeColor(a, 0, kPhantomColor);
    list.setForeColor(b, 1, kPhantomColor); // a sub-item does not make a phantom row
    EXPECT_EQ(list.phantomRowCount(), 1);
    list.setForeColor(a, 0, kDefaultForeColor);
    EXPECT_EQ(list.phantomRowCount(), 0);
    list.setForeColor(b, 0, kPhantomColor);
    list.clear();
    EXPECT_EQ(list.phantomRowCount(), 0);
}

class CountingListener : public ListViewListener
{
public:
    void listChanged() override { ++changes; }
    void repaintRequested() override { ++repaints; }
    int changes = 0;
    int repaints = 0;
};

TEST(ListViewModelTest, ListenerHearsChangesAndRepaints)
{
    ListViewModel list;
    CountingListener listener;
    list.setListener(&listener);
    ListRow* row = list.addRow("a", "a");
    list.setToolTip(row, 1, "tip");
    list.setEnabled(false);
    EXPECT_EQ(listener.changes, 3);
    list.repaint();
    EXPECT_EQ(listener.repaints, 1);
    list.setListener(nullptr);
    list.clear(); // no listener: must not crash
}

} // namespace
} // namespace nixora
