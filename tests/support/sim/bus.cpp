// The bus thread: reads requests from the pty master, lets the addressed device answer and
// writes the replies, delayed, split or spoiled as the faults say.
#include "tests/support/sim/device_logic.h"
#include "tests/support/sim/device_sim.h"
#include "tests/support/sim/line_speed.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <random>
#include <pty.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes that arrive after this much silence start a new frame: a device drops a frame
// that never completed, so one bad length byte cannot block it for good.
constexpr std::chrono::milliseconds kFrameGap{500};
constexpr std::chrono::milliseconds kAnimationStep{200};

struct Output {
    QByteArray bytes;
    QByteArray replyFrame;  // set on the last piece of a reply
    // On a paced line: when the first byte went on the line, and how many are written.
    std::optional<Clock::time_point> lineStart{};
    Clock::duration byteTime{};
    qsizetype done = 0;
};

struct Slot {
    DeviceState state;
    std::optional<Faults> faults;
    std::mt19937 noise;  // seeded with the faults' noise seed when they are set
};

// Line noise before a reply: up to `upTo` bytes, about half of them 0xAA.
QByteArray Noise(std::mt19937& random, int upTo)
{
    QByteArray bytes;
    if (upTo <= 0)
        return bytes;
    const auto count = std::uniform_int_distribution<int>(0, upTo)(random);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < count; ++i)
        bytes.append(char(byte(random) < 128 ? kStart : byte(random)));
    return bytes;
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

struct Bus::Impl {
    int master = -1;
    int slave = -1;  // held open so the line stays up while the program closes and reopens it
    int wake = -1;
    QString slavePath;
    Clock::time_point started = Clock::now();

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Slot> devices;
    std::multimap<Clock::time_point, Output> pending;
    std::vector<std::vector<Output>> held;
    bool unplugRequested = false;
    bool unplugged = false;
    QByteArray rx;
    Clock::time_point lastRx{};
    bool paced = false;
    Clock::time_point lineFree{};  // a paced line carries nothing new before this
    std::vector<QByteArray> requests;
    QByteArray received;
    QByteArray sent;
    std::vector<QByteArray> replies;
    std::function<void(const QString&)> trace;

    std::atomic<bool> stop{false};
    std::thread thread;

    Slot* Find(uint16_t number)
    {
        for (auto& s : devices)
            if (s.state.number == number)
                return &s;
        return nullptr;
    }

    void Wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake, &one, sizeof one);
    }

    // Closes the line when asked to (bus thread, under the lock).
    void UnplugIfAsked()
    {
        if (!unplugRequested || unplugged)
            return;
        CloseFd(master);
        CloseFd(slave);
        pending.clear();
        held.clear();
        unplugged = true;
    }
    void Run();
    void ReadInput(std::vector<QString>& log);
    void Dispatch(const Frame& frame, Clock::time_point at, std::vector<QString>& log);
    void Schedule(Slot& slot, uint8_t command, QByteArray reply, Clock::time_point now);
    void WriteDue(std::vector<QString>& log);
    // Writes an output's bytes up to upTo (what the line does not take is lost) and records
    // the reply when its last byte is out.
    void WriteOut(Output& out, qsizetype upTo, std::vector<QString>& log);
    // Time of one byte on a paced line (zero when not paced or the speed is unknown).
    Clock::duration ByteTime() const
    {
        const int speed = paced && master >= 0 ? ReadLineSpeed(master) : -1;
        return speed > 0 ? std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL / speed))
                         : Clock::duration::zero();
    }
    bool Animating() const
    {
        return std::any_of(devices.begin(), devices.end(), [](const Slot& s) { return s.state.live.animate; });
    }
};

