#pragma once

#include "Prefix.h"
#include "Registry.h"
#include "WineClient.h"
#include "WineRegistry.h"

#include <QDateTime>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace nixora
{

class HiveFile;
struct HiveKey;

// Where the registry of a prefix is read from and written to.
enum class RegistryAccess {
    Files,    // no wineserver runs: the hive files are the registry
    Live,     // through the prefix's running wineserver, as one of its clients
    LastSave, // a wineserver runs that cannot be joined: its last save, read-only
};

// The registry of a Wine prefix as Wine sees it now. While no wineserver serves the prefix, it is
// the hive files (a WineRegistry). While one does, every read and every write goes through that
// server, as a client of it (nixora-wineclient.exe run by the server's own Wine build); where the
// server cannot be joined, the files are read as it last saved them and every write is refused,
// with the reason.
//
// A client run costs tens of milliseconds, so reads are answered from a copy of the subtrees
// they are expected under (setReadSubtrees, and every other key read so far), taken anew at the
// start of each burst of reads: a call that comes more than kBurstGap after the one before takes
// a fresh copy. The reads of one burst (the fill of a list) see one moment, as one enumeration on
// Windows would. A write is applied and the subtrees read back in one run.
class LiveRegistry final : public Registry
{
public:
    LiveRegistry(Prefix prefix, QString clientProgram);
    ~LiveRegistry() override;

    [[nodiscard]] std::optional<RegValue> queryValue(RegRoot root, const QString& path,
                                                     const QString& name) override;
    [[nodiscard]] std::optional<QString> subkeyName(RegRoot root, const QString& path,
                                                    uint32_t index) override;
    [[nodiscard]] RegResult setValue(RegRoot root, const QString& path, const QString& name,
                                     const RegValue& value) override;
    [[nodiscard]] RegResult deleteKey(RegRoot root, const QString& path) override;
    [[nodiscard]] bool keyExists(RegRoot root, const QString& path) override;
    [[nodiscard]] std::optional<RegKeySnapshot> exportKey(RegRoot root,
                                                          const QString& path) override;
    [[nodiscard]] RegResult apply(const std::vector<RegChange>& changes) override;
    [[nodiscard]] RegResult checkWritable() override;
    [[nodiscard]] std::unique_ptr<WriterTurn> takeWriterTurn() override;
    [[nodiscard]] bool hasWow64View() override;
    [[nodiscard]] QString readProblem() override;

    // The keys reads are expected under (with everything below them), for each root; the hive
    // files are parsed for those alone too (WineRegistry::setReadSubtrees).
    void setReadSubtrees(RegRoot root, const QStringList& subtrees);
    // More keys to copy from a server with those, while leaving the files' reading as it is.
    void expectReads(RegRoot root, const QStringList& subtrees);

    // Where the registry is read from now: whether a server runs is looked at anew, and joining
    // one is tried when it has not been in this burst.
    [[nodiscard]] RegistryAccess access();
    // Why the server cannot be joined (LastSave); empty otherwise.
    [[nodiscard]] const QString& unreachableReason() const { return m_reason; }
    // When Wine last wrote the hive files: what LastSave reads is from then.
    [[nodiscard]] QDateTime lastSaved() const;

    static constexpr std::chrono::milliseconds kBurstGap{300};

    struct Subtree; // one copied subtree: its root, path and the server's save of it

private:
    [[nodiscard]] RegistryAccess currentAccess();
    void addSubtree(RegRoot root, const QString& path);
    void beginCall();
    [[nodiscard]] Subtree* liveSubtree(RegRoot root, const QString& path, QString& relative);
    [[nodiscard]] HiveKey* liveKey(RegRoot root, const QString& path, Subtree*& subtree);
    bool fetch(const std::vector<ClientChange>& changes, RegResult& outcome);
    [[nodiscard]] RegResult refusal() const;
    [[nodiscard]] RegResult refusedEverywhere() const;
    RegResult write(const std::vector<ClientChange>& changes,
                    const std::function<RegResult()>& throughFiles);

    Prefix m_prefix;
    QString m_clientProgram;
    WineRegistry m_files;
    std::vector<std::unique_ptr<Subtree>> m_subtrees;
    RegistryAccess m_access = RegistryAccess::Files;
    bool m_accessKnown = false; // m_access was found out in this burst
    bool m_fresh = false;       // the subtrees were copied in this burst
    std::chrono::steady_clock::time_point m_lastCall;
    QString m_reason;
    pid_t m_reasonServer = -1; // the server the reason was found with
    QByteArray m_arch;         // "#arch=" of the server's last save of a machine subtree
};

} // namespace nixora
