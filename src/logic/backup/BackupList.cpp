#include "backup/BackupList.h"

#include "RegularFile.h"
#include "TextUtil.h"
#include "backup/BackupCheck.h"
#include "menus/MenuBackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>

namespace nixora
{
namespace
{

const QString kRowToolTip = QStringLiteral("Right-click an entry for a menu.");
const QString kDisplayName = QStringLiteral("DisplayName=");
const QString kQuietDisplayName = QStringLiteral("QuietDisplayName=");
const QString kDisplayVersion = QStringLiteral("DisplayVersion=");
const QString kMenuFilesVersion = QStringLiteral("(menu files)");

// The key header of an entry's backup, from any source: "[HKEY_...\Uninstall\".
const std::array<QString, 3> kUninstallHeaders{
    u'[' + entrySource(SourceKind::Machine).entryKeyName(QString()),
    u'[' + entrySource(SourceKind::Machine32).entryKeyName(QString()),
    u'[' + entrySource(SourceKind::User).entryKeyName(QString()),
};

[[nodiscard]] qsizetype uninstallHeaderSize(const QString& line)
{
    for (const QString& header : kUninstallHeaders) {
        if (line.startsWith(header))
            return header.size();
    }
    return 0;
}

// Quotes go first; then the first prefix that matches decides. Nothing is unescaped, so a
// backslash in a value shows doubled, as the export writes it.
void applyLine(QByteArray line, BackupFileInfo& info)
{
    line.replace('"', QByteArray());
    const QString text = QString::fromUtf8(line);
    if (text.startsWith(kDisplayName))
        info.entryName = text.mid(kDisplayName.size());
    else if (text.startsWith(kQuietDisplayName))
        info.entryName = text.mid(kQuietDisplayName.size());
    else if (const qsizetype header = uninstallHeaderSize(text); header > 0)
        info.entryName = text.mid(header).chopped(text.size() > header ? 1 : 0);
    else if (text.startsWith(kDisplayVersion))
        info.version = text.mid(kDisplayVersion.size());
}

// "*.reg" in any case, as Windows matches it, and the backups of menu files; sorted by name as
// plain text, which is the backups' time order.
QStringList backupFileNames(const QString& folder)
{
    // System: FIFOs, devices and dangling links are listed too, as files that cannot be read.
    QStringList names =
        QDir(folder).entryList({QStringLiteral("*.reg"), u'*' + menus::kMenuBackupSuffix},
                               QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end());
    return names;
}

QString dateText(const QString& name)
{
    return name.mid(0, 4) + u'-' + name.mid(4, 2) + u'-' + name.mid(6, 2) + QStringLiteral("  ") +
           name.mid(8, 2) + u':' + name.mid(10, 2) + u':' + name.mid(12, 2);
}

// A backup of menu files is a row of its own kind: its title names the files, and the version
// column says what it holds.
BackupFileInfo menuBackupInfo(const QString& path)
{
    const QString title = menus::readMenuBackupTitle(path);
    if (title.isEmpty())
        return {QStringLiteral("(not a backup of menu files)"), QString(), false};
    return {title, kMenuFilesVersion, true};
}

void addBackupRow(ListViewModel& list, const QString& key, const QString& name,
                  const BackupFileInfo& info)
{
    ListRow* row = list.addRow(key, dateText(name));
    if (row == nullptr)
        return;
    list.setText(row, 1, info.entryName);
    list.setText(row, 2, info.version);
    for (int column = 0; column < 3; ++column)
        list.setToolTip(row, column, kRowToolTip);
}

// One row per backup file of the folder; in the user's folder only the backups of menu files.
void addFolderRows(Workspace& ctx, const QString& folder, const QString& keyMark)
{
    // A backup folder that is a link is not followed: it could list another prefix's backups.
    const QStringList names =
        isUsableBackupFolder(folder) ? backupFileNames(folder) : QStringList();
    for (const QString& name : names) {
        const QString path = folder + u'/' + name;
        const bool menuFiles = menus::isMenuBackupName(name);
        if (QFileInfo(path).isDir() || (!keyMark.isEmpty() && !menuFiles))
            continue;
        const BackupFileInfo info = menuFiles ? menuBackupInfo(path) : readBackupFile(path);
        ctx.services.ui->processEvents();
        addBackupRow(ctx.state.lvwPalauta, keyMark + name, name, info);
    }
}

void selectFirstBackup(Workspace& ctx)
{
    ListViewModel& list = ctx.state.lvwPalauta;
    ListRow* first = list.rowAt(0);
    list.setHighlighted(first, true);
    ctx.view().backupSelectionChanged();
    list.setHighlighted(first, false);
}

} // namespace

// Read line by line as the restore's reader reads it, so that a file saved with Unix line ends
// reads too. The file is read in blocks and only when it is a regular file of a sane size, so a
// huge file or a link to a device cannot stall the list.
BackupFileInfo readBackupFile(const QString& path)
{
    BackupFileInfo info;
    LineSplitter<QByteArray> lines;
    const auto onLine = [&info](const QByteArray& line) { applyLine(line, info); };
    const FileRead read = readRegularFile(path, kMaxBackupFileBytes,
                                          [&](QByteArrayView block) { lines.feed(block, onLine); });
    if (!read.ok())
        return {QStringLiteral("(cannot be read: %1)").arg(read.error), QString(), false};
    lines.finish(onLine);
    return info;
}

void ListaaPalautettavatOhjelmat(Workspace& ctx)
{
    WindowState& state = ctx.state;
    state.lvwOhjelmat.setEnabled(false);
    state.lvwPalauta.setEnabled(false);
    state.lvwPalauta.clear();
    state.backup = {};
    addFolderRows(ctx, ctx.services.backupFolder, QString());
    if (!ctx.services.userFolders.dataHome.isEmpty())
        addFolderRows(ctx, ctx.services.userFolders.orphanBackups(), kNoPrefixBackupKey);
    if (state.lvwPalauta.rowCount() > 0)
        selectFirstBackup(ctx);
    ctx.view().showSelectedPage();
    state.lvwOhjelmat.setEnabled(true);
    state.lvwPalauta.setEnabled(true);
}

void lvwPalauta_Click(WindowState& state)
{
    const ListRow* row = state.lvwPalauta.selectedRow();
    if (row != nullptr && !row->cells[0].text.isEmpty())
        state.backup = {row->key, row->cells[1].text};
    else
        state.backup = {};
}

void lvwPalauta_ItemClick(WindowState& state, const ListRow* row)
{
    if (row != nullptr)
        state.backup = {row->key, row->cells[1].text};
}

void lvwPalauta_ColumnClick(WindowState& state, int column)
{
    ListViewModel& list = state.lvwPalauta;
    if (list.sortKey() == column)
        list.setSortOrder(list.sortOrder() == 0 ? 1 : 0);
    else {
        list.setSortKey(column);
        list.setSortOrder(0);
    }
    list.setSorted(true);
}

void endBackupSelection(WindowState& state)
{
    state.lvwPalauta.clearSelection();
    state.backup = {};
}

QString backupFilePath(const Workspace& ctx, const QString& key)
{
    const bool noPrefix = key.startsWith(kNoPrefixBackupKey);
    const QString name = noPrefix ? key.mid(kNoPrefixBackupKey.size()) : key;
    const QString folder =
        noPrefix ? ctx.services.userFolders.orphanBackups() : ctx.services.backupFolder;
    if (name.isEmpty() || name.contains(u'/') || name == u"." || name == u".." ||
        (noPrefix &&
         (ctx.services.userFolders.dataHome.isEmpty() || !menus::isMenuBackupName(name))) ||
        !isUsableBackupFolder(folder))
        return {};
    return folder + u'/' + name;
}

bool backupPopupOpensOnMouseUp(const WindowState& state, int button)
{
    return !state.backup.SelectedBackupFile.isEmpty() && button == 2;
}

} // namespace nixora
