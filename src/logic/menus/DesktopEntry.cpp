#include "menus/DesktopEntry.h"

#include <QSet>

#include <algorithm>

namespace nixora::menus
{
namespace
{

// Up to this many keys, a repeated key is looked for among them one by one.
constexpr size_t kFewKeys = 16;

// The string escapes of the Desktop Entry format; an unknown escape is kept as written.
QString decodeString(const QString& raw)
{
    if (!raw.contains(u'\\'))
        return raw;
    QString text;
    text.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != u'\\' || i + 1 == raw.size()) {
            text += c;
            continue;
        }
        const QChar next = raw.at(++i);
        if (next == u's')
            text += u' ';
        else if (next == u'n')
            text += u'\n';
        else if (next == u't')
            text += u'\t';
        else if (next == u'r')
            text += u'\r';
        else if (next == u'\\')
            text += u'\\';
        else
            text += u'\\' + QString(next);
    }
    return text;
}

// Splits an Exec value into arguments. Wine escapes each reserved character with a backslash
// instead of quoting; the quoted form other writers use is read too.
QStringList splitExec(const QString& exec)
{
    QStringList arguments;
    QString current;
    bool inQuotes = false;
    bool started = false;
    qsizetype plain = 0; // where the run of ordinary characters not yet in `current` begins
    const auto take = [&](qsizetype end) {
        current.append(QStringView(exec).mid(plain, end - plain));
    };
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        const bool blank = (c == u' ' || c == u'\t') && !inQuotes;
        if (c != u'"' && !blank && (c != u'\\' || i + 1 == exec.size())) {
            started = true;
            continue;
        }
        take(i);
        plain = i + 1;
        if (c == u'\\') {
            ++i; // the escaped character starts the next run
            started = true;
        } else if (c == u'"') {
            inQuotes = !inQuotes;
            started = true;
        } else {
            if (started)
                arguments << current;
            current.clear();
            started = false;
        }
    }
    take(exec.size());
    if (started)
        arguments << current;
    return arguments;
}

[[nodiscard]] bool isLoader(const QString& program)
{
    return QStringView(program).mid(program.lastIndexOf(u'/') + 1).startsWith(u"wine");
}

struct FormKeys {
    QStringList required;
    QStringList optional;
    std::vector<std::pair<QString, QString>> fixed;
};

const FormKeys& keysOf(EntryForm form)
{
    static const FormKeys shortcut{{QStringLiteral("Name"), QStringLiteral("Exec"),
                                    QStringLiteral("Type"), QStringLiteral("StartupNotify")},
                                   {QStringLiteral("Comment"), QStringLiteral("Path"),
                                    QStringLiteral("Icon"), QStringLiteral("StartupWMClass")},
                                   {{QStringLiteral("Type"), QStringLiteral("Application")},
                                    {QStringLiteral("StartupNotify"), QStringLiteral("true")}}};
    static const FormKeys association{
        {QStringLiteral("Type"), QStringLiteral("Name"), QStringLiteral("MimeType"),
         QStringLiteral("Exec"), QStringLiteral("NoDisplay"), QStringLiteral("StartupNotify")},
        {QStringLiteral("Icon")},
        {{QStringLiteral("Type"), QStringLiteral("Application")},
         {QStringLiteral("NoDisplay"), QStringLiteral("true")},
         {QStringLiteral("StartupNotify"), QStringLiteral("true")}}};
    static const FormKeys directory{
        {QStringLiteral("Type"), QStringLiteral("Name"), QStringLiteral("Icon")},
        {},
        {{QStringLiteral("Type"), QStringLiteral("Directory")}}};
    switch (form) {
    case EntryForm::Shortcut:
        return shortcut;
    case EntryForm::Association:
        return association;
    case EntryForm::Directory:
        break;
    }
    return directory;
}

} // namespace

QString DesktopEntry::value(const QString& key) const
{
    for (const auto& [name, text] : keys) {
        if (name == key)
            return text;
    }
    return {};
}

bool DesktopEntry::has(const QString& key) const
{
    return std::any_of(keys.begin(), keys.end(),
                       [&](const auto& item) { return item.first == key; });
}

std::optional<DesktopEntry> parseDesktopEntry(const QByteArray& bytes)
{
    qsizetype end = bytes.indexOf('\n');
    if (QByteArrayView(bytes).first(end < 0 ? bytes.size() : end) != "[Desktop Entry]")
        return std::nullopt;
    DesktopEntry entry;
    QSet<QString> seen; // only for the long files of other programs
    while (end >= 0) {
        const qsizetype start = end + 1;
        end = bytes.indexOf('\n', start);
        const QByteArrayView line =
            QByteArrayView(bytes).sliced(start, (end < 0 ? bytes.size() : end) - start);
        if (line.isEmpty())
            continue;
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('[') || equals <= 0)
            return std::nullopt;
        QString key = QString::fromUtf8(line.first(equals));
        if (entry.keys.size() >= kFewKeys && seen.isEmpty())
            for (const auto& [name, text] : entry.keys)
                seen.insert(name);
        if (seen.isEmpty() ? entry.has(key) : seen.contains(key))
            return std::nullopt;
        if (!seen.isEmpty())
            seen.insert(key);
        entry.keys.emplace_back(std::move(key),
                                decodeString(QString::fromUtf8(line.sliced(equals + 1))));
    }
    return entry;
}

std::optional<WineCommand> parseWineExec(const QString& exec)
{
    QStringList arguments = splitExec(exec);
    WineCommand command;
    if (arguments.size() >= 2 && arguments.first() == u"env" &&
        arguments.at(1).startsWith(QStringLiteral("WINEPREFIX="))) {
        command.prefix = arguments.at(1).mid(11);
        arguments.remove(0, 2);
    }
    if (arguments.isEmpty() || !isLoader(arguments.first()))
        return std::nullopt;
    command.loader = arguments.takeFirst();
    if (arguments.isEmpty())
        return std::nullopt;
    command.arguments = arguments;
    return command;
}

bool hasWineKeys(const DesktopEntry& entry, EntryForm form)
{
    const FormKeys& keys = keysOf(form);
    for (const QString& key : keys.required) {
        if (!entry.has(key))
            return false;
    }
    for (const auto& [key, text] : entry.keys) {
        if (!keys.required.contains(key) && !keys.optional.contains(key))
            return false;
    }
    for (const auto& [key, text] : keys.fixed) {
        if (entry.value(key) != text)
            return false;
    }
    return true;
}

} // namespace nixora::menus
