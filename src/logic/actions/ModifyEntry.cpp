#include "actions/ModifyEntry.h"

#include "EntrySource.h"
#include "Settings.h"
#include "TextUtil.h"
#include "backup/BackupList.h"
#include "backup/BackupRemoval.h"
#include "mdlPoisto.h"

#include <QFile>

namespace nixora
{
namespace
{

// What the field writes did: how many values were stored, and the first refusal (writing
// stops there).
struct FieldWrites {
    int stored = 0;
    RegResult failure = RegResult::success();

    void store(Registry& registry, RegRoot root, const QString& path, const QString& name,
               const QString& text)
    {
        if (!failure.ok())
            return;
        failure = registry.setValue(root, path, name, makeStringValue(text));
        stored += failure.ok() ? 1 : 0;
    }
};

// One field: the plain value is rewritten only when it exists; the quiet value only when its
// current text matches what the list showed, ignoring letter case and surrounding blanks. A
// missing quiet value reads "Not Found", so a shown text of "Not Found" creates it.
void writeField(Registry& registry, const SelectedEntry& entry, const QString& plainName,
                const QString& quietName, const QString& edited, const QString& shown,
                FieldWrites& writes)
{
    const EntrySource& source = entrySource(entry.SelectedEntrySource);
    const QString readPath = source.entryPath(entry.SelectedEntryKey);
    const QString writePath = readPath + u'\\';
    const QString newText = trimSpaces(edited);

    if (mdlPoisto::LueRekisteriarvo(registry, source.root, readPath, plainName) !=
        mdlPoisto::kNotFound)
        writes.store(registry, source.root, writePath, plainName, newText);

    const QString quiet = mdlPoisto::LueRekisteriarvo(registry, source.root, readPath, quietName);
    if (trimSpaces(quiet.toLower()) == trimSpaces(shown.toLower()))
        writes.store(registry, source.root, writePath, quietName, newText);
}

void showRefusedChange(Workspace& ctx, const RegResult& result)
{
    UiServices& ui = *ctx.services.ui;
    const int pointer = ui.mousePointer();
    ui.setMousePointer(kPointerDefault);
    ui.messageBox({QStringLiteral("The program entry '") + ctx.state.entry.SelectedEntryName +
                       QStringLiteral("'\ncannot be modified.\n\n") + result.message,
                   QStringLiteral("Error"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
    ui.setMousePointer(pointer);
}

} // namespace

bool modifyBackupPreference(Registry& registry)
{
    return settings::readPreference(registry, settings::kMuokkausvarmuuskopio);
}

void applyModifiedEntry(Workspace& ctx, const ModifiedTexts& texts, bool backupFirst)
{
    Registry& registry = *ctx.services.registry;
    // Checked before the backup, so that a change that cannot happen leaves no backup behind.
    if (const RegResult writable = registry.checkWritable(); !writable.ok()) {
        showRefusedChange(ctx, writable);
        return;
    }
    // The user asked for the original data to be kept: when the backup fails (the backup has
    // said so), the entry is left as it was rather than overwritten without a copy.
    QString backupFile;
    const bool mayWrite =
        !backupFirst || VarmuuskopioiRekisteriavain(ctx, false, false, &backupFile);
    settings::writePreference(*ctx.services.settings, settings::kMuokkausvarmuuskopio, backupFirst);
    if (!mayWrite)
        return;

    const SelectedEntry& entry = ctx.state.entry;
    FieldWrites writes;
    if (!entry.SelectedEntryNameLocked)
        writeField(registry, entry, QStringLiteral("DisplayName"),
                   QStringLiteral("QuietDisplayName"), texts.name, entry.SelectedEntryName, writes);
    if (!entry.SelectedEntryUninstallerLocked)
        writeField(registry, entry, QStringLiteral("UninstallString"),
                   QStringLiteral("QuietUninstallString"), texts.uninstaller,
                   entry.SelectedEntryUninstaller, writes);
    if (!entry.SelectedEntryVersionLocked)
        writeField(registry, entry, QStringLiteral("DisplayVersion"),
                   QStringLiteral("QuietDisplayVersion"), texts.version, entry.SelectedEntryVersion,
                   writes);
    if (writes.failure.ok())
        return;
    if (writes.stored == 0 && !backupFile.isEmpty()) {
        QFile::remove(backupFile);
        ctx.view().fillBackups();
    }
    showRefusedChange(ctx, writes.failure);
}

} // namespace nixora
