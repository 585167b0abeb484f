#include "serial/serialmisc.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <ctime>

namespace {
// Half of the tick range: a tick count below a timer's start by more than this has wrapped.
constexpr int64_t HalfTickRange = 39045157;
constexpr uint64_t ClockFrequency = 1000000000ull;  // CLOCK_MONOTONIC counts nanoseconds
// Notes the first event delivered and holds back requests to quit.
class TPumpFilter : public QObject {
public:
    uint32_t First = 0;
    bool Quit = false;

    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        if (First == 0)
            First = (static_cast<uint32_t>(e->type()) & 0xFFFF) |
                    ((static_cast<uint32_t>(reinterpret_cast<quintptr>(receiver)) & 0xFFFF) << 16);
        if (e->type() == QEvent::Quit && receiver == QCoreApplication::instance()) {
            Quit = true;
            return true;
        }
        return false;
    }
};

}  // namespace

uint32_t PumpMessages()
{
    QCoreApplication* app = QCoreApplication::instance();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!app || !dispatcher)
        return 0;
    TPumpFilter filter;
    app->installEventFilter(&filter);
    dispatcher->processEvents(QEventLoop::AllEvents);
    app->removeEventFilter(&filter);
    if (filter.Quit)
        QCoreApplication::postEvent(app, new QEvent(QEvent::Quit));
    return filter.First;
}

uint32_t CountsPerMs(uint64_t frequency)
{
    if (frequency == 0 || frequency > 0xFFFFFFFFull)
        return 0;
    uint32_t counts = static_cast<uint32_t>(frequency / 1000);
    if (frequency % 1000 > 500)
        ++counts;
    return counts;
}

uint32_t GetTimeMs()
{
    static const uint32_t counts = CountsPerMs(ClockFrequency);
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ns = static_cast<uint64_t>(ts.tv_sec) * ClockFrequency + static_cast<uint64_t>(ts.tv_nsec);
    return static_cast<uint32_t>(ns / counts);
}

int32_t CurrentTicks() { return static_cast<int32_t>(GetTimeMs() / 55); }

bool IsTickTimerDueAt(const TTickTimer& timer, int32_t now)
{
    if (now > timer.ExpireTicks)
        return true;
    if (now >= timer.StartTicks)
        return false;
    // The tick count wrapped below the start.
    return static_cast<int64_t>(now) + HalfTickRange > timer.ExpireTicks;
}

bool IsTickTimerDue(const TTickTimer& timer) { return IsTickTimerDueAt(timer, CurrentTicks()); }

TTickTimer NewTickTimer(uint32_t ms)
{
    TTickTimer t;
    t.StartTicks = CurrentTicks();
    t.ExpireTicks = t.StartTicks + static_cast<int32_t>((ms + 54) / 55);
    return t;
}

bool FileExistsShort(const QString& name) { return QFileInfo::exists(name); }
