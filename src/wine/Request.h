#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What nixora asks of one run, read from standard input. Every name, path and data field is
// sent as hex digits of its bytes (UTF-16LE for names and paths), so that any character and
// any byte comes through exactly, whatever code pages Wine converts through.
namespace wineclient
{

struct Change {
    enum class Kind { CreateKey, SetValue, DeleteValue, DeleteTree, DeleteKey };
    Kind kind = Kind::CreateKey;
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring path;
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Save {
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring path;
};

struct Request {
    std::wstring folder; // where the saved subtrees go, as <folder>\<index>.reg
    std::vector<Change> changes;
    std::vector<Save> saves;
};

// False with `error` set when the text is not a whole request.
bool parseRequest(const std::string& text, Request& request, std::string& error);

} // namespace wineclient
