#include "HiveFile.h"
#include "WineRegistry.h"
#include "mdlPoisto.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include <sys/resource.h>

using namespace nixora;

namespace
{

// The Wine-written hives the tests use.
QString testdata(const char* relative)
{
    return QStringLiteral(NIXORA_TEST_DATA "/") + QLatin1String(relative);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// About 50 MB of Uninstall entries as Wine writes them.
QByteArray generatedHive()
{
    QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                      "#arch=win64\n";
    for (int i = 0; text.size() < 50 * 1024 * 1024; ++i) {
        text += "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\App" +
                QByteArray::number(i).rightJustified(7, '0') +
                "] 1796625534\n#time=1dd8615a0ca4520\n\"DisplayName\"=\"Application " +
                QByteArray::number(i) +
                "\"\n\"DisplayVersion\"=\"1.2.3\"\n\"EstimatedSize\"=dword:000004d2\n"
                "\"Publisher\"=\"Caf\\x20ac Soft\"\n\"UninstallString\"=\"C:\\\\Program "
                "Files\\\\App\\\\uninst.exe\"\n";
    }
    return text;
}

void reportPeakMemory(benchmark::State& state)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024.0;
}

// Resident memory now and at its peak since the peak was last reset, in MB.
double statusMB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// `subtrees` empty: the whole tree. Reports the memory a parse adds to the file's bytes, at its
// peak and once done, next to the file's size.
void loadBytes(benchmark::State& state, const QByteArray& bytes, const QStringList& subtrees = {})
{
    double before = 0;
    double peak = 0;
    double after = 0;
    auto parse = [&bytes, &subtrees] {
        return subtrees.isEmpty() ? HiveFile::parse(bytes)
                                  : HiveFile::parseSubtrees(bytes, subtrees);
    };
    {
        // Measured once, outside the timed runs: freed trees stay in the heap afterwards.
        before = statusMB("VmRSS:");
        resetPeakMemory();
        auto hive = parse();
        peak = statusMB("VmHWM:");
        after = statusMB("VmRSS:");
    }
    for (auto _ : state) {
        auto hive = parse();
        benchmark::DoNotOptimize(hive.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
    state.counters["file_MB"] = double(bytes.size()) / (1024.0 * 1024.0);
    state.counters["parse_peak_MB"] = peak - before;
    state.counters["tree_MB"] = after - before;
}

const QString kUninstall =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");

void BM_LoadWine1000(benchmark::State& state)
{
    loadBytes(state, readAll(testdata("wine8/1000/system.reg")));
}
BENCHMARK(BM_LoadWine1000)->Unit(benchmark::kMillisecond);

void BM_LoadGenerated50MB(benchmark::State& state)
{
    loadBytes(state, generatedHive());
}
BENCHMARK(BM_LoadGenerated50MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// The listing's keys of a real prefix: Wine's 1.7 MB of default keys are skipped.
void BM_LoadWine1000ListingKeys(benchmark::State& state)
{
    loadBytes(
        state, readAll(testdata("wine8/1000/system.reg")),
        {kUninstall, QStringLiteral("Software\\Microsoft\\Active Setup\\Installed Components"),
         QStringLiteral("Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
         QStringLiteral("Software\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components")});
}
BENCHMARK(BM_LoadWine1000ListingKeys)->Unit(benchmark::kMillisecond);

// Every key of the generated hive is an Uninstall entry, so this is the cost of the key scan
// and the tree of entries alone.
void BM_LoadGenerated50MBUninstall(benchmark::State& state)
{
    loadBytes(state, generatedHive(), {kUninstall});
}
BENCHMARK(BM_LoadGenerated50MBUninstall)->Unit(benchmark::kMillisecond)->Iterations(3);

// A million sibling keys below one key, in the order Wine writes them, reversed, or shuffled:
// the tree must cost about the same whatever the order of the key lines.
enum class SiblingOrder { Wine, Reversed, Shuffled };

QByteArray siblingHive(SiblingOrder order)
{
    constexpr int kSiblings = 1000000;
    std::vector<int> numbers(kSiblings);
    std::iota(numbers.begin(), numbers.end(), 0);
    if (order == SiblingOrder::Reversed)
        std::reverse(numbers.begin(), numbers.end());
    if (order == SiblingOrder::Shuffled)
        std::shuffle(numbers.begin(), numbers.end(), std::mt19937(20261207));
    QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                      "#arch=win64\n";
    text.reserve(kSiblings * 100);
    for (const int number : numbers)
        text += "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\App" +
                QByteArray::number(number).rightJustified(7, '0') +
                "] 1796625534\n\"DisplayName\"=\"Application\"\n";
    return text;
}

void BM_LoadMillionSiblings(benchmark::State& state)
{
    const auto order = static_cast<SiblingOrder>(state.range(0));
    const bool subtree = state.range(1) != 0;
    loadBytes(state, siblingHive(order), subtree ? QStringList{kUninstall} : QStringList{});
    state.SetLabel(std::string(order == SiblingOrder::Wine       ? "Wine's order"
                               : order == SiblingOrder::Reversed ? "reversed"
                                                                 : "shuffled") +
                   (subtree ? ", Uninstall subtree" : ", whole tree"));
}
BENCHMARK(BM_LoadMillionSiblings)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A loaded hive whose file is unchanged: each call checks the file's identity, then reads.
void BM_LueRekisteriarvo(benchmark::State& state)
{
    QTemporaryDir dir;
    QFile::copy(testdata("wine8/1000/system.reg"), dir.path() + "/system.reg");
    WineRegistry registry{Prefix(dir.path())};
    const QString path = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    const QString entry = path + mdlPoisto::LueAliavain(registry, RegRoot::LocalMachine, path, 500);
    for (auto _ : state) {
        QString text =
            mdlPoisto::LueRekisteriarvo(registry, RegRoot::LocalMachine, entry, "DisplayName");
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    reportPeakMemory(state);
}
BENCHMARK(BM_LueRekisteriarvo);

} // namespace

BENCHMARK_MAIN();
