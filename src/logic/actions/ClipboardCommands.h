#pragma once

#include "WindowContext.h"

namespace nixora
{

// Index 0 the application name, 1 the uninstaller location, 2 the version.
void mKopioiLeikepoydalle_Click(WindowContext& ctx, int16_t Index);

} // namespace nixora
