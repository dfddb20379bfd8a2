#pragma once

#include "Workspace.h"

namespace nixora
{

void mAjaPoistoohjelma_Click(Workspace& ctx); // "&Uninstall Application..."

} // namespace nixora
