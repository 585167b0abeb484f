// Frames, BCD, the parameter block and log records as the devices put them on the wire.
#include "tests/support/sim/device_sim.h"

#include "platform/text.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace sim {

int SpeedCode(int bitsPerSecond)
{
    auto it = std::find(kSpeeds.begin(), kSpeeds.end(), bitsPerSecond);
    return it == kSpeeds.end() ? -1 : int(it - kSpeeds.begin());
}

uint32_t ByteSum(const QByteArray& bytes)
{
    uint32_t sum = 0;
    for (char c : bytes)
        sum += uint8_t(c);
    return sum;
}

QByteArray MakeFrame(uint8_t type, uint16_t number, uint8_t command, const QByteArray& data)
{
    QByteArray frame;
    frame.reserve(data.size() + 8);
    frame.append(char(kStart));
    frame.append(char(type));
    frame.append(char(number >> 8));
    frame.append(char(number & 0xFF));
    frame.append(char(command));
    frame.append(char(uint8_t(data.size())));
    frame.append(data.left(255));
    const uint32_t sum = ByteSum(frame);
    frame.append(char((sum >> 8) & 0xFF));
    frame.append(char(sum & 0xFF));
    return frame;
}

QString Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QByteArray FromHex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

std::optional<Frame> ParseFrame(const QByteArray& bytes)
{
    if (bytes.size() < 8 || uint8_t(bytes[0]) != kStart)
        return std::nullopt;
    const int n = uint8_t(bytes[5]);
    if (bytes.size() != n + 8)
        return std::nullopt;
    const uint32_t sum = ByteSum(bytes.left(n + 6));
    const uint32_t given = uint32_t(uint8_t(bytes[n + 6])) * 256 + uint8_t(bytes[n + 7]);
    if (sum != given)
        return std::nullopt;
    Frame f;
    f.type = uint8_t(bytes[1]);
    f.number = uint16_t(uint8_t(bytes[2]) * 256 + uint8_t(bytes[3]));
    f.command = uint8_t(bytes[4]);
    f.data = bytes.mid(6, n);
    f.raw = bytes;
    return f;
}

QDateTime Naive(const QDateTime& t)
{
    return t.isValid() ? QDateTime(t.date(), t.time(), Qt::UTC) : t;
}

QDateTime Naive(int year, int month, int day, int hour, int minute, int second, int msec)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec), Qt::UTC);
}

uint8_t ToBcd(int value)
{
    value = std::clamp(value, 0, 99);
    return uint8_t((value / 10) * 16 + value % 10);
}

int FromBcd(uint8_t byte)
{
    return ((byte & 0x70) >> 4) * 10 + (byte & 0x0F);
}

std::array<uint8_t, 7> ClockBcd(const QDateTime& t)
{
    const QDate d = t.date();
    const QTime tm = t.time();
    return {ToBcd(tm.second()), ToBcd(tm.minute()), ToBcd(tm.hour()), ToBcd(d.dayOfWeek()),
            ToBcd(d.day()),     ToBcd(d.month()),   ToBcd(d.year() % 100)};
}

