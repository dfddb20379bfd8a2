#pragma once

#include "Registry.h"
#include "menus/UserFolders.h"

#include <QByteArray>
#include <QString>

#include <ctime>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace nixora::menus
{

// A backup of removed menu files: each file's path, bytes, mode and time, and the prefix's
// records of them (values under HKCU\Software\Wine\MenuFiles and FileOpenAssociations), so that
// a restore puts back exactly what went. Kept in the backup folder as yyyymmddhhnnss.menus
// beside the entry backups (*.reg), which it is never taken for.
struct MenuBackup {
    struct File {
        QString path;
        QByteArray bytes;
        mode_t mode = 0644;
        timespec modified{};

        friend bool operator==(const File& a, const File& b)
        {
            return a.path == b.path && a.bytes == b.bytes && a.mode == b.mode &&
                   a.modified.tv_sec == b.modified.tv_sec &&
                   a.modified.tv_nsec == b.modified.tv_nsec;
        }
    };
    struct Value {
        QString key; // below HKEY_CURRENT_USER
        QString name;
        RegValue value;

        friend bool operator==(const Value&, const Value&) = default;
    };

    QString title;  // what the restore page shows as the application entry
    QString prefix; // the prefix whose files they were; empty when it was gone
    std::vector<Value> values;
    std::vector<File> files;

    friend bool operator==(const MenuBackup&, const MenuBackup&) = default;
};

inline const QString kMenuBackupSuffix = QStringLiteral(".menus");
[[nodiscard]] bool isMenuBackupName(const QString& fileName);

// The file's text: a header line, one line per field and value, and per file a line with its
// mode, time, size and path followed by exactly its bytes. Paths and texts are percent-encoded
// where they hold a tab, a line break or a '%', so every path reads back as it was.
[[nodiscard]] QByteArray encodeMenuBackup(const MenuBackup& backup);
[[nodiscard]] std::optional<MenuBackup> decodeMenuBackup(const QByteArray& bytes);
// The title alone, read from the head of the file; empty when it is not a menu backup.
[[nodiscard]] QString readMenuBackupTitle(const QString& path);

// Whether a record may be written back: only values of Wine's two keys of menu records.
[[nodiscard]] bool isMenuRecordKey(const QString& key);

// Puts the files and records of a backup back. All or nothing: every path must lie in the
// user's folders (or the prefix) and be free or hold the same bytes already; a file that cannot
// be written, or records that cannot be, take back what was written. The backup file is
// removed when everything is back. The error text, empty on success.
[[nodiscard]] QString restoreMenuBackup(const QString& file, const UserFolders& folders,
                                        Registry* registry, const QString& prefixPath);

} // namespace nixora::menus
