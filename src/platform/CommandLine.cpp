#include "mdlProsessi.h"

#include "TextUtil.h"

namespace nixora
{

// The rules of the Microsoft C runtime since 2008: 2n backslashes before a quote give n
// backslashes and the quote opens or closes quoted text, 2n+1 give n backslashes and a literal
// quote; other backslashes are literal; inside quoted text a doubled quote is a literal quote.
QStringList splitWindowsCommandLine(const QString& commandLine)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    const qsizetype size = commandLine.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = commandLine[i];
        if (isBlank(c) && !quoted) {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == u'\\') {
            qsizetype next = i;
            while (next < size && commandLine[next] == u'\\')
                ++next;
            const qsizetype count = next - i;
            const bool beforeQuote = next < size && commandLine[next] == u'"';
            current += QString(beforeQuote ? count / 2 : count, u'\\');
            if (beforeQuote && count % 2 == 1) {
                current += u'"';
                i = next;
            } else {
                i = next - 1; // a quote after an even run is read by the next round
            }
            continue;
        }
        if (c == u'"') {
            if (quoted && i + 1 < size && commandLine[i + 1] == u'"') {
                current += u'"';
                ++i;
            } else {
                quoted = !quoted;
            }
            continue;
        }
        current += commandLine[i];
    }
    if (inArgument)
        arguments.append(current);
    return arguments;
}

} // namespace nixora
