#include "WineClient.h"

#include "RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace nixora
{
namespace
{

// A server that does not answer for this long is taken as one that cannot be joined.
constexpr int kRunTimeoutMs = 120 * 1000;
constexpr qint64 kMaxSavedBytes = qint64(1) << 30;
constexpr char kHeader[] = "nixora-wineclient 1";

// Every name, path and data travels as hex digits of its bytes (UTF-16LE for text), so nothing
// depends on the code pages Wine converts its command line and output through.
[[nodiscard]] QByteArray hexField(QByteArrayView bytes)
{
    return 'x' + bytes.toByteArray().toHex();
}

[[nodiscard]] QByteArray textField(const QString& text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        bytes[2 * i] = char(unit & 0xff);
        bytes[2 * i + 1] = char(unit >> 8);
    }
    return hexField(bytes);
}

[[nodiscard]] QByteArray changeLine(const ClientChange& item)
{
    const RegChange& change = item.change;
    const QByteArray target =
        QByteArray(change.root == RegRoot::LocalMachine ? " M " : " U ") + textField(change.path);
    switch (change.kind) {
    case RegChange::Kind::CreateKey:
        return "create" + target;
    case RegChange::Kind::SetValue:
        return "set" + target + ' ' + textField(change.name) + ' ' +
               QByteArray::number(change.value.type) + ' ' + hexField(change.value.data);
    case RegChange::Kind::DeleteValue:
        return "delete-value" + target + ' ' + textField(change.name);
    case RegChange::Kind::DeleteTree:
        return (item.singleKey ? "delete-key" : "delete-tree") + target;
    }
    return {};
}

// The client writes its files through Wine's name for a Unix path, which needs no drive mapping.
[[nodiscard]] QByteArray requestText(const QString& folder,
                                     const std::vector<ClientChange>& changes,
                                     const std::vector<ClientSubtree>& subtrees)
{
    QString windowsFolder = QStringLiteral("\\\\?\\unix") + folder;
    windowsFolder.replace(u'/', u'\\');
    QByteArray text = QByteArray(kHeader) + "\nfolder " + textField(windowsFolder) + '\n';
    for (const ClientChange& change : changes)
        text += changeLine(change) + '\n';
    for (const ClientSubtree& subtree : subtrees)
        text += QByteArray(subtree.root == RegRoot::LocalMachine ? "save M " : "save U ") +
                textField(subtree.path) + '\n';
    return text + "end\n";
}

[[nodiscard]] RegResult changeOutcome(const QByteArray& line,
                                      const std::vector<ClientChange>& changes, bool& understood)
{
    const QByteArrayList f = line.split(' ');
    understood = f.size() >= 2 && f[0] == "changes";
    if (!understood || f[1] == "ok")
        return RegResult::success();
    bool number = false;
    const size_t index = f.size() >= 5 ? f[2].toULong(&number) : 0;
    understood = f[1] == "failed" && number && index < changes.size();
    if (!understood)
        return RegResult::success();
    const QString path = changes[index].change.path;
    const QString undo = f.size() > 5 ? QStringLiteral(" What was changed before it could not all "
                                                       "be undone.")
                                      : QString();
    if (f[3] == "notfound")
        return RegResult::failure(RegStatus::NotFound,
                                  QStringLiteral("The key %1 does not exist.").arg(path) + undo);
    if (f[3] == "hassubkeys")
        return RegResult::failure(RegStatus::HasSubkeys,
                                  QStringLiteral("The key %1 has subkeys.").arg(path) + undo);
    return RegResult::failure(RegStatus::IoError,
                              QStringLiteral("Wine could not change %1 (error %2).")
                                      .arg(path, QString::fromLatin1(f[4])) +
                                  undo);
}

// What the loader said when it gave up: Wine's own words for the first line that has any.
[[nodiscard]] QString failureReason(const ServerLoader& server, const QProcess& process,
                                    const QByteArray& standardError)
{
    QString said;
    for (const QByteArray& line : standardError.split('\n')) {
        said = QString::fromLocal8Bit(line).trimmed();
        if (!said.isEmpty())
            break;
    }
    if (said.contains(QLatin1String("version mismatch")))
        return QStringLiteral("its wineserver is of another Wine build than %1 (%2)")
            .arg(server.loader, said);
    if (!said.isEmpty())
        return QStringLiteral("%1 could not run Nixora's client: %2").arg(server.loader, said);
    if (process.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("Nixora's client was killed while it ran under %1")
            .arg(server.loader);
    return QStringLiteral("Nixora's client ended with status %1 under %2")
        .arg(process.exitCode())
        .arg(server.loader);
}

// Reads the report on standard output and the files it names; false when it is not whole.
[[nodiscard]] bool readReport(const QByteArray& output, const QString& folder,
                              const std::vector<ClientChange>& changes, size_t subtrees,
                              ClientRun& run)
{
    QByteArrayList lines = output.split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed();
    if (size_t(lines.size()) < subtrees + 3 || lines[0] != kHeader || lines[subtrees + 2] != "end")
        return false;
    bool understood = false;
    run.changes = changeOutcome(lines[1], changes, understood);
    if (!understood)
        return false;
    for (size_t i = 0; i < subtrees; ++i) {
        const QByteArrayList f = lines[qsizetype(i + 2)].split(' ');
        if (f.size() < 3 || f[0] != "save" || f[1] != QByteArray::number(qulonglong(i)))
            return false;
        if (f[2] == "missing") {
            run.saved.emplace_back();
            continue;
        }
        QByteArray text;
        if (f[2] != "ok" ||
            !readRegularFile(QStringLiteral("%1/%2.reg").arg(folder).arg(i), kMaxSavedBytes, text)
                 .ok()) {
            run.error = QStringLiteral("its wineserver did not save the registry for Nixora (%1)")
                            .arg(QString::fromLatin1(lines[qsizetype(i + 2)]));
            return true;
        }
        run.saved.emplace_back(std::move(text));
    }
    return true;
}

} // namespace

ClientRun runWineClient(const ServerLoader& server, const QString& clientProgram,
                        const std::vector<ClientChange>& changes,
                        const std::vector<ClientSubtree>& subtrees)
{
    ClientRun run;
    if (!server.error.isEmpty()) {
        run.error = server.error;
        return run;
    }
    if (!QFileInfo(clientProgram).isFile()) {
        run.error = QStringLiteral("Nixora's client %1 is not installed").arg(clientProgram);
        return run;
    }
    const QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/nixora-wineclient-XXXXXX"));
    if (!folder.isValid()) {
        run.error = QStringLiteral("no temporary folder could be made in %1").arg(QDir::tempPath());
        return run;
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& item : server.environment)
        environment.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
    process.setProcessEnvironment(environment);
    process.start(server.loader, {clientProgram});
    if (!process.waitForStarted(kRunTimeoutMs)) {
        run.error = QStringLiteral("%1 could not be started").arg(server.loader);
        return run;
    }
    process.write(requestText(folder.path(), changes, subtrees));
    process.closeWriteChannel();
    if (!process.waitForFinished(kRunTimeoutMs)) {
        process.kill();
        process.waitForFinished(-1);
        run.error = QStringLiteral("its wineserver did not answer within %1 seconds")
                        .arg(kRunTimeoutMs / 1000);
        return run;
    }
    const QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 ||
        !readReport(output, folder.path(), changes, subtrees.size(), run))
        run = ClientRun{failureReason(server, process, process.readAllStandardError()), {}, {}};
    return run;
}

} // namespace nixora
