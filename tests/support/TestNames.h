#pragma once

#include <QString>

#include <string>

namespace nixora::test
{

// A parameterised test's name from any text, so that ctest lists "Table/Case.Test/Program_Files"
// instead of raw bytes: ASCII letters and digits are kept, every other run of characters becomes
// one '_' (gtest allows nothing else).
[[nodiscard]] inline std::string testName(const QString& text)
{
    std::string name;
    bool gap = false;
    for (const QChar c : text.left(48)) {
        const bool plain = c.unicode() < 128 && c.isLetterOrNumber();
        if (plain && gap && !name.empty())
            name += '_';
        if (plain)
            name += static_cast<char>(c.unicode());
        gap = !plain;
    }
    return name.empty() ? std::string("empty") : name;
}

// The same, led by the case's position: for tables whose texts may differ only in what is dropped.
[[nodiscard]] inline std::string indexedTestName(size_t index, const QString& text)
{
    return std::to_string(index) + '_' + testName(text);
}

} // namespace nixora::test
