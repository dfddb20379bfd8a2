#pragma once

#include "ListingOutput.h"
#include "Prefix.h"
#include "UiServices.h"
#include "Workspace.h"

#include <QStringList>

#include <chrono>

namespace nixora
{

// What `nixora --list` and `nixora --list-backups` print, and from which prefix.
struct ListingRequest {
    Prefix prefix{QString()};
    bool entries = false; // --list
    bool backups = false; // --list-backups
    bool timings = false; // --timings
    OutputFormat format = OutputFormat::Tsv;
};

// Prints the entry list or the backup page exactly as the window would show them after
// start-up, without a display, and ends the process with its exit status (see
// endListingProcess). With `timings`, the time of each phase since `mainStarted` goes to stderr
// as "timing <phase> <milliseconds>" lines.
[[noreturn]] void runHeadlessListing(
    const ListingRequest& request,
    std::chrono::steady_clock::time_point mainStarted = std::chrono::steady_clock::now());

// Ends a process that only printed: the output is flushed (a failed write makes the status 1,
// with the reason on stderr) and the process exits at once. Freeing the lists and trees it
// built would only cost time: tens of milliseconds at 10,000 entries.
[[noreturn]] void endListingProcess(int status);

// Whether `prefix` can be listed or cleaned: 0 when it can; otherwise the reason is on stderr
// and the result is the exit status, 1 for an unusable path (a relative WINEPREFIX), 2 for a
// folder that is not a Wine prefix ("not a Wine prefix: DIR (no system.reg)").
[[nodiscard]] int refusePrefix(const Prefix& prefix);

// What the listings say of a registry that is not the files: "live", or "last save" with the
// time of the hive files (ISO 8601) and why the prefix's wineserver cannot be joined; nothing for
// the files.
[[nodiscard]] QStringList registryColumns(const PrefixStatus& status);

// One tab-separated line on stdout; characters below U+0020 in a field are written as \xHH, so
// a field cannot break the one-row-per-line layout.
void printListingLine(const QStringList& fields);

// Nothing to show and no one to ask: the listings only read.
class SilentUi final : public UiServices
{
public:
    MsgAnswer messageBox(const MessageBoxRequest& request) override
    {
        return request.defaultButton;
    }
    void setMousePointer(int pointer) override { m_pointer = pointer; }
    [[nodiscard]] int mousePointer() const override { return m_pointer; }
    void processEvents() override {}
    void setClipboardText(const QString&) override {}
    void shellOpen(const QString&) override {}

private:
    int m_pointer = kPointerDefault;
};

// The window's state and services for one prefix, without a window, so that every listing runs
// the window's own fill.
class HeadlessWindow
{
public:
    explicit HeadlessWindow(const Prefix& prefix);
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;

    // Reads the hives and the preferences the fill depends on, as the window does at start-up.
    void loadPreferences();
    void fillEntries();
    void fillBackups();

    [[nodiscard]] Workspace& context() { return m_ctx; }
    [[nodiscard]] WindowState& state() { return m_ctx.state; }
    // Where the lists are read from: the files, the running wineserver, or its last save.
    [[nodiscard]] const PrefixStatus& status() const { return m_ctx.status(); }

private:
    SilentUi m_ui;
    SystemClock m_clock;
    Workspace m_ctx;
};

} // namespace nixora
