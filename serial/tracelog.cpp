#include "serial/tracelog.h"

#include "serial/serialexcept.h"
#include "serial/serialmisc.h"
#include "serial/strresmgr.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/utsname.h>

namespace {

constexpr int LineLimit = 79;
constexpr int LogIndent = 44;

// Appends a token, starting a new line (with the indent) when the line would reach the limit.
void AppendWrapped(QString& out, int& lineLen, const QString& token, int indent)
{
    if (lineLen + token.size() >= LineLimit && lineLen > indent) {
        out += QLatin1Char('\n');
        out += QString(indent, QLatin1Char(' '));
        lineLen = indent;
    }
    out += token;
    lineLen += static_cast<int>(token.size());
}

QString TableName(uint32_t id) { return SerialErrorStrings().GetStringById(id); }

}  // namespace

QString FormatDumpByte(uint8_t byte, bool hex, bool allHex)
{
    const QString hexText = QStringLiteral("[%1]").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    if (allHex)
        return hexText;
    if (byte >= (hex ? 33 : 32) && byte <= 126)
        return QString(QLatin1Char(static_cast<char>(byte)));
    return hex ? hexText : QStringLiteral("[%1]").arg(byte);
}

QString FormatLogTime(uint32_t ms)
{
    QString digits = QStringLiteral("%1").arg(ms, 7, 10, QLatin1Char('0'));
    digits.insert(digits.size() - 3, QLatin1Char('.'));
    return digits;
}

// ---- Trace ------------------------------------------------------------------------------------

TTraceRing::TTraceRing(uint32_t entries) : ring_(entries ? entries : 1) {}

void TTraceRing::Add(char kind, uint8_t byte)
{
    if (!Active)
        return;
    ring_[pos_] = {kind, byte};
    if (++pos_ == ring_.size()) {
        pos_ = 0;
        wrapped_ = true;
    }
}

void TTraceRing::Clear()
{
    pos_ = 0;
    wrapped_ = false;
}

std::vector<std::pair<char, uint8_t>> TTraceRing::Entries() const
{
    std::vector<std::pair<char, uint8_t>> out;
    if (wrapped_)
        out.insert(out.end(), ring_.begin() + pos_, ring_.end());
    out.insert(out.end(), ring_.begin(), ring_.begin() + pos_);
    return out;
}

QString TTraceRing::Format(bool hex, bool allHex) const
{
    QString out;
    char kind = 0;
    bool first = true;
    int lineLen = 0;
    for (const auto& [k, b] : Entries()) {
        if (first || k != kind) {
            if (!first)
                out += QStringLiteral("\n\n");
            if (k == TraceTransmit)
                out += QStringLiteral("Transmit: ");
            else if (k == TraceReceive)
                out += QStringLiteral("Receive: ");
            else
                out += QStringLiteral("Special-%1: ").arg(QLatin1Char(k));
            out += QLatin1Char('\n');
            lineLen = 0;
            kind = k;
            first = false;
        }
        AppendWrapped(out, lineLen, FormatDumpByte(b, hex, allHex), 0);
    }
    if (!first)
        out += QLatin1Char('\n');
    return out;
}

// ---- Dispatch log -----------------------------------------------------------------------------

TDispatchLog::TDispatchLog(uint32_t size) : ring_(size), free_(size) {}

void TDispatchLog::PutBytes(const char* p, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        ring_[write_] = p[i];
        write_ = (write_ + 1) % ring_.size();
    }
    free_ -= n;
}

void TDispatchLog::GetBytes(uint32_t at, char* p, uint32_t n) const
{
    for (uint32_t i = 0; i < n; ++i)
        p[i] = ring_[(at + i) % ring_.size()];
}

void TDispatchLog::Add(uint8_t kind, uint8_t subKind, uint32_t time, uint32_t value, const char* data, uint32_t length)
{
    if (!Active || ring_.empty())
        return;
    const uint64_t need = uint64_t(HeaderSize()) + length;
    if (need > ring_.size())
        return;
    // Drop the oldest entries until the new one fits.
    while (free_ < need) {
        char header[14];
        GetBytes(read_, header, sizeof header);
        uint32_t len = 0;
        std::memcpy(&len, header + 10, 4);
        const uint32_t total = HeaderSize() + len;
        read_ = (read_ + total) % ring_.size();
        free_ += total;
    }
    char header[14];
    header[0] = static_cast<char>(kind);
    header[1] = static_cast<char>(subKind);
    std::memcpy(header + 2, &time, 4);
    std::memcpy(header + 6, &value, 4);
    std::memcpy(header + 10, &length, 4);
    PutBytes(header, sizeof header);
    PutBytes(data, length);
}

void TDispatchLog::Clear()
{
    read_ = write_ = 0;
    free_ = static_cast<uint32_t>(ring_.size());
}

std::vector<TLogEntry> TDispatchLog::Entries() const
{
    std::vector<TLogEntry> out;
    uint32_t at = read_;
    uint32_t used = static_cast<uint32_t>(ring_.size()) - free_;
    while (used >= HeaderSize()) {
        char header[14];
        GetBytes(at, header, sizeof header);
        TLogEntry e;
        e.Kind = static_cast<uint8_t>(header[0]);
        e.SubKind = static_cast<uint8_t>(header[1]);
        uint32_t len = 0;
        std::memcpy(&e.Time, header + 2, 4);
        std::memcpy(&e.Value, header + 6, 4);
        std::memcpy(&len, header + 10, 4);
        e.Data.resize(len);
        GetBytes((at + HeaderSize()) % ring_.size(), e.Data.data(), len);
        at = (at + HeaderSize() + len) % ring_.size();
        used -= HeaderSize() + len;
        out.push_back(std::move(e));
    }
    return out;
}

QString TDispatchLog::Format(bool hex, bool allHex) const
{
    QString out = QStringLiteral("SERIAL %1\n").arg(TBaseComponent::Version());
    out += QStringLiteral("Compiler : %1\n").arg(QStringLiteral("GNU C++ " __VERSION__));
    utsname u{};
    const QString os = uname(&u) == 0 ? QStringLiteral("Linux %1").arg(QString::fromLocal8Bit(u.release))
                                      : QStringLiteral("Unknown");
    out += QStringLiteral("Operating System : %1\n\n").arg(os);
    for (const TLogEntry& e : Entries()) {
        const QString sub = e.SubKind ? TableName(15100u + e.SubKind) : QString();
        QString line = QStringLiteral("%1  %2  %3  %4  ")
                           .arg(FormatLogTime(e.Time), 8)
                           .arg(TableName(15001u + e.Kind), -8)
                           .arg(sub, -12)
                           .arg(e.Value, 8, 16, QLatin1Char('0'));
        int lineLen = static_cast<int>(line.size());
        for (char c : e.Data)
            AppendWrapped(line, lineLen, FormatDumpByte(static_cast<uint8_t>(c), hex, allHex), LogIndent);
        out += line + QLatin1Char('\n');
    }
    return out;
}

int WriteDumpFile(const QString& fileName, const QString& text, bool append)
{
    QFile f(fileName);
    const bool add = append && FileExistsShort(fileName);
    if (!f.open(add ? (QIODevice::WriteOnly | QIODevice::Append) : (QIODevice::WriteOnly | QIODevice::Truncate))) {
        const int err = errno ? errno : EIO;
        return -SystemCodeFromErrno(err);
    }
    const QByteArray bytes = text.toLocal8Bit();
    if (f.write(bytes) != bytes.size())
        return -SystemCodeFromErrno(EIO);
    return 0;
}
