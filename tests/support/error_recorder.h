// Collects the texts of the exceptions that reach the application-wide handler, for as long as
// it lives; the handler before it comes back afterwards.
#pragma once

#include "platform/application.h"

#include <QStringList>

struct ErrorRecorder {
    QStringList texts;
    ExceptionHandler previous;
    ErrorRecorder()
    {
        previous = SetExceptionHandler([this](std::exception_ptr e) { texts << ExceptionText(e); });
    }
    ~ErrorRecorder() { SetExceptionHandler(previous); }
    ErrorRecorder(const ErrorRecorder&) = delete;
    ErrorRecorder& operator=(const ErrorRecorder&) = delete;
};
