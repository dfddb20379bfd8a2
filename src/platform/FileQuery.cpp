#include "FileQuery.h"

#include "FolderListing.h"
#include "ShortName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <memory>

namespace nixora
{
namespace
{

constexpr unsigned kAttributeHidden = 0x2;
constexpr unsigned kAttributeSystem = 0x4;

// Where a Windows path starts on the Unix side and the components below it.
struct SplitPath {
    QString base;
    QStringList components;
};

[[nodiscard]] bool isSeparator(QChar c)
{
    return c == u'\\' || c == u'/';
}

[[nodiscard]] bool hasWildcard(QStringView name)
{
    for (const QChar c : name) {
        if (c == u'*' || c == u'?')
            return true;
    }
    return false;
}

// Characters Windows refuses in a path component (the wildcards are judged by the caller).
[[nodiscard]] bool hasInvalidCharacter(QStringView name)
{
    for (const QChar c : name) {
        switch (c.unicode()) {
        case u'<':
        case u'>':
        case u':':
        case u'"':
        case u'|':
            return true;
        default:
            if (c.unicode() < 0x20)
                return true;
        }
    }
    return false;
}

// A name that can be looked up as it stands: no character Windows refuses, no wildcard.
[[nodiscard]] bool isPlainName(QStringView name)
{
    return !hasInvalidCharacter(name) && !hasWildcard(name);
}

[[nodiscard]] bool pathExists(const QString& unixPath)
{
    struct stat info {
    };
    return ::lstat(QFile::encodeName(unixPath).constData(), &info) == 0;
}

[[nodiscard]] QString joinPath(const QString& dir, const QString& name)
{
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

// The path of `components` below `base`, joined as joinPath would join them one by one.
[[nodiscard]] QString joinAll(const QString& base, const QStringList& components)
{
    qsizetype size = base.size();
    for (const QString& name : components)
        size += name.size() + 1;
    QString path;
    path.reserve(size);
    path += base;
    for (const QString& name : components) {
        if (!path.endsWith(u'/'))
            path += u'/';
        path += name;
    }
    return path;
}

// Windows' own lexical clean-up of a full path: "." and ".." go, repeated separators collapse,
// a trailing dot of a folder name is dropped, and trailing blanks and dots of the whole path
// are dropped. ".." never climbs above where the path starts; the climbs it would have made are
// counted in `climbs` for a caller that starts below a root.
[[nodiscard]] QStringList normalizedComponents(QStringView rest, int* climbs = nullptr)
{
    QStringList components;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && !isSeparator(rest[i]))
            continue;
        const QStringView part = rest.mid(start, i - start);
        start = i + 1;
        if (part.isEmpty() || part == u".")
            continue;
        if (part == u"..") {
            if (!components.isEmpty())
                components.removeLast();
            else if (climbs)
                ++*climbs;
            continue;
        }
        const bool last = i == rest.size();
        components.append(!last && part.endsWith(u'.') && !hasWildcard(part)
                              ? part.chopped(1).toString()
                              : part.toString());
    }
    if (!components.isEmpty() && !hasWildcard(components.last())) {
        QString& lastName = components.last();
        while (!lastName.isEmpty() && (lastName.endsWith(u' ') || lastName.endsWith(u'.')))
            lastName.chop(1);
        if (lastName.isEmpty())
            components.removeLast();
    }
    return components;
}

[[nodiscard]] QString driveRoot(const QString& prefixPath, QChar letter)
{
    return prefixPath + QStringLiteral("/dosdevices/") + letter.toLower() + u':';
}

// The same, built once per letter in `known` (an ASCII letter).
[[nodiscard]] const QString& knownDriveRoot(DriveRoots& known, const QString& prefixPath,
                                            QChar letter)
{
    QString& root = known[size_t(letter.toLower().unicode() - u'a')];
    if (root.isEmpty())
        root = driveRoot(prefixPath, letter);
    return root;
}

// The drive whose root holds the current folder (the longest matching root), as Wine maps the
// working directory of a process to a DOS drive.
[[nodiscard]] std::optional<QString> currentDriveRoot(const QString& prefixPath)
{
    const QString current = QDir::current().canonicalPath();
    std::optional<QString> best;
    qsizetype bestLength = -1;
    for (char16_t letter = u'a'; letter <= u'z'; ++letter) {
        const QString root = driveRoot(prefixPath, QChar(letter));
        const QString target = QDir(root).canonicalPath();
        if (target.isEmpty())
            continue;
        const bool inside =
            current == target || target == u"/" || current.startsWith(target + u'/');
        if (inside && target.size() > bestLength) {
            best = root;
            bestLength = target.size();
        }
    }
    return best;
}

[[nodiscard]] std::optional<SplitPath> splitWindowsPath(const QString& prefixPath,
                                                        const QString& windowsPath,
                                                        DriveRoots* knownRoots = nullptr)
{
    if (windowsPath.isEmpty() || windowsPath.contains(QChar(0)))
        return std::nullopt;
    const QStringView text(windowsPath);
    if (text.size() >= 2 && text[1] == u':') {
        if (text[0].unicode() > 0x7f || !text[0].isLetter())
            return std::nullopt;
        // "C:name" is taken from the drive's root: a program of ours has no per-drive folder.
        if (knownRoots == nullptr)
            return SplitPath{driveRoot(prefixPath, text[0]), normalizedComponents(text.mid(2))};
        return SplitPath{knownDriveRoot(*knownRoots, prefixPath, text[0]),
                         normalizedComponents(text.mid(2))};
    }
    if (isSeparator(text[0])) {
        if (text.size() >= 2 && isSeparator(text[1]))
            return std::nullopt; // UNC names and device paths are no files of the prefix
        const std::optional<QString> root = currentDriveRoot(prefixPath);
        if (!root)
            return std::nullopt;
        return SplitPath{*root, normalizedComponents(text)};
    }
    int climbs = 0;
    QStringList components = normalizedComponents(text, &climbs);
    QString base = QDir::currentPath();
    for (; climbs > 0; --climbs)
        base = QDir::cleanPath(base + QStringLiteral("/.."));
    return SplitPath{base, components};
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

[[nodiscard]] bool isAscii(const QByteArray& bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) > 0x7f)
            return false;
    }
    return true;
}

