#pragma once

#include "EntrySource.h"
#include "Prefix.h"
#include "Workspace.h"
#include "support/FixedClock.h"
#include "support/ScriptedUi.h"

#include <QString>

namespace nixora::interop
{

// The program's commands on a test's prefix as the window runs them, with the real
// nixora-regedit and nixora-wineclient.exe, scripted answers to the questions and a fixed clock.
class CommandsOnPrefix
{
public:
    explicit CommandsOnPrefix(const QString& prefix)
        : ctx(Services{.ui = &ui,
                       .clock = clock,
                       .regeditProgram = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"),
                       .wineClientProgram = QStringLiteral(NIXORA_WINECLIENT)})
    {
        (void)ctx.openPrefix(Prefix(prefix));
    }

    // The entry the user clicked last.
    void select(SourceKind source, const QString& key, const QString& name,
                const QString& uninstaller = {})
    {
        ctx.state.entry.SelectedEntrySource = source;
        ctx.state.entry.SelectedEntryKey = key;
        ctx.state.entry.SelectedEntryName = name;
        ctx.state.entry.SelectedEntryUninstaller = uninstaller;
    }

    test::ScriptedUi ui;
    test::FixedClock clock;
    Workspace ctx; // after ui and clock, which it points to
};

} // namespace nixora::interop
