#include "LiveRegistry.h"

#include "HiveFile.h"
#include "HiveSnapshot.h"
#include "HiveText.h"
#include "PrefixIdentity.h"
#include "Wineserver.h"

#include <QFileInfo>

#include <algorithm>

namespace nixora
{

struct LiveRegistry::Subtree {
    RegRoot root = RegRoot::LocalMachine;
    QString path;
    std::unique_ptr<HiveFile> tree; // nullptr: the key does not exist
    QString keyName;                // the subtree's own key as the registry spells it
};

namespace
{

// The path with single backslashes between its names and none at its ends.
[[nodiscard]] QString normalPath(const QString& path)
{
    QString normal;
    for (QStringView part : HiveFile::splitPath(path)) {
        if (!normal.isEmpty())
            normal += u'\\';
        normal += part;
    }
    return normal;
}

// The rest of `path` below `base` (a normal path) when `base` is `path` or above it, compared
// as the registry compares names; nothing when it is elsewhere. Every read asks this of every
// subtree, so it compares the texts as they are (liveSubtree tries the normal path next).
[[nodiscard]] std::optional<QStringView> below(QStringView path, QStringView base)
{
    while (path.startsWith(u'\\'))
        path = path.mid(1);
    if (base.isEmpty())
        return path;
    if (!hive::startsWithName(path, base))
        return std::nullopt;
    if (path.size() == base.size())
        return QStringView();
    if (path[base.size()] != u'\\')
        return std::nullopt;
    return path.mid(base.size() + 1);
}

// The saved key's name as the server wrote it, from the header line ";; All keys relative to
// REGISTRY\\Machine\\...\\Name"; `fallback` when the line cannot be read.
[[nodiscard]] QString savedKeyName(const QByteArray& text, const QString& fallback)
{
    const QByteArray lead = ";; All keys relative to ";
    const qsizetype at = text.indexOf(lead);
    const qsizetype end = at < 0 ? -1 : text.indexOf('\n', at);
    if (end < 0)
        return fallback;
    QByteArray line = text.mid(at + lead.size(), end - at - lead.size());
    const qsizetype cut = line.lastIndexOf("\\\\");
    line = line.mid(cut < 0 ? 0 : cut + 2) + ']';
    QString name;
    if (hive::parseEscaped(line.constData(), line.constData() + line.size(), ']', name) ==
            nullptr ||
        name.isEmpty())
        return fallback;
    return name;
}

} // namespace

LiveRegistry::LiveRegistry(Prefix prefix, QString clientProgram)
    : m_prefix(prefix), m_clientProgram(std::move(clientProgram)), m_files(std::move(prefix))
{
}

LiveRegistry::~LiveRegistry() = default;

void LiveRegistry::setReadSubtrees(RegRoot root, const QStringList& subtrees)
{
    m_files.setReadSubtrees(root, subtrees);
    expectReads(root, subtrees);
}

void LiveRegistry::expectReads(RegRoot root, const QStringList& subtrees)
{
    for (const QString& path : subtrees)
        addSubtree(root, path);
}

// A key below one already copied comes with it.
void LiveRegistry::addSubtree(RegRoot root, const QString& path)
{
    const QString normal = normalPath(path);
    for (const auto& subtree : m_subtrees) {
        if (subtree->root == root && below(normal, subtree->path))
            return;
    }
    auto subtree = std::make_unique<Subtree>();
    subtree->root = root;
    subtree->path = normal;
    m_subtrees.push_back(std::move(subtree));
    m_fresh = false;
}

void LiveRegistry::beginCall()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastCall > kBurstGap) {
        m_fresh = false;
        m_accessKnown = false;
    }
    m_lastCall = now;
}

RegistryAccess LiveRegistry::currentAccess()
{
    beginCall();
    if (m_accessKnown)
        return m_access;
    m_accessKnown = true;
    const RegistryAccess before = m_access;
    const pid_t server =
        m_prefix.error().isEmpty() ? wineserver::serverProcess(m_prefix.path()) : pid_t(-1);
    if (server < 0) {
        m_access = RegistryAccess::Files;
    } else if (!m_reason.isEmpty() && server == m_reasonServer) {
        m_access = RegistryAccess::LastSave;
    } else {
        // Another server than the one that turned us away may well take us: it is tried.
        m_reason.clear();
        m_access = RegistryAccess::Live;
    }
    if (m_access != before) // what was copied before belongs to another way of reading
        m_fresh = false;
    return m_access;
}

