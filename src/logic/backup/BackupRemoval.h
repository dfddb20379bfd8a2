#pragma once

#include "DurableFile.h"
#include "Workspace.h"
#include "mdlProsessi.h"

namespace nixora
{

// What a backup of the selected entry is for: Poisto deletes its key afterwards,
// PaivitaOhjelmalista refills the entry list at the end.
struct BackupRequest {
    bool Poisto = false;
    bool PaivitaOhjelmalista = false;
};

// Backs the selected entry up with the registry editor and, when Poisto is set, deletes its key.
// True when the backup file was written and reads back as the key; its path then goes to
// `backupFile` when given. An entry that cannot be backed up at all (the backup folder is a
// link, the entry is too large, the file does not read back) is never deleted.
bool VarmuuskopioiRekisteriavain(Workspace& ctx, BackupRequest request,
                                 QString* backupFile = nullptr);

void mPoistaRekisterista_Click(Workspace& ctx); // "&Remove Entry..."
void mVarmuuskopioi_Click(Workspace& ctx);      // "&Backup Entry"

// Shared by backup, restore and delete.
// A new backup file, created exclusively and holding `bytes`, or why there is none.
struct NewBackup {
    QString path;
    FileStamp stamp; // the file this process wrote; only that one is ever deleted again
    QString error;

    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};
// The file is named for `now`: yyyymmddhhnnss.reg, or yyyymmddhhnnss_2.reg, _3, ... when that
// name is taken (`suffix` instead of .reg for other kinds of backup), so that two backups in one
// second never replace each other. Each name is taken by creating the file: one that appears
// meanwhile is never replaced. The search starts at suffix `firstFree` (1 is the plain name) and
// moves it past the name used, so a thousand backups in one second do not test every name taken
// before them.
[[nodiscard]] NewBackup createBackupFile(const QString& backupFolder, const QDateTime& now,
                                         int& firstFree, const QByteArray& bytes,
                                         const QString& suffix = QStringLiteral(".reg"));
// Writes the entry's backup in this process, byte for byte as nixora-regedit /E writes it, into
// a new file, and reads it back as a restore would. On failure `error` says why there is no
// backup, and the file is gone.
[[nodiscard]] NewBackup writeVerifiedBackup(Registry& registry, const QString& backupFolder,
                                            const QDateTime& now, int& firstFree,
                                            const EntrySource& source, const QString& subkey);
// The registry editor as a hidden child process with an argument list, on the prefix, waited for.
[[nodiscard]] ChildResult runRegeditProgram(const Services& services, const QStringList& arguments);
// True when an ordinary file (or a link to one) is at the path.
[[nodiscard]] bool backupFileExists(const QString& path);
// A read-only file (no write permission bit at all), which Windows would refuse to delete.
[[nodiscard]] bool isReadOnlyBackupFile(const QString& path);
// Deletes a backup file as Windows would: a read-only file is refused. True when the file is
// gone afterwards.
[[nodiscard]] bool deleteBackupFile(const QString& path);

} // namespace nixora
