// nixora-wineclient.exe: Nixora's way into the registry of a Wine prefix while its wineserver
// runs. That server keeps the registry in memory and writes it over the hive files about every
// 30 seconds and when it exits, so the files are neither current nor safe to edit; only a client
// of the server (a Windows program run by the server's own Wine build) sees and changes the
// registry as it is. One run reads a request from standard input, applies its change set (all
// or nothing), then saves the asked subtrees, each into a file of its own in Wine's hive text
// format, and reports on standard output.

#include "Changes.h"
#include "Request.h"

#include <string>

namespace
{

using namespace wineclient;

std::string readInput()
{
    std::string text;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

void write(DWORD which, const std::string& text)
{
    const HANDLE output = GetStdHandle(which);
    size_t done = 0;
    while (done < text.size()) {
        DWORD wrote = 0;
        if (!WriteFile(output, text.data() + done, DWORD(text.size() - done), &wrote, nullptr) ||
            wrote == 0)
            return;
        done += wrote;
    }
}

// Saving a key is a backup operation: the server asks for the backup privilege, which the
// prefix's user holds but has not enabled.
void enableBackupPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

// The server writes the subtree in the format of its own hive files ("WINE REGISTRY Version 2",
// keys relative to the saved one, which is "[]"), from its memory, in one request.
std::string saveSubtree(const Save& save, const std::wstring& file)
{
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(save.root, save.path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key);
    if (rc == ERROR_FILE_NOT_FOUND)
        return "missing";
    if (rc == ERROR_SUCCESS) {
        DeleteFileW(file.c_str()); // older Wine builds refuse to save over a file
        rc = RegSaveKeyW(key, file.c_str(), nullptr);
        RegCloseKey(key);
    }
    return rc == ERROR_SUCCESS ? "ok" : "failed " + std::to_string(rc);
}

std::string changeReport(const ChangeOutcome& outcome)
{
    if (outcome.ok)
        return "changes ok\n";
    return "changes failed " + std::to_string(outcome.failedIndex) + ' ' + outcome.reason + ' ' +
           std::to_string(outcome.code) + (outcome.undone ? "" : " undo-failed") + '\n';
}

} // namespace

int main()
{
    Request request;
    std::string error;
    if (!parseRequest(readInput(), request, error)) {
        write(STD_ERROR_HANDLE, "nixora-wineclient: " + error + '\n');
        return 2;
    }
    std::string report = "nixora-wineclient 1\n";
    const ChangeOutcome outcome = applyChanges(request.changes);
    report += changeReport(outcome);
    if (!request.saves.empty())
        enableBackupPrivilege();
    for (size_t i = 0; i < request.saves.size(); ++i) {
        const std::wstring file = request.folder + L"\\" + std::to_wstring(i) + L".reg";
        report += "save " + std::to_string(i) + ' ' + saveSubtree(request.saves[i], file) + '\n';
    }
    report += "end\n";
    write(STD_OUTPUT_HANDLE, report);
    return 0;
}
