#pragma once

#include "Workspace.h"

namespace nixora
{

// Fills the entry list from the Uninstall keys of every source (see EntrySource.h). Runs the view's
// showSelectedPage every fifth subkey (after clearing the highlight and repainting) and at the end,
// and its entrySelectionChanged once the first row is selected.
void ListaaLisaaPoistaOhjelmat(Workspace& ctx);

} // namespace nixora
