#pragma once

#include "WindowContext.h"

namespace nixora
{

// Fills the entry list from the Uninstall key. Runs ctx.callbacks.tsValitsin_Click every fifth
// subkey (after clearing the highlight and repainting) and at the end, and
// ctx.callbacks.lvwOhjelmat_Click once the first row is selected.
void ListaaLisaaPoistaOhjelmat(WindowContext& ctx);

} // namespace nixora
