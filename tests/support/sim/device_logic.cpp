#include "tests/support/sim/device_logic.h"

#include <cmath>
#include <numbers>

namespace sim {

namespace {

QByteArray Bytes(std::initializer_list<uint8_t> bytes)
{
    QByteArray out;
    for (uint8_t b : bytes)
        out.append(char(b));
    return out;
}

template <size_t N>
QByteArray Bytes(const std::array<uint8_t, N>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(N));
}

// Block offsets of the clock in the parameter block.
constexpr int kClockAt = 23;
constexpr int kCoefficientAt = 20;

QByteArray ParamsReply(const DeviceState& d)
{
    auto block = d.params;
    const auto clock = ClockBcd(d.ClockNow());
    std::copy(clock.begin(), clock.end(), block.begin() + kClockAt);
    return Bytes(block);
}

void WriteParams(DeviceState& d, const QByteArray& data)
{
    std::copy(data.begin(), data.end(), d.params.begin());
    if (d.params[kCoefficientAt] == 0 && d.params[kCoefficientAt + 1] == 0) {
        d.params[kCoefficientAt] = uint8_t(d.factoryCoefficient >> 8);
        d.params[kCoefficientAt + 1] = uint8_t(d.factoryCoefficient);
    }
    // A clock that does not decode leaves the running clock alone.
    const QDateTime clock = Params::Decode(d.params).clock;
    if (clock.isValid())
        d.SetClock(clock);
    ++d.paramWrites;
}

QByteArray AccountReply(const DeviceState& d)
{
    QByteArray data = Bytes({uint8_t(d.externalStarts >> 8), uint8_t(d.externalStarts), uint8_t(d.selfStarts >> 8),
                             uint8_t(d.selfStarts)});
    std::array<uint8_t, 7> begin{};
    if (d.accountBeginRaw)
        begin = *d.accountBeginRaw;
    else if (d.accountBegin.isValid())
        begin = ClockBcd(d.accountBegin);
    return data + Bytes(begin);
}

QByteArray LogBlock(DeviceState& d, bool first)
{
    if (first)
        d.logDelivered = 0;
    const size_t total = d.log.size();
    const size_t remaining = total > d.logDelivered ? total - d.logDelivered : 0;
    const size_t count = std::min<size_t>(remaining, kMaxRecordsPerBlock);
    QByteArray records;
    for (size_t i = 0; i < count; ++i)
        records += Bytes(d.log[total - 1 - d.logDelivered - i]);
    d.logDelivered += count;
    const bool last = d.logDelivered >= total;
    return QByteArray(1, char(last ? 1 : 0)) + records;
}

}  // namespace

std::optional<QByteArray> Respond(DeviceState& d, const Frame& f)
{
    auto reply = [&](uint8_t command, const QByteArray& data) {
        return MakeFrame(kTypeVemor, d.number, command, data);
    };
    switch (f.command) {
    case cmdIdentify:
        if (f.data.size() == 1) {
            // Set speed: the reply goes out at the old speed, then the device switches.
            // It names the speed it now works at; an unknown code changes nothing.
            const uint8_t code = uint8_t(f.data[0]);
            if (code < kSpeeds.size())
                d.speedCode = code;
        } else if (!f.data.isEmpty()) {
            return std::nullopt;
        }
        return reply(cmdIdentify, Bytes({d.speedCode}));
    case cmdLive:
        return reply(cmdLive, Bytes({d.live.state, uint8_t(d.live.voltage >> 8), uint8_t(d.live.voltage), d.live.time}));
    case cmdReadParams:
        return reply(cmdReadParams, ParamsReply(d));
    case cmdWriteParams:
        if (f.data.size() != kParamBlockSize)
            return std::nullopt;
        WriteParams(d, f.data);
        return reply(cmdWriteParams, {});
    case cmdReadAccount:
        return reply(cmdReadAccount, AccountReply(d));
    case cmdClearAccount: {
        d.externalStarts = 0;
        d.selfStarts = 0;
        const QDateTime now = d.ClockNow();
        d.accountBegin = now.addMSecs(-now.time().msec());
        d.accountBeginRaw.reset();
        ++d.accountClears;
        return reply(cmdClearAccount, {});
    }
    case cmdReadLog:
        return reply(cmdReadLog, LogBlock(d, f.data.isEmpty() || f.data[0] == 0));
    case cmdReadInfo:
        return reply(cmdReadInfo, d.info.leftJustified(kInfoSize, ' ', true) +
                                      d.version.leftJustified(kVersionSize, ' ', true));
    case cmdWriteInfo:
        if (f.data.size() != kInfoSize)
            return std::nullopt;
        d.info = f.data;
        ++d.infoWrites;
        return reply(cmdWriteInfo, {});
    default:
        return std::nullopt;
    }
}

void Animate(DeviceState& d, std::chrono::milliseconds elapsed)
{
    // A 20 s cycle: the engine runs for 12 s, then stands for 8 s, with a voltage dip
    // below the critical level while it stands.
    constexpr int64_t kCycle = 20000, kRun = 12000;
    const int64_t ms = elapsed.count();
    const int64_t inCycle = ms % kCycle;
    const bool running = inCycle < kRun;
    const int64_t inPhase = running ? inCycle : inCycle - kRun;

    const Params p = Params::Decode(d.params);
    const int un = p.normalVoltage ? p.normalVoltage : 380;
    const int uk = p.criticalVoltage ? p.criticalVoltage : un * 9 / 10;
    int u = un + int(std::lround(6 * std::sin(2 * std::numbers::pi * double(ms) / 7000.0)));
    if (!running && inPhase >= 3000 && inPhase < 5000)
        u = uk - 15;

    uint8_t state = 0;
    if (running)
        state |= 0x10 | 0x01;
    if (u >= uk)
        state |= 0x40;
    else
        state |= 0x80;

    const bool wasRunning = d.live.state & 0x10;
    if (running != wasRunning) {
        LogRecord r;
        r.deviceOn = true;
        if (running) {
            ++d.externalStarts;
            if (d.externalStarts % 4 == 0) {
                r.selfStart = true;
                ++d.selfStarts;
            }
        }
        r.inputs = state;
        r.voltage = uint16_t(u);
        const QDateTime now = d.ClockNow();
        r.when = now.addMSecs(-(now.time().msec() % 20));
        d.log.push_back(r.Encode());
    }
    d.live.state = state;
    d.live.voltage = uint16_t(std::max(u, 0));
    d.live.time = uint8_t(inPhase / 1000);
}

}  // namespace sim
