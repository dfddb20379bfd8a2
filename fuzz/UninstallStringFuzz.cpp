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
    ListViewModel list;
    ListRow* row = list.addRow(QStringLiteral("rekisteriavainX"), QStringLiteral("X"));
    TarkistaPoistoohjelmanTiedostot(list, row, command, files, true);
    const bool phantom = row->cells[0].foreColor == kPhantomColor;
    if (phantom && files.misses == 0)
        return QStringLiteral("a phantom without a missing file");
    if (!command.contains(QStringLiteral(":\\")) && (phantom || files.questions > 0))
        return QStringLiteral("a command without a drive path was checked against files");
    if (row->cells[0].toolTip.isEmpty())
        return QStringLiteral("no verdict recorded");
    return {};
}

} // namespace nixora::fuzz
