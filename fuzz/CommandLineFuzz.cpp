#include "FuzzTargets.h"

#include "mdlProsessi.h"

#include <algorithm>

namespace nixora::fuzz
{
namespace
{

// Quotes one argument so that the C runtime's rules read it back unchanged.
QString quoteArgument(const QString& argument)
{
    QString out = QStringLiteral("\"");
    qsizetype backslashes = 0;
    for (QChar c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            out += QString(backslashes * 2 + 1, u'\\') + u'"';
        } else {
            out += QString(backslashes, u'\\') + c;
        }
        backslashes = 0;
    }
    out += QString(backslashes * 2, u'\\') + u'"';
    return out;
}

} // namespace

QString commandLine(QByteArrayView input)
{
    const QString line = QString::fromUtf8(input);
    const QStringList arguments = splitWindowsCommandLine(line);
    QStringList quoted;
    for (const QString& argument : arguments)
        quoted.append(quoteArgument(argument));
    const QStringList again = splitWindowsCommandLine(quoted.join(u' '));
    if (again != arguments)
        return QStringLiteral("re-quoted arguments split differently: %1 vs %2")
            .arg(arguments.join(u'|'), again.join(u'|'));
    const bool onlyBlanks =
        std::all_of(line.begin(), line.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
    if (onlyBlanks != arguments.isEmpty())
        return QStringLiteral("arguments do not match the blanks of the line");
    return {};
}

} // namespace nixora::fuzz
