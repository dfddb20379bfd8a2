#include "Request.h"

#include <cstdlib>

namespace wineclient
{
namespace
{

constexpr char kHeader[] = "nixora-wineclient 1";

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "x" followed by an even number of hex digits.
bool decodeBytes(const std::string& field, std::vector<BYTE>& bytes)
{
    if (field.empty() || field[0] != 'x' || (field.size() - 1) % 2 != 0)
        return false;
    bytes.clear();
    for (size_t i = 1; i < field.size(); i += 2) {
        const int high = hexDigit(field[i]);
        const int low = hexDigit(field[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(BYTE(high * 16 + low));
    }
    return true;
}

bool decodeText(const std::string& field, std::wstring& text)
{
    std::vector<BYTE> bytes;
    if (!decodeBytes(field, bytes) || bytes.size() % 2 != 0)
        return false;
    text.clear();
    for (size_t i = 0; i < bytes.size(); i += 2)
        text.push_back(wchar_t(bytes[i] | (bytes[i + 1] << 8)));
    return true;
}

bool decodeRoot(const std::string& field, HKEY& root)
{
    if (field == "M")
        root = HKEY_LOCAL_MACHINE;
    else if (field == "U")
        root = HKEY_CURRENT_USER;
    else
        return false;
    return true;
}

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t blank = line.find(' ', start);
        fields.push_back(line.substr(start, blank - start));
        if (blank == std::string::npos)
            return fields;
        start = blank + 1;
    }
}

struct Verb {
    const char* word;
    Change::Kind kind;
    size_t fields; // with the verb itself
};

constexpr Verb kVerbs[] = {
    {"create", Change::Kind::CreateKey, 3},         {"set", Change::Kind::SetValue, 6},
    {"delete-value", Change::Kind::DeleteValue, 4}, {"delete-tree", Change::Kind::DeleteTree, 3},
    {"delete-key", Change::Kind::DeleteKey, 3},
};

bool parseChange(const std::vector<std::string>& f, Change& change)
{
    for (const Verb& verb : kVerbs) {
        if (f[0] != verb.word)
            continue;
        if (f.size() != verb.fields || !decodeRoot(f[1], change.root) ||
            !decodeText(f[2], change.path))
            return false;
        change.kind = verb.kind;
        if (verb.fields >= 4 && !decodeText(f[3], change.name))
            return false;
        if (verb.kind == Change::Kind::SetValue) {
            char* end = nullptr;
            change.type = DWORD(std::strtoul(f[4].c_str(), &end, 10));
            return !f[4].empty() && *end == '\0' && decodeBytes(f[5], change.data);
        }
        return true;
    }
    return false;
}

bool parseLine(const std::string& line, Request& request)
{
    const std::vector<std::string> f = splitFields(line);
    if (f[0] == "folder")
        return f.size() == 2 && decodeText(f[1], request.folder);
    if (f[0] == "save") {
        Save save;
        if (f.size() != 3 || !decodeRoot(f[1], save.root) || !decodeText(f[2], save.path))
            return false;
        request.saves.push_back(save);
        return true;
    }
    Change change;
    if (!parseChange(f, change))
        return false;
    request.changes.push_back(change);
    return true;
}

} // namespace

bool parseRequest(const std::string& text, Request& request, std::string& error)
{
    size_t start = 0;
    size_t number = 0;
    bool ended = false;
    while (start < text.size() && !ended) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        ++number;
        if (number == 1 && line == kHeader)
            continue;
        if (number == 1 || (!(ended = line == "end") && !parseLine(line, request))) {
            error = "request line " + std::to_string(number) + " is not understood";
            return false;
        }
    }
    if (!ended)
        error = "the request ends before its \"end\" line";
    return ended;
}

} // namespace wineclient
