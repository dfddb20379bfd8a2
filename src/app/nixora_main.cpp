#include "BuildInfo.h"
#include "CommandLineOptions.h"
#include "HeadlessListing.h"
#include "MenuCommand.h"
#include "PhantomCommand.h"
#include "Prefix.h"
#include "PrefixListing.h"
#include "WindowMain.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include <dlfcn.h>

namespace
{

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

nixora::Prefix chosenPrefix(const nixora::NixoraOptions& options)
{
    return options.prefix.isEmpty() ? nixora::Prefix::fromEnvironment()
                                    : nixora::Prefix::fromCommandLine(options.prefix);
}

void setApplicationNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("Nixora"));
    QCoreApplication::setApplicationVersion(QLatin1String(nixora::build::kVersion));
}

// Help, version, usage errors and the listings: none of them needs a display.
int runWithoutWindow(int argc, char* argv[], const nixora::ParsedCommandLine& parsed,
                     std::chrono::steady_clock::time_point started)
{
    QCoreApplication app(argc, argv);
    setApplicationNames();
    if (parsed.action != nixora::CommandLineAction::Run)
        return nixora::reportCommandLine(parsed);
    const nixora::OutputFormat format = parsed.options.outputFormat.value();
    if (parsed.options.listPrefixes)
        return nixora::runPrefixListing(nixora::prefixes::userDiscoveryInput(), format);
    const auto requestedPrefixes = [&parsed](std::vector<std::pair<QString, QString>>& unreadable) {
        return parsed.options.allPrefixes
                   ? nixora::discoveredPrefixes(nixora::prefixes::userDiscoveryInput(), unreadable)
                   : std::vector<nixora::Prefix>{chosenPrefix(parsed.options)};
    };
    if (parsed.options.listMenuEntries || parsed.options.removeStaleMenuEntries) {
        nixora::MenuRequest menus;
        menus.prefixes = requestedPrefixes(menus.unreadable);
        menus.user = nixora::prefixes::userDiscoveryInput();
        menus.remove = parsed.options.removeStaleMenuEntries;
        menus.dryRun = parsed.options.dryRun;
        menus.format = format;
        return nixora::runMenuCommand(menus);
    }
    if (parsed.options.removePhantoms) {
        nixora::PhantomRequest phantoms;
        phantoms.prefixes = requestedPrefixes(phantoms.unreadable);
        phantoms.dryRun = parsed.options.dryRun;
        phantoms.format = format;
        return nixora::runPhantomRemoval(phantoms);
    }
    nixora::ListingRequest request;
    request.prefix = chosenPrefix(parsed.options);
    request.entries = parsed.options.list;
    request.backups = parsed.options.listBackups;
    request.timings = parsed.options.timings;
    request.format = format;
    nixora::runHeadlessListing(request, started);
}

// The window module, found relative to this program's own folder: beside it in the build tree's
// layout and in an installed one alike. Nothing (with the reason) when the program's own path is
// unknown, as where /proc is not mounted: a path taken from the current folder instead would
// load whatever module was planted there.
std::optional<std::string> windowModulePath(std::string& why)
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !program.is_absolute()) {
        why = error ? error.message() : "not an absolute path: " + program.string();
        return std::nullopt;
    }
    return (program.parent_path() / nixora::build::kWindowModuleFromPrograms)
        .lexically_normal()
        .string();
}

// Loads the window module and hands the window over to it; the GUI libraries come with it.
int runWindow(int argc, char* argv[], const nixora::NixoraOptions& options,
              std::chrono::steady_clock::time_point started)
{
    std::string why;
    const std::optional<std::string> found = windowModulePath(why);
    if (!found) {
        std::fprintf(stderr,
                     "nixora: cannot open the window: its module is found from this program's "
                     "own path, and /proc/self/exe cannot be read (%s)\n",
                     why.c_str());
        return 2;
    }
    const std::string& path = *found;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto run =
        module != nullptr
            ? reinterpret_cast<decltype(&nixoraRunWindow)>(dlsym(module, NIXORA_WINDOW_ENTRY))
            : nullptr;
    if (run == nullptr) {
        const char* why = dlerror();
        std::fprintf(stderr, "nixora: cannot load the window: %s\n", why ? why : path.c_str());
        return 2;
    }
    const QByteArray prefix = options.prefix.toUtf8();
    NixoraWindowRequest request{};
    request.prefix = prefix.constData();
    request.timings = options.timings ? 1 : 0;
    request.startedNanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(started.time_since_epoch()).count();
    return run(argc, argv, &request);
}

} // namespace

int main(int argc, char* argv[])
{
    const auto started = std::chrono::steady_clock::now();
    // Parsed before any QGuiApplication exists: that one aborts the process when it finds no
    // display, and --help or --list must work over ssh and in scripts.
    const nixora::ParsedCommandLine parsed =
        nixora::parseNixoraCommandLine(argumentsOf(argc, argv));
    if (parsed.action != nixora::CommandLineAction::Run || parsed.options.headless())
        return runWithoutWindow(argc, argv, parsed, started);
    if (!nixora::windowCanOpen()) {
        std::fputs("nixora: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                   "unset); 'nixora --list' prints the list, 'xvfb-run nixora' opens the window\n",
                   stderr);
        return 2;
    }

    return runWindow(argc, argv, parsed.options, started);
}
