// nixora-reliability-tool: the writers and checks that tools/reliability/* and the reliability
// tests start as separate processes (to kill them, or to run them side by side).
//
//   settings-loop <hive> <count>     toggles the "ruudukko" preference in a settings store kept in
//                                    <hive>; count 0 runs until killed
//   write-loop <prefix> <name> <count>   sets HKLM\Software\Nixora Reliability\<name><i> = i
//   same-tree <hive> <state>...      the hive parses and holds the same tree as one of the states;
//                                    prints the index of the first matching state
//   hold-lock <hive>                 takes the hive's writer lock, prints "locked", holds it until
//                                    stdin ends
//   limit-fsize <bytes> <program> <argument>...   runs the program with a file-size limit, as
//                                    a full disk would stop it (SIGXFSZ ignored: writes fail)

#include "HiveImage.h"
#include "HiveLock.h"
#include "Settings.h"
#include "WineRegistry.h"
#include "Wineserver.h"

#include <QFile>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

using namespace nixora;

const QString kLoopKey = QStringLiteral("Software\\Nixora Reliability");

int settingsLoop(const QString& hive, long count)
{
    const std::unique_ptr<WineRegistry> store = WineRegistry::settingsStore(hive);
    for (long i = 0; count == 0 || i < count; ++i) {
        if (!settings::writePreference(*store, settings::kRuudukko, i % 2 == 1))
            return 1;
    }
    return 0;
}

int writeLoop(const QString& prefix, const QString& name, long count)
{
    WineRegistry registry{Prefix(prefix)};
    for (long i = 0; i < count; ++i) {
        const RegResult result =
            registry.setValue(RegRoot::LocalMachine, kLoopKey, name + QString::number(i),
                              makeDwordValue(uint32_t(i)));
        if (!result.ok()) {
            std::fprintf(stderr, "write %ld failed: %s\n", i, qPrintable(result.message));
            return 1;
        }
    }
    return 0;
}

std::unique_ptr<HiveFile> readHive(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    return HiveFile::parse(file.readAll());
}

int sameTree(const QString& hivePath, const QStringList& states)
{
    std::unique_ptr<HiveFile> hive = readHive(hivePath);
    if (!hive) {
        std::printf("%s: not a hive\n", qPrintable(hivePath));
        return 1;
    }
    const fuzz::KeyImage image = fuzz::imageOf(*hive, hive->root());
    QString firstDifference;
    for (qsizetype i = 0; i < states.size(); ++i) {
        std::unique_ptr<HiveFile> state = readHive(states[i]);
        if (!state)
            return 2;
        const QString difference = fuzz::compareImages(fuzz::imageOf(*state, state->root()), image);
        if (difference.isEmpty()) {
            std::printf("%lld\n", static_cast<long long>(i));
            return 0;
        }
        if (firstDifference.isEmpty())
            firstDifference = difference;
    }
    std::printf("%s matches no state: %s\n", qPrintable(hivePath), qPrintable(firstDifference));
    return 1;
}

// Holds the lock until standard input ends, so a caller decides exactly when it is released.
int holdLock(const QString& hivePath)
{
    HiveLock lock(QStringList{hivePath});
    if (!lock.locked())
        return 1;
    std::printf("locked\n");
    std::fflush(stdout);
    char buffer[256];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}

int limitFileSize(long bytes, char** command)
{
    const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 2;
    std::signal(SIGXFSZ, SIG_IGN);
    ::execv(command[0], command);
    std::perror("execv");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const QString mode = args.value(0);
    if (mode == QLatin1String("settings-loop") && args.size() == 3)
        return settingsLoop(args[1], args[2].toLong());
    if (mode == QLatin1String("write-loop") && args.size() == 4)
        return writeLoop(args[1], args[2], args[3].toLong());
    if (mode == QLatin1String("same-tree") && args.size() >= 3)
        return sameTree(args[1], args.mid(2));
    if (mode == QLatin1String("hold-lock") && args.size() == 2)
        return holdLock(args[1]);
    if (mode == QLatin1String("server-running") && args.size() == 2)
        return wineserver::isRunning(args[1]) ? 0 : 1;
    if (mode == QLatin1String("limit-fsize") && args.size() >= 3)
        return limitFileSize(args[1].toLong(), argv + 3);
    std::fprintf(stderr, "usage: see the top of ReliabilityTool.cpp\n");
    return 2;
}
