#include "FolderListing.h"

#include "ShortName.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace nixora
{

bool isFolderPath(const QString& unixPath)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(unixPath).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

QStringList readFolder(const QString& unixDir)
{
    QStringList names;
    const std::unique_ptr<DIR, int (*)(DIR*)> handle(
        ::opendir(QFile::encodeName(unixDir).constData()), &::closedir);
    if (!handle)
        return names;
    while (const dirent* entry = ::readdir(handle.get()))
        names.append(QFile::decodeName(entry->d_name));
    return names;
}

FolderListings::Listing& FolderListings::listing(const QString& unixDir)
{
    const auto found = m_listings.find(unixDir);
    if (found != m_listings.end())
        return *found;
    Listing& listing = m_listings[unixDir];
    const std::unique_ptr<DIR, int (*)(DIR*)> handle(
        ::opendir(QFile::encodeName(unixDir).constData()), &::closedir);
    while (const dirent* entry = handle ? ::readdir(handle.get()) : nullptr) {
        listing.names.append(QFile::decodeName(entry->d_name));
        if (entry->d_type != DT_REG)
            listing.unsure.insert(listing.names.back());
    }
    // Filled backwards so that the first of several names equal ignoring case wins, as in Wine.
    for (auto it = listing.names.crbegin(); it != listing.names.crend(); ++it)
        listing.byFoldedName.insert(it->toCaseFolded(), *it);
    return listing;
}

const QStringList& FolderListings::names(const QString& unixDir)
{
    return listing(unixDir).names;
}

std::optional<QString> FolderListings::find(const QString& unixDir, const QString& name)
{
    Listing& entries = listing(unixDir);
    const auto exact = entries.byFoldedName.constFind(name.toCaseFolded());
    if (exact != entries.byFoldedName.cend())
        return *exact;
    if (!looksLikeHashedShortName(name))
        return std::nullopt;
    if (!entries.shortNamesBuilt) {
        for (auto it = entries.names.crbegin(); it != entries.names.crend(); ++it) {
            if (!isLegalShortName(*it))
                entries.byShortName.insert(wineShortName(*it), *it);
        }
        entries.shortNamesBuilt = true;
    }
    const auto hashed = entries.byShortName.constFind(name.toUpper());
    if (hashed != entries.byShortName.cend())
        return *hashed;
    return std::nullopt;
}

bool FolderListings::isNotFolder(const QString& unixDir, const QString& name)
{
    if (!listing(unixDir).unsure.contains(name))
        return true;
    struct stat info {
    };
    const QByteArray path = QFile::encodeName(unixDir + u'/' + name);
    return ::stat(path.constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

const std::optional<QString>* FolderListings::resolved(const QString& unixPath) const
{
    const auto found = m_resolved.constFind(unixPath);
    return found != m_resolved.cend() ? &*found : nullptr;
}

void FolderListings::remember(const QString& unixPath, std::optional<QString> resolvedPath)
{
    m_resolved.insert(unixPath, std::move(resolvedPath));
}

bool FolderListings::isFolder(const QString& unixPath)
{
    const auto found = m_folders.constFind(unixPath);
    if (found != m_folders.cend())
        return *found;
    const bool folder = isFolderPath(unixPath);
    m_folders.insert(unixPath, folder);
    return folder;
}

} // namespace nixora
