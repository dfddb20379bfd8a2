#pragma once

#include "HiveFile.h"

#include <QString>

#include <vector>

namespace nixora::fuzz
{

// What a reader sees of one key and everything below it; modification times are left out, so
// two writes of the same content compare equal.
struct KeyImage {
    QString name;
    bool isLink = false;
    QByteArray classLine;
    std::vector<HiveValue> values;
    std::vector<KeyImage> children;
};

[[nodiscard]] KeyImage imageOf(HiveFile& hive, HiveKey* key);

// The first difference as "path: what", or an empty text when both are the same.
[[nodiscard]] QString compareImages(const KeyImage& a, const KeyImage& b, const QString& path = {});

} // namespace nixora::fuzz
