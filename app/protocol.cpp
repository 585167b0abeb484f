#include "app/protocol.h"

#include "platform/text.h"

namespace vemor {

const QStringList& SpeedList()
{
    static const QStringList list{QStringLiteral("2400"),  QStringLiteral("4800"),  QStringLiteral("9600"),
                                  QStringLiteral("14400"), QStringLiteral("19200"), QStringLiteral("28800"),
                                  QStringLiteral("38400"), QStringLiteral("57600"), QStringLiteral("115200")};
    return list;
}

const QStringList& NewSpeedList()
{
    static const QStringList list{QStringLiteral("2400"),  QStringLiteral("4800"),  QStringLiteral("9600"),
                                  QStringLiteral("14400"), QStringLiteral("19200"), QStringLiteral("28800"),
                                  QStringLiteral("34800"), QStringLiteral("57600"), QStringLiteral("115200")};
    return list;
}

int SpeedBaud(int code)
{
    if (code < 0 || code >= SpeedList().size())
        return 0;
    return SpeedList().at(code).toInt();
}

std::uint8_t ToBcd(int value)
{
    return static_cast<std::uint8_t>(((value / 10) << 4) + value % 10);
}

int FromBcd(std::uint8_t b)
{
    return ((b & 0x70) >> 4) * 10 + (b & 0x0F);
}

int FromBcdYear(std::uint8_t b)
{
    return (b >> 4) * 10 + (b & 0x0F);
}

std::uint32_t ByteSum(const char* data, int size)
{
    std::uint32_t sum = 0;
    for (int i = 0; i < size; ++i)
        sum += static_cast<std::uint8_t>(data[i]);
    return sum;
}

QByteArray WithSum(QByteArray bytes)
{
    const std::uint32_t sum = ByteSum(bytes.constData(), int(bytes.size()));
    bytes.append(char((sum & 0xFF00) >> 8));
    bytes.append(char(sum & 0xFF));
    return bytes;
}

QByteArray MakeFrame(std::uint8_t deviceType, int number, std::uint8_t command, const QByteArray& data)
{
    QByteArray f;
    f.reserve(int(data.size()) + kFrameOverhead);
    f.append(char(kFrameStart));
    f.append(char(deviceType));
    f.append(char((number & 0xFF00) >> 8));
    f.append(char(number & 0xFF));
    f.append(char(command));
    f.append(char(data.size() & 0xFF));
    f.append(data);
    return WithSum(f);
}

namespace {

std::uint8_t Bits(std::initializer_list<bool> flags)
{
    std::uint8_t b = 0;
    int i = 0;
    for (bool f : flags) {
        if (f)
            b |= std::uint8_t(1u << i);
        ++i;
    }
    return b;
}

bool Bit(std::uint8_t b, int i)
{
    return (b >> i) & 1;
}

std::uint8_t DelayByte(int ms)
{
    return static_cast<std::uint8_t>(ms / 20);
}

}  // namespace

QByteArray EncodeParamBlock(const ParamBlock& p)
{
    QByteArray b(kParamBlockSize, '\0');
    auto set = [&b](int frameOffset, int value) { b[frameOffset - 6] = char(value & 0xFF); };
    set(6, p.upKO);
    set(7, Bits({p.invert[0], p.invert[1], p.invert[2], p.invert[3], p.invertEngine, p.invertRazr,
                 p.personalKontrolKO, p.razrSelfOn}));
    set(8, Bits({p.writeOn[0], p.writeOn[1], p.writeOn[2], p.writeOn[3], false, p.writeOnRazr, p.writeOnUn,
                 p.writeOnUk}));
    set(9, Bits({p.writeOff[0], p.writeOff[1], p.writeOff[2], p.writeOff[3], false, p.writeOffRazr, p.writeOffUn,
                 p.writeOffUk}));
    set(10, Bits({p.isBtn[0], p.isBtn[1], p.isBtn[2], p.isBtn[3], false, p.razr, false, false}));
    set(11, p.filtrKO);
    for (int i = 0; i < 4; ++i)
        set(12 + i, DelayByte(p.delay[std::size_t(i)]));
    set(16, DelayByte(p.delayEngine));
    set(17, DelayByte(p.delayRazr));
    set(18, DelayByte(p.delayUn));
    set(19, DelayByte(p.delayUk));
    set(20, p.un >> 8);
    set(21, p.un);
    set(22, p.uk >> 8);
    set(23, p.uk);
    set(24, p.tp);
    set(25, p.tb);
    set(26, p.koef >> 8);
    set(27, p.koef);
    set(28, 0x80);
    set(29, ToBcd(p.clock.second));
    set(30, ToBcd(p.clock.minute));
    set(31, ToBcd(p.clock.hour));
    set(32, 0);
    set(33, ToBcd(p.clock.day));
    set(34, ToBcd(p.clock.month));
    set(35, ToBcd(p.clock.year % 100));
    return b;
}

ParamBlock DecodeParamBlock(const char* data)
{
    auto at = [data](int frameOffset) { return static_cast<std::uint8_t>(data[frameOffset - 6]); };
    ParamBlock p;
    p.upKO = at(6);
    const std::uint8_t inv = at(7);
    for (int i = 0; i < 4; ++i)
        p.invert[std::size_t(i)] = Bit(inv, i);
    p.invertEngine = Bit(inv, 4);
    p.invertRazr = Bit(inv, 5);
    p.personalKontrolKO = Bit(inv, 6);
    p.razrSelfOn = Bit(inv, 7);
    const std::uint8_t on = at(8), off = at(9), btn = at(10);
    for (int i = 0; i < 4; ++i) {
        p.writeOn[std::size_t(i)] = Bit(on, i);
        p.writeOff[std::size_t(i)] = Bit(off, i);
        p.isBtn[std::size_t(i)] = Bit(btn, i);
    }
    p.writeOnRazr = Bit(on, 5);
    p.writeOnUn = Bit(on, 6);
    p.writeOnUk = Bit(on, 7);
    p.writeOffRazr = Bit(off, 5);
    p.writeOffUn = Bit(off, 6);
    p.writeOffUk = Bit(off, 7);
    p.razr = Bit(btn, 5);
    p.filtrKO = at(11);
    for (int i = 0; i < 4; ++i)
        p.delay[std::size_t(i)] = at(12 + i) * 20;
    p.delayEngine = at(16) * 20;
    p.delayRazr = at(17) * 20;
    p.delayUn = at(18) * 20;
    p.delayUk = at(19) * 20;
    p.un = std::uint16_t(at(20) * 256 + at(21));
    p.uk = std::uint16_t(at(22) * 256 + at(23));
    p.tp = at(24);
    p.tb = at(25);
    p.koef = std::uint16_t(at(26) * 256 + at(27));
    p.clock.second = FromBcd(at(29));
    p.clock.minute = FromBcd(at(30));
    p.clock.hour = FromBcd(at(31));
    p.clock.day = FromBcd(at(33));
    p.clock.month = FromBcd(at(34));
    p.clock.year = FromBcdYear(at(35));
    return p;
}

bool TryKoefToThousandths(const QString& text, std::uint16_t& result)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    std::uint64_t whole = 0;
    int fracDigits = 0;
    std::uint64_t frac = 0;
    bool seenSeparator = false;
    bool anyDigit = false;
    for (QChar ch : t) {
        if (ch == QLatin1Char('.') || ch == QLatin1Char(',')) {
            if (seenSeparator)
                return false;
            seenSeparator = true;
            continue;
        }
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return false;
        anyDigit = true;
        const int d = ch.unicode() - '0';
        if (!seenSeparator) {
            whole = whole * 10 + std::uint64_t(d);
            if (whole > 65535)
                return false;
        } else if (fracDigits < 3) {
            frac = frac * 10 + std::uint64_t(d);
            ++fracDigits;
        }
    }
    if (!anyDigit)
        return false;
    while (fracDigits < 3) {
        frac *= 10;
        ++fracDigits;
    }
    const std::uint64_t value = whole * 1000 + frac;
    if (value > 65535)
        return false;
    result = std::uint16_t(value);
    return true;
}

