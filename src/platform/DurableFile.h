#pragma once

#include <QByteArray>
#include <QString>

namespace nixora
{

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

    // Writes and syncs the temporary file for `path`. Temporaries left by writers that no
    // longer run are removed first; those of live writers are left alone.
    [[nodiscard]] bool stage(const QString& path, const QByteArray& bytes);
    // Renames the staged file over the target and syncs the folder.
    [[nodiscard]] bool commit();
    void discard();

    [[nodiscard]] const QString& target() const { return m_target; }
    [[nodiscard]] const QString& error() const { return m_error; }

    FileReplacement() = default;
    ~FileReplacement() { discard(); }
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

private:
    QString m_target;
    QString m_temp;
    QString m_error;
};

// Writes every byte to an open file, going on after interrupted writes.
[[nodiscard]] bool writeAllToDescriptor(int fd, const QByteArray& bytes);
// Syncs a folder, so that renames and new names in it survive a crash.
[[nodiscard]] bool syncFolder(const QString& folder);

// stage() and commit() in one; the error text, empty on success.
[[nodiscard]] QString replaceFileDurably(const QString& path, const QByteArray& bytes);

} // namespace nixora
