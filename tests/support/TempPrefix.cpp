#include "TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace nixora::test
{
namespace
{

// Escapes as Wine does: backslash and the given delimiters get a backslash, characters outside
// printable ASCII become \x escapes (four digits always parse back the same).
QString escapeHiveText(const QString& text, QStringView delimiters)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() > 127 || c.unicode() < 32) {
            out += QStringLiteral("\\x%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            continue;
        }
        if (c == u'\\' || delimiters.contains(c))
            out += u'\\';
        out += c;
    }
    return out;
}

const char* hiveHeader(RegRoot root)
{
    return root == RegRoot::LocalMachine ? "WINE REGISTRY Version 2\n;; All keys relative to "
                                           "REGISTRY\\\\Machine\n\n#arch=win64\n"
                                         : "WINE REGISTRY Version 2\n;; All keys relative to "
                                           "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000"
                                           "\n\n#arch=win64\n";
}

} // namespace

TempPrefix::TempPrefix()
{
    QDir dir(path());
    dir.mkpath(QStringLiteral("drive_c"));
    dir.mkpath(QStringLiteral("dosdevices"));
    QFile::link(QStringLiteral("../drive_c"), hostPath(QStringLiteral("dosdevices/c:")));
    QFile::link(QStringLiteral("/"), hostPath(QStringLiteral("dosdevices/z:")));
    setHiveBody(RegRoot::LocalMachine, {});
    setHiveBody(RegRoot::CurrentUser, {});
}

QString TempPrefix::hostPath(const QString& relative) const
{
    return path() + u'/' + relative;
}

QString TempPrefix::hivePath(RegRoot root) const
{
    return hostPath(root == RegRoot::LocalMachine ? QStringLiteral("system.reg")
                                                  : QStringLiteral("user.reg"));
}

void TempPrefix::setHiveBody(RegRoot root, const QString& body) const
{
    writeHiveFile(hivePath(root), root, body);
}

void writeHiveFile(const QString& path, RegRoot root, const QString& body)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(hiveHeader(root));
    file.write(body.toUtf8());
}

void TempPrefix::setArch(const QByteArray& arch) const
{
    QFile file(hivePath(RegRoot::LocalMachine));
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray bytes = file.readAll();
    file.close();
    bytes.replace("\n#arch=win64\n", "\n#arch=" + arch + '\n');
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

int TempPrefix::backupFileCount() const
{
    return static_cast<int>(QDir(hostPath(QStringLiteral("nixora-backups")))
                                .entryList({QStringLiteral("*.reg")}, QDir::Files)
                                .size());
}

QString TempPrefix::createFile(const QString& relativeToDriveC, const QByteArray& content,
                               bool executable) const
{
    const QString full = hostPath(QStringLiteral("drive_c/") + relativeToDriveC);
    QDir().mkpath(QFileInfo(full).path());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup |
                            QFile::ExeOther);
    return full;
}

QString hiveKeyBlock(const QString& path, const QList<QPair<QString, QString>>& stringValues)
{
    QString block = QStringLiteral("\n[");
    const QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        if (i > 0)
            block += QStringLiteral("\\\\");
        block += escapeHiveText(parts[i], u"[]");
    }
    block += QStringLiteral("] 1796625534\n#time=1dd8615a0ca4520\n");
    for (const auto& [name, text] : stringValues) {
        if (name.isEmpty())
            block += QStringLiteral("@=");
        else
            block += u'"' + escapeHiveText(name, u"\"") + QStringLiteral("\"=");
        block += u'"' + escapeHiveText(text, u"\"") + QStringLiteral("\"\n");
    }
    return block;
}

QString uninstallEntryBlock(const QString& subkey,
                            const QList<QPair<QString, QString>>& stringValues)
{
    return hiveKeyBlock(
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + subkey,
        stringValues);
}

} // namespace nixora::test
