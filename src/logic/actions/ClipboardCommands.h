#pragma once

#include "Workspace.h"

namespace nixora
{

// Index 0 the application name, 1 the uninstaller location, 2 the version.
void mKopioiLeikepoydalle_Click(Workspace& ctx, int16_t Index);

} // namespace nixora
