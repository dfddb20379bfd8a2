#include "Workspace.h"

#include "EntrySource.h"
#include "InstallerProducts.h"
#include "Settings.h"
#include "WineRegistry.h"

namespace nixora
{

// Until a view is set nothing is shown and no list is refilled: whoever builds a workspace
// without a window sets a LogicOnlyView when it wants the lists kept.
class Workspace::NoView final : public WorkspaceView
{
public:
    void showSelectedPage() override {}
    void entrySelectionChanged() override {}
    void backupSelectionChanged() override {}
    void fillEntries() override {}
    void fillBackups() override {}
    void refresh() override {}
};

Workspace::Workspace(Services services)
    : services(std::move(services)), m_noView(std::make_unique<NoView>()), m_view(m_noView.get())
{
}

Workspace::~Workspace() = default;

PrefixStatus Workspace::openPrefix(const Prefix& prefix)
{
    auto registry = std::make_unique<WineRegistry>(prefix);
    // What the lists and the settings read; everything else of the hives is parsed only when
    // something else is read or anything is written.
    QStringList machineKeys = installerMachineKeys();
    for (SourceKind kind : {SourceKind::Machine, SourceKind::Machine32})
        machineKeys << entrySource(kind).uninstallPath << entrySource(kind).activeSetupPath;
    registry->setReadSubtrees(RegRoot::LocalMachine, machineKeys);
    registry->setReadSubtrees(RegRoot::CurrentUser,
                              installerUserKeys() +
                                  QStringList{entrySource(SourceKind::User).uninstallPath,
                                              entrySource(SourceKind::User).activeSetupPath,
                                              settings::kReadPath});
    PrefixStatus status{prefix.path(), prefix.exists(), prefix.error(), false};
    status.wineserverRunning = status.exists && registry->wineserverRunning();

    // The lists and selections belong to the prefix that is closed.
    state.lvwOhjelmat.clear();
    state.lvwPalauta.clear();
    entries.clear();
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
    state.friendlyNames = settings::readPreference(*services.registry, settings::kSelkokieli);
    state.boldPhantoms = settings::readPreference(*services.registry, settings::kRikkinaisetBold);
    state.installerChecks =
        settings::readPreference(*services.registry, settings::kInstallerChecks);
}

void Workspace::setView(WorkspaceView* view)
{
    m_view = view != nullptr ? view : m_noView.get();
}

} // namespace nixora