// A folder entry whose name matches case-insensitively, else (for a name shaped like one) an
// entry whose hashed short name matches. First in listing order, as Wine finds it.
[[nodiscard]] std::optional<QString> findInListing(const QString& dir, const QString& name)
{
    const DirHandle handle(::opendir(QFile::encodeName(dir).constData()));
    if (!handle)
        return std::nullopt;
    const QByteArray wanted = QFile::encodeName(name);
    const bool wantedAscii = isAscii(wanted);
    const bool tryShortNames = looksLikeHashedShortName(name);
    std::optional<QString> shortMatch;
    while (const dirent* entry = ::readdir(handle.get())) {
        const QByteArray bytes(entry->d_name);
        // Two ASCII names can only be equal ignoring case when their lengths are.
        const bool sameLengthOrWide =
            bytes.size() == wanted.size() || !wantedAscii || !isAscii(bytes);
        if (!sameLengthOrWide && !tryShortNames)
            continue;
        const QString entryName = QFile::decodeName(bytes);
        if (sameLengthOrWide && entryName.compare(name, Qt::CaseInsensitive) == 0)
            return entryName;
        if (tryShortNames && !shortMatch && !isLegalShortName(entryName) &&
            wineShortName(entryName).compare(name, Qt::CaseInsensitive) == 0)
            shortMatch = entryName;
    }
    return shortMatch;
}

[[nodiscard]] std::optional<QString> resolveComponent(const QString& dir, const QString& name,
                                                      FolderListings* listings)
{
    if (!isPlainName(name))
        return std::nullopt;
    const QString exact = joinPath(dir, name);
    if (listings) {
        if (const std::optional<QString>* known = listings->resolved(exact))
            return *known;
    }
    std::optional<QString> found;
    if (pathExists(exact)) {
        found = exact;
    } else {
        const std::optional<QString> listed =
            listings ? listings->find(dir, name) : findInListing(dir, name);
        if (listed)
            found = joinPath(dir, *listed);
    }
    if (listings)
        listings->remember(exact, found);
    return found;
}

enum class ExactPath { Try, Tried };

// With `exactPath` Tried the caller has already looked for the path exactly as written, in vain.
[[nodiscard]] std::optional<QString> resolveComponents(const QString& base,
                                                       const QStringList& components,
                                                       FolderListings* listings = nullptr,
                                                       ExactPath exactPath = ExactPath::Try)
{
    if (exactPath == ExactPath::Try &&
        std::all_of(components.begin(), components.end(),
                    [](const QString& name) { return isPlainName(name); })) {
        QString exact = joinAll(base, components);
        if (pathExists(exact))
            return exact;
    }
    if (!(listings ? listings->isFolder(base) : isFolderPath(base)))
        return std::nullopt;
    QString current = base;
    for (const QString& name : components) {
        const std::optional<QString> next = resolveComponent(current, name, listings);
        if (!next)
            return std::nullopt;
        current = *next;
    }
    return current;
}

