#include "HeadlessListing.h"

#include "EntrySource.h"
#include "FileQuery.h"
#include "Prefix.h"
#include "Settings.h"
#include "StatusBar.h"
#include "WineRegistry.h"
#include "backup/BackupList.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryListInteraction.h"
#include "inventory/EntryTags.h"

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

void fillEntries(Workspace& ctx)
{
    ctx.state.selectedTab = kTabEntries;
    ListaaLisaaPoistaOhjelmat(ctx);
}

void printEntries(Workspace& ctx)
{
    auto& state = ctx.state;
    const ListViewModel& list = state.lvwOhjelmat;
    for (int i = 0; i < list.rowCount(); ++i) {
        const ListRow& row = *list.rowAt(i);
        const RowEntry entry = splitEntryRowKey(row.key);
        printLine({entry.subkey, row.cells[0].text, row.cells[1].text, row.cells[2].text,
                   row.cells[0].tag, row.cells[1].tag, row.cells[2].tag, verdictOf(row),
                   row.cells[0].bold ? QStringLiteral("1") : QStringLiteral("0"),
                   entry.source->label});
    }
    updateStatusText(state);
    printLine({state.statusText});
}

void printBackups(Workspace& ctx)
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

int runHeadlessListing(const QStringList& arguments,
                       std::chrono::steady_clock::time_point mainStarted)
{
    PhaseTimer timer(arguments.contains(QStringLiteral("--timings")), mainStarted);
    timer.lap("startup");
    const bool entries = arguments.contains(QStringLiteral("--list"));
    const bool backups = arguments.contains(QStringLiteral("--list-backups"));
    const Prefix prefix = Prefix::fromEnvironment();
    if (!prefix.error().isEmpty() || !prefix.exists()) {
        const QString reason = prefix.error().isEmpty()
                                   ? QStringLiteral("no Wine prefix at %1").arg(prefix.path())
                                   : prefix.error();
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(reason));
        return 1;
    }

    SilentUi ui;
    Workspace ctx(Services{nullptr, nullptr, &ui, nullptr, {}, {}, {}, {}});
    (void)ctx.openPrefix(prefix);
    // Loads the machine hive now (the preferences load the user hive), so that the fill is
    // timed on its own.
    (void)ctx.services.registry->subkeyName(RegRoot::LocalMachine,
                                            entrySource(SourceKind::Machine).uninstallPath, 0);
    ctx.state.lvwOhjelmat.setSorted(true);
    ctx.state.lvwPalauta.setSorted(true);
    ctx.loadListPreferences();
    timer.lap("hives");

    if (entries) {
        fillEntries(ctx);
        timer.lap("fill");
        printEntries(ctx);
    }
    if (backups)
        printBackups(ctx);
    std::fflush(stdout);
    timer.lap("print");
    timer.total();
    return 0;
}

} // namespace nixora
