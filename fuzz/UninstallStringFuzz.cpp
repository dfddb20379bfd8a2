#include "FuzzTargets.h"

#include "inventory/UninstallStringCheck.h"

#include <QSet>
#include <QStringList>

namespace nixora::fuzz
{
namespace
{

// The files that exist are the input's further lines, compared without regard to case.
class GeneratedFiles final : public FileQuery
{
public:
    explicit GeneratedFiles(const QStringList& existing)
    {
        for (const QString& path : existing)
            m_existing.insert(path.toCaseFolded());
    }
    [[nodiscard]] std::optional<QString> findFirstFile(const QString& windowsPath) override
    {
        ++questions;
        if (m_existing.contains(windowsPath.toCaseFolded()))
            return windowsPath.section(u'\\', -1);
        ++misses;
        return std::nullopt;
    }
    qint64 questions = 0;
    qint64 misses = 0;

private:
    QSet<QString> m_existing;
};

} // namespace

QString uninstallString(QByteArrayView input)
{
    QStringList lines = QString::fromUtf8(input).split(u'\n');
    const QString command = lines.takeFirst();
    GeneratedFiles files(lines);
    const UninstallStringCheck check = checkUninstallString(command, files);
    const bool phantom = check.outcome == UninstallStringCheck::Outcome::Missing;
    if (phantom && files.misses == 0)
        return QStringLiteral("a phantom without a missing file");
    if (phantom && check.missingPath.isEmpty())
        return QStringLiteral("a phantom without the path it missed");
    if (!command.contains(QStringLiteral(":\\")) && (phantom || files.questions > 0))
        return QStringLiteral("a command without a drive path was checked against files");
    if ((check.outcome == UninstallStringCheck::Outcome::Plain) != command.isEmpty())
        return QStringLiteral("a plain verdict for a command that is not empty");
    return {};
}

} // namespace nixora::fuzz
