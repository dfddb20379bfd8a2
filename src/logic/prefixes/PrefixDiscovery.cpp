#include "prefixes/PrefixDiscovery.h"
#include "prefixes/Sources.h"

#include "HiveFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora::prefixes
{
namespace
{

constexpr QByteArrayView kHiveHeader = "WINE REGISTRY Version 2";
// Wine writes the #arch line within the first few lines; no need to read a large hive whole.
constexpr qsizetype kHeaderBytes = 4096;

QString archOf(const QByteArray& head)
{
    for (const QByteArray& line : head.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith("#arch="))
            return QString::fromLatin1(trimmed.mid(6));
    }
    return {};
}

// The canonical folder a candidate stands for, or nothing (with a warning where it matters).
std::optional<QString> resolveCandidate(const Candidate& candidate, QStringList& warnings)
{
    const QFileInfo info(candidate.path);
    const bool link = info.isSymLink();
    if (!link && !info.exists())
        return std::nullopt; // a source's usual folder that this user does not have
    const QString problem = folderProblem(candidate.path);
    if (!problem.isEmpty()) {
        // A broken link is worth reporting wherever it was found; a plain file in a folder
        // of prefixes only when a configuration file named it.
        if (link || candidate.named)
            warnings << QStringLiteral("%1: %2").arg(candidate.source, problem);
        return std::nullopt;
    }
    if (!info.isReadable() || !info.isExecutable()) {
        warnings << QStringLiteral("%1: %2 cannot be read").arg(candidate.source, candidate.path);
        return std::nullopt;
    }
    return info.canonicalFilePath();
}

void sortPrefixes(std::vector<DiscoveredPrefix>& prefixes)
{
    std::sort(prefixes.begin(), prefixes.end(), [](const auto& a, const auto& b) {
        const QString sa = a.sources.join(u','), sb = b.sources.join(u',');
        if (sa != sb)
            return sa < sb;
        if (a.name != b.name)
            return a.name < b.name;
        return a.path < b.path;
    });
}

} // namespace

HiveHeader readHiveHeader(const QString& folder)
{
    HiveHeader header;
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/system.reg"));
    // Non-blocking open and a regular-file check: a FIFO or device named system.reg must not
    // hang the scan.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            header.isHive = true;
            header.problem =
                QStringLiteral("system.reg: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
        return header;
    }
    QFile file;
    struct stat info {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        header.isHive = true;
        header.problem = QStringLiteral("system.reg is not a readable file");
        return header;
    }
    const QByteArray head = file.read(kHeaderBytes);
    // Listing such a prefix would read the whole file; its own row says why it is not listed.
    if (head.startsWith(kHiveHeader) && info.st_size > HiveFile::kMaxFileBytes) {
        header.isHive = true;
        header.problem = QStringLiteral("system.reg is ") + HiveFile::tooLargeText(info.st_size);
        return header;
    }
    const qsizetype lineEnd = head.indexOf('\n');
    QByteArray first = lineEnd < 0 ? head : head.left(lineEnd);
    if (first.endsWith('\r'))
        first.chop(1);
    if (first != kHiveHeader)
        return header;
    header.isHive = true;
    header.arch = archOf(head);
    return header;
}

DiscoveryResult discoverPrefixes(const DiscoveryInput& input)
{
    // The most specific sources first: their names win when a prefix is found twice.
    Findings findings;
    findSteamPrefixes(input, findings);
    findBottlesPrefixes(input, findings);
    findLutrisPrefixes(input, findings);
    findHeroicPrefixes(input, findings);
    findPlayOnLinuxPrefixes(input, findings);
    findWinePrefixes(input, findings);
    findRecentPrefixes(input, findings);

    DiscoveryResult result;
    result.warnings = findings.warnings;
    QHash<QString, size_t> byPath;
    for (const Candidate& candidate : findings.candidates) {
        const std::optional<QString> path = resolveCandidate(candidate, result.warnings);
        if (!path)
            continue;
        if (const auto it = byPath.constFind(*path); it != byPath.cend()) {
            QStringList& sources = result.prefixes[*it].sources;
            if (!sources.contains(candidate.source))
                sources << candidate.source;
            continue;
        }
        const HiveHeader header = readHiveHeader(*path);
        if (!header.isHive) {
            if (candidate.named)
                result.warnings << QStringLiteral("%1: %2 holds no Wine registry")
                                       .arg(candidate.source, candidate.path);
            continue;
        }
        byPath.insert(*path, result.prefixes.size());
        result.prefixes.push_back(
            {*path, candidate.name, {candidate.source}, header.arch, header.problem});
    }
    sortPrefixes(result.prefixes);
    return result;
}

} // namespace nixora::prefixes
