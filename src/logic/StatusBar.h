#pragma once

#include "WindowState.h"

namespace nixora
{

// The text part of the tab strip's click handling: rewrites state.statusText for the selected
// tab ("lisaa_poista" or "palauta"); any other key changes nothing.
void updateStatusText(WindowState& state);

} // namespace nixora
