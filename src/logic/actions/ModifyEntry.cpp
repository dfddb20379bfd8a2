#include "actions/ModifyEntry.h"

#include "Settings.h"
#include "TextUtil.h"
#include "backup/BackupRemoval.h"
#include "mdlPoisto.h"

namespace nixora
{
namespace
{

// One field: the plain value is rewritten only when it exists; the quiet value only when its
// current text matches what the list showed, ignoring letter case and surrounding blanks. A
// missing quiet value reads "Not Found", so a shown text of "Not Found" creates it.
void writeField(Registry& registry, const SelectedEntry& entry, const QString& plainName,
                const QString& quietName, const QString& edited, const QString& shown)
{
    const EntrySource& source = entrySource(entry.SelectedEntrySource);
    const QString readPath = source.entryPath(entry.SelectedEntryKey);
    const QString writePath = readPath + u'\\';
    const QString newText = trimBlanks(edited);

    if (mdlPoisto::LueRekisteriarvo(registry, source.root, readPath, plainName) !=
        mdlPoisto::kNotFound)
        mdlPoisto::KirjoitaRekisteriarvo(registry, source.root, writePath, plainName, kRegSz,
                                         newText);

    const QString quiet = mdlPoisto::LueRekisteriarvo(registry, source.root, readPath, quietName);
    if (trimBlanks(quiet.toLower()) == trimBlanks(shown.toLower()))
        mdlPoisto::KirjoitaRekisteriarvo(registry, source.root, writePath, quietName, kRegSz,
                                         newText);
}

} // namespace

bool modifyBackupPreference(Registry& registry)
{
    return settings::readPreference(registry, settings::kMuokkausvarmuuskopio);
}

void applyModifiedEntry(Workspace& ctx, const ModifiedTexts& texts, bool backupFirst)
{
    // The user asked for the original data to be kept: when the backup fails (the backup has
    // said so), the entry is left as it was rather than overwritten without a copy.
    const bool mayWrite = !backupFirst || VarmuuskopioiRekisteriavain(ctx, false, false);
    Registry& registry = *ctx.services.registry;
    settings::writePreference(registry, settings::kMuokkausvarmuuskopio, backupFirst);
    if (!mayWrite)
        return;

    const SelectedEntry& entry = ctx.state.entry;
    if (!entry.SelectedEntryNameLocked)
        writeField(registry, entry, QStringLiteral("DisplayName"),
                   QStringLiteral("QuietDisplayName"), texts.name, entry.SelectedEntryName);
    if (!entry.SelectedEntryUninstallerLocked)
        writeField(registry, entry, QStringLiteral("UninstallString"),
                   QStringLiteral("QuietUninstallString"), texts.uninstaller,
                   entry.SelectedEntryUninstaller);
    if (!entry.SelectedEntryVersionLocked)
        writeField(registry, entry, QStringLiteral("DisplayVersion"),
                   QStringLiteral("QuietDisplayVersion"), texts.version,
                   entry.SelectedEntryVersion);
}

} // namespace nixora
