#pragma once

#include <QString>

namespace nixora
{

// One writer at a time: an exclusive flock on "<hive>.lock" beside the hive, held for the life
// of the object. Every process of ours that writes a hive takes it, beside the file the write
// replaces (a hive that is a link is locked where it points). A lock path that is a link or not
// a regular file is never used.
class HiveLock
{
public:
    explicit HiveLock(const QString& hivePath);
    ~HiveLock();
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;

    [[nodiscard]] bool locked() const { return m_fd >= 0; }
    [[nodiscard]] static QString lockPath(const QString& hivePath);

private:
    int m_fd = -1;
};

} // namespace nixora
