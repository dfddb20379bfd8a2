#include "support/MenuHome.h"

#include "support/TestData.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace nixora::test
{
namespace
{

const QString kStartMenu =
    QStringLiteral("users/root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Menu Probe/");
const QString kProgramFolder = QStringLiteral("Program Files (x86)/MenuProbe/");

// Copies a tree of tests/data/menus into the home, naming the prefix and the home as they are.
void copyTree(const QString& data, const QString& home, const QString& prefix)
{
    const QString from = dataPath(QStringLiteral("menus/") + data);
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        if (source.endsWith(QStringLiteral(".reg")))
            continue;
        const QString target = home + source.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        QByteArray bytes = readAll(source);
        bytes.replace("@PREFIX@", prefix.toUtf8()).replace("@HOME@", home.toUtf8());
        writeAll(target, bytes);
        QFile::setPermissions(target, QFile::permissions(source));
    }
}

// A hive block of tests/data/menus with the home in it, escaped as Wine writes paths there.
QString hiveBlock(const QString& relative, const QString& home)
{
    QString home2 = home;
    home2.replace(u'/', QStringLiteral("\\\\"));
    return QString::fromUtf8(readDataFile(QStringLiteral("menus/") + relative))
        .replace(QStringLiteral("@HOME@"), home2);
}

} // namespace

MenuHome::MenuHome()
{
    for (const char* folder : {".local/share/applications", ".config", "Desktop"})
        QDir().mkpath(file(QString::fromLatin1(folder)));
}

prefixes::DiscoveryInput MenuHome::input() const
{
    prefixes::DiscoveryInput input;
    input.home = path();
    input.environment.insert(QStringLiteral("HOME"), path());
    return input;
}

menus::UserFolders MenuHome::folders() const
{
    return menus::UserFolders::from(input());
}

void MenuHome::install(const TempPrefix& prefix) const
{
    copyTree(QStringLiteral("wine8"), path(), prefix.path());
    copyTree(QStringLiteral("wine8-associations"), path(), prefix.path());
    prefix.setHiveBody(
        RegRoot::CurrentUser,
        hiveBlock(QStringLiteral("wine8/MenuFiles.reg"), path()) +
            hiveBlock(QStringLiteral("wine8-associations/FileOpenAssociations.reg"), path()));
    prefix.setHiveBody(RegRoot::LocalMachine,
                       hiveBlock(QStringLiteral("wine8/Classes.reg"), path()));
    for (const QString& shortcut :
         {QStringLiteral("Menu Probe.lnk"), QStringLiteral("Uninstall.lnk")})
        prefix.createFile(kStartMenu + shortcut, "shortcut");
    for (const QString& program : {QStringLiteral("probe.exe"), QStringLiteral("uninst.exe")})
        prefix.createFile(kProgramFolder + program, "MZ");
    writeAll(file(QStringLiteral("Desktop/Menu Probe.lnk")), "shortcut");
}

void MenuHome::uninstall(const TempPrefix& prefix) const
{
    for (const QString& shortcut :
         {QStringLiteral("Menu Probe.lnk"), QStringLiteral("Uninstall.lnk")})
        QFile::remove(prefix.hostPath(QStringLiteral("drive_c/") + kStartMenu + shortcut));
    for (const QString& program : {QStringLiteral("probe.exe"), QStringLiteral("uninst.exe")})
        QFile::remove(prefix.hostPath(QStringLiteral("drive_c/") + kProgramFolder + program));
    QFile::remove(file(QStringLiteral("Desktop/Menu Probe.lnk")));
    prefix.setHiveBody(RegRoot::LocalMachine, {});
}

std::map<QString, FileState> MenuHome::snapshot() const
{
    std::map<QString, FileState> files;
    QDirIterator it(path(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        struct stat info {
        };
        if (::lstat(QFile::encodeName(name).constData(), &info) != 0)
            continue;
        files[name.mid(path().size() + 1)] = {
            S_ISLNK(info.st_mode) ? QFile::symLinkTarget(name).toUtf8() : readAll(name),
            info.st_mode, qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    }
    return files;
}

QStringList emptyFolders(const QString& root)
{
    QStringList empty;
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString folder = it.next();
        if (QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                                 QDir::NoDotAndDotDot))
            empty << folder.mid(root.size() + 1);
    }
    return empty;
}

} // namespace nixora::test
