#include "RegeditTool.h"

#include "RegFileReader.h"
#include "RegFileWriter.h"

#include "DurableFile.h"

namespace nixora
{
namespace
{

[[nodiscard]] RegeditOutcome failure(const QString& fileName, const QString& what, int line = 0)
{
    const QString where = line > 0 ? QStringLiteral("%1:%2").arg(fileName).arg(line) : fileName;
    return {kRegeditFailed, where + QStringLiteral(": ") + what};
}

[[nodiscard]] bool isSwitch(const QString& argument, QChar letter)
{
    return argument.size() == 2 && (argument[0] == u'/' || argument[0] == u'-') &&
           argument[1].toUpper() == letter;
}

} // namespace

RegeditOutcome exportRegFile(Registry& registry, const QString& fileName, const QString& key)
{
    const auto path = parseRegKeyPath(key);
    if (!path)
        return failure(fileName, QStringLiteral("not a registry key: %1").arg(key));
    const auto snapshot = registry.exportKey(path->root, path->path);
    if (!snapshot && !registry.keyExists(path->root, path->path))
        return failure(fileName, QStringLiteral("key not found: %1").arg(key));
    const RegExportText text =
        snapshot ? writeRegText(path->root, path->path, *snapshot) : RegExportText{};
    if (!text.ok())
        return failure(fileName, text.error);
    if (!snapshot || text.bytes.size() > kMaxRegFileSize)
        return {kRegeditTooLarge,
                fileName + QStringLiteral(": key too large to export (more than %1 bytes or %2 "
                                          "levels): %3")
                               .arg(kMaxRegFileSize)
                               .arg(kMaxKeyDepth)
                               .arg(key)};
    if (const QString error = replaceFileDurably(fileName, text.bytes); !error.isEmpty())
        return failure(fileName, error);
    return {};
}

RegeditOutcome importRegFile(Registry& registry, const QString& fileName)
{
    const RegParseResult parsed = readRegFile(fileName);
    if (!parsed.ok())
        return failure(fileName, parsed.error, parsed.errorLine);
    const RegResult applied = registry.apply(parsed.changes);
    if (applied.ok())
        return {};
    RegeditOutcome outcome =
        failure(fileName, applied.message.isEmpty() ? QStringLiteral("registry write failed")
                                                    : applied.message);
    if (!applied.landed.empty())
        outcome.exitStatus = kRegeditPartlyApplied;
    return outcome;
}

RegeditOutcome runRegedit(Registry& registry, const QStringList& arguments)
{
    if (arguments.size() == 3 && isSwitch(arguments[0], u'E'))
        return exportRegFile(registry, arguments[1], arguments[2]);
    if (arguments.size() == 2 && isSwitch(arguments[0], u'S'))
        return importRegFile(registry, arguments[1]);
    return {kRegeditUsage, QStringLiteral("usage: nixora-regedit /E file key | /S file")};
}

} // namespace nixora
