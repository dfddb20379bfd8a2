#include "WineRegistry.h"

#include "DurableFile.h"
#include "HiveFile.h"
#include "HiveLock.h"
#include "HiveSnapshot.h"
#include "HiveText.h"
#include "PrefixIdentity.h"
#include "Wineserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity identityOf(const struct stat& info)
{
    return {info.st_dev, info.st_ino, info.st_size,
            int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

// The longest time a read trusts the last identity check: far below the time any other
// process needs to start, write a hive and hand over to us.
constexpr std::chrono::milliseconds kRecheckInterval{1};

} // namespace

struct WineRegistry::HiveSlot {
    enum class State { Unknown, Missing, NotAHive, Unreadable, Loaded };

    QString path;
    QByteArray nativePath;
    State state = State::Unknown;
    FileIdentity identity;
    std::chrono::steady_clock::time_point lastCheck;
    std::unique_ptr<HiveFile> hive;
    QStringList subtrees; // what reads need; empty: the whole tree
    QString problem;      // why an Unreadable hive was not read, when the user must know

    // Brings the slot up to date with the file as it is now; cheap when nothing changed. A
    // stat() costs microseconds in some sandboxes, so a burst of reads checks the file at most
    // once per kRecheckInterval; writes always check.
    void refresh(bool force = false)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!force && state != State::Unknown && now - lastCheck < kRecheckInterval)
            return;
        lastCheck = now;
        struct stat info {
        };
        if (::stat(nativePath.constData(), &info) != 0) {
            hive.reset();
            state = errno == ENOENT ? State::Missing : State::Unreadable;
            problem.clear();
            identity = {};
            return;
        }
        if (state != State::Unknown && state != State::Missing && identityOf(info) == identity)
            return;
        load();
    }

    void load()
    {
        hive.reset();
        state = State::Unreadable;
        problem.clear();
        // Without O_NONBLOCK a FIFO in the hive's place would block the open; only a regular
        // file is read at all (a link to /dev/zero would never end).
        const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QFile file;
        if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        struct stat before {
        };
        if (::fstat(fd, &before) != 0)
            return;
        if (!S_ISREG(before.st_mode)) {
            state = State::NotAHive;
            return;
        }
        // A 64 GiB sparse file would fail the allocation for its bytes and end the process.
        if (before.st_size > HiveFile::kMaxFileBytes) {
            identity = identityOf(before);
            problem = path + QStringLiteral(" is ") + HiveFile::tooLargeText(before.st_size);
            return;
        }
        try {
            readAndParse(file, before);
        } catch (const std::bad_alloc&) {
            hive.reset();
            state = State::Unreadable;
            identity = identityOf(before);
            problem = QStringLiteral("%1 cannot be read: not enough memory for its %2 MB")
                          .arg(path)
                          .arg(before.st_size >> 20);
        }
    }

    void readAndParse(QFile& file, const struct stat& before)
    {
        QByteArray bytes = file.readAll();
        struct stat after {
        };
        if (::fstat(file.handle(), &after) != 0 || !(identityOf(before) == identityOf(after)) ||
            bytes.size() != after.st_size)
            return; // changed while being read: the next call reads it again
        identity = identityOf(after);
        hive = parse(std::move(bytes));
        state = hive ? State::Loaded : State::NotAHive;
    }

    [[nodiscard]] std::unique_ptr<HiveFile> parse(QByteArray bytes) const
    {
        return subtrees.isEmpty() ? HiveFile::parse(std::move(bytes))
                                  : HiveFile::parseSubtrees(std::move(bytes), subtrees);
    }

    // A tree of a few subtrees is never edited or saved: the rest of the file is not in it.
    // The bytes are shared, not copied; the identity stays that of the file they came from.
    void parseWhole()
    {
        if (!hive || !hive->isPartial())
            return;
        try {
            hive = HiveFile::parse(hive->bytes());
        } catch (const std::bad_alloc&) {
            forget();
            problem = QStringLiteral("%1 cannot be read whole: not enough memory").arg(path);
            return;
        }
        if (!hive)
            forget();
    }

    // A hive that is a symbolic link is replaced where the link points, so the link (to a hive
    // shared between prefixes, or kept elsewhere) stays a link. The lock is taken on that
    // file's folder too: two prefixes linking to one hive share one lock.
    [[nodiscard]] QString writePath() const { return FileReplacement::realPath(path); }

    void forget()
    {
        hive.reset();
        state = State::Unknown;
    }
};

WineRegistry::WineRegistry(Prefix prefix)
    : m_prefix(std::move(prefix)), m_machine(std::make_unique<HiveSlot>()),
      m_user(std::make_unique<HiveSlot>())
{
    m_machine->path = m_prefix.systemHive();
    m_user->path = m_prefix.userHive();
    m_machine->nativePath = QFile::encodeName(m_machine->path);
    m_user->nativePath = QFile::encodeName(m_user->path);
}