Bus::Bus() : d(std::make_unique<Impl>())
{
    if (::openpty(&d->master, &d->slave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    ::fcntl(d->master, F_SETFD, FD_CLOEXEC);
    ::fcntl(d->slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(d->master, F_SETFL, ::fcntl(d->master, F_GETFL) | O_NONBLOCK);
    // Raw line at 9600 until the program sets its own: no echo, no line editing.
    termios t{};
    ::tcgetattr(d->slave, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(d->slave, TCSANOW, &t);
    char name[256] = {};
    if (::ttyname_r(d->slave, name, sizeof name) != 0) {
        CloseFd(d->master);
        CloseFd(d->slave);
        throw std::runtime_error("ttyname_r failed on the pty slave");
    }
    d->slavePath = QString::fromLocal8Bit(name);
    d->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d->wake < 0) {
        CloseFd(d->master);
        CloseFd(d->slave);
        throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
    }
    d->thread = std::thread([impl = d.get()] { impl->Run(); });
}

Bus::~Bus()
{
    d->stop = true;
    d->Wake();
    d->thread.join();
    CloseFd(d->master);
    CloseFd(d->slave);
    CloseFd(d->wake);
}

QString Bus::SlavePath() const
{
    return d->slavePath;
}

void Bus::AddDevice(const DeviceState& device)
{
    std::lock_guard lock(d->mutex);
    d->devices.push_back(Slot{device, std::nullopt, std::mt19937{}});
    d->Wake();  // an animated device needs the bus to tick
}

void Bus::RemoveDevice(uint16_t number)
{
    std::lock_guard lock(d->mutex);
    std::erase_if(d->devices, [&](const Slot& s) { return s.state.number == number; });
}

DeviceState Bus::Device(uint16_t number) const
{
    std::lock_guard lock(d->mutex);
    for (const auto& s : d->devices)
        if (s.state.number == number)
            return s.state;
    throw std::out_of_range("no simulated device " + std::to_string(number));
}

void Bus::Modify(uint16_t number, const std::function<void(DeviceState&)>& change)
{
    std::lock_guard lock(d->mutex);
    Slot* slot = d->Find(number);
    if (!slot)
        throw std::out_of_range("no simulated device " + std::to_string(number));
    change(slot->state);
    d->Wake();
}

void Bus::SetFaults(uint16_t number, const Faults& faults)
{
    std::lock_guard lock(d->mutex);
    Slot* slot = d->Find(number);
    if (!slot)
        throw std::out_of_range("no simulated device " + std::to_string(number));
    slot->faults = faults;
    slot->noise.seed(faults.noiseSeed);
}

void Bus::ClearFaults(uint16_t number)
{
    std::lock_guard lock(d->mutex);
    if (Slot* slot = d->Find(number))
        slot->faults.reset();
}

size_t Bus::ReleaseHeld()
{
    std::lock_guard lock(d->mutex);
    const size_t n = d->held.size();
    auto due = Clock::now();
    for (auto& pieces : d->held)
        for (auto& out : pieces)
            d->pending.emplace(due, std::move(out));
    d->held.clear();
    d->Wake();
    return n;
}

void Bus::Unplug()
{
    std::lock_guard lock(d->mutex);
    d->unplugRequested = true;
    d->Wake();
}

bool Bus::Unplugged() const
{
    std::lock_guard lock(d->mutex);
    return d->unplugged;
}

size_t Bus::HeldCount() const
{
    std::lock_guard lock(d->mutex);
    return d->held.size();
}

void Bus::Send(const QByteArray& bytes)
{
    std::lock_guard lock(d->mutex);
    d->pending.emplace(Clock::now(), Output{bytes, {}});
    d->Wake();
}

std::vector<QByteArray> Bus::Requests() const
{
    std::lock_guard lock(d->mutex);
    return d->requests;
}

size_t Bus::RequestCount() const
{
    std::lock_guard lock(d->mutex);
    return d->requests.size();
}

QByteArray Bus::ReceivedBytes() const
{
    std::lock_guard lock(d->mutex);
    return d->received;
}

QByteArray Bus::SentBytes() const
{
    std::lock_guard lock(d->mutex);
    return d->sent;
}

std::vector<QByteArray> Bus::Replies() const
{
    std::lock_guard lock(d->mutex);
    return d->replies;
}

size_t Bus::ReplyCount() const
{
    std::lock_guard lock(d->mutex);
    return d->replies.size();
}

void Bus::ClearHistory()
{
    std::lock_guard lock(d->mutex);
    d->requests.clear();
    d->received.clear();
    d->sent.clear();
    d->replies.clear();
}

bool Bus::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, timeout, [&] { return d->requests.size() >= count; });
}

bool Bus::WaitForReplies(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, timeout, [&] { return d->replies.size() >= count; });
}

bool Bus::Idle() const
{
    std::lock_guard lock(d->mutex);
    return d->pending.empty();
}