RegistryAccess LiveRegistry::access()
{
    // Asked before a command and after a program ran: whether a server runs is looked at anew.
    m_accessKnown = false;
    RegResult ignored;
    if (currentAccess() == RegistryAccess::Live && !m_fresh)
        (void)fetch({}, ignored);
    return m_access;
}

QDateTime LiveRegistry::lastSaved() const
{
    return std::max(QFileInfo(m_prefix.systemHive()).lastModified(),
                    QFileInfo(m_prefix.userHive()).lastModified());
}

bool LiveRegistry::fetch(const std::vector<ClientChange>& changes, RegResult& outcome)
{
    const ServerLoader server = findServerLoader(m_prefix.path());
    if (server.server < 0) { // it has ended: the files hold everything now
        m_access = RegistryAccess::Files;
        m_fresh = false;
        return false;
    }
    std::vector<ClientSubtree> asked;
    for (const auto& subtree : m_subtrees)
        asked.push_back({subtree->root, subtree->path});
    ClientRun run = runWineClient(server, m_clientProgram, changes, asked);
    for (size_t i = 0; run.error.isEmpty() && i < run.saved.size(); ++i) {
        Subtree& subtree = *m_subtrees[i];
        subtree.tree.reset();
        if (!run.saved[i])
            continue;
        const std::vector<QStringView> parts = HiveFile::splitPath(subtree.path);
        subtree.keyName =
            savedKeyName(*run.saved[i], parts.empty() ? QString() : parts.back().toString());
        subtree.tree = HiveFile::parse(std::move(*run.saved[i]));
        if (!subtree.tree)
            run.error =
                QStringLiteral("its wineserver's save of %1 could not be read").arg(subtree.path);
        else if (subtree.root == RegRoot::LocalMachine)
            m_arch = subtree.tree->arch();
    }
    if (!run.error.isEmpty()) {
        // A 32-bit prefix has a 32-bit server, which no 64-bit program can join.
        m_reason = m_files.hasWow64View() || !server.error.isEmpty()
                       ? run.error
                       : QStringLiteral("it is a 32-bit prefix, and Nixora's client is a 64-bit "
                                        "program (%1)")
                             .arg(run.error);
        m_reasonServer = server.server;
        m_access = RegistryAccess::LastSave;
        m_fresh = false;
        return false;
    }
    outcome = run.changes;
    m_fresh = true;
    m_lastCall = std::chrono::steady_clock::now();
    return true;
}

LiveRegistry::Subtree* LiveRegistry::liveSubtree(RegRoot root, const QString& path,
                                                 QString& relative)
{
    // The deepest subtree that holds the path, and the path's rest below it.
    const auto find = [this, root](QStringView wanted, QStringView& rest) {
        Subtree* best = nullptr;
        for (const auto& subtree : m_subtrees) {
            if (subtree->root != root ||
                (best != nullptr && subtree->path.size() <= best->path.size()))
                continue;
            if (const std::optional<QStringView> tail = below(wanted, subtree->path)) {
                best = subtree.get();
                rest = *tail;
            }
        }
        return best;
    };
    QStringView rest;
    Subtree* best = find(path, rest);
    const QString normal = best == nullptr ? normalPath(path) : QString();
    if (best == nullptr && (best = find(normal, rest)) == nullptr) {
        addSubtree(root, normal); // read from now on with the others
        best = m_subtrees.back().get();
        rest = QStringView();
    }
    relative = rest.toString();
    RegResult ignored;
    if (!m_fresh && !fetch({}, ignored))
        return nullptr;
    return best;
}

// The key through the server; nullptr with `subtree` nullptr when the files must answer.
HiveKey* LiveRegistry::liveKey(RegRoot root, const QString& path, Subtree*& subtree)
{
    subtree = nullptr;
    if (currentAccess() != RegistryAccess::Live)
        return nullptr;
    QString relative;
    subtree = liveSubtree(root, path, relative);
    if (subtree == nullptr || !subtree->tree)
        return nullptr;
    return subtree->tree->findKey(relative);
}

std::optional<RegValue> LiveRegistry::queryValue(RegRoot root, const QString& path,
                                                 const QString& name)
{
    Subtree* subtree = nullptr;
    HiveKey* key = liveKey(root, path, subtree);
    if (subtree == nullptr)
        return m_files.queryValue(root, path, name);
    const HiveValue* value = key != nullptr ? subtree->tree->findValue(key, name) : nullptr;
    if (value == nullptr)
        return std::nullopt;
    return value->value;
}

