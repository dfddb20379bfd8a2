#pragma once

#include "FileQuery.h"
#include "ListViewModel.h"

namespace nixora
{

// What the file check of an uninstall command found.
struct UninstallStringCheck {
    enum class Outcome {
        Plain,   // the command is empty
        Found,   // every file it was judged by exists (or it names none that could be looked for)
        Missing, // a file it names does not exist
    };
    Outcome outcome = Outcome::Plain;
    QString missingPath; // for Missing: the path that was looked for last and not found
};

// Decides whether an entry is a phantom: its uninstall command names a file that is gone.
[[nodiscard]] UninstallStringCheck checkUninstallString(const QString& text, FileQuery& files);

// The tooltip a check's outcome gives a row (before its source's line).
[[nodiscard]] const QString& toolTipFor(UninstallStringCheck::Outcome outcome);

// Runs the check and records it on the row: tooltips, and for a phantom the colour 192 and
// bold.
void TarkistaPoistoohjelmanTiedostot(ListViewModel& list, ListRow* row, const QString& text,
                                     FileQuery& files, bool boldPhantoms);

} // namespace nixora
