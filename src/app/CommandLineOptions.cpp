#include "CommandLineOptions.h"

#include "BuildInfo.h"

#include <QCommandLineParser>

#include <cstdio>

namespace nixora
{
namespace
{

struct Switch {
    const char* name;
    const char* description;
    bool NixoraOptions::*member;
};

struct ValueOption {
    const char* name;
    const char* valueName;
    const char* description;
    QString NixoraOptions::*member;
};

// Every option of `nixora` but --help and --version, in the order --help lists them.
const ValueOption kValueOptions[] = {
    {"prefix", "DIR", "Use the Wine prefix DIR (before $WINEPREFIX; default ~/.wine).",
     &NixoraOptions::prefix},
    {"format", "FORMAT",
     "Print the listings and the removals as tsv (the default) or as one json document.",
     &NixoraOptions::format},
};
const Switch kSwitches[] = {
    {"list", "Print the entry list as the window shows it, then exit. Needs no display.",
     &NixoraOptions::list},
    {"list-backups", "Print the backups that can be restored, then exit. Needs no display.",
     &NixoraOptions::listBackups},
    {"list-prefixes",
     "Print every Wine prefix found on this machine (Steam, Bottles, Lutris, Heroic, ...) with "
     "its entry, phantom and backup counts, then exit. Needs no display.",
     &NixoraOptions::listPrefixes},
    {"remove-phantoms",
     "Back up and remove every phantom entry of the prefix, one line each (prefix, source, "
     "subkey, name, backup file or why it was kept), then exit. Needs no display.",
     &NixoraOptions::removePhantoms},
    {"list-menu-entries",
     "Print the menu entries, desktop links, file associations, menus, folders and icons Wine "
     "made on the desktop for the prefix's programs, one line each (prefix, kind, found, stale "
     "or orphaned, name, file, what it starts, why it is stale), then those of prefixes that "
     "are gone, then exit. Needs no display.",
     &NixoraOptions::listMenuEntries},
    {"remove-stale-menu-entries",
     "Back up and remove the prefix's stale menu files and those of prefixes that are gone, one "
     "line each (as --list-menu-entries, then the backup file or why it was kept), then exit. "
     "Needs no display.",
     &NixoraOptions::removeStaleMenuEntries},
    {"dry-run",
     "With --remove-phantoms or --remove-stale-menu-entries: only list what would go; change "
     "nothing.",
     &NixoraOptions::dryRun},
    {"all-prefixes",
     "With --remove-phantoms, --list-menu-entries or --remove-stale-menu-entries: every prefix "
     "--list-prefixes finds instead of one; prefixes whose Wine programs run are skipped.",
     &NixoraOptions::allPrefixes},
    {"timings", "Print to stderr how long start-up took (the window then closes).",
     &NixoraOptions::timings},
};

const char kNixoraDescription[] =
    "Manages the Add/Remove Programs entries of a Wine prefix: lists them, marks\n"
    "phantom entries whose uninstaller is gone, runs uninstallers, removes entries\n"
    "after backing them up, restores backups.";

const char kRegeditDescription[] =
    "Exports a registry key of the Wine prefix in $WINEPREFIX (default ~/.wine) to\n"
    "a .reg file or imports a .reg file into it, as Windows' regedit does:\n"
    "  nixora-regedit /E file key   export key and its subkeys to file\n"
    "  nixora-regedit /S file       import file, all or nothing";

// --help and --version, as both programs have them. Qt's own addHelpOption would also offer
// --help-all, which lists options of QGuiApplication that nixora does not accept.
void addCommonOptions(QCommandLineParser& parser, const char* description)
{
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")},
                      QStringLiteral("Print this help and exit.")});
    parser.addOption({{QStringLiteral("v"), QStringLiteral("version")},
                      QStringLiteral("Print the version and exit.")});
}

void addNixoraOptions(QCommandLineParser& parser)
{
    addCommonOptions(parser, kNixoraDescription);
    for (const ValueOption& option : kValueOptions)
        parser.addOption({QString::fromLatin1(option.name), QString::fromUtf8(option.description),
                          QString::fromLatin1(option.valueName)});
    for (const Switch& option : kSwitches)
        parser.addOption({QString::fromLatin1(option.name), QString::fromUtf8(option.description)});
}

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

// --help, --version or a usage error, with the help text of a parser that holds the program's
// options.
int report(const QCommandLineParser& parser, const ParsedCommandLine& parsed, const char* program)
{
    switch (parsed.action) {
    case CommandLineAction::Help:
        print(stdout, parser.helpText());
        return 0;
    case CommandLineAction::Version:
        print(stdout, QStringLiteral("%1 %2\n").arg(QLatin1String(program),
                                                    QLatin1String(build::kVersion)));
        return 0;
    case CommandLineAction::UsageError:
        // The error quotes what was typed: escaped, like every text on stderr.
        print(stderr,
              QStringLiteral("%1: %2\n\n")
                      .arg(QLatin1String(program), QString::fromUtf8(escapedText(parsed.error))) +
                  parser.helpText());
        return 2;
    case CommandLineAction::Run:
        break;
    }
    return 0;
}

