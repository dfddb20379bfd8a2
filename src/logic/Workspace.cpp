#include "Workspace.h"

#include "EntrySource.h"
#include "PrefixIdentity.h"
#include "Settings.h"
#include "StatusBar.h"
#include "backup/BackupList.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryListInteraction.h"

namespace nixora
{
namespace
{

// The Windows Installer's own lists of products, which tell what an MSI entry belongs to.
QStringList installerKeys(RegRoot root)
{
    if (root == RegRoot::CurrentUser)
        return {QStringLiteral("Software\\Microsoft\\Installer\\Products")};
    return {QStringLiteral("Software\\Classes\\Installer\\Products"),
            QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData")};
}

} // namespace

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
    auto registry = std::make_unique<LiveRegistry>(prefix, services.wineClientProgram);
    // What the lists and the settings read; everything else of the hives is parsed only when
    // something else is read or anything is written.
    QStringList machineKeys;
    for (SourceKind kind : {SourceKind::Machine, SourceKind::Machine32})
        machineKeys << entrySource(kind).uninstallPath << entrySource(kind).activeSetupPath;
    registry->setReadSubtrees(RegRoot::LocalMachine, machineKeys);
    registry->setReadSubtrees(RegRoot::CurrentUser,
                              {entrySource(SourceKind::User).uninstallPath,
                               entrySource(SourceKind::User).activeSetupPath});
    // Through a server, the Windows Installer keys are read with the rest in one run.
    registry->expectReads(RegRoot::LocalMachine, installerKeys(RegRoot::LocalMachine));
    registry->expectReads(RegRoot::CurrentUser, installerKeys(RegRoot::CurrentUser));

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
    m_status = PrefixStatus{};
    m_status.path = prefix.path();
    m_status.exists = prefix.exists();
    m_status.error = prefix.error();
    if (m_status.error.isEmpty())
        m_status.notAPrefix = notAPrefixReason(prefix.path());
    if (m_status.exists && m_status.notAPrefix.isEmpty())
        m_status.writeRefusal = readOnlyReason(prefix.path());
    return currentStatus();
}

PrefixStatus Workspace::currentStatus()
{
    if (!m_registry || !m_status.exists)
        return m_status;
    m_status.access = m_registry->access();
    m_status.wineserverRunning = m_status.access != RegistryAccess::Files;
    m_status.readOnlyReason =
        m_status.access == RegistryAccess::LastSave ? m_registry->unreachableReason() : QString();
    m_status.lastSaved = m_registry->lastSaved();
    return m_status;
}

QString savedAtText(const PrefixStatus& status)
{
    return status.lastSaved.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool refusedWhileReadOnly(Workspace& ctx, const QString& lead)
{
    const RegResult writable = ctx.services.registry->checkWritable();
    if (writable.status != RegStatus::PrefixBusy && writable.status != RegStatus::ReadOnly)
        return false;
    UiServices& ui = *ctx.services.ui;
    ui.setMousePointer(kPointerDefault);
    ui.messageBox({lead + QStringLiteral("\n\n") + writable.message, QStringLiteral("Error"),
                   MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
    return true;
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