WineRegistry::~WineRegistry() = default;

WineRegistry::HiveSlot& WineRegistry::slot(RegRoot root)
{
    return root == RegRoot::LocalMachine ? *m_machine : *m_user;
}

HiveFile* WineRegistry::current(RegRoot root)
{
    if (!m_prefix.error().isEmpty())
        return nullptr;
    HiveSlot& hiveSlot = slot(root);
    hiveSlot.refresh();
    return hiveSlot.hive.get();
}

HiveFile* WineRegistry::currentFor(RegRoot root, QStringView path)
{
    HiveFile* hive = current(root);
    if (hive == nullptr || hive->covers(path))
        return hive;
    HiveSlot& hiveSlot = slot(root);
    hiveSlot.parseWhole();
    return hiveSlot.hive.get();
}

void WineRegistry::setReadSubtrees(RegRoot root, const QStringList& subtrees)
{
    slot(root).subtrees = subtrees;
}

std::optional<RegValue> WineRegistry::queryValue(RegRoot root, const QString& path,
                                                 const QString& name)
{
    HiveFile* hive = currentFor(root, path);
    HiveKey* key = hive != nullptr ? hive->findKey(path) : nullptr;
    const HiveValue* value = key != nullptr ? hive->findValue(key, name) : nullptr;
    if (value == nullptr)
        return std::nullopt;
    return value->value;
}

std::optional<QString> WineRegistry::subkeyName(RegRoot root, const QString& path, uint32_t index)
{
    HiveFile* hive = currentFor(root, path);
    HiveKey* key = hive != nullptr ? hive->findKey(path) : nullptr;
    const HiveKey* child = key != nullptr ? hive->childAt(key, index) : nullptr;
    if (child == nullptr)
        return std::nullopt;
    return child->name;
}

bool WineRegistry::keyExists(RegRoot root, const QString& path)
{
    HiveFile* hive = currentFor(root, path);
    return hive != nullptr && hive->findKey(path) != nullptr;
}

std::optional<RegKeySnapshot> WineRegistry::exportKey(RegRoot root, const QString& path)
{
    HiveFile* hive = currentFor(root, path);
    HiveKey* key = hive != nullptr ? hive->findKey(path) : nullptr;
    if (key == nullptr)
        return std::nullopt;
    return snapshotOf(*hive, key);
}

bool WineRegistry::wineserverRunning() const
{
    return !m_settingsStore && m_prefix.error().isEmpty() && wineserver::isRunning(m_prefix.path());
}

namespace
{

RegResult applyChange(HiveFile& hive, const RegChange& change, uint64_t now)
{
    if (RegResult checked = checkChange(change); !checked.ok())
        return checked;
    switch (change.kind) {
    case RegChange::Kind::CreateKey:
        hive.createKey(change.path, now);
        break;
    case RegChange::Kind::SetValue: {
        HiveKey* key = hive.createKey(change.path, now);
        const HiveValue* old = hive.findValue(key, change.name);
        // As in Wine, storing the same kind and bytes again changes nothing.
        if (old == nullptr || old->value != change.value || !old->rawText.isEmpty())
            hive.setValue(key, change.name, change.value, now);
        break;
    }
    case RegChange::Kind::DeleteTree: {
        if (HiveKey* key = hive.findKey(change.path))
            hive.deleteKey(key, now);
        break;
    }
    case RegChange::Kind::DeleteValue:
        if (HiveKey* key = hive.findKey(change.path))
            hive.deleteValue(key, change.name, now);
        break;
    }
    return RegResult::success();
}

} // namespace

std::unique_ptr<WineRegistry> WineRegistry::settingsStore(const QString& hiveFile)
{
    const QFileInfo file(hiveFile);
    auto store = std::unique_ptr<WineRegistry>(
        new WineRegistry(Prefix(hiveFile.isEmpty() ? QString() : file.absolutePath())));
    store->m_settingsStore = true;
    store->m_machine->path.clear();
    store->m_machine->nativePath.clear();
    store->m_user->path = hiveFile.isEmpty() ? QString() : file.absoluteFilePath();
    store->m_user->nativePath = QFile::encodeName(store->m_user->path);
    return store;
}

QStringList WineRegistry::lockedHives(bool machine, bool user) const
{
    QStringList hives;
    for (const HiveSlot* s : {machine ? m_machine.get() : nullptr, user ? m_user.get() : nullptr}) {
        if (s != nullptr && !s->path.isEmpty())
            hives << s->writePath();
    }
    return hives;
}

