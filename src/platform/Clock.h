#pragma once

#include <QDateTime>

#include <cstddef>

namespace nixora
{

// The current local date and time; tests set it.
class Clock
{
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    [[nodiscard]] QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that is always there: made only from a clock that outlives it, never from a null
// pointer or a temporary, so no code that reads the time has to ask whether there is one.
class ClockRef
{
public:
    // Converts like a reference does, so a clock can be handed over as it is.
    ClockRef(const Clock& clock) : m_clock(&clock) {} // NOLINT(google-explicit-constructor)
    ClockRef(const Clock&&) = delete;
    ClockRef(std::nullptr_t) = delete;

    [[nodiscard]] const Clock* operator->() const { return m_clock; }
    [[nodiscard]] QDateTime now() const { return m_clock->now(); }

private:
    const Clock* m_clock;
};

} // namespace nixora
