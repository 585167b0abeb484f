// Simulated bus of Vemor devices on a pseudo-terminal.
//
// Usage (a test):
//
//     sim::Bus bus;                                  // opens the pty, starts the bus thread
//     sim::DeviceState dev = sim::DeviceState::Factory(300, /*speedCode=*/2);
//     dev.info = sim::InfoBytes("Насосная 1");      // 32 bytes, code page 1251, blank-padded
//     dev.log.push_back(sim::LogRecord{.voltage = 380, .when = sim::Naive(2007, 5, 10, 12)}.Encode());
//     dev.log = sim::GenerateLog(50, sim::Naive(2007, 5, 10, 12));  // or a plausible history
//     bus.AddDevice(dev);
//     qputenv("COMPORT_MAP", ("1=" + bus.SlavePath()).toUtf8());
//     ... drive the program ...
//     bus.WaitForRequests(1, 2s);                    // blocking wait (not for the Qt thread)
//     EXPECT_EQ(bus.Requests().back(), sim::MakeFrame(1, 300, 0, {}));
//     sim::DeviceState after = bus.Device(300);      // snapshot after a write
//     bus.Modify(300, [](sim::DeviceState& d) { d.live.voltage = 400; });
//     bus.SetFaults(300, sim::Faults{.silent = true});        // or .delayMs, .corruptSum, .splitPieces,
//                                                             // .junkBefore, .noiseUpTo, .shortData;
//                                                             // .command, .times
//                                                             // .otherAddress, .hold; .after
//     bus.SetFaults(300, sim::Faults{.silent = true, .command = 6, .after = 2});  // mute after 2 blocks
//     bus.ReleaseHeld();                             // writes the replies held by .hold
//     bus.Unplug();                                  // the line disappears (or .unplug = true)
//     bus.SetPaced(true);                            // bytes take their time on the wire
//     bus.Send(sim::MakeFrame(2, 7, 33, QByteArray("\x01\x00", 2)));  // unasked frame
//
// On the Qt thread, wait with the end-to-end harness's WaitFor and a predicate such as
// [&] { return bus.RequestCount() >= 3; } instead of the blocking waits.
//
// A device answers only a frame with a right sum, device type 1 and its own number, and
// only while the line speed set on the port is its own speed. Everything the bus reads and
// writes is recorded.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace sim {

