#include "ConfinedFolder.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace nixora
{
namespace
{

// A descriptor closed when it goes out of scope.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd& operator=(Fd&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] bool valid() const { return m_fd >= 0; }
    // Hands the descriptor over to whoever closes it next.
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

[[nodiscard]] QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

[[nodiscard]] FileMeta metaOf(const struct stat& info)
{
    FileMeta meta;
    if (S_ISREG(info.st_mode))
        meta.type = FileMeta::Type::Regular;
    else if (S_ISDIR(info.st_mode))
        meta.type = FileMeta::Type::Folder;
    else if (S_ISLNK(info.st_mode))
        meta.type = FileMeta::Type::Link;
    meta.mode = info.st_mode & 07777;
    meta.size = info.st_size;
    meta.modified = info.st_mtim;
    return meta;
}

[[nodiscard]] QByteArray encoded(const QString& name)
{
    return QFile::encodeName(name);
}

// The folder that holds the last component, reached from the root one component at a time
// without following links; with `folderMode`, missing folders are made on the way.
[[nodiscard]] Fd openParent(const QString& root, const QStringList& components,
                            std::optional<mode_t> folderMode = std::nullopt)
{
    Fd folder(::open(encoded(root).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (qsizetype i = 0; folder.valid() && i + 1 < components.size(); ++i) {
        const QByteArray name = encoded(components[i]);
        if (folderMode)
            (void)::mkdirat(folder.get(), name.constData(), *folderMode);
        folder = Fd(::openat(folder.get(), name.constData(),
                             O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return folder;
}

[[nodiscard]] QString tempNameFor(const QString& name)
{
    static std::atomic<int> counter{0};
    return QStringLiteral(".%1.nixora-%2-%3").arg(name).arg(::getpid()).arg(++counter);
}

// Writes the whole buffer, then the mode and time, then syncs.
[[nodiscard]] bool writeAndSync(int fd, const QByteArray& bytes, mode_t mode,
                                const timespec& modified)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    const timespec times[2] = {{0, UTIME_OMIT}, modified};
    return ::fchmod(fd, mode) == 0 && ::futimens(fd, times) == 0 && ::fsync(fd) == 0;
}

// Renames without replacing: a file that appeared meanwhile is kept.
[[nodiscard]] bool renameNoReplace(int folder, const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without RENAME_NOREPLACE: a hard link refuses an existing name too.
    if (::linkat(folder, from.constData(), folder, to.constData(), 0) != 0)
        return false;
    (void)::unlinkat(folder, from.constData(), 0);
    return true;
}

// The kind the folder itself gives saves a stat per entry; some file systems give none.
FileMeta::Type typeOf(int folder, const dirent64& entry)
{
    switch (entry.d_type) {
    case DT_REG:
        return FileMeta::Type::Regular;
    case DT_DIR:
        return FileMeta::Type::Folder;
    case DT_LNK:
        return FileMeta::Type::Link;
    case DT_UNKNOWN:
        break;
    default:
        return FileMeta::Type::Other;
    }
    struct stat info {
    };
    if (::fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return FileMeta::Type::Other;
    return metaOf(info).type;
}

} // namespace

OpenFolder::~OpenFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_readable(other.m_readable)
{
}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept
{
    std::swap(m_fd, other.m_fd);
    std::swap(m_readable, other.m_readable);
    return *this;
}

OpenFolder OpenFolder::openChild(const QString& name) const
{
    return OpenFolder(m_fd < 0 ? -1
                               : ::openat(m_fd, encoded(name).constData(),
                                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::vector<FolderEntry> OpenFolder::entries() const
{
    // Read straight from the descriptor: a directory stream would want a copy of it of its own
    // (three more system calls a folder). One opened for its path alone cannot be read: a
    // descriptor of its own then.
    const Fd own(m_fd >= 0 && !m_readable ? ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                          : -1);
    const int fd = m_readable ? m_fd : own.get();
    std::vector<FolderEntry> entries;
    if (fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        return entries;
    alignas(dirent64) char buffer[16384];
    for (ssize_t n; (n = ::getdents64(fd, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                entries.push_back({QFile::decodeName(entry->d_name), typeOf(fd, *entry)});
        }
    }
    return entries;
}

FileRead OpenFolder::read(const QString& name, qint64 maxBytes, QByteArray& bytes,
                          FileMeta* meta) const
{
    bytes.clear();
    const Fd file(m_fd < 0 ? -1
                           : ::openat(m_fd, encoded(name).constData(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid())
        return {FileReadStatus::CannotOpen, systemError()};
    struct stat info {
    };
    const FileRead result = readOpenedFile(file.get(), maxBytes, bytes, info);
    if (result.ok() && meta != nullptr)
        *meta = metaOf(info);
    return result;
}

ConfinedFolder::ConfinedFolder(QString root) : m_root(std::move(root))
{
    while (m_root.size() > 1 && m_root.endsWith(u'/'))
        m_root.chop(1);
}

std::optional<QStringList> ConfinedFolder::componentsOf(const QString& path) const
{
    if (m_root.isEmpty() || !m_root.startsWith(u'/'))
        return std::nullopt;
    const QString lead = m_root == u"/" ? m_root : m_root + u'/';
    if (!path.startsWith(lead) || path.size() == lead.size())
        return std::nullopt;
    const QStringList components = path.mid(lead.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString& component : components) {
        if (component == u"." || component == u"..")
            return std::nullopt;
    }
    if (components.isEmpty())
        return std::nullopt;
    return components;
}

std::optional<FileMeta> ConfinedFolder::stat(const QString& path) const
{
    const std::optional<QStringList> components = componentsOf(path);
    if (!components)
        return std::nullopt;
    const Fd parent = openParent(m_root, *components);
    struct stat info {
    };
    if (!parent.valid() || ::fstatat(parent.get(), encoded(components->last()).constData(), &info,
                                     AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return metaOf(info);
}

OpenFolder ConfinedFolder::open(const QString& path) const
{
    if (path == m_root)
        return OpenFolder(::open(encoded(m_root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const std::optional<QStringList> components = componentsOf(path);
    const Fd parent = components ? openParent(m_root, *components) : Fd();
    if (!parent.valid())
        return OpenFolder();
    return OpenFolder(::openat(parent.get(), encoded(components->last()).constData(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::optional<std::vector<FolderEntry>> ConfinedFolder::list(const QString& path) const
{
    const OpenFolder folder = open(path);
    if (!folder.valid())
        return std::nullopt;
    return folder.entries();
}

FileRead ConfinedFolder::read(const QString& path, qint64 maxBytes, QByteArray& bytes,
                              FileMeta* meta) const
{
    bytes.clear();
    const std::optional<QStringList> components = componentsOf(path);
    Fd parent = components ? openParent(m_root, *components) : Fd();
    if (!parent.valid())
        return {FileReadStatus::CannotOpen, QStringLiteral("not reachable without a link")};
    const OpenFolder folder(parent.release(), false);
    return folder.read(components->last(), maxBytes, bytes, meta);
}

QString ConfinedFolder::removeFile(const QString& path) const
{
    const std::optional<QStringList> components = componentsOf(path);
    const Fd parent = components ? openParent(m_root, *components) : Fd();
    if (!parent.valid())
        return QStringLiteral("%1 cannot be reached without following a link.").arg(path);
    const QByteArray name = encoded(components->last());
    struct stat info {
    };
    if (::fstatat(parent.get(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return QStringLiteral("%1: %2").arg(path, systemError());
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("%1 is not a regular file.").arg(path);
    if (::unlinkat(parent.get(), name.constData(), 0) != 0)
        return QStringLiteral("%1 cannot be removed: %2").arg(path, systemError());
    return {};
}

bool ConfinedFolder::removeEmptyFolder(const QString& path) const
{
    const std::optional<QStringList> components = componentsOf(path);
    const Fd parent = components ? openParent(m_root, *components) : Fd();
    return parent.valid() &&
           ::unlinkat(parent.get(), encoded(components->last()).constData(), AT_REMOVEDIR) == 0;
}

QString ConfinedFolder::createFile(const QString& path, const QByteArray& bytes, mode_t mode,
                                   const timespec& modified, mode_t folderMode) const
{
    const std::optional<QStringList> components = componentsOf(path);
    const Fd parent = components ? openParent(m_root, *components, folderMode) : Fd();
    if (!parent.valid())
        return QStringLiteral("The folder of %1 cannot be made or reached without following a "
                              "link.")
            .arg(path);
    const QByteArray name = encoded(components->last());
    const QByteArray temp = encoded(tempNameFor(components->last()));
    const Fd file(::openat(parent.get(), temp.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid())
        return QStringLiteral("%1 cannot be written: %2").arg(path, systemError());
    if (!writeAndSync(file.get(), bytes, mode, modified) ||
        !renameNoReplace(parent.get(), temp, name)) {
        const QString error =
            errno == EEXIST ? QStringLiteral("%1 is there already.").arg(path)
                            : QStringLiteral("%1 cannot be written: %2").arg(path, systemError());
        (void)::unlinkat(parent.get(), temp.constData(), 0);
        return error;
    }
    const Fd folder(::openat(parent.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        (void)::fsync(folder.get());
    return {};
}

const ConfinedFolder* folderHolding(const std::vector<ConfinedFolder>& folders, const QString& path)
{
    for (const ConfinedFolder& folder : folders) {
        if (folder.contains(path))
            return &folder;
    }
    return nullptr;
}

} // namespace nixora
