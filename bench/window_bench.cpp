// Start-up of the main window: from construction to both lists filled, on the demo prefix, on
// Wine's 1,000-entry prefix and on a generated 10,000-entry prefix; and a refresh (F5) of an
// open window. Offscreen unless QT_QPA_PLATFORM says otherwise (e.g. xcb under xvfb-run). The
// "paints" counter is how often the entry list was drawn during one start-up: the fill repaints now
// and then, so it grows with the entry count instead of staying at one paint at the end.
#include "FileQuery.h"
#include "PrefixListing.h"
#include "UiServices.h"
#include "WineRegistry.h"
#include "frmPoisto.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace
{

class QuietUi final : public nixora::UiServices
{
public:
    nixora::MsgAnswer messageBox(const nixora::MessageBoxRequest& request) override
    {
        return request.defaultButton;
    }
    void setMousePointer(int pointer) override { m_pointer = pointer; }
    [[nodiscard]] int mousePointer() const override { return m_pointer; }
    void processEvents() override { QCoreApplication::processEvents(); }
    void setClipboardText(const QString&) override {}
    void shellOpen(const QString&) override {}

private:
    int m_pointer = 0;
};

class PaintCounter final : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void copyPrefix(const QString& from, const QString& to)
{
    for (const QString& name : {QStringLiteral("system.reg"), QStringLiteral("user.reg")})
        QFile::copy(from + u'/' + name, to + u'/' + name);
}

void writeGeneratedPrefix(const QString& to, int entries)
{
    QFile file(to + QStringLiteral("/system.reg"));
    if (!file.open(QIODevice::WriteOnly))
        return;
    QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                      "#arch=win64\n";
    for (int i = 0; i < entries; ++i) {
        const QByteArray n = QByteArray::number(i).rightJustified(5, '0');
        text += "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\App" + n +
                "] 1700000000\n\"DisplayName\"=\"Application " + n +
                "\"\n\"UninstallString\"=\"C:\\\\Apps\\\\" + n +
                "\\\\uninst.exe\"\n"
                "\"DisplayVersion\"=\"1." +
                n + "\"\n";
    }
    file.write(text);
}

void runStartup(benchmark::State& state, const QString& prefixPath)
{
    QuietUi ui;
    const nixora::SystemClock clock;
    PaintCounter counter;
    for (auto _ : state) {
        nixora::Services services{.ui = &ui, .clock = clock};
        nixora::Workspace workspace(services);
        const nixora::PrefixStatus status = workspace.openPrefix(nixora::Prefix(prefixPath));
        nixora::frmPoisto window(workspace, status);
        auto* list = window.findChild<QTableView*>(QStringLiteral("lvwOhjelmat"));
        list->viewport()->installEventFilter(&counter);
        counter.paints = 0;
        window.Form_Load();
        QCoreApplication::processEvents();
        state.counters["rows"] = window.state().lvwOhjelmat.rowCount();
        state.counters["paints"] = counter.paints;
    }
}

// Refresh (F5) of a window already open on the prefix: the hive is loaded, the list is full.
void runRefresh(benchmark::State& state, const QString& prefixPath)
{
    QuietUi ui;
    const nixora::SystemClock clock;
    nixora::Services services{.ui = &ui, .clock = clock};
    nixora::Workspace workspace(services);
    const nixora::PrefixStatus status = workspace.openPrefix(nixora::Prefix(prefixPath));
    nixora::frmPoisto window(workspace, status);
    window.show();
    window.Form_Load();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        window.mPaivita_Click();
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = window.state().lvwOhjelmat.rowCount();
}

void BM_StartDemoPrefix(benchmark::State& state)
{
    runStartup(state, QStringLiteral(NIXORA_SOURCE_DIR "/examples/demo-prefix"));
}

void BM_StartWine1000(benchmark::State& state)
{
    QTemporaryDir dir;
    copyPrefix(QStringLiteral(NIXORA_TEST_DATA "/wine8/1000"), dir.path());
    runStartup(state, dir.path());
}

void BM_StartGenerated10000(benchmark::State& state)
{
    QTemporaryDir dir;
    writeGeneratedPrefix(dir.path(), 10000);
    runStartup(state, dir.path());
}

void BM_RefreshWine1000(benchmark::State& state)
{
    QTemporaryDir dir;
    copyPrefix(QStringLiteral(NIXORA_TEST_DATA "/wine8/1000"), dir.path());
    runRefresh(state, dir.path());
}

void BM_RefreshGenerated10000(benchmark::State& state)
{
    QTemporaryDir dir;
    writeGeneratedPrefix(dir.path(), 10000);
    runRefresh(state, dir.path());
}

// File > Prefixes with `count` prefixes of 1,000 entries in a fake home's winetricks folder:
// "open_ms" is how long the menu takes to open (discovery; the counting starts on a worker),
// "counted_ms" until every item shows its counts.
void BM_PrefixesMenu(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral(".local/share/wineprefixes"));
    for (int i = 0; i < count; ++i) {
        const QString prefix = folder + QStringLiteral("/game%1").arg(i);
        QDir().mkpath(prefix);
        writeGeneratedPrefix(prefix, 1000);
    }
    QuietUi ui;
    const nixora::SystemClock clock;
    nixora::Services services{.ui = &ui, .clock = clock};
    nixora::Workspace workspace(services);
    const nixora::PrefixStatus status =
        workspace.openPrefix(nixora::Prefix(folder + QStringLiteral("/game0")));
    nixora::frmPoisto window(workspace, status);
    window.setPrefixSources({home.path(), QProcessEnvironment(), {}},
                            home.filePath(QStringLiteral("recent.conf")));
    window.setPrefixCounter(&nixora::countPrefix);
    window.Form_Load();
    auto* menu = window.findChild<QMenu*>(QStringLiteral("mnuPrefixes"));
    const auto counted = [menu] {
        const QList<QAction*> items = menu->actions();
        return std::all_of(items.begin(), items.end(), [](QAction* item) {
            return item->text().contains(QStringLiteral("entries"));
        });
    };
    double openMs = 0;
    double countedMs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        emit menu->aboutToShow();
        openMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
        while (!counted())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        countedMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
    state.counters["open_ms"] = benchmark::Counter(openMs, benchmark::Counter::kAvgIterations);
    state.counters["counted_ms"] =
        benchmark::Counter(countedMs, benchmark::Counter::kAvgIterations);
    state.counters["prefixes"] = static_cast<double>(menu->actions().size());
}

} // namespace

BENCHMARK(BM_PrefixesMenu)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_StartDemoPrefix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartWine1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartGenerated10000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RefreshWine1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshGenerated10000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