int Bus::LineSpeed() const
{
    std::lock_guard lock(d->mutex);
    return d->master >= 0 ? ReadLineSpeed(d->master) : -1;
}

void Bus::SetPaced(bool paced)
{
    std::lock_guard lock(d->mutex);
    d->paced = paced;
    d->lineFree = Clock::now();
    d->Wake();
}

void Bus::SetTrace(std::function<void(const QString&)> trace)
{
    std::lock_guard lock(d->mutex);
    d->trace = std::move(trace);
}

void Bus::Impl::Run()
{
    while (!stop) {
        std::vector<QString> log;
        std::optional<std::chrono::nanoseconds> wait;
        {
            std::lock_guard lock(mutex);
            UnplugIfAsked();
            const auto now = Clock::now();
            // To the nanosecond: a paced line writes its bytes at their time.
            auto until = [&](Clock::time_point t) {
                const auto v = std::clamp<std::chrono::nanoseconds>(t - now, std::chrono::nanoseconds::zero(),
                                                                    std::chrono::seconds(60));
                wait = wait ? std::min(*wait, v) : v;
            };
            if (!pending.empty())
                until(pending.begin()->first);
            if (Animating())
                until(now + kAnimationStep);
        }
        pollfd fds[2] = {{master, POLLIN, 0}, {wake, POLLIN, 0}};
        timespec ts{};
        if (wait) {
            ts.tv_sec = time_t(wait->count() / 1'000'000'000);
            ts.tv_nsec = long(wait->count() % 1'000'000'000);
        }
        const int n = ::ppoll(fds, 2, wait ? &ts : nullptr, nullptr);
        if (n < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            uint64_t value = 0;
            [[maybe_unused]] auto r = ::read(wake, &value, sizeof value);
        }
        if (stop)
            break;
        std::function<void(const QString&)> traceCopy;
        {
            std::lock_guard lock(mutex);
            if (Animating()) {
                const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
                for (auto& s : devices)
                    if (s.state.live.animate)
                        Animate(s.state, elapsed);
            }
            UnplugIfAsked();
            if (master >= 0 && (fds[0].revents & POLLIN))
                ReadInput(log);
            WriteDue(log);
            UnplugIfAsked();
            traceCopy = trace;
        }
        changed.notify_all();
        if (traceCopy)
            for (const auto& line : log)
                traceCopy(line);
    }
}

void Bus::Impl::ReadInput(std::vector<QString>& log)
{
    const auto now = Clock::now();
    char buf[4096];
    qsizetype got = 0;
    for (;;) {
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            break;
        if (!got && !rx.isEmpty() && now - lastRx > kFrameGap)
            rx.clear();
        got += n;
        rx.append(buf, n);
        received.append(buf, n);
    }
    if (!got)
        return;
    lastRx = now;
    // On a paced line what was read arrives when its last byte has crossed the line.
    auto arrived = now;
    if (const auto byteTime = ByteTime(); byteTime > Clock::duration::zero()) {
        arrived = std::max(now, lineFree) + got * byteTime;
        lineFree = arrived;
    }
    for (;;) {
        const qsizetype start = rx.indexOf(char(kStart));
        if (start < 0) {
            rx.clear();
            return;
        }
        rx.remove(0, start);
        if (rx.size() < 6)
            return;
        const int length = uint8_t(rx[5]) + 8;
        if (rx.size() < length)
            return;
        if (auto frame = ParseFrame(rx.left(length))) {
            rx.remove(0, length);
            requests.push_back(frame->raw);
            log.push_back(QStringLiteral("<- ") + Hex(frame->raw));
            Dispatch(*frame, arrived, log);
        } else {
            // Wrong sum: this 0xAA was not a frame start, look for the next one.
            rx.remove(0, 1);
        }
    }
}

void Bus::Impl::Dispatch(const Frame& frame, Clock::time_point at, std::vector<QString>& log)
{
    if (frame.type != kTypeVemor)
        return;
    const int speed = ReadLineSpeed(master);
    for (auto& slot : devices) {
        DeviceState& dev = slot.state;
        if (dev.number != frame.number)
            continue;
        if (dev.speedCode >= kSpeeds.size() || kSpeeds[dev.speedCode] != speed) {
            log.push_back(QStringLiteral("   %1: line at %2, device at code %3: silent")
                              .arg(dev.number)
                              .arg(speed)
                              .arg(dev.speedCode));
            continue;
        }
        auto reply = Respond(dev, frame);
        if (reply)
            Schedule(slot, frame.command, *reply, at);
    }
}

void Bus::Impl::Schedule(Slot& slot, uint8_t command, QByteArray reply, Clock::time_point now)
{
    Faults f;
    if (slot.faults && (slot.faults->command < 0 || slot.faults->command == command)) {
        if (slot.faults->after > 0) {
            --slot.faults->after;
        } else {
            f = *slot.faults;
            if (slot.faults->times > 0 && --slot.faults->times == 0)
                slot.faults.reset();
        }
    }
    if (f.silent)
        return;
    if (f.unplug) {
        unplugRequested = true;
        return;
    }
    if (f.otherAddress >= 0) {
        const auto parsed = ParseFrame(reply);
        reply = MakeFrame(parsed->type, uint16_t(f.otherAddress), parsed->command, parsed->data);
    }
    if (f.shortData >= 0) {
        const auto parsed = ParseFrame(reply);
        reply = MakeFrame(parsed->type, parsed->number, parsed->command, parsed->data.left(f.shortData));
    }
    if (f.corruptSum)
        reply[reply.size() - 1] = char(uint8_t(reply[reply.size() - 1]) ^ 0x5A);
    const QByteArray bytes = Noise(slot.noise, f.noiseUpTo) + f.junkBefore + reply;
    auto due = now + std::chrono::milliseconds(std::max(0, f.delayMs));
    const int pieces = std::clamp(f.splitPieces, 1, int(bytes.size()));
    const qsizetype step = (bytes.size() + pieces - 1) / pieces;
    std::vector<Output> kept;
    for (qsizetype at = 0; at < bytes.size(); at += step) {
        Output out{bytes.mid(at, step), {}};
        if (at + step >= bytes.size())
            out.replyFrame = reply;
        if (f.hold)
            kept.push_back(std::move(out));
        else
            pending.emplace(due, std::move(out));
        due += std::chrono::milliseconds(std::max(0, f.splitPauseMs));
    }
    if (f.hold)
        held.push_back(std::move(kept));
}

void Bus::Impl::WriteDue(std::vector<QString>& log)
{
    const auto now = Clock::now();
    while (master >= 0 && !pending.empty() && pending.begin()->first <= now) {
        auto node = pending.extract(pending.begin());
        Output& out = node.mapped();
        if (!out.lineStart) {
            out.byteTime = ByteTime();
            if (out.byteTime > Clock::duration::zero()) {
                // Paced: the bytes follow what the line carries already, one byte time each.
                out.lineStart = std::max(node.key(), lineFree);
                lineFree = *out.lineStart + out.bytes.size() * out.byteTime;
            }
        }
        if (out.lineStart) {
            // The bytes that have crossed the line by now; the rest waits for its time.
            const qsizetype crossed = qsizetype(std::max<Clock::rep>(0, (now - *out.lineStart) / out.byteTime));
            if (crossed < out.bytes.size()) {
                WriteOut(out, crossed, log);
                node.key() = *out.lineStart + (out.done + 1) * out.byteTime;
                pending.insert(std::move(node));
                continue;
            }
        }
        WriteOut(out, out.bytes.size(), log);
    }
}

void Bus::Impl::WriteOut(Output& out, qsizetype upTo, std::vector<QString>& log)
{
    if (upTo <= out.done)
        return;
    qsizetype at = out.done;
    while (at < upTo) {
        const ssize_t n = ::write(master, out.bytes.constData() + at, size_t(upTo - at));
        if (n <= 0)
            break;  // nobody reads the line: what does not fit is lost, as on a real bus
        at += n;
    }
    sent.append(out.bytes.mid(out.done, at - out.done));
    out.done = upTo;
    if (upTo < out.bytes.size())
        return;
    if (!out.replyFrame.isEmpty()) {
        replies.push_back(out.replyFrame);
        log.push_back(QStringLiteral("-> ") + Hex(out.replyFrame));
    } else if (out.bytes.size() > 0) {
        log.push_back(QStringLiteral("-> (bytes) ") + Hex(out.bytes));
    }
}

}  // namespace sim
