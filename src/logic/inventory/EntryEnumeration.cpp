#include "inventory/EntryEnumeration.h"

#include "InstallerProducts.h"

#include "inventory/ComponentNames.h"
#include "inventory/EntryRows.h"
#include "inventory/EntryTags.h"
#include "inventory/UninstallStringCheck.h"
#include "mdlPoisto.h"

namespace nixora
{
namespace
{

using mdlPoisto::kNotFound;

const QString kInstallShieldInfo = QStringLiteral("InstallShield Uninstall Information");
const QString kReasonMissing = QStringLiteral("the file(s) in the uninstall string were not found");
const QString kReasonNotRegistered =
    QStringLiteral("the Windows Installer product is not registered; its uninstaller would fail");
const QString kReasonPackageMissing =
    QStringLiteral("the product's installer package is missing; its uninstaller would fail");

struct UninstallerChoice {
    QString text;
    QString tag;
    bool plainToolTips = false;
    bool checkFiles = false;
    bool componentVersion = false;
};

class EntryFill
{
public:
    explicit EntryFill(Workspace& ctx)
        : m_ctx(ctx), m_registry(*ctx.services.registry), m_list(ctx.state.lvwOhjelmat),
          m_sources(entrySources(m_registry)),
          m_components(m_registry, entrySource(SourceKind::Machine).activeSetupPath),
          m_components32(m_registry, entrySource(SourceKind::Machine32).activeSetupPath)
    {
    }

    void run();

private:
    // `entryPath` is the entry's key below the root (EntrySource::entryPath).
    [[nodiscard]] QString read(const QString& entryPath, const QString& valueName)
    {
        return mdlPoisto::LueRekisteriarvo(m_registry, m_source->root, entryPath, valueName);
    }
    [[nodiscard]] ActiveSetupComponents& componentsOf(const EntrySource& source)
    {
        return source.kind == SourceKind::Machine32 ? m_components32 : m_components;
    }

