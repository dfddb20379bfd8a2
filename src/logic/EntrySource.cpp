#include "EntrySource.h"

#include "HiveText.h"

#include <array>

namespace nixora
{
namespace
{

// A 32-bit entry is matched with the Active Setup components of the 32-bit view, the ones a
// 32-bit program on 64-bit Windows sees; that is where a 32-bit installer registers them. HKCU
// has no 32-bit view of its own, and per-user installers register their components in the
// machine's native key, so user entries are matched with the native components.
//
// Built on first use, so that constants of other files may be made from it.
const std::array<EntrySource, 3>& allSources()
{
    static const QString uninstall =
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
    static const QString activeSetup =
        QStringLiteral("Microsoft\\Active Setup\\Installed Components\\");
    static const QString native = QStringLiteral("Software\\");
    static const QString wow64 = QStringLiteral("Software\\Wow6432Node\\");
    static const std::array<EntrySource, 3> sources{{
        {SourceKind::Machine, RegRoot::LocalMachine, native + uninstall, native + activeSetup,
         QStringLiteral("HKLM"), QStringLiteral("Registry: HKLM (all users)")},
        {SourceKind::Machine32, RegRoot::LocalMachine, wow64 + uninstall, wow64 + activeSetup,
         QStringLiteral("HKLM32"), QStringLiteral("Registry: HKLM32 (all users, 32-bit programs)")},
        {SourceKind::User, RegRoot::CurrentUser, native + uninstall, native + activeSetup,
         QStringLiteral("HKCU"), QStringLiteral("Registry: HKCU (this user only)")},
    }};
    return sources;
}

} // namespace

QString EntrySource::entryKeyName(const QString& subkey) const
{
    const QString rootName = root == RegRoot::LocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                                           : QStringLiteral("HKEY_CURRENT_USER");
    return rootName + u'\\' + entryPath(subkey);
}

const EntrySource& entrySource(SourceKind kind)
{
    return allSources()[static_cast<size_t>(kind)];
}

std::vector<const EntrySource*> entrySources(Registry& registry)
{
    std::vector<const EntrySource*> sources{&entrySource(SourceKind::Machine)};
    if (registry.hasWow64View())
        sources.push_back(&entrySource(SourceKind::Machine32));
    sources.push_back(&entrySource(SourceKind::User));
    return sources;
}

QString entryRowKey(const EntrySource& source, const QString& subkey)
{
    if (source.kind == SourceKind::Machine)
        return tags::kRowKeyPrefix + subkey;
    return tags::kRowKeyPrefix + source.label + u'\\' + subkey;
}

RowEntry splitEntryRowKey(const QString& key, bool withPrefix)
{
    const QString rest = withPrefix ? key.mid(tags::kRowKeyPrefix.size()) : key;
    const qsizetype slash = rest.indexOf(u'\\');
    if (slash > 0) {
        const QStringView label = QStringView(rest).left(slash);
        for (const EntrySource& source : allSources()) {
            if (source.kind != SourceKind::Machine && source.label == label)
                return {&source, rest.mid(slash + 1)};
        }
    }
    return {&entrySource(SourceKind::Machine), rest};
}

const EntrySource* sourceHoldingKey(RegRoot root, const QString& path, bool wow64View)
{
    for (const EntrySource& source : allSources()) {
        if (source.root != root || (source.kind == SourceKind::Machine32 && !wow64View))
            continue;
        // Compared as the hive compares key names, so that a look-alike such as U+017F for 's'
        // cannot pass for a source's key and reach another one.
        if (path.size() > source.uninstallPath.size() &&
            hive::startsWithName(path, source.uninstallPath))
            return &source;
    }
    return nullptr;
}

} // namespace nixora
