#include "HiveImage.h"

namespace nixora::fuzz
{
namespace
{

QString describe(const QString& path, const char* what)
{
    return QStringLiteral("%1: %2").arg(path.isEmpty() ? QStringLiteral("(root)") : path,
                                        QLatin1String(what));
}

} // namespace

KeyImage imageOf(HiveFile& hive, HiveKey* key)
{
    KeyImage image{key->name, false, {}, hive.values(key), {}};
    image.isLink = key->isLink;
    image.classLine = key->classLine;
    for (HiveKey* child : key->children)
        image.children.push_back(imageOf(hive, child));
    return image;
}

QString compareImages(const KeyImage& a, const KeyImage& b, const QString& path)
{
    if (a.name != b.name)
        return describe(path, "key name differs");
    if (a.isLink != b.isLink || a.classLine != b.classLine)
        return describe(path, "key options differ");
    if (a.values.size() != b.values.size())
        return describe(path, "value count differs");
    for (size_t i = 0; i < a.values.size(); ++i) {
        if (a.values[i].name != b.values[i].name || !(a.values[i].value == b.values[i].value))
            return describe(path + u'\\' + a.values[i].name, "value differs");
    }
    if (a.children.size() != b.children.size())
        return describe(path, "subkey count differs");
    for (size_t i = 0; i < a.children.size(); ++i) {
        const KeyImage& child = a.children[i];
        if (QString failure = compareImages(child, b.children[i], path + u'\\' + child.name);
            !failure.isEmpty())
            return failure;
    }
    return {};
}

} // namespace nixora::fuzz
