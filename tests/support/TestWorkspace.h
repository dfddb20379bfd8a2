#pragma once

#include "Workspace.h"
#include "support/FixedClock.h"
#include "support/ScriptedUi.h"
#include "support/TempPrefix.h"

#include <QTemporaryDir>

#include <functional>

namespace nixora::test
{

// The logic-only view with steps a test may replace, to count them or to leave them out; a
// step that is not replaced does what it does without a window.
class ScriptedView final : public LogicOnlyView
{
public:
    using LogicOnlyView::LogicOnlyView;

    std::function<void()> onShowSelectedPage;
    std::function<void()> onEntrySelectionChanged;
    std::function<void()> onBackupSelectionChanged;
    std::function<void()> onFillEntries;
    std::function<void()> onFillBackups;
    std::function<void()> onRefresh;

    void showSelectedPage() override;
    void entrySelectionChanged() override;
    void backupSelectionChanged() override;
    void fillEntries() override;
    void fillBackups() override;
    void refresh() override;
};

// A temporary prefix opened as a workspace (its real Wine registry and file query), with a
// settings store of its own, scripted message boxes, a fixed clock, the real nixora-regedit and a
// scripted view.
class TestWorkspace
{
public:
    TestWorkspace();
    TestWorkspace(const TestWorkspace&) = delete;
    TestWorkspace& operator=(const TestWorkspace&) = delete;

    // Opens the prefix again, as a prefix switch does (after the hives were replaced, say).
    void reopen();

    [[nodiscard]] Registry& registry() const { return *ctx.services.registry; }
    [[nodiscard]] Registry& settings() const { return *ctx.services.settings; }

    TempPrefix prefix;
    QTemporaryDir configHome; // the settings store's folder, outside the prefix
    ScriptedUi ui;
    FixedClock clock;
    Workspace ctx;
    WindowState& state = ctx.state;
    ScriptedView view{ctx};
};

} // namespace nixora::test
