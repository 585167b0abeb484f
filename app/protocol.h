// The device wire protocol: frames, sums, BCD clock fields, the parameter block and the
// request frames. Pure functions over bytes, so the exchange can be tested without a port.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>

namespace vemor {

constexpr std::uint8_t kFrameStart = 0xAA;
constexpr int kFrameOverhead = 8;      // start, type, address (2), command, length, sum (2)
constexpr int kParamBlockSize = 30;
constexpr int kInformationSize = 32;
constexpr int kVersionSize = 16;
constexpr int kLogRecordSize = 11;
constexpr int kSulmLogRecordSize = 9;
// Device types on the bus: 1 Vemor, 2 Sulm.
constexpr bool IsDeviceType(std::uint8_t type) { return type == 1 || type == 2; }
// No device sends a command past this one.
constexpr int kLastCommand = 35;

// Request codes (the argument of SendCommand); the wire command is in the frame.
enum RequestCode : int {
    rqSetSpeed = -1,
    rqIdentify = 0,
    rqLiveValues = 1,
    rqReadParams = 2,
    rqWriteParams = 3,
    rqReadAccount = 4,
    rqClearAccount = 5,
    rqReadLogFirst = 6,
    rqReadLogNext = -6,
    rqReadInfo = 7,
    rqWriteInfo = 8,
};

// The speed list: index = speed code on the wire.
const QStringList& SpeedList();
// The same list as the baud-change selector shows it (its seventh item reads differently).
const QStringList& NewSpeedList();
// Bits per second of a speed code; 0 for a code outside the list.
int SpeedBaud(int code);

std::uint8_t ToBcd(int value);
// Clock fields other than the year keep three bits of tens.
int FromBcd(std::uint8_t b);
int FromBcdYear(std::uint8_t b);

// Arithmetic sum of the bytes, not truncated.
std::uint32_t ByteSum(const char* data, int size);
// Appends the 16-bit sum, high byte first.
QByteArray WithSum(QByteArray bytes);
// The frame for device type, address, command and data (at most 255 bytes).
QByteArray MakeFrame(std::uint8_t deviceType, int number, std::uint8_t command, const QByteArray& data);

struct DeviceClock {
    int second = 0, minute = 0, hour = 0, day = 1, month = 1, year = 0;  // year: two digits
};

// The 30-byte parameter block, as values (delays in milliseconds, coefficient in thousandths).
struct ParamBlock {
    std::uint8_t upKO = 0;
    std::array<bool, 4> invert{};
    bool invertEngine = false, invertRazr = false, personalKontrolKO = false, razrSelfOn = false;
    std::array<bool, 4> writeOn{};
    bool writeOnRazr = false, writeOnUn = false, writeOnUk = false;
    std::array<bool, 4> writeOff{};
    bool writeOffRazr = false, writeOffUn = false, writeOffUk = false;
    std::array<bool, 4> isBtn{};
    bool razr = false;
    std::uint8_t filtrKO = 1;
    std::array<int, 4> delay{20, 20, 20, 20};
    int delayEngine = 20, delayRazr = 20, delayUn = 20, delayUk = 20;
    std::uint16_t un = 0, uk = 0;
    std::uint8_t tp = 0, tb = 0;
    std::uint16_t koef = 0;
    DeviceClock clock;
};

// Delays go on the wire in units of 20 ms.
QByteArray EncodeParamBlock(const ParamBlock& p);
// Reads 30 bytes (the caller guarantees them).
ParamBlock DecodeParamBlock(const char* data);

// The thousandths of a decimal text ("1.001" or "1,001" is 1001) from its digits, so no
// binary rounding creeps in; digits past the third decimal are cut. False for text that is
// not a plain non-negative decimal number or whose value does not fit in 16 bits.
bool TryKoefToThousandths(const QString& text, std::uint16_t& result);

// The information text as it goes on the wire: code page 1251, blank-padded (or cut) to 32 bytes.
QByteArray InformationBytes(const QString& text);

// What a request needs to know besides its code.
struct RequestContext {
    int deviceKind = 0;      // 0 Vemor, 1 Sulm
    int scanNumber = 0;      // address of the identify request
    int selectedNumber = 0;  // address of every other request
    int newSpeedCode = 2;
    ParamBlock params;       // write parameters
    QByteArray information;  // write information: exactly 32 bytes in code page 1251
};

// The whole frame for a request code; codes without a frame give the two bytes 00 00.
QByteArray BuildRequest(int code, const RequestContext& ctx);

// The reply a request waits for: its device type, address and command.
struct Expectation {
    std::uint8_t deviceType = 0;
    int number = 0;
    std::uint8_t command = 0;
};
// What the request of a code waits for. The second device kind's codes (30..35) put no frame on
// the wire, yet their replies still have to answer them: they expect device type 2 and their
// code as the command. Codes without a request expect nothing.
std::optional<Expectation> ExpectedReply(int code, const RequestContext& ctx);
// True when the frame comes from the expected device and carries the expected command.
bool Answers(const QByteArray& reply, const Expectation& expected);
// Longest reply frame a request of this command can get, start to sum.
int MaxReplyLength(int command);
// Milliseconds the line needs for this many bytes at this speed (start, 8 data bits, stop).
int WireMs(int bytes, int baud);

// Smallest data length (N) a reply of this command must carry for its action to read only
// bytes of the frame; -1 for commands without an action.
int MinReplyData(int command);

// Receive buffer with the framing rules of the reply side.
class RxBuffer {
public:
    void Append(const QByteArray& bytes, std::int64_t nowMs);
    bool IsEmpty() const { return data_.isEmpty(); }
    const QByteArray& Data() const { return data_; }
    void Clear() { data_.clear(); }

    // Drops junk, bad frames and given-up partial frames from the front. Returns the length of a
    // checked frame at the front (left in place), or 0 when none is complete yet.
    // A partial frame is waited for only while nothing else can be taken: a checked frame that
    // starts at a later 0xAA goes before it (noise can hold an 0xAA with a length byte that runs
    // past the reply behind it). It is given up when no byte has come for kStaleMs, and once
    // `replyDeadlineMs` (the deadline of the reply awaited) has passed.
    int FrontFrame(std::int64_t nowMs, std::int64_t replyDeadlineMs = kNoDeadline);
    // Removes n bytes from the front.
    void Remove(int n);

    static constexpr std::int64_t kStaleMs = 1000;
    static constexpr std::int64_t kNoDeadline = std::numeric_limits<std::int64_t>::max();

private:
    QByteArray data_;
    std::int64_t lastArrivalMs_ = 0;
};

}  // namespace vemor