// The settings folder is made on the first write, private to the user as the XDG base
// directory rules ask; nothing else decides whether the store may be written.
RegResult WineRegistry::prepareSettingsFolder()
{
    const QString folder = m_prefix.path();
    if (folder.isEmpty())
        return RegResult::failure(RegStatus::IoError,
                                  QStringLiteral("Nixora's settings are not kept anywhere."));
    if (!QDir().mkpath(QFileInfo(folder).path()) ||
        (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) ||
        !QFileInfo(folder).isDir())
        return RegResult::failure(
            RegStatus::IoError,
            QStringLiteral("The settings folder %1 cannot be made.").arg(folder));
    return RegResult::success();
}

RegResult WineRegistry::checkWritable()
{
    if (m_settingsStore)
        return prepareSettingsFolder();
    if (!m_prefix.exists())
        return RegResult::failure(
            RegStatus::IoError,
            QStringLiteral("The Wine prefix %1 does not exist.").arg(m_prefix.path()));
    if (QString why = readOnlyReason(m_prefix.path()); !why.isEmpty())
        return RegResult::failure(RegStatus::ReadOnly, std::move(why));
    if (wineserverRunning())
        return RegResult::failure(
            RegStatus::PrefixBusy,
            QStringLiteral("Wine programs are running in %1; its registry is read-only until "
                           "they end.")
                .arg(m_prefix.path()));
    return RegResult::success();
}