std::optional<QString> LiveRegistry::subkeyName(RegRoot root, const QString& path, uint32_t index)
{
    Subtree* subtree = nullptr;
    HiveKey* key = liveKey(root, path, subtree);
    if (subtree == nullptr)
        return m_files.subkeyName(root, path, index);
    const HiveKey* child = key != nullptr ? subtree->tree->childAt(key, index) : nullptr;
    if (child == nullptr)
        return std::nullopt;
    return child->name;
}

bool LiveRegistry::keyExists(RegRoot root, const QString& path)
{
    Subtree* subtree = nullptr;
    HiveKey* key = liveKey(root, path, subtree);
    if (subtree == nullptr)
        return m_files.keyExists(root, path);
    return key != nullptr;
}

std::optional<RegKeySnapshot> LiveRegistry::exportKey(RegRoot root, const QString& path)
{
    Subtree* subtree = nullptr;
    HiveKey* key = liveKey(root, path, subtree);
    if (subtree == nullptr)
        return m_files.exportKey(root, path);
    if (key == nullptr)
        return std::nullopt;
    std::optional<RegKeySnapshot> snapshot = snapshotOf(*subtree->tree, key);
    // The subtree's own key is the root of the server's save, which names it only in its header.
    if (snapshot && key == subtree->tree->root())
        snapshot->name = subtree->keyName;
    return snapshot;
}

QString LiveRegistry::readProblem()
{
    // Through a running server the hive files are not what is read.
    return currentAccess() == RegistryAccess::Live ? QString() : m_files.readProblem();
}

bool LiveRegistry::hasWow64View()
{
    if (access() == RegistryAccess::Live && !m_arch.isEmpty())
        return m_arch == "win64";
    return m_files.hasWow64View();
}

RegResult LiveRegistry::refusal() const
{
    return RegResult::failure(
        RegStatus::PrefixBusy,
        QStringLiteral("Wine programs are running in %1, and Nixora cannot join their "
                       "wineserver, because %2. Until they end, the prefix is read-only.")
            .arg(m_prefix.path(), m_reason));
}

// A prefix of another user, or one whose hives are another prefix's, is not written through its
// server either.
RegResult LiveRegistry::refusedEverywhere() const
{
    if (QString why = readOnlyReason(m_prefix.path()); !why.isEmpty())
        return RegResult::failure(RegStatus::ReadOnly, std::move(why));
    return RegResult::success();
}

RegResult LiveRegistry::checkWritable()
{
    if (!m_prefix.exists())
        return m_files.checkWritable();
    switch (access()) {
    case RegistryAccess::Files:
        return m_files.checkWritable();
    case RegistryAccess::Live:
        return refusedEverywhere();
    case RegistryAccess::LastSave:
        break;
    }
    return refusal();
}

std::unique_ptr<WriterTurn> LiveRegistry::takeWriterTurn()
{
    return m_files.takeWriterTurn();
}

RegResult LiveRegistry::write(const std::vector<ClientChange>& changes,
                              const std::function<RegResult()>& throughFiles)
{
    for (const ClientChange& change : changes) {
        if (RegResult checked = checkChange(change.change); !checked.ok())
            return checked;
    }
    if (!m_prefix.exists())
        return throughFiles();
    m_accessKnown = false; // whether a server runs is looked at again for every write
    if (currentAccess() == RegistryAccess::Files)
        return throughFiles();
    if (m_access == RegistryAccess::LastSave)
        return refusal();
    if (RegResult refused = refusedEverywhere(); !refused.ok())
        return refused;
    const std::unique_ptr<WriterTurn> turn = m_files.takeWriterTurn();
    if (!turn)
        return RegResult::failure(RegStatus::IoError,
                                  QStringLiteral("Cannot lock %1.").arg(m_prefix.systemHive()));
    RegResult outcome;
    if (fetch(changes, outcome))
        return outcome;
    return m_access == RegistryAccess::Files ? throughFiles() : refusal();
}

RegResult LiveRegistry::apply(const std::vector<RegChange>& changes)
{
    if (changes.empty())
        return RegResult::success();
    std::vector<ClientChange> items;
    for (const RegChange& change : changes)
        items.push_back({change, false});
    return write(items, [&] { return m_files.apply(changes); });
}

RegResult LiveRegistry::setValue(RegRoot root, const QString& path, const QString& name,
                                 const RegValue& value)
{
    return apply({RegChange{RegChange::Kind::SetValue, root, path, name, value}});
}

RegResult LiveRegistry::deleteKey(RegRoot root, const QString& path)
{
    return write({{RegChange{RegChange::Kind::DeleteTree, root, path, {}, {}}, true}},
                 [&] { return m_files.deleteKey(root, path); });
}

} // namespace nixora
