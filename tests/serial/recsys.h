// A system-call seam for port tests: the calls go to the real pseudo-terminal, except the ones
// a pseudo-terminal cannot answer (modem lines, RS-485, line status), which behave as the
// switches say; every call that matters is written down in order.
#pragma once

#include "serial/serialsys.h"

#include <QStringList>
#include <atomic>
#include <mutex>

class RecordingSystem : public TSerialSystem {
public:
    // How the pretended device behaves.
    std::atomic<bool> ModemLines{true};     // RTS and DTR can be driven
    std::atomic<int> Lines{0};              // the modem lines read (TIOCM_CTS...)
    // Under hardware handshake a drain waits while CTS is low, as an adapter holding the
    // bytes in its chip does (at most a few seconds here).
    std::atomic<bool> DrainWaitsForCts{false};
    std::atomic<int> QueueQueries{0};       // how often the output queue was asked for
    std::atomic<bool> Rs485SetWorks{false}; // TIOCSRS485 is accepted
    std::atomic<bool> Rs485StaysOff{false}; // ...but the driver leaves it off
    std::atomic<bool> HaveLsr{true};        // the line-status register can be read
    std::atomic<int> OpenErrno{0};          // the open fails with this
    std::atomic<int> SetTermiosErrno{0};    // setting the line fails with this
    std::atomic<int> WriteErrno{0};         // writes fail with this
    std::atomic<bool> WriteStalls{false};   // the driver takes nothing (EAGAIN)
    std::atomic<int> QueueErrno{0};         // asking how much waits to be read fails with this
    std::atomic<unsigned> Rs485Flags{0};    // the driver's RS-485 flags
    std::atomic<int> FrameErrors{-1};       // the driver's framing-error count (-1: no counters)
    std::atomic<int> CounterQueries{0};     // how often the error counters were asked for

    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    ssize_t Write(int fd, const void* bytes, size_t count) override;
    int Drain(int fd) override;

    QStringList Calls() const;
    void Clear();
    // The calls from the first one that starts with `from` on.
    QStringList CallsFrom(const QString& from) const;

private:
    void Note(const QString& call);
    mutable std::mutex mutex_;
    QStringList calls_;
};
