#pragma once

#include "Clock.h"

namespace nixora::test
{

// A clock that always shows the same moment, so backup file names are known in advance.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDateTime now = QDateTime(QDate(2009, 3, 2), QTime(8, 5, 9)))
        : m_now(std::move(now))
    {
    }
    [[nodiscard]] QDateTime now() const override { return m_now; }

private:
    QDateTime m_now;
};

} // namespace nixora::test
