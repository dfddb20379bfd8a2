#pragma once

#include "output/ListingWriter.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace nixora
{

// What `nixora` was asked to do. A new option is one member here and one row in the option
// table of CommandLineOptions.cpp.
struct NixoraOptions {
    QString prefix;                      // --prefix DIR; empty: $WINEPREFIX, else ~/.wine
    bool list = false;                   // --list
    bool listBackups = false;            // --list-backups
    bool listPrefixes = false;           // --list-prefixes
    bool timings = false;                // --timings
    bool removePhantoms = false;         // --remove-phantoms
    bool listMenuEntries = false;        // --list-menu-entries
    bool removeStaleMenuEntries = false; // --remove-stale-menu-entries
    bool dryRun = false;                 // --dry-run
    bool allPrefixes = false;            // --all-prefixes
    QString format;                      // --format tsv|json as given; empty: tsv
    std::optional<OutputFormat> outputFormat = OutputFormat::Tsv; // what it names, if anything

    [[nodiscard]] bool headless() const
    {
        return list || listBackups || listPrefixes || removePhantoms || listMenuEntries ||
               removeStaleMenuEntries;
    }
};

enum class CommandLineAction { Run, Help, Version, UsageError };

struct ParsedCommandLine {
    CommandLineAction action = CommandLineAction::Run;
    NixoraOptions options;
    QString error; // for UsageError: what was wrong, without the usage
};

// Parses `nixora`'s arguments (the first is the program). Needs no application object, so it
// runs before anything could try to open a display.
[[nodiscard]] ParsedCommandLine parseNixoraCommandLine(const QStringList& arguments);

// Prints the help (stdout), the version (stdout) or the error and the usage (stderr) and
// returns the exit status: 0, or 2 for a usage error. Call it with a QCoreApplication alive.
[[nodiscard]] int reportCommandLine(const ParsedCommandLine& parsed);

// The same for nixora-regedit, whose /E and /S stay as they are: Run when `arguments` are not
// --help or --version. Options other than these two pass through to the /E and /S parser.
[[nodiscard]] ParsedCommandLine parseRegeditCommandLine(const QStringList& arguments);
[[nodiscard]] int reportRegeditCommandLine(const ParsedCommandLine& parsed);

// True when Qt can open a window here: a platform chosen by QT_QPA_PLATFORM that needs no
// display server (offscreen, minimal, ...) or the X11 or Wayland display it needs.
[[nodiscard]] bool windowCanOpen();

} // namespace nixora
