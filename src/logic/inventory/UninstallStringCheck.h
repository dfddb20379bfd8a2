#pragma once

#include "FileQuery.h"
#include "ListViewModel.h"

namespace nixora
{

// Decides whether an entry is a phantom (its uninstall command names a file that is gone) and
// records the verdict on the row: tooltips, and for a phantom the colour 192 and bold.
void TarkistaPoistoohjelmanTiedostot(ListViewModel& list, ListRow* row, const QString& text,
                                     FileQuery& files, bool boldPhantoms);

} // namespace nixora
