#pragma once

#include <QStringList>

#include <vector>

namespace nixora
{

// One writer at a time: an exclusive flock on each folder that holds one of the hives (the real
// file after links), held for the life of the object. A folder keeps its inode while the hive in
// it is replaced by rename (the hive's own inode changes with every write), so every process of
// ours that writes takes turns on the same lock, and nothing is created for it: no file of ours
// is left beside the hives. Prefixes whose hives link to one file share its folder's lock.
class HiveLock
{
public:
    // The folders are locked each once, in the order of their device and inode, so that two
    // writers never hold one folder each while waiting for the other's.
    explicit HiveLock(const QStringList& hivePaths);
    ~HiveLock();
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;

    [[nodiscard]] bool locked() const { return m_locked; }
    // Why the lock could not be had; empty when it was.
    [[nodiscard]] const QString& error() const { return m_error; }

private:
    void release();

    std::vector<int> m_fds;
    bool m_locked = false;
    QString m_error;
};

} // namespace nixora
