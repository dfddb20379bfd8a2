#pragma once

#include "Workspace.h"

namespace nixora
{

// The view of a workspace that has no window (the headless listings, the logic's tests): it
// keeps the state as the window's handlers would.
class LogicOnlyView : public WorkspaceView
{
public:
    explicit LogicOnlyView(Workspace& workspace) : m_workspace(workspace) {}
    void showSelectedPage() override;
    void entrySelectionChanged() override;
    void backupSelectionChanged() override;
    void fillEntries() override;
    void fillBackups() override;
    void refresh() override;

protected:
    Workspace& m_workspace;
};

} // namespace nixora