namespace {

bool ValidBcd(uint8_t byte)
{
    return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}

// The clock bytes as a date and time; invalid when a byte is not BCD or the date is impossible.
QDateTime ClockFromBytes(uint8_t sec, uint8_t min, uint8_t hour, uint8_t day, uint8_t month, uint8_t year)
{
    for (uint8_t b : {sec, min, hour, day, month, year})
        if (!ValidBcd(b))
            return {};
    const QDate date(2000 + FromBcd(year), FromBcd(month), FromBcd(day));
    const QTime time(FromBcd(hour), FromBcd(min), FromBcd(sec));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

}  // namespace

std::array<uint8_t, kParamBlockSize> Params::Encode() const
{
    std::array<uint8_t, kParamBlockSize> b{};
    b[0] = contactVoltageLimit;
    b[1] = invertBits;
    b[2] = logWhileRunning;
    b[3] = logWhileStopped;
    b[4] = inUseBits;
    b[5] = filterPercent;
    for (int i = 0; i < 4; ++i)
        b[6 + i] = contactDelay[i];
    b[10] = engineDelay;
    b[11] = permissionDelay;
    b[12] = normalDelay;
    b[13] = criticalDelay;
    b[14] = uint8_t(normalVoltage >> 8);
    b[15] = uint8_t(normalVoltage);
    b[16] = uint8_t(criticalVoltage >> 8);
    b[17] = uint8_t(criticalVoltage);
    b[18] = selfStartPause;
    b[19] = selfStartBlock;
    b[20] = uint8_t(coefficient >> 8);
    b[21] = uint8_t(coefficient);
    b[22] = byte28;
    if (clock.isValid()) {
        const auto c = ClockBcd(clock);
        std::copy(c.begin(), c.end(), b.begin() + 23);
    }
    return b;
}

Params Params::Decode(const std::array<uint8_t, kParamBlockSize>& b)
{
    Params p;
    p.contactVoltageLimit = b[0];
    p.invertBits = b[1];
    p.logWhileRunning = b[2];
    p.logWhileStopped = b[3];
    p.inUseBits = b[4];
    p.filterPercent = b[5];
    for (int i = 0; i < 4; ++i)
        p.contactDelay[i] = b[6 + i];
    p.engineDelay = b[10];
    p.permissionDelay = b[11];
    p.normalDelay = b[12];
    p.criticalDelay = b[13];
    p.normalVoltage = uint16_t(b[14] * 256 + b[15]);
    p.criticalVoltage = uint16_t(b[16] * 256 + b[17]);
    p.selfStartPause = b[18];
    p.selfStartBlock = b[19];
    p.coefficient = uint16_t(b[20] * 256 + b[21]);
    p.byte28 = b[22];
    p.clock = ClockFromBytes(b[23], b[24], b[25], b[27], b[28], b[29]);
    return p;
}

std::array<uint8_t, kLogRecordSize> LogRecord::Encode() const
{
    std::array<uint8_t, kLogRecordSize> r{};
    r[0] = uint8_t((deviceOn ? 1 : 0) | (selfStart ? 2 : 0));
    r[1] = inputs;
    r[2] = uint8_t(voltage >> 8);
    r[3] = uint8_t(voltage);
    const QTime t = when.time();
    const QDate d = when.date();
    r[4] = ToBcd(t.msec() / 20);
    r[5] = ToBcd(t.second());
    r[6] = ToBcd(t.minute());
    r[7] = ToBcd(t.hour());
    r[8] = ToBcd(d.day());
    r[9] = ToBcd(d.month());
    r[10] = ToBcd(d.year() % 100);
    return r;
}

LogRecord LogRecord::Decode(const std::array<uint8_t, kLogRecordSize>& r)
{
    LogRecord rec;
    rec.deviceOn = r[0] & 1;
    rec.selfStart = r[0] & 2;
    rec.inputs = r[1];
    rec.voltage = uint16_t(r[2] * 256 + r[3]);
    rec.when = ClockFromBytes(r[5], r[6], r[7], r[8], r[9], r[10]);
    if (rec.when.isValid() && ValidBcd(r[4]))
        rec.when = rec.when.addMSecs(FromBcd(r[4]) * 20);
    return rec;
}

namespace {

QByteArray Padded(const QString& text, int size)
{
    QByteArray bytes = ToCp1251(text).left(size);
    while (bytes.size() < size)
        bytes.append(' ');
    return bytes;
}

}  // namespace

QByteArray InfoBytes(const QString& text)
{
    return Padded(text, kInfoSize);
}

QByteArray VersionBytes(const QString& text)
{
    return Padded(text, kVersionSize);
}

DeviceState DeviceState::Factory(uint16_t number, uint8_t speedCode)
{
    DeviceState d;
    d.number = number;
    d.speedCode = speedCode;
    Params p;
    p.contactVoltageLimit = 24;
    p.inUseBits = 0x0F;
    p.invertBits = 0x80;  // self-start allowed
    p.logWhileRunning = 0xEF;
    p.logWhileStopped = 0xEF;
    p.filterPercent = 50;
    p.contactDelay = {5, 5, 5, 5};
    p.engineDelay = p.permissionDelay = p.normalDelay = p.criticalDelay = 10;
    p.byte28 = 0x80;
    d.params = p.Encode();
    d.version = VersionBytes(QStringLiteral("VEMOR v2.07"));
    d.SetClock(QDateTime::currentDateTime());
    d.accountBegin = Naive(2007, 1, 1);
    return d;
}

QDateTime DeviceState::ClockNow() const
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - clockSetAt);
    return Naive(clock).addMSecs(elapsed.count());
}

void DeviceState::SetClock(const QDateTime& now)
{
    clock = Naive(now);
    clockSetAt = std::chrono::steady_clock::now();
}

std::vector<std::array<uint8_t, kLogRecordSize>> GenerateLog(int count, const QDateTime& newest, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::array<uint8_t, kLogRecordSize>> out;
    if (count <= 0)
        return out;
    out.reserve(size_t(count));
    QDateTime when = Naive(newest);
    bool running = true;
    for (int i = 0; i < count; ++i) {
        LogRecord r;
        r.deviceOn = true;
        r.selfStart = running && rng() % 5 == 0;
        r.inputs = uint8_t(running ? 0x10 : 0) | uint8_t(rng() % 16) | 0x40;
        if (rng() % 7 == 0)
            r.inputs = uint8_t((r.inputs & ~0x40) | 0x80);
        r.voltage = uint16_t(360 + rng() % 50);
        r.when = when.addMSecs(-(when.time().msec() % 20));
        out.push_back(r.Encode());
        running = !running;
        // Between a few minutes and about a day apart.
        when = when.addSecs(-qint64(120 + rng() % 80000)).addMSecs(-qint64(rng() % 50) * 20);
    }
    std::reverse(out.begin(), out.end());
    return out;
}

}  // namespace sim