// Line speeds in bits per second, indexed by the device's speed code.
inline constexpr std::array<int, 9> kSpeeds = {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
// Speed code of a rate in bits per second, -1 when the rate is not in the list.
int SpeedCode(int bitsPerSecond);

inline constexpr uint8_t kStart = 0xAA;
inline constexpr uint8_t kTypeVemor = 1;
inline constexpr int kParamBlockSize = 30;
inline constexpr int kInfoSize = 32;
inline constexpr int kVersionSize = 16;
inline constexpr int kLogRecordSize = 11;
inline constexpr int kMaxRecordsPerBlock = 23;

// Commands on the wire (byte 4).
enum Command : uint8_t {
    cmdIdentify = 0,      // also set speed, with one data byte
    cmdLive = 1,
    cmdReadParams = 2,
    cmdWriteParams = 3,
    cmdReadAccount = 4,
    cmdClearAccount = 5,
    cmdReadLog = 6,       // data 0x00 first block, 0x01 next block
    cmdReadInfo = 7,
    cmdWriteInfo = 8,
};

// Sum of all bytes, the start byte included.
uint32_t ByteSum(const QByteArray& bytes);
// AA type NH NL command N data, then the 16-bit sum high byte first.
QByteArray MakeFrame(uint8_t type, uint16_t number, uint8_t command, const QByteArray& data);
// Hex dump "AA 01 01 2C ..." for messages.
QString Hex(const QByteArray& bytes);
// Bytes from a hex text such as "AA 01 01 2C 00 00 00 D8".
QByteArray FromHex(const char* text);

// A frame taken apart (frames with a wrong sum are never produced by ParseFrame).
struct Frame {
    uint8_t type = 0;
    uint16_t number = 0;
    uint8_t command = 0;
    QByteArray data{};
    QByteArray raw{};
};
// Parses a whole frame; nullopt when it is not one well-formed frame.
std::optional<Frame> ParseFrame(const QByteArray& bytes);

// Devices know no time zones: the simulator keeps date-times as wall-clock values in the UTC
// spec, so that no local-time rules shift or invalidate them. Naive gives that form of any
// date-time (same date and time fields); compare with it, e.g. EXPECT_EQ(t, sim::Naive(x)).
QDateTime Naive(const QDateTime& t);
QDateTime Naive(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int msec = 0);

// BCD byte of 0..99 and back (three bits of tens when reading, as the program reads).
uint8_t ToBcd(int value);
int FromBcd(uint8_t byte);
// A clock as the devices send it: seconds, minutes, hours, day of week (1 = Monday), day,
// month, two-digit year, each in BCD.
std::array<uint8_t, 7> ClockBcd(const QDateTime& t);

// The 30-byte parameter block with named fields (block offsets = frame offsets - 6).
struct Params {
    uint8_t contactVoltageLimit = 0;  // volts
    uint8_t invertBits = 0;           // bit 0..3 contacts, 4 engine, 5 permission, 6 individual, 7 self-start
    uint8_t logWhileRunning = 0;      // bit 0..3 contacts, 5 permission, 6 Un, 7 Uk
    uint8_t logWhileStopped = 0;
    uint8_t inUseBits = 0;            // bit 0..3 contacts, 5 permission
    uint8_t filterPercent = 1;
    std::array<uint8_t, 4> contactDelay{1, 1, 1, 1};  // ms div 20
    uint8_t engineDelay = 1, permissionDelay = 1, normalDelay = 1, criticalDelay = 1;
    uint16_t normalVoltage = 380;     // Un
    uint16_t criticalVoltage = 342;   // Uk
    uint8_t selfStartPause = 5;       // Tp, s
    uint8_t selfStartBlock = 30;      // Tb, s
    uint16_t coefficient = 1000;      // x 1000
    uint8_t byte28 = 0x80;
    QDateTime clock{};                // bytes 29..35 (byte 32 = day of week); Naive when decoded

    std::array<uint8_t, kParamBlockSize> Encode() const;
    static Params Decode(const std::array<uint8_t, kParamBlockSize>& block);
};

// One 11-byte log record.
struct LogRecord {
    bool deviceOn = true;
    bool selfStart = false;
    uint8_t inputs = 0;     // bit 0..3 contacts, 4 engine, 5 permission, 6 Un, 7 Uk
    uint16_t voltage = 0;
    QDateTime when{};       // milliseconds are kept in steps of 20; Naive when decoded

    std::array<uint8_t, kLogRecordSize> Encode() const;
    static LogRecord Decode(const std::array<uint8_t, kLogRecordSize>& bytes);
};

// Live values of reply 1.
struct LiveValues {
    uint8_t state = 0x40;   // bit 0..3 contacts closed, 4 engine running, 6 voltage normal, 7 critical
    uint16_t voltage = 380;
    uint8_t time = 0;       // seconds
    // When set, the values follow a demonstration cycle (engine starting and stopping,
    // voltage moving) and every engine start and stop is written to the log.
    bool animate = false;
};

// 32-byte information text in code page 1251, padded with blanks (cut when longer).
QByteArray InfoBytes(const QString& text);
// 16-byte software version, padded with blanks.
QByteArray VersionBytes(const QString& text);

struct DeviceState {
    uint16_t number = 1;
    uint8_t speedCode = 2;  // index into kSpeeds
    std::array<uint8_t, kParamBlockSize> params{};
    QByteArray info = QByteArray(kInfoSize, ' ');
    QByteArray version = QByteArray(kVersionSize, ' ');
    // Device clock: runs on from `clock` as set at `clockSetAt`; read it with ClockNow() and
    // set it with SetClock() (both Naive).
    QDateTime clock{};
    std::chrono::steady_clock::time_point clockSetAt = std::chrono::steady_clock::now();
    uint16_t externalStarts = 0;
    uint16_t selfStarts = 0;
    QDateTime accountBegin{};  // Naive after a clear
    // When set, sent instead of accountBegin: seconds, minutes, hours, day of week, day, month, year.
    std::optional<std::array<uint8_t, 7>> accountBeginRaw{};
    std::vector<std::array<uint8_t, kLogRecordSize>> log{};  // oldest first
    LiveValues live{};
    uint16_t factoryCoefficient = 1000;  // stored when a write carries coefficient 0

    // Records already delivered since the last first-block request.
    size_t logDelivered = 0;

    // Counters of what the device has done (for assertions).
    int paramWrites = 0;
    int infoWrites = 0;
    int accountClears = 0;

    // A device with plausible factory parameters, its clock at the current time.
    static DeviceState Factory(uint16_t number, uint8_t speedCode = 2);
    QDateTime ClockNow() const;
    void SetClock(const QDateTime& now);
    Params ParamsDecoded() const { return Params::Decode(params); }
};

// Faults injected into a device's replies. `command` limits them to replies of that command
// (-1: all); `times` limits them to that many replies (-1: every reply while set).
struct Faults {
    bool silent = false;
    int delayMs = 0;                 // answer late
    bool corruptSum = false;
    int splitPieces = 0;             // > 1: write the reply in that many pieces ...
    int splitPauseMs = 5;            // ... with this pause between them
    QByteArray junkBefore{};         // bytes written before the reply
    int noiseUpTo = 0;               // > 0: before each reply (and its junk) 0..noiseUpTo random
                                     // bytes, about half of them 0xAA (false frame starts) ...
    uint32_t noiseSeed = 1;          // ... the same bytes for the same seed
    int shortData = -1;              // >= 0: only this many data bytes (N and sum made to match)
    int otherAddress = -1;           // >= 0: the reply names this factory number, not the device's
    bool hold = false;               // the reply waits until ReleaseHeld() (past the program's next step)
    bool unplug = false;             // instead of the reply the line disappears (as Unplug())
    int command = -1;
    int after = 0;                   // the fault starts after this many replies it applies to
    int times = -1;
};

// A simulated bus on the master side of a pseudo-terminal, served by a thread of its own.
class Bus {
public:
    Bus();
    ~Bus();
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    // Path of the slave side, e.g. /dev/pts/7: what the program opens.
    QString SlavePath() const;

    void AddDevice(const DeviceState& device);
    void RemoveDevice(uint16_t number);
    // Snapshot of a device's state; throws std::out_of_range when there is no such device.
    DeviceState Device(uint16_t number) const;
    // Changes a device's state under the bus lock.
    void Modify(uint16_t number, const std::function<void(DeviceState&)>& change);
    void SetFaults(uint16_t number, const Faults& faults);
    void ClearFaults(uint16_t number);

    // Writes bytes to the line now, unasked (e.g. a frame of the second device kind).
    void Send(const QByteArray& bytes);
    // Writes the replies held back by Faults::hold now; returns how many there were.
    size_t ReleaseHeld();
    size_t HeldCount() const;
    // The line disappears, as an unplugged adapter: both sides of the pty are closed, so the
    // program's port hangs up and its path can no longer be opened. Nothing is served after.
    void Unplug();
    bool Unplugged() const;

    // Well-formed frames received from the program (any address), oldest first.
    std::vector<QByteArray> Requests() const;
    size_t RequestCount() const;
    // Every byte received from the program.
    QByteArray ReceivedBytes() const;
    // Every byte the bus wrote to the line, and the reply frames among them.
    QByteArray SentBytes() const;
    std::vector<QByteArray> Replies() const;
    size_t ReplyCount() const;
    void ClearHistory();

    // Blocking waits (not on the Qt thread while the program must run): true when the count
    // was reached before the timeout.
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForReplies(size_t count, std::chrono::milliseconds timeout) const;
    // True when every reply scheduled so far has been written (delayed and split ones included).
    bool Idle() const;

    // Line speed currently set on the port, bits per second (-1 when unknown).
    int LineSpeed() const;
    // With pacing on, bytes cross the line at its speed (10 bits a byte at the speed set on the
    // port), one way at a time as on a two-wire bus: a request reaches the devices when its
    // last byte would have, and a reply reaches the program byte by byte after it. Off by
    // default: the pseudo-terminal moves bytes at once.
    void SetPaced(bool paced);

    // Called on the bus thread for every frame received and every reply written (tool logging).
    void SetTrace(std::function<void(const QString&)> trace);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Log records of a plausible working history: `count` records, the newest at `newest`, going back
// in time; deterministic for a given seed.
std::vector<std::array<uint8_t, kLogRecordSize>> GenerateLog(int count, const QDateTime& newest, uint32_t seed = 1);

}  // namespace sim