    void addSource(const EntrySource& source);
    void addEntry(const QString& subkey);
    void judge(Entry& entry, const UninstallerChoice& uninstaller);
    void judgeInstallerProduct(Entry& entry, QString& tip);
    [[nodiscard]] UninstallerChoice chooseUninstaller(const QString& entryPath,
                                                      const QString& uninstallString);
    [[nodiscard]] const QString& withSourceLine(const QString& tip);
    void showProgress();
    void selectFirstRow();
    Workspace& m_ctx;
    Registry& m_registry;
    ListViewModel& m_list;
    const std::vector<const EntrySource*> m_sources;
    const EntrySource* m_source = nullptr; // the source being read
    int m_visited = 0;                     // subkeys read in all sources so far
    // Tooltips with the source's line under them: a few distinct tips, each built once per source.
    std::vector<std::pair<QString, QString>> m_sourceTips;
    ActiveSetupComponents m_components;
    ActiveSetupComponents m_components32;
    std::optional<InstallerRegistrations> m_installer; // read when the first product is judged
};

UninstallerChoice EntryFill::chooseUninstaller(const QString& entryPath,
                                               const QString& uninstallString)
{
    if (uninstallString.isEmpty())
        return {QString(), tags::kNormaali, true, false, false};
    if (uninstallString != kNotFound)
        return {uninstallString, tags::kNormaali, false, true, true};
    const QString quiet = read(entryPath, QStringLiteral("QuietUninstallString"));
    if (quiet == kNotFound)
        return {QString(), tags::kLukittuNormaaliJaQuiet, true, false, false};
    return {quiet, tags::kNormaaliQuiet, false, true, false};
}

void EntryFill::addEntry(const QString& subkey)
{
    if (subkey == kInstallShieldInfo)
        return;
    const QString path = m_source->entryPath(subkey);
    QString name = read(path, QStringLiteral("DisplayName"));
    // An InstallShield installation registers itself twice; only its InstallShield_ twin is
    // listed. Two missing names count as equal here.
    if (subkey.startsWith(u'{') &&
        name == read(m_source->entryPath(QStringLiteral("InstallShield_") + subkey),
                     QStringLiteral("DisplayName")))
        return;
    const QString uninstallString = read(path, QStringLiteral("UninstallString"));
    QString version = read(path, QStringLiteral("DisplayVersion"));
    QString versionTag = tags::kNormaali;
    if (version == kNotFound) {
        version.clear();
        versionTag = tags::kLukittu;
    }
    QString nameTag = tags::kNormaali;
    if (name == kNotFound) {
        name = read(path, QStringLiteral("QuietDisplayName"));
        nameTag = tags::kNormaaliQuiet;
        if (name == kNotFound) {
            name = subkey;
            nameTag = tags::kLukittuQuiet;
        }
    }
    const UninstallerChoice uninstaller = chooseUninstaller(path, uninstallString);

    Entry* entry = m_ctx.entries.add(
        {m_source,
         subkey,
         {{{name, nameTag}, {uninstaller.text, uninstaller.tag}, {version, versionTag}}}});
    // The component lookup asks for the entry's row, as the list is filled row by row.
    ListRow* row = entry ? addEntryRow(m_list, *entry) : nullptr;
    if (!row)
        return;
    if (uninstaller.componentVersion) {
        const QString componentVersion =
            SelvitaKomponentinVersionumero(m_ctx, componentsOf(*m_source), subkey, name, *m_source);
        if (componentVersion != kNotFound && !componentVersion.isEmpty() &&
            componentVersion != version) {
            entry->columns[2] = {componentVersion, tags::kLukittuKomponenttiversio};
            entry->componentVersion = componentVersion;
        }
    }
    judge(*entry, uninstaller);
    showEntry(m_list, row, *entry, m_ctx.state.boldPhantoms);
}

void EntryFill::judge(Entry& entry, const UninstallerChoice& uninstaller)
{
    QString tip;
    if (uninstaller.plainToolTips) {
        tip = tags::kTipPlain;
    } else if (uninstaller.checkFiles && m_ctx.services.files) {
        const UninstallStringCheck check =
            checkUninstallString(uninstaller.text, *m_ctx.services.files);
        tip = toolTipFor(check.outcome);
        if (check.outcome == UninstallStringCheck::Outcome::Found) {
            entry.verdict = Verdict::Found;
        } else if (check.outcome == UninstallStringCheck::Outcome::Missing) {
            // Marked as every missing file is, but a file on a drive that is not plugged in
            // may well be there: nothing that removes phantoms may take it for one.
            const QString& missing = check.missingPath;
            const bool driveGone = missing.size() >= 2 && missing[1] == u':' &&
                                   m_ctx.services.files->driveMissing(missing[0]);
            entry.verdict = driveGone ? Verdict::Unknown : Verdict::Phantom;
            entry.reason =
                driveGone ? QStringLiteral("drive %1: is not available").arg(missing[0].toUpper())
                          : kReasonMissing;
            entry.marked = true;
        }
    }
    if (m_ctx.state.installerChecks && m_ctx.services.files && !entry.marked)
        judgeInstallerProduct(entry, tip);
    // The source goes on a line of its own under the tooltip, so that twins of the two views
    // can be told apart.
    entry.toolTip = withSourceLine(tip);
}

// An entry of a Windows Installer product can only be uninstalled while Windows Installer
// knows the product and finds its package: otherwise msiexec fails (1605, 1612) whatever files
// the uninstall string names.
void EntryFill::judgeInstallerProduct(Entry& entry, QString& tip)
{
    // The flag is read only for keys named like a product code, the only ones it can matter for.
    const bool flag =
        isProductCode(entry.subkey) &&
        hasWindowsInstallerFlag(m_registry, m_source->root, m_source->entryPath(entry.subkey));
    const std::optional<QString> product =
        installerProductOf(flag, entry.subkey, entry.uninstaller());
    if (!product)
        return;
    entry.installerProduct = *product;
    if (!m_installer)
        m_installer.emplace(m_registry, *m_ctx.services.files);
    switch (m_installer->stateOf(*product)) {
    case ProductState::Usable:
        return;
    case ProductState::NotRegistered:
        tip = tags::kTipNotRegistered;
        entry.reason = kReasonNotRegistered;
        break;
    case ProductState::PackageMissing:
        tip = tags::kTipPackageMissing;
        entry.reason = kReasonPackageMissing;
        break;
    }
    entry.verdict = Verdict::Phantom;
    entry.marked = true;
}

const QString& EntryFill::withSourceLine(const QString& tip)
{
    if (tip.isEmpty())
        return m_source->description;
    for (const auto& [known, combined] : m_sourceTips) {
        if (known == tip)
            return combined;
    }
    return m_sourceTips.emplace_back(tip, tip + u'\n' + m_source->description).second;
}

void EntryFill::showProgress()
{
    if (ListRow* selected = m_list.selectedRow())
        m_list.setHighlighted(selected, false);
    m_list.repaint();
    m_ctx.view().showSelectedPage();
}

void EntryFill::selectFirstRow()
{
    if (m_list.rowCount() < 1)
        return;
    m_list.setHighlighted(m_list.rowAt(0), true);
    m_ctx.view().entrySelectionChanged();
    if (ListRow* selected = m_list.selectedRow())
        m_list.setHighlighted(selected, false);
}

// Progress shows every fifth subkey read, counted over all sources.
void EntryFill::addSource(const EntrySource& source)
{
    m_source = &source;
    m_sourceTips.clear();
    // The walk ends where the keys end: neither a key named "Not Found" nor one whose name
    // cannot be read ends it (every entry after it would vanish from the list).
    for (int32_t i = 0;; ++i) {
        const mdlPoisto::SubkeyEntry subkey =
            mdlPoisto::readSubkeyEntry(m_registry, source.root, source.uninstallPath, i);
        if (subkey.status == mdlPoisto::SubkeyStatus::PastEnd)
            break;
        if (subkey.status == mdlPoisto::SubkeyStatus::Name)
            addEntry(subkey.name);
        if (m_visited++ % 5 == 0)
            showProgress();
    }
}

void EntryFill::run()
{
    auto& state = m_ctx.state;
    m_list.setEnabled(false);
    state.lvwPalauta.setEnabled(false);
    m_list.clear();
    m_ctx.entries.clear();
    state.entry.SelectedEntryName.clear();
    state.usedComponents.clear();
    state.usedComponents32.clear();

    for (const EntrySource* source : m_sources)
        addSource(*source);

    if (state.friendlyNames) {
        for (const EntrySource* source : m_sources) {
            for (int16_t Tyyppi = 1; Tyyppi <= 4; ++Tyyppi)
                MuunnaKomponenttienNimetSelkokielisiksi(m_ctx, componentsOf(*source), Tyyppi,
                                                        *source);
        }
        m_list.setSorted(true);
    }
    selectFirstRow();
    m_ctx.view().showSelectedPage();
    m_list.setEnabled(true);
    state.lvwPalauta.setEnabled(true);
}

} // namespace

void ListaaLisaaPoistaOhjelmat(Workspace& ctx)
{
    if (!ctx.services.registry)
        return;
    // The folders the phantom check looks at do not change during one fill: listings read for
    // one entry serve the rest.
    if (ctx.services.files)
        ctx.services.files->beginBatch();
    EntryFill(ctx).run();
    if (ctx.services.files)
        ctx.services.files->endBatch();
}

} // namespace nixora
