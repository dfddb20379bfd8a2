#pragma once

#include "mainwindow/WindowContext.h"

namespace nixora {

// Version of the Active Setup component whose friendly name equals the entry's name, or
// "Not Found" (also when friendly names are off).
[[nodiscard]] QString SelvitaKomponentinVersionumero(WindowContext& ctx,
                                                     const QString& OhjelmanAvain,
                                                     const QString& OhjelmanNimi);

// One pass (Tyyppi 1 to 4) that gives matching rows a component's friendly name and version.
void MuunnaKomponenttienNimetSelkokielisiksi(WindowContext& ctx, int16_t Tyyppi);

} // namespace nixora