QByteArray InformationBytes(const QString& text)
{
    QByteArray b = ToCp1251(text.left(kInformationSize));
    while (b.size() < kInformationSize)
        b.append(' ');
    return b;
}

QByteArray BuildRequest(int code, const RequestContext& ctx)
{
    const int n = ctx.selectedNumber;
    switch (code) {
    case rqIdentify:
        return MakeFrame(std::uint8_t(ctx.deviceKind + 1), ctx.scanNumber, 0, {});
    case rqSetSpeed:
        return MakeFrame(std::uint8_t(ctx.deviceKind + 1), n, 0, QByteArray(1, char(ctx.newSpeedCode)));
    case rqLiveValues:
    case rqReadParams:
    case rqReadAccount:
    case rqClearAccount:
    case rqReadInfo:
        return MakeFrame(1, n, std::uint8_t(code), {});
    case rqWriteParams:
        return MakeFrame(1, n, 3, EncodeParamBlock(ctx.params));
    case rqReadLogFirst:
        return MakeFrame(1, n, 6, QByteArray(1, '\0'));
    case rqReadLogNext:
        return MakeFrame(1, n, 6, QByteArray(1, '\1'));
    case rqWriteInfo:
        return MakeFrame(1, n, 8, ctx.information);
    default:
        return QByteArray(2, '\0');
    }
}

