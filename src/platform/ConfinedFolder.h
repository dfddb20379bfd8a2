#pragma once

#include "RegularFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ctime>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace nixora
{

// What lstat says of a name, without following it.
struct FileMeta {
    enum class Type { Regular, Folder, Link, Other };
    Type type = Type::Other;
    mode_t mode = 0; // the permission bits (07777)
    qint64 size = 0;
    timespec modified{};

    [[nodiscard]] bool isRegular() const { return type == Type::Regular; }
    [[nodiscard]] bool isFolder() const { return type == Type::Folder; }
};

struct FolderEntry {
    QString name;
    FileMeta::Type type = FileMeta::Type::Other;
};

// A folder opened for many reads in it: one descriptor, no path walked again per file.
class OpenFolder
{
public:
    // `readable`: opened for reading, not for its path alone (O_PATH), so it can be listed.
    explicit OpenFolder(int fd = -1, bool readable = true) : m_fd(fd), m_readable(readable) {}
    ~OpenFolder();
    OpenFolder(OpenFolder&& other) noexcept;
    OpenFolder& operator=(OpenFolder&& other) noexcept;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    [[nodiscard]] bool valid() const { return m_fd >= 0; }
    // A folder in it by name; not valid when the name is a link or no folder.
    [[nodiscard]] OpenFolder openChild(const QString& name) const;
    // Its entries, "." and ".." left out; links are listed as links, never followed.
    [[nodiscard]] std::vector<FolderEntry> entries() const;
    // A regular file of the folder by name (a link is refused), of at most `maxBytes`.
    [[nodiscard]] FileRead read(const QString& name, qint64 maxBytes, QByteArray& bytes,
                                FileMeta* meta = nullptr) const;

private:
    int m_fd;
    bool m_readable;
};

// A folder of the user's (an XDG folder, a Wine prefix) below which the program reads and
// changes files without ever leaving it: each component below the root is opened with
// O_NOFOLLOW, so a symbolic link planted inside (to /etc, to another user's files) is a dead end
// and never a way out. The root itself may be a link, as a user may link a whole folder.
// Paths are absolute and must lie below the root; "." and ".." components are refused.
class ConfinedFolder
{
public:
    explicit ConfinedFolder(QString root);

    [[nodiscard]] const QString& root() const { return m_root; }
    // The components of `path` below the root, or nothing when it is not strictly below it.
    [[nodiscard]] std::optional<QStringList> componentsOf(const QString& path) const;
    [[nodiscard]] bool contains(const QString& path) const
    {
        return componentsOf(path).has_value();
    }

    // The name at `path` as lstat sees it; nothing when it or a folder on the way is missing or
    // is a link.
    [[nodiscard]] std::optional<FileMeta> stat(const QString& path) const;
    // The folder at `path` (the root itself included); not valid when it cannot be opened as a
    // folder without following a link.
    [[nodiscard]] OpenFolder open(const QString& path) const;
    // Its entries (see OpenFolder), or nothing when it cannot be opened.
    [[nodiscard]] std::optional<std::vector<FolderEntry>> list(const QString& path) const;
    // The bytes of a regular file (never a link, FIFO or device) of at most `maxBytes`.
    [[nodiscard]] FileRead read(const QString& path, qint64 maxBytes, QByteArray& bytes,
                                FileMeta* meta = nullptr) const;

    // Removes a regular file; the error text, empty when it is gone.
    [[nodiscard]] QString removeFile(const QString& path) const;
    // Removes a folder when it is empty; true when it is gone.
    [[nodiscard]] bool removeEmptyFolder(const QString& path) const;
    // Writes a new file with the mode and modification time given, never replacing one that is
    // there: the bytes go to a temporary file that is synced and then renamed into place only
    // if the name is still free. Missing folders on the way are made with `folderMode`. The
    // error text, empty on success.
    [[nodiscard]] QString createFile(const QString& path, const QByteArray& bytes, mode_t mode,
                                     const timespec& modified, mode_t folderMode = 0755) const;

private:
    QString m_root;
};

// The folders in `folders` that hold `path`, the first of them; nullptr when none does.
[[nodiscard]] const ConfinedFolder* folderHolding(const std::vector<ConfinedFolder>& folders,
                                                  const QString& path);

} // namespace nixora
