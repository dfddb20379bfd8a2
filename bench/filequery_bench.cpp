// The phantom check asks the file query up to seven times per entry; these measure one query
// against a prefix whose Program Files holds many program folders.
#include "FileQuery.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace
{

struct BenchPrefix {
    explicit BenchPrefix(int folders)
    {
        QDir root(dir.path());
        root.mkpath(QStringLiteral("dosdevices"));
        QFile::link(QStringLiteral("../drive_c"), dir.path() + QStringLiteral("/dosdevices/c:"));
        for (int i = 0; i < folders; ++i) {
            const QString folder = QStringLiteral("drive_c/Program Files/App %1").arg(i);
            root.mkpath(folder);
            QFile file(dir.path() + u'/' + folder + QStringLiteral("/uninst.exe"));
            (void)file.open(QIODevice::WriteOnly);
        }
    }
    QTemporaryDir dir;
};

// range(1) = 1: inside a batch, as one fill of the entry list runs it.
void runQueries(benchmark::State& state, const QString& pathPattern)
{
    const int folders = static_cast<int>(state.range(0));
    const BenchPrefix prefix(folders);
    nixora::PrefixFileQuery files(prefix.dir.path());
    if (state.range(1) == 1)
        files.beginBatch();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(files.findFirstFile(pathPattern.arg(i)));
        i = (i + 1) % folders;
    }
}

void ExactHit(benchmark::State& state)
{
    runQueries(state, QStringLiteral("C:\\Program Files\\App %1\\uninst.exe"));
}
void CaseInsensitiveHit(benchmark::State& state)
{
    runQueries(state, QStringLiteral("c:\\program files\\APP %1\\Uninst.exe"));
}
void MissingFolder(benchmark::State& state)
{
    runQueries(state, QStringLiteral("C:\\Program Files\\Gone %1\\unins000.exe"));
}
void MissingDrive(benchmark::State& state)
{
    runQueries(state, QStringLiteral("D:\\Program Files\\App %1\\uninst.exe"));
}

BENCHMARK(ExactHit)->ArgsProduct({{1000, 10000}, {0, 1}});
BENCHMARK(CaseInsensitiveHit)->ArgsProduct({{1000, 10000}, {0, 1}});
BENCHMARK(MissingFolder)->ArgsProduct({{1000, 10000}, {0, 1}});
BENCHMARK(MissingDrive)->Args({1000, 0});

} // namespace

BENCHMARK_MAIN();
