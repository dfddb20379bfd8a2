#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace nixora
{

// True when the path is a folder or a link to one.
[[nodiscard]] bool isFolderPath(const QString& unixPath);

// A folder's entry names in listing order ("." and ".." included); empty when it cannot be read.
[[nodiscard]] QStringList readFolder(const QString& unixDir);

// Folder listings kept while the caller promises the folders do not change, so that a run of
// queries against one big folder reads it once instead of once per query.
class FolderListings
{
public:
    // The first entry of `unixDir` equal to `name` ignoring case, else the entry whose hashed
    // short name it is (only tried for a name shaped like one).
    [[nodiscard]] std::optional<QString> find(const QString& unixDir, const QString& name);
    // True when the entry `name` of `unixDir` (as find() gives it) is not a folder: the listing
    // says so, else (a link, a file system that does not say) stat() does.
    [[nodiscard]] bool isNotFolder(const QString& unixDir, const QString& name);
    [[nodiscard]] const QStringList& names(const QString& unixDir);

    // What a path asked for earlier resolved to (nothing when it did not), or nullptr when it
    // has not been asked for.
    [[nodiscard]] const std::optional<QString>* resolved(const QString& unixPath) const;
    void remember(const QString& unixPath, std::optional<QString> resolvedPath);
    // True when the path is a folder (or a link to one), asked once per batch.
    [[nodiscard]] bool isFolder(const QString& unixPath);

private:
    struct Listing {
        QStringList names;
        QHash<QString, QString> byFoldedName;
        QHash<QString, QString> byShortName;
        QSet<QString> unsure; // names the listing did not say are files
        bool shortNamesBuilt = false;
    };
    Listing& listing(const QString& unixDir);

    QHash<QString, Listing> m_listings;
    QHash<QString, std::optional<QString>> m_resolved;
    QHash<QString, bool> m_folders;
};

} // namespace nixora
