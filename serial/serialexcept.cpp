#include "serial/serialexcept.h"

#include "serial/strresmgr.h"

#include <cerrno>
#include <new>

namespace {

// Windows-style error numbers and the errno that stands for each of them here; the first
// errno of a number gives its system text (the platform's, in the operator's words).
struct CodeMap {
    int systemCode;
    int err;
};
constexpr CodeMap codeMap[] = {
    {2, ENOENT},  {2, ENXIO},    {2, ENODEV},  {3, ENOTDIR}, {4, EMFILE},       {4, ENFILE},
    {5, EACCES},  {5, EPERM},    {5, EBUSY},   {5, EAGAIN},  {6, EBADF},        {8, ENOMEM},
    {87, EINVAL}, {121, ETIMEDOUT}, {1, ENOTTY}, {31, EIO},
};
constexpr int GeneralFailure = 31;

}  // namespace

ESerialException::ESerialException(int code) : Exception(ErrorText(code < 0 ? -code : code)), ErrorCode(code) {}

ESerialException::ESerialException(const QString& message) : Exception(message), ErrorCode(0) {}

ESerialException::ESerialException(int code, const QString& message) : Exception(message), ErrorCode(code) {}

int SystemCodeFromErrno(int err)
{
    for (const CodeMap& m : codeMap) {
        if (m.err == err)
            return m.systemCode;
    }
    return GeneralFailure;
}

QString SystemErrorText(int systemCode)
{
    for (const CodeMap& m : codeMap) {
        if (m.systemCode == systemCode)
            return ErrnoText(m.err);
    }
    return {};
}

QString CleanSystemText(const QString& text)
{
    QString s = text;
    for (QChar& c : s) {
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    }
    while (s.contains(QLatin1String("  ")))
        s.replace(QLatin1String("  "), QLatin1String(" "));
    return s;
}

QString ErrorText(int code)
{
    const int id = std::abs(static_cast<int>(static_cast<int16_t>(code & 0xFFFF)));
    QString text = SerialErrorStrings().GetStringById(static_cast<uint32_t>(id));
    if (text.isEmpty())
        text = CleanSystemText(SystemErrorText(id));
    return text.left(255);
}

int RaiseForErrorCode(int code, bool loading)
{
    if (code >= 0 || loading)
        return code;
    if (code == ecode::OutOfMemory)
        throw std::bad_alloc();
    if (code >= -162 && code <= -2)
        throw EInOutError(ErrorText(code), -code);
    switch (code) {
#define SERIAL_RAISE_LEAF(Name, Group, Code) \
    case Code:                               \
        throw Name(Code);
        SERIAL_LEAF_EXCEPTIONS(SERIAL_RAISE_LEAF)
#undef SERIAL_RAISE_LEAF
    case ecode::RtsHandshakeWithoutCts:
        throw ERtsHandshakeWithoutCts(code);
    case -7003:
    case -7006:
    case -7012:
        throw EInternal(code);
    case -6006:
    case -6008:
    case -6009:
        throw EProtocol(code);
    default:
        throw ESerialException(QStringLiteral("Serial exception"));
    }
}
