#pragma once

#include "WindowContext.h"

namespace nixora
{

void mAjaPoistoohjelma_Click(WindowContext& ctx); // "&Uninstall Application..."

} // namespace nixora