// Copies the table's options from a parser that accepted the command line.
void readOptions(const QCommandLineParser& parser, ParsedCommandLine& parsed)
{
    for (const ValueOption& option : kValueOptions) {
        const QString name = QString::fromLatin1(option.name);
        parsed.options.*option.member = parser.value(name);
        // "--prefix=" must not quietly fall back to the default.
        if (parser.isSet(name) && parser.value(name).isEmpty()) {
            parsed.action = CommandLineAction::UsageError;
            parsed.error = QStringLiteral("--%1 needs a value").arg(name);
        }
    }
    for (const Switch& option : kSwitches)
        parsed.options.*option.member = parser.isSet(QString::fromLatin1(option.name));
}

// Options that only mean something together; the first conflict found, or empty.
QString conflictIn(const NixoraOptions& options)
{
    const bool listing = options.list || options.listBackups || options.listPrefixes;
    const bool removal = options.removePhantoms || options.removeStaleMenuEntries;
    const int commands = int(options.removePhantoms) + int(options.listMenuEntries) +
                         int(options.removeStaleMenuEntries);
    if (options.dryRun && !removal)
        return QStringLiteral("--dry-run needs --remove-phantoms or --remove-stale-menu-entries");
    if (options.allPrefixes && commands == 0)
        return QStringLiteral("--all-prefixes needs --remove-phantoms, --list-menu-entries or "
                              "--remove-stale-menu-entries");
    if (options.allPrefixes && !options.prefix.isEmpty())
        return QStringLiteral("--all-prefixes and --prefix exclude each other");
    if (commands > 1)
        return QStringLiteral("--remove-phantoms, --list-menu-entries and "
                              "--remove-stale-menu-entries exclude each other");
    if (commands > 0 && listing)
        return QStringLiteral("--remove-phantoms, --list-menu-entries and "
                              "--remove-stale-menu-entries cannot be combined with a listing");
    if (options.outputFormat != OutputFormat::Tsv && options.outputFormat != OutputFormat::Json)
        return QStringLiteral("--format must be tsv or json, not '%1'").arg(options.format);
    if (!options.format.isEmpty() && !options.headless())
        return QStringLiteral("--format needs a listing or a removal");
    return {};
}

} // namespace

ParsedCommandLine parseNixoraCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    addNixoraOptions(parser);

    ParsedCommandLine parsed;
    if (!parser.parse(arguments)) {
        parsed.action = CommandLineAction::UsageError;
        parsed.error = parser.errorText();
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.action = CommandLineAction::UsageError;
        parsed.error = QStringLiteral("unexpected argument '%1'")
                           .arg(parser.positionalArguments().constFirst());
        return parsed;
    }
    if (parser.isSet(QStringLiteral("help")))
        parsed.action = CommandLineAction::Help;
    else if (parser.isSet(QStringLiteral("version")))
        parsed.action = CommandLineAction::Version;
    readOptions(parser, parsed);
    if (!parsed.options.format.isEmpty())
        parsed.options.outputFormat = outputFormatNamed(parsed.options.format);
    if (parsed.action == CommandLineAction::Run) {
        parsed.error = conflictIn(parsed.options);
        if (!parsed.error.isEmpty())
            parsed.action = CommandLineAction::UsageError;
    }
    return parsed;
}

int reportCommandLine(const ParsedCommandLine& parsed)
{
    QCommandLineParser parser;
    addNixoraOptions(parser);
    return report(parser, parsed, "nixora");
}

ParsedCommandLine parseRegeditCommandLine(const QStringList& arguments)
{
    // Only a lone --help or --version is ours: anything else, even a file named "-x", belongs to
    // the /E and /S forms.
    ParsedCommandLine parsed;
    if (arguments.size() != 2)
        return parsed;
    const QString& only = arguments.at(1);
    if (only == QLatin1String("--help") || only == QLatin1String("-h"))
        parsed.action = CommandLineAction::Help;
    else if (only == QLatin1String("--version") || only == QLatin1String("-v"))
        parsed.action = CommandLineAction::Version;
    return parsed;
}

int reportRegeditCommandLine(const ParsedCommandLine& parsed)
{
    QCommandLineParser parser;
    addCommonOptions(parser, kRegeditDescription);
    return report(parser, parsed, "nixora-regedit");
}

bool windowCanOpen()
{
    const auto set = [](const char* name) { return !qEnvironmentVariableIsEmpty(name); };
    const QString platforms = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platforms.isEmpty())
        return set("DISPLAY") || set("WAYLAND_DISPLAY");
    // "wayland;xcb" names fallbacks tried in turn; ":options" follow a name.
    for (const QString& entry : platforms.split(u';', Qt::SkipEmptyParts)) {
        const QString name = entry.section(u':', 0, 0).trimmed();
        if (name == QLatin1String("xcb")) {
            if (set("DISPLAY"))
                return true;
        } else if (name.startsWith(QLatin1String("wayland"))) {
            if (set("WAYLAND_DISPLAY"))
                return true;
        } else {
            return true; // offscreen, minimal, vnc, eglfs, linuxfb: no display server needed
        }
    }
    return false;
}

} // namespace nixora
