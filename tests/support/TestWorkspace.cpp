#include "support/TestWorkspace.h"

namespace nixora::test
{

namespace
{

void runOr(const std::function<void()>& replacement, const std::function<void()>& usual)
{
    if (replacement)
        replacement();
    else
        usual();
}

} // namespace

void ScriptedView::showSelectedPage()
{
    runOr(onShowSelectedPage, [this] { LogicOnlyView::showSelectedPage(); });
}

void ScriptedView::entrySelectionChanged()
{
    runOr(onEntrySelectionChanged, [this] { LogicOnlyView::entrySelectionChanged(); });
}

void ScriptedView::backupSelectionChanged()
{
    runOr(onBackupSelectionChanged, [this] { LogicOnlyView::backupSelectionChanged(); });
}

void ScriptedView::fillEntries()
{
    runOr(onFillEntries, [this] { LogicOnlyView::fillEntries(); });
}

void ScriptedView::fillBackups()
{
    runOr(onFillBackups, [this] { LogicOnlyView::fillBackups(); });
}

void ScriptedView::refresh()
{
    runOr(onRefresh, [this] { LogicOnlyView::refresh(); });
}

TestWorkspace::TestWorkspace()
    : ctx(Services{.ui = &ui,
                   .clock = clock,
                   .programFolder = QStringLiteral("/opt/nixora/bin"),
                   .regeditProgram = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"),
                   .wineClientProgram = QStringLiteral(NIXORA_WINECLIENT),
                   .settingsFile = configHome.filePath(QStringLiteral("nixora/settings.reg"))})
{
    reopen();
    ctx.state.lvwOhjelmat.setSorted(true);
    ctx.state.lvwPalauta.setSorted(true);
    ctx.setView(&view);
}

void TestWorkspace::reopen()
{
    (void)ctx.openPrefix(prefix.prefix());
}

} // namespace nixora::test