std::optional<Expectation> ExpectedReply(int code, const RequestContext& ctx)
{
    const auto type = std::uint8_t(ctx.deviceKind + 1);
    switch (code) {
    case rqIdentify:
        return Expectation{type, ctx.scanNumber, 0};
    case rqSetSpeed:
        return Expectation{type, ctx.selectedNumber, 0};
    case rqLiveValues:
    case rqReadParams:
    case rqWriteParams:
    case rqReadAccount:
    case rqClearAccount:
    case rqReadInfo:
    case rqWriteInfo:
        return Expectation{1, ctx.selectedNumber, std::uint8_t(code)};
    case rqReadLogFirst:
    case rqReadLogNext:
        return Expectation{1, ctx.selectedNumber, 6};
    default:
        if (code >= 30 && code <= 35)
            return Expectation{2, ctx.selectedNumber, std::uint8_t(code)};
        return std::nullopt;
    }
}

bool Answers(const QByteArray& reply, const Expectation& expected)
{
    if (reply.size() < kFrameOverhead)
        return false;
    const auto at = [&reply](int i) { return static_cast<std::uint8_t>(reply[i]); };
    return at(1) == expected.deviceType && at(2) * 256 + at(3) == expected.number && at(4) == expected.command;
}

int MaxReplyLength(int command)
{
    switch (command) {
    case 0: return kFrameOverhead + 1;
    case 1: return kFrameOverhead + 4;
    case 2: return kFrameOverhead + kParamBlockSize;
    case 4: return kFrameOverhead + 11;
    case 7: return kFrameOverhead + kInformationSize + kVersionSize;
    case 3: case 5: case 8: return kFrameOverhead;
    default: return kFrameOverhead + 255;
    }
}

int WireMs(int bytes, int baud)
{
    if (baud <= 0)
        return 0;
    return int((std::int64_t(bytes) * 10 * 1000 + baud - 1) / baud);
}

int MinReplyData(int command)
{
    switch (command) {
    case 0: return 1;
    case 1: return 4;
    case 2: return kParamBlockSize;
    case 3: case 5: case 8: return 0;
    case 4: return 11;
    case 6: return 1;
    case 7: return kInformationSize;
    case 30: case 32: case 35: return 0;
    case 31: return 37;
    case 33: return 2;
    case 34: return 10;
    default: return -1;
    }
}

void RxBuffer::Append(const QByteArray& bytes, std::int64_t nowMs)
{
    if (bytes.isEmpty())
        return;
    data_.append(bytes);
    lastArrivalMs_ = nowMs;
}

void RxBuffer::Remove(int n)
{
    data_.remove(0, qMin<qsizetype>(n, data_.size()));
}

namespace {

// Length of the frame that starts at `at` when the buffer holds all of it and its sum is right;
// 0 while it is incomplete; -1 when it is no frame: a wrong sum, or a header no device sends (a
// device type other than ours, a command past the last one), which is known before the rest.
int FrameAt(const QByteArray& data, qsizetype at)
{
    const qsizetype have = data.size() - at;
    if (have >= 2 && !IsDeviceType(static_cast<std::uint8_t>(data[at + 1])))
        return -1;
    if (have >= 5 && static_cast<std::uint8_t>(data[at + 4]) > kLastCommand)
        return -1;
    if (have < 6)
        return 0;
    const int len = static_cast<std::uint8_t>(data[at + 5]) + kFrameOverhead;
    if (have < len)
        return 0;
    const char* f = data.constData() + at;
    const std::uint32_t sum = ByteSum(f, len - 2);
    const std::uint32_t told = static_cast<std::uint8_t>(f[len - 2]) * 256u + static_cast<std::uint8_t>(f[len - 1]);
    return (sum & 0xFFFF) == told ? len : -1;
}

}  // namespace

int RxBuffer::FrontFrame(std::int64_t nowMs, std::int64_t replyDeadlineMs)
{
    for (;;) {
        const qsizetype start = data_.indexOf(char(kFrameStart));
        if (start < 0) {
            data_.clear();
            return 0;
        }
        data_.remove(0, start);
        const int len = FrameAt(data_, 0);
        if (len > 0)
            return len;
        if (len < 0) {
            // Only the false start goes: a real frame may begin inside the bytes it claimed.
            data_.remove(0, 1);
            continue;
        }
        qsizetype later = data_.indexOf(char(kFrameStart), 1);
        while (later > 0 && FrameAt(data_, later) <= 0)
            later = data_.indexOf(char(kFrameStart), later + 1);
        if (later > 0) {
            data_.remove(0, later);
            continue;
        }
        const bool givenUp = nowMs - lastArrivalMs_ >= kStaleMs || nowMs > replyDeadlineMs;
        if (!givenUp)
            return 0;
        data_.remove(0, 1);
    }
}

}  // namespace vemor
