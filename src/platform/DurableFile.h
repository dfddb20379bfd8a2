#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace nixora
{

// Which file a path named when it was written (device and inode): a file put there by someone
// else since then has another.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of what is at the path now, without following a last link; nothing when nothing is.
[[nodiscard]] std::optional<FileStamp> fileStampOf(const QString& path);

// The one way the program replaces a file: the new bytes go to a temporary file beside the
// file being replaced, are synced, renamed over it and the folder is synced, so a crash leaves
// the old file or the complete new one. A symbolic link is followed: its target is replaced
// and the link stays. The replaced file's owner, group and permission bits are kept (a file
// whose owner cannot be kept is not replaced); a new file gets the writer's and the umask's.
class FileReplacement
{
public:
    // Where a write of `path` lands: the path with every symbolic link resolved (also when the
    // last link dangles), else `path` itself.
    [[nodiscard]] static QString realPath(const QString& path);

    // Writes and syncs the temporary file for `path` (or, with `followLinks` false, for the
    // path itself even when it is a link). Temporaries left by writers that no longer run are
    // removed first; those of live writers are left alone.
    [[nodiscard]] bool stage(const QString& path, const QByteArray& bytes, bool followLinks = true);
    // Renames the staged file over the target and syncs the folder.
    [[nodiscard]] bool commit();
    // Puts the staged file in place only where nothing is at the target yet: a file that
    // appeared there meanwhile is never replaced (`existed` says so, and nothing is written).
    [[nodiscard]] bool commitAsNew(bool& existed);
    // The staged file's stamp, which it keeps once in place.
    [[nodiscard]] const FileStamp& stamp() const { return m_stamp; }
    void discard();

    [[nodiscard]] const QString& target() const { return m_target; }
    [[nodiscard]] const QString& error() const { return m_error; }

    FileReplacement() = default;
    ~FileReplacement() { discard(); }
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

private:
    // The end of a commit: the staged file is in place, or it is discarded with the reason.
    [[nodiscard]] bool placed(bool moved);

    QString m_target;
    QString m_temp;
    QString m_error;
    FileStamp m_stamp;
};

// Writes every byte to an open file, going on after interrupted writes.
[[nodiscard]] bool writeAllToDescriptor(int fd, const QByteArray& bytes);
// Syncs a folder, so that renames and new names in it survive a crash.
[[nodiscard]] bool syncFolder(const QString& folder);

// stage() and commit() in one; the error text, empty on success.
[[nodiscard]] QString replaceFileDurably(const QString& path, const QByteArray& bytes);

// stage() and commitAsNew() in one: a new file, durably, or nothing.
struct NewFile {
    QString error;        // empty on success
    bool existed = false; // something was at the path already; nothing was written
    FileStamp stamp;      // of the new file

    [[nodiscard]] bool ok() const { return error.isEmpty() && !existed; }
};
[[nodiscard]] NewFile createFileDurably(const QString& path, const QByteArray& bytes);

// Deletes the file at `path` only while it is still the one with `stamp` (a file this process
// wrote): one that took its place meanwhile is left alone. True when the file is gone.
[[nodiscard]] bool removeWrittenFile(const QString& path, const FileStamp& stamp);

} // namespace nixora
