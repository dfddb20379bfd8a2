#pragma once

#include "WindowState.h"

namespace nixora
{

// What the entry list's mouse handlers decide; the window shows menus and reads positions.
void lvwOhjelmat_ItemClick(WindowState& state, const ListRow* row);
void lvwOhjelmat_Click(WindowState& state);
void lvwOhjelmat_ColumnClick(WindowState& state, int column);
void MuokkaaPoistettavaaRekisteriavaintaJaSelvitaPiilotus(WindowState& state, const ListRow* Solu);
[[nodiscard]] int16_t RikkinaistenEntryjenLukumaara(const WindowState& state);

// The selected entry ends while its row cannot be seen (the find bar hides it): the list has no
// selected row, the selected fields are empty, every popup item is disabled. Any later click
// selects a row again.
void endEntrySelection(WindowState& state);

// A mouse press at (x, y) twips inside a list whose page has its top-left corner at
// (pageLeft, pageTop) twips in the window: the keyboard popup position becomes 50 twips right of
// and below it, rounded half to even to 16 bits.
void recordPopupPosition(WindowState& state, int pageLeft, int pageTop, double x, double y);

// The mouse-up rule: a right-button release (button 2) opens the entry popup while an entry is
// selected.
[[nodiscard]] bool entryPopupOpensOnMouseUp(const WindowState& state, int button);

} // namespace nixora
