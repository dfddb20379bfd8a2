#include "HeadlessListing.h"

#include "BuildInfo.h"
#include "EntrySource.h"
#include "Settings.h"
#include "StatusBar.h"
#include "backup/BackupList.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryListInteraction.h"
#include "inventory/EntryRows.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace nixora
{
namespace
{

// Where the time of a listing goes: start-up, reading the hives, filling, printing.
class PhaseTimer
{
public:
    PhaseTimer(bool enabled, std::chrono::steady_clock::time_point mainStarted)
        : m_enabled(enabled), m_mainStarted(mainStarted), m_last(mainStarted)
    {
    }
    void lap(const char* phase)
    {
        const auto now = std::chrono::steady_clock::now();
        print(phase, now - m_last);
        m_last = now;
    }
    void total() const { print("main", std::chrono::steady_clock::now() - m_mainStarted); }

private:
    void print(const char* phase, std::chrono::steady_clock::duration spent) const
    {
        if (m_enabled)
            std::fprintf(stderr, "timing %s %.3f\n", phase,
                         std::chrono::duration<double, std::milli>(spent).count());
    }

    bool m_enabled;
    std::chrono::steady_clock::time_point m_mainStarted;
    std::chrono::steady_clock::time_point m_last;
};

void printEntries(Workspace& ctx, ListingWriter& out)
{
    out.declareList(QStringLiteral("entries"));
    const bool bold = ctx.state.boldPhantoms;
    for (const Entry* entry : entriesInListOrder(ctx))
        out.entry(*entry, entry->marked && bold);
    updateStatusText(ctx.state);
    out.status(QStringLiteral("status"), ctx.state.statusText);
}

// With the entry list in the same JSON document, the backup page's status is "backupStatus".
void printBackups(HeadlessWindow& window, ListingWriter& out, const QString& statusName)
{
    static const QStringList names{QStringLiteral("file"), QStringLiteral("date"),
                                   QStringLiteral("name"), QStringLiteral("version")};
    window.fillBackups();
    WindowState& state = window.state();
    const ListViewModel& list = state.lvwPalauta;
    out.declareList(QStringLiteral("backups"));
    for (int i = 0; i < list.rowCount(); ++i) {
        const ListRow& row = *list.rowAt(i);
        out.row(QStringLiteral("backups"), names,
                {row.key, row.cells[0].text, row.cells[1].text, row.cells[2].text});
    }
    updateStatusText(state);
    out.status(statusName, state.statusText);
}

} // namespace

void printWarning(const QString& text)
{
    std::fprintf(stderr, "nixora: %s\n", escapedText(text).constData());
}

ListingWriter stdoutWriter(OutputFormat format)
{
    return ListingWriter(format, [](QByteArrayView bytes) {
        std::fwrite(bytes.data(), 1, static_cast<size_t>(bytes.size()), stdout);
    });
}

HeadlessWindow::HeadlessWindow(const Prefix& prefix)
    : m_ctx(Services{.ui = &m_ui,
                     .clock = m_clock,
                     .wineClientProgram = build::wineClientProgram(),
                     .settingsFile = settings::defaultStoreFile()})
{
    (void)m_ctx.openPrefix(prefix);
    m_ctx.setView(&m_view);
    m_ctx.state.lvwOhjelmat.setSorted(true);
    m_ctx.state.lvwPalauta.setSorted(true);
}

void HeadlessWindow::loadPreferences()
{
    // Loads the machine hive now (the preferences load the user hive), so that the fill is
    // timed on its own.
    (void)m_ctx.services.registry->subkeyName(RegRoot::LocalMachine,
                                              entrySource(SourceKind::Machine).uninstallPath, 0);
    m_ctx.loadListPreferences();
}

void HeadlessWindow::fillEntries()
{
    m_ctx.state.selectedTab = kTabEntries;
    ListaaLisaaPoistaOhjelmat(m_ctx);
}

void HeadlessWindow::fillBackups()
{
    ListaaPalautettavatOhjelmat(m_ctx);
    m_ctx.state.selectedTab = kTabBackups;
}

int refusePrefix(const Prefix& prefix)
{
    if (!prefix.error().isEmpty()) {
        printWarning(prefix.error());
        return 1;
    }
    const QString reason = notAPrefixReason(prefix.path());
    if (reason.isEmpty())
        return 0;
    printWarning(QStringLiteral("not a Wine prefix: %1 (%2)").arg(prefix.path(), reason));
    return 2;
}

QStringList registryColumns(const PrefixStatus& status)
{
    if (status.access == RegistryAccess::Live)
        return {QStringLiteral("live")};
    if (status.access != RegistryAccess::LastSave)
        return {};
    return {
        QStringLiteral("last save"),
        status.lastSaved.toOffsetFromUtc(status.lastSaved.offsetFromUtc()).toString(Qt::ISODate),
        status.readOnlyReason};
}

namespace
{

// A list that is Wine's last save says so: on stderr beside a TSV listing (whose lines stay
// those of the window), as fields of a JSON one.
void describeRegistry(const PrefixStatus& status, ListingWriter& out)
{
    const QStringList columns = registryColumns(status);
    out.field(QStringLiteral("registry"),
              columns.isEmpty() ? QStringLiteral("files") : columns.front());
    if (status.access != RegistryAccess::LastSave)
        return;
    out.field(QStringLiteral("savedAt"), columns[1]);
    out.field(QStringLiteral("readOnlyReason"), columns[2]);
    if (out.format() == OutputFormat::Tsv)
        printWarning(QStringLiteral("Wine programs are running in %1, and Nixora cannot join "
                                    "their wineserver, because %2. The list is the registry as "
                                    "Wine last saved it, at %3.")
                         .arg(status.path, status.readOnlyReason, savedAtText(status)));
}

} // namespace

void endListingProcess(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "nixora: cannot write the listing: %s\n", std::strerror(errno));
        status = 1;
    }
    std::fflush(stderr);
    std::_Exit(status);
}

void runHeadlessListing(const ListingRequest& request,
                        std::chrono::steady_clock::time_point mainStarted)
{
    PhaseTimer timer(request.timings, mainStarted);
    timer.lap("startup");
    const Prefix& prefix = request.prefix;
    if (const int refused = refusePrefix(prefix); refused != 0)
        endListingProcess(refused);

    HeadlessWindow window(prefix);
    if (const QString& refusal = window.status().writeRefusal; !refusal.isEmpty())
        printWarning(refusal);
    window.loadPreferences();
    timer.lap("hives");
    // A list without one of the hives would pass for the whole list.
    if (const QString problem = window.context().services.registry->readProblem();
        !problem.isEmpty()) {
        printWarning(problem);
        endListingProcess(1);
    }
    ListingWriter out = stdoutWriter(request.format);
    out.field(QStringLiteral("prefix"), prefix.path());
    describeRegistry(window.status(), out);
    if (request.entries) {
        window.fillEntries();
        timer.lap("fill");
        printEntries(window.context(), out);
    }
    if (request.backups)
        printBackups(window, out,
                     request.entries ? QStringLiteral("backupStatus") : QStringLiteral("status"));
    out.finish();
    timer.lap("print");
    timer.total();
    endListingProcess(0);
}

} // namespace nixora
