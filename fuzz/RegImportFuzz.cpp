#include "FuzzTargets.h"
#include "ScratchPrefix.h"

#include "HiveFile.h"
#include "RegFileReader.h"
#include "RegeditTool.h"
#include "WineRegistry.h"

#include <memory>

namespace nixora::fuzz
{
namespace
{

QString checkSuccess(const QByteArray& input, ScratchPrefix& prefix)
{
    if (!parseRegText(input).ok())
        return QStringLiteral("a file the parser refuses was imported");
    for (const char* name : {"system.reg", "user.reg"}) {
        if (!HiveFile::parse(ScratchPrefix::read(prefix.file(name))))
            return QStringLiteral("%1 no longer parses after an import").arg(QLatin1String(name));
    }
    const std::vector<RegChange> changes = parseRegText(input).changes;
    if (changes.empty() || changes.back().kind != RegChange::Kind::SetValue)
        return {};
    // The last change of a file is never overridden by a later one: it must be there.
    const RegChange& last = changes.back();
    WineRegistry reader{Prefix(prefix.path())};
    const std::optional<RegValue> stored = reader.queryValue(last.root, last.path, last.name);
    if (!stored || !(*stored == last.value))
        return QStringLiteral("the last value of an imported file is not stored: %1 %2")
            .arg(last.path, last.name);
    return {};
}

} // namespace

QString regImport(QByteArrayView input)
{
    ScratchPrefix& prefix = scratch();
    const QString regFile = prefix.file("input.reg");
    const QByteArray bytes = input.toByteArray();
    ScratchPrefix::write(regFile, bytes);
    QString failure;
    {
        WineRegistry registry{Prefix(prefix.path())};
        const RegeditOutcome outcome = importRegFile(registry, regFile);
        if (!outcome.ok() && !prefix.untouched())
            failure = QStringLiteral("a refused import changed a hive: ") + outcome.error;
        else if (outcome.ok())
            failure = checkSuccess(bytes, prefix);
    }
    prefix.reset();
    return failure;
}

} // namespace nixora::fuzz
