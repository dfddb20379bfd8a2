#pragma once

#include "WindowState.h"
#include "Clock.h"
#include "FileQuery.h"
#include "Registry.h"
#include "UiServices.h"

#include <QString>

#include <functional>

namespace nixora
{

// The platform services the window's commands use. The window gets real ones; tests build a
// temporary prefix with scripted message boxes and a fixed clock.
struct Services {
    Registry* registry = nullptr;
    FileQuery* files = nullptr;
    UiServices* ui = nullptr;
    const Clock* clock = nullptr;
    QString prefixPath;     // the Wine prefix (for running uninstallers)
    QString backupFolder;   // <prefix>/nixora-backups, without a trailing slash
    QString programFolder;  // folder of the nixora executable (readme.txt)
    QString regeditProgram; // path of nixora-regedit
};

// The window's own handlers that the logic calls back into. The window fills them with its
// members; the headless listing fills them with the logic alone (no pages to show).
struct WindowCallbacks {
    std::function<void()> tsValitsin_Click;
    std::function<void()> lvwOhjelmat_Click;
    std::function<void()> lvwPalauta_Click;
    std::function<void()> ListaaLisaaPoistaOhjelmat;
    std::function<void()> ListaaPalautettavatOhjelmat;
    std::function<void()> mPaivita_Click;
};

struct WindowContext {
    WindowState& state;
    Services services;
    WindowCallbacks callbacks;
};

} // namespace nixora
