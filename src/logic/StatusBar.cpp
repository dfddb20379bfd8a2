#include "StatusBar.h"

namespace nixora
{

void updateStatusText(WindowState& state)
{
    if (state.selectedTab == kTabEntries) {
        // The full count, not the 16-bit one: a prefix with more than 32767 phantom entries
        // must not show a wrong number.
        state.statusText = QString::number(state.lvwOhjelmat.phantomRowCount()) +
                           QStringLiteral(" phantom program entries (") +
                           QString::number(state.lvwOhjelmat.rowCount()) +
                           QStringLiteral(" entries in total)");
    } else if (state.selectedTab == kTabBackups) {
        state.statusText = QString::number(state.lvwPalauta.rowCount()) +
                           QStringLiteral(" removed program entries");
    }
}

} // namespace nixora
