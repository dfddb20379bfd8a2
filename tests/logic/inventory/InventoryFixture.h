#pragma once

#include "FileQuery.h"
#include "StatusBar.h"
#include "WineRegistry.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryListInteraction.h"
#include "inventory/EntryRows.h"
#include "inventory/EntryTags.h"
#include "support/TestWorkspace.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace nixora::test
{

using Values = QList<QPair<QString, QString>>;

inline const QString kActiveSetupKey =
    QStringLiteral("Software\\Microsoft\\Active Setup\\Installed Components\\");

// A temporary prefix opened as a workspace, with the view's steps counted (status text and list
// click handlers run as the window runs them).
class InventoryFixture : public TestWorkspace
{
public:
    InventoryFixture()
    {
        view.onShowSelectedPage = [this] {
            ++statusUpdates;
            if (state.lvwOhjelmat.enabled())
                ++statusUpdatesWhileEnabled;
            if (state.lvwOhjelmat.selectedRow() && state.lvwOhjelmat.selectedRow()->highlighted)
                ++statusUpdatesWithHighlight;
            updateStatusText(state);
        };
        view.onEntrySelectionChanged = [this] {
            ++listClicks;
            lvwOhjelmat_Click(state);
        };
    }

    void setMachineHive(const QString& body) { prefix.setHiveBody(RegRoot::LocalMachine, body); }

    void fill() { ListaaLisaaPoistaOhjelmat(ctx); }

    // Rows in list order: subkey|name|uninstaller|version|name tag|uninstaller tag|version tag|
    // verdict, the verdict being its entry's (phantom/found/plain), "+bold" when the row is bold.
    [[nodiscard]] QStringList rows() const
    {
        QStringList out;
        const ListViewModel& list = state.lvwOhjelmat;
        for (int i = 0; i < list.rowCount(); ++i) {
            const ListRow& r = *list.rowAt(i);
            const Entry* entry = entryOfRow(ctx, r);
            QString verdict = entry ? verdictName(entry->verdict) : QStringLiteral("no entry");
            if (r.cells[0].bold)
                verdict += QStringLiteral("+bold");
            out << QStringList{r.key.mid(14),  r.cells[0].text, r.cells[1].text, r.cells[2].text,
                               r.cells[0].tag, r.cells[1].tag,  r.cells[2].tag,  verdict}
                       .join(u'|');
        }
        return out;
    }

    int statusUpdates = 0;
    int statusUpdatesWhileEnabled = 0;
    int statusUpdatesWithHighlight = 0;
    int listClicks = 0;
};

[[nodiscard]] inline QString componentBlock(const QString& key, const Values& values)
{
    return hiveKeyBlock(kActiveSetupKey + key, values);
}

} // namespace nixora::test
