// Exception classes shared by every subsystem: a base with a message text and the few
// platform failures (conversion, input/output, streams, silent abort).
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

class Exception : public std::exception {
public:
    Exception() = default;
    explicit Exception(const QString& message);
    ~Exception() override;

    const QString& Message() const { return message_; }
    void SetMessage(const QString& message);
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// Text that is not a number, date or time of the expected form.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Input/output failure with the operating system's error code.
class EInOutError : public Exception {
public:
    EInOutError(const QString& message, int errorCode) : Exception(message), ErrorCode(errorCode) {}
    int ErrorCode = 0;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

class EReadError : public EStreamError {
public:
    EReadError();
    using EStreamError::EStreamError;
};

class EWriteError : public EStreamError {
public:
    EWriteError();
    using EStreamError::EStreamError;
};

class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// An index out of range in a list ("List index out of bounds (%d)").
class EListError : public Exception {
public:
    using Exception::Exception;
};

// Silent exception: it unwinds like any other, but the application's handler shows nothing for it.
class EAbort : public Exception {
public:
    EAbort();
    using Exception::Exception;
};

// Raises the silent EAbort.
[[noreturn]] void Abort();

// The operator's words for a system error number (errno), as a sentence; the system's own
// texts are English whatever the locale.
QString ErrnoText(int err);