[[nodiscard]] unsigned dosAttributes(const QByteArray& unixPath)
{
    char value[64] = {};
    const ssize_t length =
        ::getxattr(unixPath.constData(), "user.DOSATTRIB", value, sizeof(value) - 1);
    if (length < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X'))
        return 0;
    bool ok = false;
    const unsigned attributes = QByteArray(value + 2).toUInt(&ok, 16);
    return ok ? attributes : 0;
}

[[nodiscard]] bool isHiddenName(QStringView name)
{
    return name.startsWith(u'.') && name != u"." && name != u"..";
}

// An ordinary file: not a folder, not hidden (a dot name, as Wine shows them, or the DOS
// attribute Wine keeps in an extended attribute), not a system file. `info` is the file's
// stat(), which the caller has made.
[[nodiscard]] bool isOrdinaryFile(const QByteArray& encodedPath, const struct stat& info,
                                  QStringView name)
{
    if (isHiddenName(name) || S_ISDIR(info.st_mode))
        return false;
    return (dosAttributes(encodedPath) & (kAttributeHidden | kAttributeSystem)) == 0;
}

[[nodiscard]] bool isOrdinaryFile(const QString& unixPath, QStringView name)
{
    if (isHiddenName(name))
        return false;
    const QByteArray encoded = QFile::encodeName(unixPath);
    struct stat info {
    };
    return ::stat(encoded.constData(), &info) == 0 && isOrdinaryFile(encoded, info, name);
}

// Windows' pattern match: '*' any run of characters, '?' one character, ignoring case.
[[nodiscard]] bool matchesPattern(QStringView name, QStringView pattern)
{
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype starPattern = -1;
    qsizetype starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (starPattern >= 0) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

[[nodiscard]] std::optional<QString> findByPattern(const QString& dir, QString pattern,
                                                   FolderListings* listings)
{
    if (hasInvalidCharacter(pattern))
        return std::nullopt;
    if (pattern == u"*.*")
        pattern = QStringLiteral("*");
    const QStringList names = listings ? listings->names(dir) : readFolder(dir);
    for (const QString& name : names) {
        const bool matches =
            matchesPattern(name, pattern) ||
            (!isLegalShortName(name) && matchesPattern(wineShortName(name), pattern));
        if (matches && isOrdinaryFile(joinPath(dir, name), name))
            return name;
    }
    return std::nullopt;
}

} // namespace

PrefixFileQuery::PrefixFileQuery(QString prefixPath) : m_prefixPath(std::move(prefixPath)) {}

PrefixFileQuery::~PrefixFileQuery() = default;

bool PrefixFileQuery::driveMissing(QChar letter)
{
    if (!letter.isLetter() || letter.unicode() > 0x7f)
        return false;
    const QFileInfo link(m_prefixPath + QStringLiteral("/dosdevices/") + letter.toLower() + u':');
    return link.isSymLink() && !link.exists();
}

void PrefixFileQuery::beginBatch()
{
    m_listings = std::make_unique<FolderListings>();
}

void PrefixFileQuery::endBatch()
{
    m_listings.reset();
    m_answers.clear();
    m_fileFolders.clear();
}

std::optional<QString> PrefixFileQuery::findFirstFile(const QString& windowsPath)
{
    if (!m_listings)
        return findUncached(windowsPath);
    const auto known = m_answers.constFind(windowsPath);
    if (known != m_answers.cend())
        return *known;
    std::optional<QString> answer = findUncached(windowsPath);
    m_answers.insert(windowsPath, answer);
    return answer;
}

namespace
{

// A drive path that Windows' clean-up leaves as it is: "X:\" and names that are not empty,
// "." or "..", do not end in a dot or blank, and hold no character Windows refuses and no
// wildcard. Gives where its last name starts, or -1.
qsizetype plainDrivePath(QStringView path)
{
    if (path.size() < 4 || path[0].unicode() > 0x7f || !path[0].isLetter() || path[1] != u':' ||
        !isSeparator(path[2]))
        return -1;
    qsizetype start = 3;
    for (qsizetype i = 3; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i]))
            continue;
        const QStringView name = path.mid(start, i - start);
        if (name.isEmpty() || name.endsWith(u'.') || name.endsWith(u' ') || !isPlainName(name))
            return -1;
        if (i == path.size())
            return start;
        start = i + 1;
    }
    return -1;
}

} // namespace

