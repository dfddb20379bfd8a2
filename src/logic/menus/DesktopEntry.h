#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace nixora::menus
{

// The [Desktop Entry] group of a .desktop or .directory file: its keys in file order with their
// values as strings (the \s \n \t \r \\ escapes decoded). Nothing when the file has another
// group, a line that is not key=value, or a key twice: none of that is Wine's writing.
struct DesktopEntry {
    std::vector<std::pair<QString, QString>> keys;

    [[nodiscard]] QString value(const QString& key) const;
    [[nodiscard]] bool has(const QString& key) const;
};
[[nodiscard]] std::optional<DesktopEntry> parseDesktopEntry(const QByteArray& bytes);

// The command of an Exec line as Wine's menu builder writes it:
//   env WINEPREFIX="<prefix>" wine <program or shortcut> <arguments>
// (Debian's Wine writes wine-stable; the loader is any program whose name starts with "wine").
// The prefix is empty when the line has no WINEPREFIX (Wine's default prefix, ~/.wine).
struct WineCommand {
    QString prefix;
    QString loader;
    QStringList arguments; // unescaped, without the loader
};
[[nodiscard]] std::optional<WineCommand> parseWineExec(const QString& exec);

// The kinds of file Wine writes in the [Desktop Entry] form, each with its own set of keys.
enum class EntryForm { Shortcut, Association, Directory };
// True when the entry has every key Wine always writes for that form, with the fixed values
// it writes, and no key Wine never writes there. A user's own launcher for a Wine program has
// other keys (Categories, Terminal, Version...) or lacks some, and is never taken for Wine's.
// (The Exec line's own form is parseWineExec's to judge.)
[[nodiscard]] bool hasWineKeys(const DesktopEntry& entry, EntryForm form);

} // namespace nixora::menus
