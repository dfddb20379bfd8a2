#include "FuzzTargets.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace nixora
{
namespace
{

struct FuzzTarget {
    const char* folder;
    QString (*entry)(QByteArrayView);
};

// Every file of a target's corpus (the seeds and the inputs that once failed) runs through the
// same entry point the fuzzer calls.
class CorpusReplay : public ::testing::TestWithParam<FuzzTarget>
{
};

TEST_P(CorpusReplay, EveryCorpusFilePasses)
{
    const QDir folder(QStringLiteral(NIXORA_FUZZ_CORPUS "/") + QLatin1String(GetParam().folder));
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty()) << folder.path().toStdString();
    for (const QString& name : names) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(GetParam().entry(bytes).toStdString(), "") << name.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay,
                         ::testing::Values(FuzzTarget{"hive", &fuzz::hiveRoundTrip},
                                           FuzzTarget{"subtree", &fuzz::subtreeParse},
                                           FuzzTarget{"regimport", &fuzz::regImport},
                                           FuzzTarget{"uninstall", &fuzz::uninstallString},
                                           FuzzTarget{"cmdline", &fuzz::commandLine},
                                           FuzzTarget{"backup", &fuzz::backupFile},
                                           FuzzTarget{"restore", &fuzz::restoreBackup}),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) {
                             return std::string(info.param.folder);
                         });

} // namespace
} // namespace nixora