std::optional<QString> PrefixFileQuery::findUncached(const QString& windowsPath)
{
    // Most uninstallers are where the entry says, spelled as on disk: one stat() answers.
    ExactPath exactPath = ExactPath::Try;
    if (const qsizetype last = plainDrivePath(windowsPath); last > 0) {
        const QString& root = knownDriveRoot(m_driveRoots, m_prefixPath, windowsPath[0]);
        QString tail = windowsPath.mid(2);
        tail.replace(u'\\', u'/');
        const QByteArray exact = QFile::encodeName(root + tail);
        struct stat info {
        };
        if (::stat(exact.constData(), &info) == 0) {
            const QStringView name = QStringView(windowsPath).mid(last);
            return isOrdinaryFile(exact, info, name) ? std::optional<QString>(name.toString())
                                                     : std::nullopt;
        }
        // Not there as written: each component is looked up in turn below (a link that leads
        // nowhere is found there too, and is no ordinary file).
        exactPath = ExactPath::Tried;
    }
    std::optional<SplitPath> split = splitWindowsPath(m_prefixPath, windowsPath, &m_driveRoots);
    if (!split || split->components.isEmpty())
        return std::nullopt;
    if (hasWildcard(split->components.last())) {
        const QString pattern = split->components.takeLast();
        const std::optional<QString> dir =
            resolveComponents(split->base, split->components, m_listings.get());
        return dir ? findByPattern(*dir, pattern, m_listings.get()) : std::nullopt;
    }
    if (exactPath == ExactPath::Try &&
        std::all_of(split->components.begin(), split->components.end(),
                    [](const QString& name) { return isPlainName(name); })) {
        const QByteArray exact = QFile::encodeName(joinAll(split->base, split->components));
        struct stat info {
        };
        if (::stat(exact.constData(), &info) == 0) {
            const QString& name = split->components.last();
            return isOrdinaryFile(exact, info, name) ? std::optional<QString>(name) : std::nullopt;
        }
        exactPath = ExactPath::Tried;
    }
    const std::optional<QString> file =
        resolveComponents(split->base, split->components, m_listings.get(), exactPath);
    if (!file)
        return std::nullopt;
    const QString name = file->mid(file->lastIndexOf(u'/') + 1);
    if (!isOrdinaryFile(*file, name))
        return std::nullopt;
    return name;
}

// In a batch the folder is resolved once and its listing answers for every file in it (the
// Installer keeps all its packages in one folder); otherwise the spelling on disk is tried
// first (one stat), then each component is matched as Wine matches it.
bool PrefixFileQuery::fileExists(const QString& windowsPath)
{
    if (windowsPath.contains(QChar(0)))
        return false;
    const qsizetype cut = windowsPath.lastIndexOf(u'\\');
    const QString name = windowsPath.mid(cut + 1);
    if (m_listings && cut > 0 && isPlainName(name)) {
        const QString folder = windowsPath.left(cut);
        auto known = m_fileFolders.find(folder);
        if (known == m_fileFolders.end()) {
            const std::optional<SplitPath> split =
                splitWindowsPath(m_prefixPath, folder, &m_driveRoots);
            known = m_fileFolders.insert(
                folder, split ? resolveComponents(split->base, split->components, m_listings.get())
                              : std::nullopt);
        }
        if (!*known || !m_listings->isFolder(**known))
            return false;
        const std::optional<QString> listed = m_listings->find(**known, name);
        return listed && m_listings->isNotFolder(**known, *listed);
    }
    const std::optional<SplitPath> split =
        splitWindowsPath(m_prefixPath, windowsPath, &m_driveRoots);
    if (!split || split->components.isEmpty())
        return false;
    const std::optional<QString> file = resolveComponents(split->base, split->components);
    struct stat info {
    };
    return file && ::stat(QFile::encodeName(*file).constData(), &info) == 0 &&
           !S_ISDIR(info.st_mode);
}

std::optional<QString> resolveWindowsPath(const QString& prefixPath, const QString& windowsPath)
{
    const std::optional<SplitPath> split = splitWindowsPath(prefixPath, windowsPath);
    if (!split)
        return std::nullopt;
    return resolveComponents(split->base, split->components);
}

std::optional<QString> resolveWindowsPath(const QString& prefixPath, const QString& windowsPath,
                                          FolderListings& listings)
{
    const std::optional<SplitPath> split = splitWindowsPath(prefixPath, windowsPath);
    if (!split)
        return std::nullopt;
    return resolveComponents(split->base, split->components, &listings);
}

} // namespace nixora
