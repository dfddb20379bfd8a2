#pragma once

#include "mainwindow/WindowContext.h"

namespace nixora {

// Backs the selected entry up with the registry editor and, when Poisto is set, deletes its key.
void VarmuuskopioiRekisteriavain(WindowContext& ctx, const bool& Poisto,
                                 const bool& PaivitaOhjelmalista);

void mPoistaRekisterista_Click(WindowContext& ctx); // "&Remove Entry..."
void mVarmuuskopioi_Click(WindowContext& ctx);      // "&Backup Entry"

} // namespace nixora
