#pragma once

#include <QHash>
#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace nixora
{

// The file-existence query of the phantom check: the first ordinary file that matches a
// Windows path, or nothing. Directories, hidden and system files never match; '*' and '?' are
// wildcards in the last component; a query that fails in any way is no match.
class FileQuery
{
public:
    virtual ~FileQuery() = default;
    [[nodiscard]] virtual std::optional<QString> findFirstFile(const QString& windowsPath) = 0;

    // Between these calls the caller promises that the folders it asks about do not change (one
    // fill of the entry list), so an implementation may keep what it read of them.
    virtual void beginBatch() {}
    virtual void endBatch() {}

    // True when a file (not a folder) is at the path, hidden and system files too: what a
    // program that opens it by name finds. No wildcards.
    [[nodiscard]] virtual bool fileExists(const QString& windowsPath)
    {
        return findFirstFile(windowsPath).has_value();
    }

    // True when the drive letter is set up but not there now (a disk that is not plugged in): no
    // answer about a path on it says whether the file is gone.
    [[nodiscard]] virtual bool driveMissing(QChar) { return false; }
};

class FolderListings;

// The Unix folder of each drive letter a to z, filled in as letters are asked for.
using DriveRoots = std::array<QString, 26>;

// Answers as Wine would for a prefix: "X:\rest" goes through <prefix>/dosdevices/x:, each
// component matches exactly, then case-insensitively, then by Wine's hashed 8.3 short name.
// A path without a drive is relative to the current folder.
class PrefixFileQuery final : public FileQuery
{
public:
    explicit PrefixFileQuery(QString prefixPath);
    ~PrefixFileQuery() override;
    [[nodiscard]] std::optional<QString> findFirstFile(const QString& windowsPath) override;
    void beginBatch() override;
    void endBatch() override;
    [[nodiscard]] bool fileExists(const QString& windowsPath) override;
    // Its dosdevices link is there and leads nowhere.
    [[nodiscard]] bool driveMissing(QChar letter) override;

private:
    [[nodiscard]] std::optional<QString> findUncached(const QString& windowsPath);

    QString m_prefixPath;
    DriveRoots m_driveRoots;
    std::unique_ptr<FolderListings> m_listings; // kept folder listings during a batch
    // The answer to each path asked during a batch: the phantom check asks about the same
    // path several times while it takes a command apart.
    QHash<QString, std::optional<QString>> m_answers;
    // The folder each Windows folder asked for by fileExists() resolved to, during a batch.
    QHash<QString, std::optional<QString>> m_fileFolders;
};

// Maps a Windows path to the Unix path of an existing file or folder of the prefix, component
// by component as above (no wildcards). Hidden names resolve too; this is what programs see.
[[nodiscard]] std::optional<QString> resolveWindowsPath(const QString& prefixPath,
                                                        const QString& windowsPath);
// The same for many paths while the folders do not change: each folder is listed once.
[[nodiscard]] std::optional<QString>
resolveWindowsPath(const QString& prefixPath, const QString& windowsPath, FolderListings& listings);

} // namespace nixora
