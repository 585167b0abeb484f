#include "platform/exceptions.h"

Exception::Exception(const QString& message) : message_(message), utf8_(message.toUtf8()) {}

Exception::~Exception() = default;

void Exception::SetMessage(const QString& message)
{
    message_ = message;
    utf8_ = message.toUtf8();
}

EReadError::EReadError() : EStreamError(QStringLiteral("Stream read error")) {}

EWriteError::EWriteError() : EStreamError(QStringLiteral("Stream write error")) {}

EAbort::EAbort() : Exception(QStringLiteral("Operation aborted")) {}

void Abort()
{
    throw EAbort();
}
