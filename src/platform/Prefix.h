#pragma once

#include <QString>

namespace nixora
{

// The Wine prefix whose registry and drives the program manages.
class Prefix
{
public:
    explicit Prefix(QString path);

    // $WINEPREFIX (trailing slashes removed; must be absolute), else ~/.wine. A relative
    // WINEPREFIX is refused as Wine refuses it: the result then names no usable folder and
    // error() says why.
    [[nodiscard]] static Prefix fromEnvironment();

    // `--prefix DIR`: unlike WINEPREFIX, a relative DIR is taken from the current folder (as
    // any path a user types); trailing slashes are removed. An empty DIR gives error(). The
    // folder is never created: a missing one shows as !exists().
    [[nodiscard]] static Prefix fromCommandLine(const QString& dir);

    [[nodiscard]] const QString& path() const { return m_path; }
    [[nodiscard]] QString systemHive() const;   // HKEY_LOCAL_MACHINE
    [[nodiscard]] QString userHive() const;     // HKEY_CURRENT_USER
    [[nodiscard]] QString backupFolder() const; // <prefix>/nixora-backups
    [[nodiscard]] bool exists() const;          // the prefix folder is there
    [[nodiscard]] const QString& error() const { return m_error; }

private:
    QString m_path;
    QString m_error;
};

// What the first lines of <folder>/system.reg say.
struct HiveHeader {
    bool isHive = false;  // Wine's header, or a system.reg that cannot be read (see problem)
    bool missing = false; // there is no system.reg at all
    QString arch;
    QString problem;
};
[[nodiscard]] HiveHeader readHiveHeader(const QString& folder);

// Why `folder` is not a Wine prefix, for "not a Wine prefix: DIR (reason)": "no such folder",
// "no system.reg", or "system.reg is not a Wine registry file"; empty when its system.reg starts
// with Wine's hive header (or cannot be read, which the reading reports).
[[nodiscard]] QString notAPrefixReason(const QString& folder);

} // namespace nixora
