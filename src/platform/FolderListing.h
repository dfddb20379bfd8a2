#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace nixora
{

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
    [[nodiscard]] const QStringList& names(const QString& unixDir);

private:
    struct Listing {
        QStringList names;
        QHash<QString, QString> byFoldedName;
        QHash<QString, QString> byShortName;
        bool shortNamesBuilt = false;
    };
    Listing& listing(const QString& unixDir);

    QHash<QString, Listing> m_listings;
};

} // namespace nixora
