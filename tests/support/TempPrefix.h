#pragma once

#include "Prefix.h"
#include "RegistryTypes.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

namespace nixora::test
{

// A throw-away Wine prefix: system.reg and user.reg with Wine's headers and no keys, drive_c,
// and dosdevices/c: (-> ../drive_c) and dosdevices/z: (-> /) as wineboot makes them.
class TempPrefix
{
public:
    TempPrefix();

    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] Prefix prefix() const { return Prefix(path()); }
    [[nodiscard]] QString hostPath(const QString& relative) const;
    [[nodiscard]] QString hivePath(RegRoot root) const;

    // Replaces a hive with Wine's header followed by `body` (key blocks as Wine writes them).
    // Written directly, not through the program's writer, so reader tests stand on their own.
    void setHiveBody(RegRoot root, const QString& body) const;

    // Rewrites the machine hive's "#arch=" line: "win32" makes it a 32-bit prefix.
    void setArch(const QByteArray& arch) const;

    // How many backup files (*.reg) the prefix's backup folder holds.
    [[nodiscard]] int backupFileCount() const;

    // Creates a file below drive_c ("Program Files/App/uninst.exe"), with its folders.
    QString createFile(const QString& relativeToDriveC, const QByteArray& content = {},
                       bool executable = false) const;

private:
    QTemporaryDir m_dir;
};

// Writes a hive file as setHiveBody does, wherever it is (a settings store), with its folders.
void writeHiveFile(const QString& path, RegRoot root, const QString& body);

// One key block in Wine's hive format with REG_SZ values, for setHiveBody. `path` uses single
// backslashes; names and texts are escaped as Wine escapes them.
[[nodiscard]] QString hiveKeyBlock(const QString& path,
                                   const QList<QPair<QString, QString>>& stringValues = {});

// The same for an Uninstall entry: "Software\Microsoft\Windows\CurrentVersion\Uninstall\<name>".
[[nodiscard]] QString uninstallEntryBlock(const QString& subkey,
                                          const QList<QPair<QString, QString>>& stringValues);

} // namespace nixora::test
