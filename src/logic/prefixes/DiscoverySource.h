#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace nixora::prefixes
{

// Where discovery looks. The home folder and the environment are passed in, never taken from
// the running process, so a test can hand over a fake home.
struct DiscoveryInput {
    QString home;
    QProcessEnvironment environment;
    QStringList recent; // prefixes the user opened before, most recent first

    [[nodiscard]] QString xdgDataHome() const;   // $XDG_DATA_HOME, else ~/.local/share
    [[nodiscard]] QString xdgConfigHome() const; // $XDG_CONFIG_HOME, else ~/.config
    // A leading "~/" (as Lutris and Bottles write paths) becomes the home folder.
    [[nodiscard]] QString expandHome(const QString& path) const;
};

// A folder some source names as a prefix, before it has been checked.
struct Candidate {
    QString path;
    QString name;
    QString source;
    // Named by a configuration file or the environment: when the folder is missing or is not
    // a folder, the user is told. Folders found by listing a directory are skipped quietly.
    bool named = false;
};

// What the sources collect: candidates, and one line for each thing they skipped and why.
struct Findings {
    std::vector<Candidate> candidates;
    QStringList warnings;

    void add(const QString& path, const QString& name, const QString& source, bool named);
    void warn(const QString& where, const QString& reason);
};

// Configuration files larger than this are not read: no launcher writes one this big.
inline constexpr qint64 kMaxConfigFileSize = 1024 * 1024;

// The bytes of a configuration file, or nothing when it is absent (quietly) or is not a regular
// file, is too large or cannot be read (with a warning). Never blocks on a FIFO.
[[nodiscard]] std::optional<QByteArray> readConfigFile(const QString& path, Findings& findings);

// The entries of a folder as absolute paths in name order, dangling links included; empty when
// the folder is missing or cannot be listed.
[[nodiscard]] QStringList folderEntries(const QString& folder);

// Why a folder cannot be looked into, empty when it can: missing, not a folder, a link to a link
// (only one link level is followed per entry, which also stops loops), or a path that does not
// resolve.
[[nodiscard]] QString folderProblem(const QString& path);

// Whether a folder named in `namedIn` can be looked into: it exists, is a folder, and its path
// resolves (no loop). Otherwise warns and returns false.
[[nodiscard]] bool usableFolder(const QString& path, const QString& namedIn, Findings& findings);

// The last path component ("/a/b/" gives "b").
[[nodiscard]] QString lastComponent(const QString& path);

} // namespace nixora::prefixes
