#include "TestData.h"

#include <QFile>

#include <gtest/gtest.h>

namespace nixora::test
{

QString dataPath(const QString& relative)
{
    return QStringLiteral(NIXORA_TEST_DATA "/") + relative;
}

QByteArray readDataFile(const QString& relative)
{
    const QString path = dataPath(relative);
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (bytes.isEmpty())
        ADD_FAILURE() << "test data missing or empty: " << path.toStdString();
    return bytes;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

} // namespace nixora::test
