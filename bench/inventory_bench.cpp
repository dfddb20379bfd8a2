// Filling the entry list of generated prefixes, headless, friendly names on.
// Entries: half with an existing uninstaller, a quarter phantom, a quarter MsiExec; all in the
// machine's Uninstall key, or split in turn across HKLM, HKLM's 32-bit view and HKCU.

#include "FileQuery.h"
#include "StatusBar.h"
#include "WineRegistry.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryListInteraction.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <map>
#include <memory>
#include <tuple>

namespace
{

using namespace nixora;

const SystemClock clock;

QString header()
{
    return QStringLiteral("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                          "#arch=win64\n\n");
}

QString block(const QString& path, const QList<QPair<QString, QString>>& values)
{
    QString text = u'[' + QString(path).replace(u'\\', QStringLiteral("\\\\")) +
                   QStringLiteral("] 1796625500\n#time=1dd86158cd5c378\n");
    for (const auto& [name, value] : values) {
        text += name.isEmpty() ? QStringLiteral("@") : u'"' + name + u'"';
        text += QStringLiteral("=\"") +
                QString(value)
                    .replace(u'\\', QStringLiteral("\\\\"))
                    .replace(u'"', QStringLiteral("\\\"")) +
                QStringLiteral("\"\n");
    }
    return text + u'\n';
}

class GeneratedPrefix
{
public:
    GeneratedPrefix(int entries, int components, bool split)
    {
        const QString root = m_dir.path();
        QDir(root).mkpath(QStringLiteral("drive_c/Program Files"));
        QDir(root).mkpath(QStringLiteral("dosdevices"));
        QFile::link(QStringLiteral("../drive_c"), root + QStringLiteral("/dosdevices/c:"));
        QString body = header();
        const QString as =
            QStringLiteral("Software\\Microsoft\\Active Setup\\Installed Components");
        body += block(as, {});
        for (int c = 0; c < components; ++c) {
            const QString key = QStringLiteral("{C%1}").arg(c, 6, 10, QLatin1Char('0'));
            // Every tenth component names an entry by its display name, a few by key name.
            const QString friendly =
                QStringLiteral("Application %1").arg(c * 7, 6, 10, QLatin1Char('0'));
            body += block(as + u'\\' + key,
                          {{QString(), friendly},
                           {QStringLiteral("ComponentID"), QStringLiteral("comp%1").arg(c)},
                           {QStringLiteral("Version"), QStringLiteral("1,0,%1").arg(c)}});
        }
        const QString un =
            QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        const QString un32 =
            QStringLiteral("Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        // Wine writes keys in order: the 32-bit view's after the native ones.
        std::array<QString, 3> sourceBlocks{block(un, {}), block(un32, {}), block(un, {})};
        for (int i = 0; i < entries; ++i) {
            const QString key = QStringLiteral("App%1").arg(i, 6, 10, QLatin1Char('0'));
            QString uninstaller;
            switch (i % 4) {
            case 0:
            case 1: {
                const QString folder = QStringLiteral("drive_c/Program Files/App %1").arg(i);
                QDir(root).mkpath(folder);
                QFile(root + u'/' + folder + QStringLiteral("/unins000.exe"))
                    .open(QIODevice::WriteOnly);
                uninstaller =
                    QStringLiteral("\"C:\\Program Files\\App %1\\unins000.exe\" /SILENT").arg(i);
                break;
            }
            case 2:
                uninstaller = QStringLiteral("C:\\Program Files\\Gone %1\\uninstall.exe").arg(i);
                break;
            default:
                uninstaller = QStringLiteral("MsiExec.exe /X{%1}").arg(i);
            }
            const int source = split ? i % 3 : 0;
            sourceBlocks[size_t(source)] +=
                block((source == 1 ? un32 : un) + u'\\' + key,
                      {{QStringLiteral("DisplayName"),
                        QStringLiteral("Application %1").arg(i, 6, 10, QLatin1Char('0'))},
                       {QStringLiteral("UninstallString"), uninstaller},
                       {QStringLiteral("DisplayVersion"), QStringLiteral("%1.0").arg(i % 13)}});
        }
        body += sourceBlocks[0] + sourceBlocks[1];
        QFile hive(root + QStringLiteral("/system.reg"));
        hive.open(QIODevice::WriteOnly);
        hive.write(body.toUtf8());
        QFile user(root + QStringLiteral("/user.reg"));
        user.open(QIODevice::WriteOnly);
        user.write("WINE REGISTRY Version 2\n;; All keys relative to "
                   "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n");
        user.write(sourceBlocks[2].toUtf8());
    }

    [[nodiscard]] QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

GeneratedPrefix& prefixFor(int entries, int components, bool split)
{
    static std::map<std::tuple<int, int, bool>, std::unique_ptr<GeneratedPrefix>> prefixes;
    auto& slot = prefixes[{entries, components, split}];
    if (!slot)
        slot = std::make_unique<GeneratedPrefix>(entries, components, split);
    return *slot;
}

void BM_Fill(benchmark::State& bench)
{
    const int entries = static_cast<int>(bench.range(0));
    const int components = static_cast<int>(bench.range(1));
    // Fourth argument 1: the entries split across the three sources.
    GeneratedPrefix& prefix = prefixFor(entries, components, bench.range(3) == 1);
    Workspace ctx(Services{.clock = clock});
    (void)ctx.openPrefix(Prefix(prefix.path()));
    WindowState& state = ctx.state;
    state.lvwOhjelmat.setSorted(true);
    // Third argument 0: no file query, to tell the registry and list work from the file system's.
    if (bench.range(2) == 0)
        ctx.services.files = nullptr;
    ListaaLisaaPoistaOhjelmat(ctx); // loads the hive once, as the window's first fill does
    for (auto _ : bench) {
        ListaaLisaaPoistaOhjelmat(ctx);
        benchmark::DoNotOptimize(state.statusText);
    }
    bench.counters["rows"] = state.lvwOhjelmat.rowCount();
    bench.counters["phantoms"] = state.lvwOhjelmat.phantomRowCount();
}

BENCHMARK(BM_Fill)
    ->Args({300, 20, 1, 0})
    ->Args({1000, 1000, 1, 0})
    ->Args({1000, 1000, 1, 1})
    ->Args({10000, 1000, 1, 0})
    ->Args({1000, 1000, 0, 0})
    ->Args({1000, 1000, 0, 1})
    ->Args({10000, 1000, 0, 0})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// Ordering alone: a sorted list takes N rows in a shuffled order, is read (which orders it by
// name), then ordered by version, as a fill and one column click do.
void BM_SortedList(benchmark::State& bench)
{
    const int count = static_cast<int>(bench.range(0));
    static const std::array<QString, 6> publishers{
        QStringLiteral("Contoso"),   QStringLiteral("Fabrikam"),  QStringLiteral("Müller Software"),
        QStringLiteral("Łódź Labs"), QStringLiteral("northwind"), QStringLiteral("Tailspin")};
    std::vector<std::array<QString, 3>> texts;
    for (int i = 0; i < count; ++i) {
        const int n = (i * 7919) % count;
        texts.push_back({QStringLiteral("%1 App %2").arg(publishers[n % 6]).arg(n),
                         QStringLiteral("C:\\Program Files\\App %1\\unins000.exe").arg(n),
                         QStringLiteral("%1.%2.%3").arg(n % 17).arg(n % 101).arg(n)});
    }
    for (auto _ : bench) {
        ListViewModel list;
        list.setSorted(true);
        for (int i = 0; i < count; ++i) {
            ListRow* row = list.addRow(QString::number(i), texts[static_cast<size_t>(i)][0]);
            list.setText(row, 1, texts[static_cast<size_t>(i)][1]);
            list.setText(row, 2, texts[static_cast<size_t>(i)][2]);
        }
        benchmark::DoNotOptimize(list.rowAt(0));
        list.setSortKey(2);
        benchmark::DoNotOptimize(list.rowAt(0));
    }
}

BENCHMARK(BM_SortedList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
