#pragma once

#include "menus/UserFolders.h"
#include "prefixes/DiscoverySource.h"
#include "support/TempPrefix.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>

namespace nixora::test
{

// A file as a test compares it before and after: bytes, permission bits, modification time.
struct FileState {
    QByteArray bytes;
    uint mode = 0;
    qint64 modifiedNs = 0;

    friend bool operator==(const FileState&, const FileState&) = default;
};

// A home folder of a test's own (~/.local/share, ~/.config, ~/Desktop) holding what Wine 8 wrote
// there for the NSIS program "Menu Probe" of a prefix (tests/data/menus): two Start Menu entries
// with their .menu, .directory and icon files, a desktop link, and a file association.
class MenuHome
{
public:
    MenuHome();

    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString file(const QString& relative) const { return path() + u'/' + relative; }
    [[nodiscard]] prefixes::DiscoveryInput input() const;
    [[nodiscard]] menus::UserFolders folders() const;

    // Writes Menu Probe's files for `prefix` with their records in its user.reg, its classes in
    // system.reg (both hives are replaced), and the shortcuts and program they start.
    void install(const TempPrefix& prefix) const;
    // What its uninstaller did: shortcuts, program and classes are gone, the Linux files stay.
    void uninstall(const TempPrefix& prefix) const;

    // Every file below the home folder by its path relative to it.
    [[nodiscard]] std::map<QString, FileState> snapshot() const;

private:
    QTemporaryDir m_dir;
};

// The folders below `root` that are empty, relative to it.
[[nodiscard]] QStringList emptyFolders(const QString& root);

} // namespace nixora::test
