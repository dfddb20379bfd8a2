#include "HeadlessListing.h"

#include "BuildInfo.h"
#include "EntrySource.h"
#include "Settings.h"
#include "StatusBar.h"
#include "backup/BackupList.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryListInteraction.h"
#include "inventory/EntryTags.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace nixora
{
namespace
{

// The tooltip's first line; the source's line follows it.
QString verdictOf(const ListRow& row)
{
    const QStringView tip = QStringView(row.cells[0].toolTip);
    if (tip.startsWith(tags::kTipMissing))
        return QStringLiteral("phantom");
    if (tip.startsWith(tags::kTipFound))
        return QStringLiteral("found");
    return QStringLiteral("plain");
}

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

void printEntries(WindowState& state, ListingOutput& out)
{
    static const QStringList names{QStringLiteral("subkey"),      QStringLiteral("name"),
                                   QStringLiteral("uninstaller"), QStringLiteral("version"),
                                   QStringLiteral("nameTag"),     QStringLiteral("uninstallerTag"),
                                   QStringLiteral("versionTag"),  QStringLiteral("verdict"),
                                   QStringLiteral("bold"),        QStringLiteral("source")};
    const ListViewModel& list = state.lvwOhjelmat;
    out.declareList(QStringLiteral("entries"));
    for (int i = 0; i < list.rowCount(); ++i) {
        const ListRow& row = *list.rowAt(i);
        const RowEntry entry = splitEntryRowKey(row.key);
        out.row(QStringLiteral("entries"), names,
                {entry.subkey, row.cells[0].text, row.cells[1].text, row.cells[2].text,
                 row.cells[0].tag, row.cells[1].tag, row.cells[2].tag, verdictOf(row),
                 row.cells[0].bold ? QStringLiteral("1") : QStringLiteral("0"),
                 entry.source->label},
                {{QStringLiteral("bold"), row.cells[0].bold}});
    }
    updateStatusText(state);
    out.status(QStringLiteral("status"), state.statusText);
}

// With the entry list in the same JSON document, the backup page's status is "backupStatus".
void printBackups(HeadlessWindow& window, ListingOutput& out, const QString& statusName)
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

namespace
{

// UTF-8 as QString::toUtf8 writes it: a surrogate without its partner becomes '?'.
char* appendUtf8(char* out, QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            *out++ = char(c);
        } else if (c < 0x800) {
            *out++ = char(0xc0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3f));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n &&
                   QChar::isLowSurrogate(text[i + 1].unicode())) {
            const char32_t u = QChar::surrogateToUcs4(c, text[++i].unicode());
            *out++ = char(0xf0 | (u >> 18));
            *out++ = char(0x80 | ((u >> 12) & 0x3f));
            *out++ = char(0x80 | ((u >> 6) & 0x3f));
            *out++ = char(0x80 | (u & 0x3f));
        } else if (QChar::isSurrogate(c)) {
            *out++ = '?';
        } else {
            *out++ = char(0xe0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3f));
            *out++ = char(0x80 | (c & 0x3f));
        }
    }
    return out;
}

} // namespace

// Control characters would break the one-row-per-line, tab-separated layout: they are
// written as \xHH. The line is encoded straight into one buffer.
void printListingLine(const QStringList& fields)
{
    qsizetype bytes = 1;
    for (const QString& field : fields)
        bytes += 4 * field.size() + 1; // a unit takes at most four bytes (an escape: "\x1F")
    QByteArray line(bytes, Qt::Uninitialized);
    char* out = line.data();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            *out++ = '\t';
        const QStringView field(fields[i]);
        qsizetype start = 0;
        for (qsizetype j = 0; j < field.size(); ++j) {
            const char16_t c = field[j].unicode();
            if (c >= 0x20)
                continue;
            out = appendUtf8(out, field.mid(start, j - start));
            static constexpr char kHex[] = "0123456789ABCDEF";
            *out++ = '\\';
            *out++ = 'x';
            *out++ = kHex[c >> 4];
            *out++ = kHex[c & 15];
            start = j + 1;
        }
        out = appendUtf8(out, field.mid(start));
    }
    *out++ = '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(out - line.constData()), stdout);
}

HeadlessWindow::HeadlessWindow(const Prefix& prefix)
    : m_ctx(Services{.ui = &m_ui,
                     .clock = m_clock,
                     .wineClientProgram = build::wineClientProgram(),
                     .settingsFile = settings::defaultStoreFile()})
{
    (void)m_ctx.openPrefix(prefix);
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
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(prefix.error()));
        return 1;
    }
    const QString reason = notAPrefixReason(prefix.path());
    if (reason.isEmpty())
        return 0;
    std::fprintf(stderr, "nixora: not a Wine prefix: %s (%s)\n", qUtf8Printable(prefix.path()),
                 qUtf8Printable(reason));
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
void describeRegistry(const PrefixStatus& status, ListingOutput& out)
{
    const QStringList columns = registryColumns(status);
    out.field(QStringLiteral("registry"),
              columns.isEmpty() ? QStringLiteral("files") : columns.front());
    if (status.access != RegistryAccess::LastSave)
        return;
    out.field(QStringLiteral("savedAt"), columns[1]);
    out.field(QStringLiteral("readOnlyReason"), columns[2]);
    if (out.format() == OutputFormat::Tsv)
        std::fprintf(stderr,
                     "nixora: Wine programs are running in %s, and Nixora cannot join their "
                     "wineserver, because %s. The list is the registry as Wine last saved it, at "
                     "%s.\n",
                     qUtf8Printable(status.path), qUtf8Printable(status.readOnlyReason),
                     qUtf8Printable(savedAtText(status)));
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
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(refusal));
    window.loadPreferences();
    timer.lap("hives");
    // A list without one of the hives would pass for the whole list.
    if (const QString problem = window.context().services.registry->readProblem();
        !problem.isEmpty()) {
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(problem));
        endListingProcess(1);
    }
    ListingOutput out(request.format);
    out.field(QStringLiteral("prefix"), prefix.path());
    describeRegistry(window.status(), out);
    if (request.entries) {
        window.fillEntries();
        timer.lap("fill");
        printEntries(window.state(), out);
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
