#include "inventory/UninstallStringCheck.h"

#include "TextUtil.h"
#include "inventory/EntryTags.h"

namespace nixora
{
namespace
{

const QString kDriveSeparator = QStringLiteral(":\\");

enum class Outcome { NextPiece, Restart, Phantom, Nested };

// One check of one command text. The file system is asked afresh at every step; nothing is
// remembered between queries, because a step may change the piece that the next one asks about.
class PieceScan
{
public:
    explicit PieceScan(FileQuery& files) : m_files(files) {}

    // Scans the pieces of `text`. Nested means the verdict is handed on to remembered().
    [[nodiscard]] Outcome run(const QString& text)
    {
        m_pieces = text.split(u'"', Qt::KeepEmptyParts);
        m_remembered.clear();
        for (;;) {
            const qsizetype last = m_pieces.size() - 1;
            Outcome outcome = Outcome::NextPiece;
            for (qsizetype i = 0; i <= last && outcome == Outcome::NextPiece; ++i)
                outcome = examine(m_pieces[i]);
            if (outcome != Outcome::Restart)
                return outcome;
        }
    }

    [[nodiscard]] const QString& remembered() const { return m_remembered; }
    [[nodiscard]] const QString& missing() const { return m_missing; }

private:
    [[nodiscard]] bool exists(const QString& path)
    {
        return m_files.findFirstFile(path).has_value();
    }

    [[nodiscard]] Outcome examine(QString& piece)
    {
        piece = trimSpaces(piece);
        if (!piece.contains(kDriveSeparator) || !piece.contains(u'.'))
            return Outcome::NextPiece;
        cutOption(piece, QStringLiteral(" -"));
        cutOption(piece, QStringLiteral(" /"));
        cutBeforeDrive(piece);
        if (piece.contains(u',') && !exists(piece))
            piece = trimSpaces(piece.left(piece.indexOf(u',')));
        if (cutAtSpace(piece))
            return Outcome::Restart;
        if (!exists(piece)) {
            m_missing = piece;
            return Outcome::Phantom;
        }
        return m_remembered.isEmpty() ? Outcome::NextPiece : Outcome::Nested;
    }

    // "-fC:\dir\file.isu" style options: the option letter is skipped and what follows it is
    // kept as an argument that may name the real file.
    void cutOption(QString& piece, const QString& separator)
    {
        const qsizetype at = piece.indexOf(separator);
        if (at < 0 || exists(piece))
            return;
        const QString tail = piece.mid(at + 3);
        if (tail.contains(kDriveSeparator) || tail.contains(u'.'))
            m_remembered = u'"' + tail + u'"';
        piece = trimSpaces(piece.left(at));
    }

    void cutBeforeDrive(QString& piece)
    {
        const qsizetype at = piece.indexOf(kDriveSeparator);
        if (at >= 2 && !exists(piece))
            piece = trimSpaces(piece.mid(at - 1));
    }

    // Returns true when the scan has to start again on the (possibly replaced) piece list.
    [[nodiscard]] bool cutAtSpace(QString& piece)
    {
        if (!piece.contains(kDriveSeparator) || !piece.contains(u' ') || exists(piece))
            return false;
        const qsizetype space = piece.indexOf(u' ');
        const QString tail = piece.mid(space + 1);
        if (tail.contains(kDriveSeparator)) {
            if (!exists(tail)) {
                piece = tail;
            } else {
                const QString whole = piece;
                m_pieces = whole.split(u' ', Qt::KeepEmptyParts);
            }
            return true;
        }
        if (!tail.contains(u' '))
            piece = trimSpaces(piece.left(space));
        return false;
    }

    FileQuery& m_files;
    QStringList m_pieces;
    QString m_remembered;
    QString m_missing;
};

} // namespace

UninstallStringCheck checkUninstallString(const QString& text, FileQuery& files)
{
    // The nested check on a remembered argument is the last thing a check does, so it runs as
    // the next turn of this loop rather than as a recursive call.
    QString current = text;
    for (;;) {
        if (current.isEmpty())
            return {};
        PieceScan scan(files);
        switch (scan.run(current)) {
        case Outcome::Phantom:
            return {UninstallStringCheck::Outcome::Missing, scan.missing()};
        case Outcome::Nested:
            current = scan.remembered();
            continue;
        default:
            return {UninstallStringCheck::Outcome::Found, {}};
        }
    }
}

const QString& toolTipFor(UninstallStringCheck::Outcome outcome)
{
    switch (outcome) {
    case UninstallStringCheck::Outcome::Found:
        return tags::kTipFound;
    case UninstallStringCheck::Outcome::Missing:
        return tags::kTipMissing;
    case UninstallStringCheck::Outcome::Plain:
        break;
    }
    return tags::kTipPlain;
}

void TarkistaPoistoohjelmanTiedostot(ListViewModel& list, ListRow* row, const QString& text,
                                     FileQuery& files, bool boldPhantoms)
{
    const UninstallStringCheck::Outcome outcome = checkUninstallString(text, files).outcome;
    const bool phantom = outcome == UninstallStringCheck::Outcome::Missing;
    for (int column = 0; column < 3; ++column) {
        list.setToolTip(row, column, toolTipFor(outcome));
        if (phantom) {
            list.setForeColor(row, column, kPhantomColor);
            list.setBold(row, column, boldPhantoms);
        }
    }
}

} // namespace nixora
