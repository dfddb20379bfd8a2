#include "HeadlessListing.h"

#include "EntryEnumeration.h"
#include "EntryListInteraction.h"
#include "EntryTags.h"
#include "backup/BackupList.h"
#include "mainwindow/StatusBar.h"
#include "platform/FileQuery.h"
#include "platform/Settings.h"
#include "platform/WineRegistry.h"

#include <cstdio>

namespace nixora
{
namespace
{

// Control characters would break the one-row-per-line, tab-separated layout.
QString escapeField(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20)
            out += QStringLiteral("\\x") +
                   QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
        else
            out += c;
    }
    return out;
}

void printLine(const QStringList& fields)
{
    QStringList escaped;
    escaped.reserve(fields.size());
    for (const QString& field : fields)
        escaped << escapeField(field);
    const QByteArray line = escaped.join(u'\t').toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
}

// Nothing to show and no one to ask: the listing only reads.
class SilentUi final : public UiServices
{
public:
    MsgAnswer messageBox(const MessageBoxRequest& request) override
    {
        return request.defaultButton;
    }
    void setMousePointer(int pointer) override { m_pointer = pointer; }
    [[nodiscard]] int mousePointer() const override { return m_pointer; }
    void processEvents() override {}
    void setClipboardText(const QString&) override {}
    void shellOpen(const QString&) override {}

private:
    int m_pointer = kPointerDefault;
};

QString verdictOf(const ListRow& row)
{
    if (row.cells[0].toolTip == tags::kTipMissing)
        return QStringLiteral("phantom");
    if (row.cells[0].toolTip == tags::kTipFound)
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

void fillEntries(WindowContext& ctx)
{
    ctx.state.selectedTab = kTabEntries;
    ListaaLisaaPoistaOhjelmat(ctx);
}

void printEntries(WindowContext& ctx)
{
    auto& state = ctx.state;
    const ListViewModel& list = state.lvwOhjelmat;
    for (int i = 0; i < list.rowCount(); ++i) {
        const ListRow& row = *list.rowAt(i);
        printLine({row.key.mid(tags::kRowKeyPrefix.size()), row.cells[0].text, row.cells[1].text,
                   row.cells[2].text, row.cells[0].tag, row.cells[1].tag, row.cells[2].tag,
                   verdictOf(row), row.cells[0].bold ? QStringLiteral("1") : QStringLiteral("0")});
    }
    updateStatusText(state);
    printLine({state.statusText});
}

void printBackups(WindowContext& ctx)
{
    auto& state = ctx.state;
    ListaaPalautettavatOhjelmat(ctx);
    state.selectedTab = kTabBackups;
    const ListViewModel& list = state.lvwPalauta;
    for (int i = 0; i < list.rowCount(); ++i) {
        const ListRow& row = *list.rowAt(i);
        printLine({row.key, row.cells[0].text, row.cells[1].text, row.cells[2].text});
    }
    updateStatusText(state);
    printLine({state.statusText});
}

} // namespace

int runHeadlessListing(const ListingRequest& request,
                       std::chrono::steady_clock::time_point mainStarted)
{
    PhaseTimer timer(request.timings, mainStarted);
    timer.lap("startup");
    const Prefix& prefix = request.prefix;
    if (!prefix.error().isEmpty() || !prefix.exists()) {
        const QString reason = prefix.error().isEmpty()
                                   ? QStringLiteral("no Wine prefix at %1").arg(prefix.path())
                                   : prefix.error();
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(reason));
        return 1;
    }

    WineRegistry registry(prefix);
    // Loads the machine hive now (the preferences load the user hive), so that the fill is
    // timed on its own.
    (void)registry.subkeyName(RegRoot::LocalMachine, tags::kUninstallPath, 0);
    PrefixFileQuery files(prefix.path());
    WindowState state;
    state.lvwOhjelmat.setSorted(true);
    state.lvwPalauta.setSorted(true);
    state.friendlyNames = settings::readPreference(registry, settings::kSelkokieli);
    state.boldPhantoms = settings::readPreference(registry, settings::kRikkinaisetBold);
    timer.lap("hives");

    SilentUi ui;
    WindowContext ctx{state, {}, {}};
    ctx.services.ui = &ui;
    ctx.services.registry = &registry;
    ctx.services.files = &files;
    ctx.services.prefixPath = prefix.path();
    ctx.services.backupFolder = prefix.backupFolder();
    ctx.callbacks.tsValitsin_Click = [&state] { updateStatusText(state); };
    ctx.callbacks.lvwOhjelmat_Click = [&state] { lvwOhjelmat_Click(state); };
    ctx.callbacks.lvwPalauta_Click = [] {};
    ctx.callbacks.ListaaPalautettavatOhjelmat = [&ctx] { ListaaPalautettavatOhjelmat(ctx); };

    if (request.entries) {
        fillEntries(ctx);
        timer.lap("fill");
        printEntries(ctx);
    }
    if (request.backups)
        printBackups(ctx);
    std::fflush(stdout);
    timer.lap("print");
    timer.total();
    return 0;
}

} // namespace nixora
