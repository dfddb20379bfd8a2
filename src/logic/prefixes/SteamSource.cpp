#include "prefixes/Sources.h"
#include "prefixes/Vdf.h"

#include <QFileInfo>
#include <QSet>

namespace nixora::prefixes
{
namespace
{

// The parsed file, or nothing when it is absent, unreadable or malformed (with a warning).
std::optional<VdfDocument> readVdfFile(const QString& path, Findings& findings)
{
    const std::optional<QByteArray> bytes = readConfigFile(path, findings);
    if (!bytes)
        return std::nullopt;
    VdfDocument doc = parseVdf(QString::fromUtf8(*bytes));
    if (!doc.ok()) {
        findings.warn(path, QStringLiteral("not valid VDF (%1)").arg(doc.error));
        return std::nullopt;
    }
    return doc;
}

// The library folders a Steam root lists. Steam has written two forms: today's numbered blocks
// with a "path" entry, and the older numbered plain strings ("1" "/path").
QStringList libraryFolders(const QString& root, Findings& findings)
{
    const QString file = root + QStringLiteral("/steamapps/libraryfolders.vdf");
    const std::optional<VdfDocument> doc = readVdfFile(file, findings);
    const VdfNode* list = doc ? doc->child(u"libraryfolders") : nullptr;
    if (!list)
        return {};
    QStringList folders;
    for (const VdfNode& entry : list->children) {
        bool numbered = false;
        (void)entry.key.toUInt(&numbered);
        if (!numbered)
            continue; // "contentstatsid", "TimeNextStatsReport" and the like
        const QString path = entry.isBlock ? entry.text(u"path") : entry.value;
        if (!path.isEmpty() && usableFolder(path, file, findings))
            folders << path;
    }
    return folders;
}

QString gameName(const QString& steamapps, const QString& appId, Findings& findings)
{
    const QString manifest = steamapps + QStringLiteral("/appmanifest_%1.acf").arg(appId);
    const std::optional<VdfDocument> doc = readVdfFile(manifest, findings);
    const VdfNode* state = doc ? doc->child(u"AppState") : nullptr;
    const QString name = state ? state->text(u"name") : QString();
    return name.isEmpty() ? QStringLiteral("Steam app %1").arg(appId) : name;
}

void scanLibrary(const QString& library, Findings& findings)
{
    const QString steamapps = library + QStringLiteral("/steamapps");
    for (const QString& entry : folderEntries(steamapps + QStringLiteral("/compatdata"))) {
        const QString appId = lastComponent(entry);
        bool numeric = false;
        (void)appId.toULongLong(&numeric);
        const QString pfx = entry + QStringLiteral("/pfx");
        // Steam keeps compatdata folders of games that never ran under Proton; they have no pfx.
        if (numeric && QFileInfo::exists(pfx))
            findings.add(pfx, gameName(steamapps, appId, findings), kSourceSteam, false);
    }
}

} // namespace

void findSteamPrefixes(const DiscoveryInput& input, Findings& findings)
{
    const QStringList roots = {
        input.home + QStringLiteral("/.steam/steam"),
        input.home + QStringLiteral("/.local/share/Steam"),
        input.home + QStringLiteral("/.var/app/com.valvesoftware.Steam/.local/share/Steam"),
        input.home + QStringLiteral("/snap/steam/common/.local/share/Steam"),
    };
    // ~/.steam/steam is usually a link to ~/.local/share/Steam, and every root lists itself as a
    // library: each folder is scanned once.
    QSet<QString> scanned;
    const auto scanOnce = [&](const QString& library) {
        const QString canonical = QFileInfo(library).canonicalFilePath();
        if (canonical.isEmpty() || scanned.contains(canonical))
            return false;
        scanned.insert(canonical);
        scanLibrary(library, findings);
        return true;
    };
    for (const QString& root : roots) {
        if (!folderProblem(root).isEmpty() || !scanOnce(root))
            continue;
        for (const QString& library : libraryFolders(root, findings))
            scanOnce(library);
    }
}

} // namespace nixora::prefixes
