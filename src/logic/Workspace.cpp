#include "Workspace.h"

#include "EntrySource.h"
#include "PrefixIdentity.h"
#include "Settings.h"
#include "StatusBar.h"
#include "WineRegistry.h"
#include "backup/BackupList.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryListInteraction.h"

namespace nixora
{

void LogicOnlyView::showSelectedPage()
{
    updateStatusText(m_workspace.state);
}

void LogicOnlyView::entrySelectionChanged()
{
    lvwOhjelmat_Click(m_workspace.state);
}

void LogicOnlyView::backupSelectionChanged()
{
    lvwPalauta_Click(m_workspace.state);
}

void LogicOnlyView::fillEntries()
{
    ListaaLisaaPoistaOhjelmat(m_workspace);
}

void LogicOnlyView::fillBackups()
{
    ListaaPalautettavatOhjelmat(m_workspace);
}

void LogicOnlyView::refresh()
{
    fillEntries();
    fillBackups();
}

Workspace::Workspace(Services services)
    : services(std::move(services)),
      m_settings(WineRegistry::settingsStore(this->services.settingsFile))
{
    this->services.settings = m_settings.get();
}

Workspace::~Workspace() = default;

PrefixStatus Workspace::openPrefix(const Prefix& prefix)
{
    auto registry = std::make_unique<WineRegistry>(prefix);
    // What the lists and the settings read; everything else of the hives is parsed only when
    // something else is read or anything is written.
    QStringList machineKeys;
    for (SourceKind kind : {SourceKind::Machine, SourceKind::Machine32})
        machineKeys << entrySource(kind).uninstallPath << entrySource(kind).activeSetupPath;
    registry->setReadSubtrees(RegRoot::LocalMachine, machineKeys);
    registry->setReadSubtrees(RegRoot::CurrentUser,
                              {entrySource(SourceKind::User).uninstallPath,
                               entrySource(SourceKind::User).activeSetupPath});
    PrefixStatus status{prefix.path(), prefix.exists(), prefix.error(), {}, {}, false};
    if (status.error.isEmpty())
        status.notAPrefix = notAPrefixReason(prefix.path());
    if (status.exists && status.notAPrefix.isEmpty())
        status.readOnly = readOnlyReason(prefix.path());
    status.wineserverRunning = status.exists && registry->wineserverRunning();

    // The lists and selections belong to the prefix that is closed.
    state.lvwOhjelmat.clear();
    state.lvwPalauta.clear();
    state.entry = {};
    state.backup = {};
    state.usedComponents.clear();
    state.usedComponents32.clear();

    m_files = std::make_unique<PrefixFileQuery>(prefix.path());
    m_registry = std::move(registry);
    services.registry = m_registry.get();
    services.files = m_files.get();
    services.prefixPath = prefix.path();
    services.backupFolder = prefix.backupFolder();
    return status;
}

void Workspace::loadListPreferences()
{
    state.friendlyNames = settings::readPreference(*services.settings, settings::kSelkokieli);
    state.boldPhantoms = settings::readPreference(*services.settings, settings::kRikkinaisetBold);
}

void Workspace::setView(WorkspaceView* view)
{
    m_view = view != nullptr ? view : &m_logicView;
}

} // namespace nixora
