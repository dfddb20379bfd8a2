#pragma once

#include <QDateTime>
#include <QString>

namespace nixora
{

struct TrashResult {
    bool trashed = false;
    QString trashedAs; // the file's path inside the trash's files folder
    QString error;     // why it could not be trashed; the file is then where it was
};

// Moves a file into the desktop trash as file managers do (the freedesktop.org Trash: the file
// goes to files/, a .trashinfo file in info/ records its original path and the deletion time),
// so a file manager can list it and put it back. A file on the file system of `dataHome`
// ($XDG_DATA_HOME) goes to the home trash, dataHome/Trash; one on another file system goes to
// that file system's $topdir/.Trash/$uid (when an administrator made .Trash, sticky and not a
// link) or $topdir/.Trash-$uid. Folders of the trash that are missing are made (mode 0700);
// ones that are links or another user's are not used. An empty `dataHome` means no trash.
// The file is never copied: where no trash on its own file system can take it, it stays.
[[nodiscard]] TrashResult moveToTrash(const QString& path, const QString& dataHome,
                                      const QDateTime& deletionTime);

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
[[nodiscard]] QString userDataHome();

} // namespace nixora
