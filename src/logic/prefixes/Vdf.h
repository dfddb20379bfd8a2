#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace nixora::prefixes
{

// One entry of Valve's KeyValues text format (libraryfolders.vdf, appmanifest_*.acf): a key with
// either a text value or a block of entries.
struct VdfNode {
    QString key;
    QString value;
    std::vector<VdfNode> children;
    bool isBlock = false;

    // The first child with this key (Steam compares keys without case), or nullptr.
    [[nodiscard]] const VdfNode* child(QStringView name) const;
    // The text value of that child, empty when there is none or it is a block.
    [[nodiscard]] QString text(QStringView name) const;
};

struct VdfDocument {
    std::vector<VdfNode> entries; // the top level
    QString error;                // "line N: reason"; empty when the text parsed

    [[nodiscard]] bool ok() const { return error.isEmpty(); }
    [[nodiscard]] const VdfNode* child(QStringView name) const;
};

// Parses the text form: quoted or bare tokens, \\ \" \n \t escapes inside quotes, "//" comments,
// nested blocks, and the "[$WIN32]" style conditions Steam may put after a value (ignored).
[[nodiscard]] VdfDocument parseVdf(QStringView text);

} // namespace nixora::prefixes
