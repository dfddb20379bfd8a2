#include "FuzzTargets.h"

#include "HiveImage.h"

namespace nixora::fuzz
{
namespace
{

constexpr uint64_t kNow = 133000000000000000ULL;
const QString kProbeName = QStringLiteral("\x01nixora-fuzz-probe");

// Marks every key changed, so the next write serialises the whole tree afresh.
void touchAll(HiveFile& hive, HiveKey* key)
{
    if (key != hive.root()) {
        hive.setValue(key, kProbeName, RegValue{}, kNow);
        (void)hive.deleteValue(key, kProbeName, kNow);
    }
    for (HiveKey* child : key->children)
        touchAll(hive, child);
}

QString reparse(const QByteArray& written, const KeyImage& expected, const char* stage)
{
    std::unique_ptr<HiveFile> again = HiveFile::parse(written);
    if (!again)
        return QStringLiteral("%1: the written hive does not parse").arg(QLatin1String(stage));
    const QString failure = compareImages(expected, imageOf(*again, again->root()), {});
    return failure.isEmpty() ? QString() : QLatin1String(stage) + QStringLiteral(": ") + failure;
}

} // namespace

QString hiveRoundTrip(QByteArrayView input)
{
    std::unique_ptr<HiveFile> hive = HiveFile::parse(input.toByteArray());
    if (!hive)
        return {};
    const KeyImage original = imageOf(*hive, hive->root());
    if (QString failure = reparse(*hive->serialize(true), original, "copy"); !failure.isEmpty())
        return failure;
    touchAll(*hive, hive->root());
    return reparse(*hive->serialize(), original, "rewrite");
}

} // namespace nixora::fuzz
