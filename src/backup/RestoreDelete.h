#pragma once

#include "mainwindow/WindowContext.h"

namespace nixora {

void mPalauta_Click(WindowContext& ctx);               // "&Restore Entry..."
void mPoistaVarmuuskopioitu_Click(WindowContext& ctx); // "&Delete Backup..."

} // namespace nixora