class WineRegistry::Turn final : public WriterTurn
{
public:
    explicit Turn(WineRegistry& registry) : m_registry(registry) { ++m_registry.m_turns; }
    ~Turn() override
    {
        if (--m_registry.m_turns == 0)
            m_registry.m_turnLock.reset();
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

private:
    WineRegistry& m_registry;
};

std::unique_ptr<WriterTurn> WineRegistry::takeWriterTurn()
{
    if (m_turns == 0) {
        auto lock = std::make_unique<HiveLock>(lockedHives(true, true));
        if (!lock->locked())
            return nullptr;
        m_turnLock = std::move(lock);
    }
    return std::make_unique<Turn>(*this);
}

RegResult WineRegistry::write(bool machine, bool user, const Edit& edit)
{
    if (RegResult writable = checkWritable(); !writable.ok())
        return writable;
    std::vector<RegRoot> roots;
    if (machine)
        roots.push_back(RegRoot::LocalMachine);
    if (user)
        roots.push_back(RegRoot::CurrentUser);
    // Within a writer turn the folders are locked already; a second lock of the same folder by
    // this process would wait for itself.
    std::unique_ptr<HiveLock> lock;
    if (m_turns == 0) {
        lock = std::make_unique<HiveLock>(lockedHives(machine, user));
        if (!lock->locked())
            return RegResult::failure(
                RegStatus::IoError,
                QStringLiteral("Cannot lock %1: %2").arg(slot(roots.front()).path, lock->error()));
    }
    // Checked again under the lock: a server may have started since.
    if (RegResult writable = checkWritable(); !writable.ok())
        return writable;
    const uint64_t now = currentFileTime();
    for (RegRoot root : roots) {
        HiveSlot& s = slot(root);
        s.refresh(true);
        s.parseWhole();
        if (s.state == HiveSlot::State::Missing && root == RegRoot::CurrentUser) {
            m_machine->refresh(true);
            const QByteArray arch = m_machine->hive ? m_machine->hive->arch() : QByteArray();
            s.hive = HiveFile::parse(HiveFile::emptyHiveText(root, arch));
            s.state = HiveSlot::State::Loaded;
        }
        RegResult result = RegResult::success();
        if (s.state == HiveSlot::State::Missing)
            result = RegResult::failure(RegStatus::NotFound,
                                        QStringLiteral("%1 does not exist.").arg(s.path));
        else if (s.state == HiveSlot::State::NotAHive)
            result = RegResult::failure(
                RegStatus::NotAHive, QStringLiteral("%1 is not a Wine registry file.").arg(s.path));
        else if (s.state != HiveSlot::State::Loaded)
            result = RegResult::failure(RegStatus::IoError,
                                        s.problem.isEmpty()
                                            ? QStringLiteral("Cannot read %1.").arg(s.path)
                                            : s.problem + u'.');
        if (result.ok())
            result = edit(root, *s.hive, now);
        if (!result.ok()) {
            for (RegRoot r : roots)
                slot(r).forget();
            return result;
        }
    }
    return saveAll(roots);
}

namespace
{

QString rootFileName(RegRoot root)
{
    return root == RegRoot::LocalMachine ? QStringLiteral("system.reg")
                                         : QStringLiteral("user.reg");
}

} // namespace

// Every changed hive is first written and synced beside the old one; only then are they renamed
// over the old files, so a crash leaves each hive either old or new. When a later hive cannot be
// renamed into place (an immutable file, an I/O error), those already replaced get their old
// bytes back: the call changes both hives or neither. Only when that too fails does a hive stay
// changed, and the result says which.
RegResult WineRegistry::saveAll(const std::vector<RegRoot>& roots)
{
    struct Pending {
        RegRoot root;
        HiveSlot* slot;
        QByteArray bytes;
        bool existed; // the file was there before: undone by writing its old bytes back
    };
    auto fail = [&](const QString& path, const QString& why) {
        for (RegRoot r : roots)
            slot(r).forget();
        return RegResult::failure(RegStatus::IoError,
                                  QStringLiteral("Cannot save %1: %2").arg(path, why));
    };
    std::vector<Pending> pending;
    for (RegRoot root : roots) {
        HiveSlot& s = slot(root);
        if (!s.hive->isModified())
            continue;
        std::optional<QByteArray> text = s.hive->serialize();
        if (!text)
            return fail(s.path, QStringLiteral("only part of the file was read."));
        pending.push_back(
            {root, &s, std::move(*text), QFileInfo::exists(FileReplacement::realPath(s.path))});
    }
    std::vector<FileReplacement> replacements(pending.size());
    for (size_t i = 0; i < pending.size(); ++i) {
        if (!replacements[i].stage(pending[i].slot->path, pending[i].bytes))
            return fail(pending[i].slot->path, replacements[i].error());
    }
    for (size_t i = 0; i < pending.size(); ++i) {
        if (replacements[i].commit())
            continue;
        std::vector<RegRoot> landed;
        for (size_t j = 0; j < i; ++j) {
            const Pending& done = pending[j];
            const bool undone =
                done.existed
                    ? replaceFileDurably(done.slot->path, done.slot->hive->bytes()).isEmpty()
                    : QFile::remove(FileReplacement::realPath(done.slot->path));
            if (!undone)
                landed.push_back(done.root);
        }
        RegResult result = fail(pending[i].slot->path, replacements[i].error());
        for (RegRoot root : landed)
            result.message += QStringLiteral("\n%1 was saved and its old contents cannot be put "
                                             "back: its changes are in the registry.")
                                  .arg(rootFileName(root));
        result.landed = std::move(landed);
        return result;
    }
    for (Pending& done : pending) {
        // Keep the tree of what was just written, so the next read need not parse it again.
        HiveSlot* s = done.slot;
        struct stat info {
        };
        s->hive = s->parse(std::move(done.bytes));
        if (!s->hive || ::stat(s->nativePath.constData(), &info) != 0) {
            s->forget();
            continue;
        }
        s->identity = identityOf(info);
        s->state = HiveSlot::State::Loaded;
    }
    return RegResult::success();
}

RegResult WineRegistry::setValue(RegRoot root, const QString& path, const QString& name,
                                 const RegValue& value)
{
    return apply({RegChange{RegChange::Kind::SetValue, root, path, name, value}});
}

RegResult WineRegistry::deleteKey(RegRoot root, const QString& path)
{
    const bool machine = root == RegRoot::LocalMachine;
    return write(machine, !machine, [&path](RegRoot, HiveFile& hive, uint64_t now) {
        if (HiveFile::splitPath(path).empty())
            return RegResult::failure(RegStatus::InvalidArgument,
                                      QStringLiteral("The root key cannot be deleted."));
        HiveKey* key = hive.findKey(path);
        if (key == nullptr)
            return RegResult::failure(RegStatus::NotFound,
                                      QStringLiteral("The key %1 does not exist.").arg(path));
        // As Wine and Windows NT do, a key that still has subkeys is not deleted.
        if (!key->children.empty())
            return RegResult::failure(RegStatus::HasSubkeys,
                                      QStringLiteral("The key %1 has subkeys.").arg(path));
        hive.deleteKey(key, now);
        return RegResult::success();
    });
}

RegResult WineRegistry::apply(const std::vector<RegChange>& changes)
{
    bool machine = false;
    bool user = false;
    for (const RegChange& change : changes)
        (change.root == RegRoot::LocalMachine ? machine : user) = true;
    if (!machine && !user)
        return RegResult::success();
    return write(machine, user, [&changes](RegRoot root, HiveFile& hive, uint64_t now) {
        for (const RegChange& change : changes) {
            if (change.root != root)
                continue;
            RegResult result = applyChange(hive, change, now);
            if (!result.ok())
                return result;
        }
        return RegResult::success();
    });
}

QString WineRegistry::readProblem()
{
    QStringList problems;
    for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
        (void)current(root);
        if (!slot(root).problem.isEmpty())
            problems << slot(root).problem;
    }
    return problems.join(QStringLiteral("; "));
}

bool WineRegistry::hasWow64View()
{
    const HiveFile* hive = current(RegRoot::LocalMachine);
    return hive != nullptr && hive->arch() == "win64";
}

} // namespace nixora
