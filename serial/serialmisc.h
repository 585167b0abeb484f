// Small shared routines of the serial library: the millisecond clock, 55 ms tick timers,
// flag tests and the common base of its components.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

// Counts of a clock of the given frequency (per second) that make one millisecond:
// 0 when there is no clock or it does not fit in 32 bits; rounded to the nearest count.
uint32_t CountsPerMs(uint64_t frequency);

// Milliseconds of a monotonic clock, wrapping at 2^32.
uint32_t GetTimeMs();

// A timer counted in 55 ms ticks of GetTimeMs.
struct TTickTimer {
    int32_t StartTicks = 0;
    int32_t ExpireTicks = 0;
};

// Ticks of 55 ms now.
int32_t CurrentTicks();
// Whether the timer is due at the given tick count (wrap of the tick count included).
bool IsTickTimerDueAt(const TTickTimer& timer, int32_t now);
bool IsTickTimerDue(const TTickTimer& timer);
// Starts a timer that is due after the given milliseconds.
TTickTimer NewTickTimer(uint32_t ms);

// One step of this thread's event loop: the events pending now are delivered, except that a
// request to quit is not acted on here but posted again, so that the program's own loop still
// ends. 0 when nothing was pending; otherwise the first event's type in the low word and the
// low word of its receiver's address in the high word.
uint32_t PumpMessages();

inline bool FlagIsSet(uint32_t flags, uint32_t mask) { return (flags & mask) != 0; }

template <typename T>
T* OffsetPointer(T* p, std::ptrdiff_t count)
{
    return reinterpret_cast<T*>(reinterpret_cast<char*>(p) + count);
}

bool FileExistsShort(const QString& name);

// Base of the serial library's components: carries the library version.
class TBaseComponent : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    static QString Version() { return QStringLiteral("v3.02"); }
    // Layouts may carry the version; the value is ignored.
    void SetVersion(const QString&) {}
};
