// Removing the phantom entries of a generated prefix with File > Remove Phantom Entries' logic:
// every backup written and read back, then one hive write. Arguments: entries in the prefix,
// phantoms among them. items_per_second is phantoms removed per second, so a per-entry cost
// that grew with the count would show as a lower rate for 500 than for 100.

#include "Workspace.h"
#include "backup/PhantomRemoval.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace
{

using namespace nixora;

const SystemClock clock;

QString entryBlock(int index, bool phantom)
{
    const QString exe = phantom ? QStringLiteral("C:\\\\Gone\\\\App%1\\\\uninst.exe")
                                : QStringLiteral("C:\\\\windows\\\\notepad.exe");
    return QStringLiteral(
               "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\App%1] "
               "1796625500\n#time=1dd86158cd5c378\n\"DisplayName\"=\"Application %1\"\n"
               "\"DisplayVersion\"=\"1.0.%1\"\n\"Publisher\"=\"Vendor %1\"\n"
               "\"UninstallString\"=\"%2\"\n\n")
        .arg(index, 5, 10, QLatin1Char('0'))
        .arg(phantom ? exe.arg(index) : exe);
}

// A prefix of `entries` entries in the machine's Uninstall key, the first `phantoms` of them
// phantom.
void writePrefix(const QString& root, int entries, int phantoms)
{
    QDir(root).mkpath(QStringLiteral("drive_c/windows"));
    QDir(root).mkpath(QStringLiteral("dosdevices"));
    QFile::link(QStringLiteral("../drive_c"), root + QStringLiteral("/dosdevices/c:"));
    QString body = QStringLiteral("WINE REGISTRY Version 2\n;; All keys relative to "
                                  "REGISTRY\\\\Machine\n\n#arch=win64\n\n");
    for (int i = 0; i < entries; ++i)
        body += entryBlock(i, i < phantoms);
    QFile machine(root + QStringLiteral("/system.reg"));
    (void)machine.open(QIODevice::WriteOnly);
    machine.write(body.toUtf8());
    QFile user(root + QStringLiteral("/user.reg"));
    (void)user.open(QIODevice::WriteOnly);
    user.write("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21\n\n"
               "#arch=win64\n\n");
}

void BM_RemovePhantoms(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const int phantoms = static_cast<int>(state.range(1));
    std::vector<PhantomEntry> list;
    for (int i = 0; i < phantoms; ++i)
        list.push_back({&entrySource(SourceKind::Machine),
                        QStringLiteral("App%1").arg(i, 5, 10, QLatin1Char('0')),
                        QStringLiteral("Application %1").arg(i)});
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        writePrefix(dir.path(), entries, phantoms);
        Workspace ctx(Services{.clock = clock});
        (void)ctx.openPrefix(Prefix(dir.path()));
        state.ResumeTiming();
        const PhantomRemovalResult result = removePhantomEntries(ctx, list);
        if (result.removedCount() != phantoms)
            state.SkipWithError("not every phantom was removed");
        state.PauseTiming();
        dir.remove();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * phantoms);
}

BENCHMARK(BM_RemovePhantoms)
    ->Args({1000, 100})
    ->Args({1000, 500})
    ->Args({2000, 500})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

BENCHMARK_MAIN();
