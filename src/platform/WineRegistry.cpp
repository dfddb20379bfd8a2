#include "WineRegistry.h"

#include "DurableFile.h"
#include "HiveFile.h"
#include "HiveLock.h"
#include "HiveSnapshot.h"
#include "HiveText.h"
#include "Wineserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
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
        hive = HiveFile::parse(hive->bytes());
        if (!hive)
            forget();
    }

    // A hive that is a symbolic link is replaced where the link points, so the link (to a hive
    // shared between prefixes, or kept elsewhere) stays a link. The lock is taken beside that
    // file too: two prefixes linking to one hive share one lock.
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
    return m_prefix.error().isEmpty() && wineserver::isRunning(m_prefix.path());
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

RegResult WineRegistry::checkWritable()
{
    if (!m_prefix.exists())
        return RegResult::failure(
            RegStatus::IoError,
            QStringLiteral("The Wine prefix %1 does not exist.").arg(m_prefix.path()));
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
            m_registry.m_turnLocks.clear();
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

private:
    WineRegistry& m_registry;
};

std::unique_ptr<WriterTurn> WineRegistry::takeWriterTurn()
{
    if (m_turns == 0) {
        // Always the machine hive first, so two processes never wait for each other's second.
        std::vector<std::unique_ptr<HiveLock>> locks;
        for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
            locks.push_back(std::make_unique<HiveLock>(slot(root).writePath()));
            if (!locks.back()->locked())
                return nullptr;
        }
        m_turnLocks = std::move(locks);
    }
    return std::make_unique<Turn>(*this);
}

RegResult WineRegistry::write(bool machine, bool user, const Edit& edit)
{
    if (!m_prefix.exists())
        return checkWritable();
    std::vector<RegRoot> roots;
    if (machine)
        roots.push_back(RegRoot::LocalMachine);
    if (user)
        roots.push_back(RegRoot::CurrentUser);
    std::vector<std::unique_ptr<HiveLock>> locks;
    // Within a writer turn both hives are locked already; a second lock of the same hive by
    // this process would wait for itself.
    for (RegRoot root : m_turns > 0 ? std::vector<RegRoot>() : roots) {
        locks.push_back(std::make_unique<HiveLock>(slot(root).writePath()));
        if (!locks.back()->locked())
            return RegResult::failure(RegStatus::IoError,
                                      QStringLiteral("Cannot lock %1.").arg(slot(root).path));
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
                                        QStringLiteral("Cannot read %1.").arg(s.path));
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

// Every changed hive is first written and synced beside the old one; only then are they renamed
// over the old files, so a crash leaves each hive either old or new.
RegResult WineRegistry::saveAll(const std::vector<RegRoot>& roots)
{
    std::vector<std::pair<HiveSlot*, QByteArray>> pending;
    for (RegRoot root : roots) {
        HiveSlot& s = slot(root);
        if (s.hive->isModified())
            pending.emplace_back(&s, s.hive->serialize());
    }
    auto fail = [&](const QString& path, const QString& why) {
        for (RegRoot r : roots)
            slot(r).forget();
        return RegResult::failure(RegStatus::IoError,
                                  QStringLiteral("Cannot save %1: %2").arg(path, why));
    };
    std::vector<FileReplacement> replacements(pending.size());
    for (size_t i = 0; i < pending.size(); ++i) {
        if (!replacements[i].stage(pending[i].first->path, pending[i].second))
            return fail(pending[i].first->path, replacements[i].error());
    }
    for (size_t i = 0; i < pending.size(); ++i) {
        HiveSlot* s = pending[i].first;
        if (!replacements[i].commit())
            return fail(s->path, replacements[i].error());
        // Keep the tree of what was just written, so the next read need not parse it again.
        struct stat info {
        };
        s->hive = s->parse(std::move(pending[i].second));
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

bool WineRegistry::hasWow64View()
{
    const HiveFile* hive = current(RegRoot::LocalMachine);
    return hive != nullptr && hive->arch() == "win64";
}

} // namespace nixora
