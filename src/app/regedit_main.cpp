#include "BuildInfo.h"
#include "CommandLineOptions.h"
#include "LiveRegistry.h"
#include "Prefix.h"
#include "RegeditTool.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

// nixora-regedit: the registry editor's /E (export) and /S (silent import) for a Wine prefix.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const nixora::ParsedCommandLine parsed = nixora::parseRegeditCommandLine(arguments);
    if (parsed.action != nixora::CommandLineAction::Run)
        return nixora::reportRegeditCommandLine(parsed);
    arguments.removeFirst();

    nixora::Prefix prefix = nixora::Prefix::fromEnvironment();
    if (!prefix.error().isEmpty()) {
        std::fprintf(stderr, "nixora-regedit: %s\n", qPrintable(prefix.error()));
        return nixora::kRegeditFailed;
    }
    // While a wineserver serves the prefix, exports and imports go through it, as nixora's own
    // reads and writes do.
    nixora::LiveRegistry registry(std::move(prefix), nixora::build::wineClientProgram());
    const nixora::RegeditOutcome outcome = nixora::runRegedit(registry, arguments);
    if (!outcome.ok())
        std::fprintf(stderr, "%s\n", outcome.error.toLocal8Bit().constData());
    return outcome.exitStatus;
}
