#include "platform/application.h"

#include "platform/exceptions.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <new>
#include <system_error>

namespace {

struct AppState {
    std::mutex mutex;
    QString exeDirOverride;
    QString title;
    MessageBoxHook hook;
    ExceptionHandler handler;
};

AppState& State()
{
    static AppState state;
    return state;
}

QString WithSlash(QString dir)
{
    if (!dir.endsWith('/')) {
        dir += '/';
    }
    return dir;
}

} // namespace

QString ExeDir()
{
    {
        std::lock_guard lock(State().mutex);
        if (!State().exeDirOverride.isEmpty()) {
            return State().exeDirOverride;
        }
    }
    return WithSlash(QCoreApplication::applicationDirPath());
}

void SetExeDirForTesting(const QString& dir)
{
    std::lock_guard lock(State().mutex);
    State().exeDirOverride = dir.isEmpty() ? QString() : WithSlash(dir);
}

QString ApplicationTitle()
{
    std::lock_guard lock(State().mutex);
    if (!State().title.isEmpty()) {
        return State().title;
    }
    return QCoreApplication::applicationName();
}

void SetApplicationTitle(const QString& title)
{
    std::lock_guard lock(State().mutex);
    State().title = title;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard lock(State().mutex);
    std::swap(State().hook, hook);
    return hook;
}

namespace {

QMessageBox::Icon ToQtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonInfo {
    MsgButton button;
    QMessageBox::StandardButton standard;
};

constexpr ButtonInfo kButtons[] = {
    {mbOK, QMessageBox::Ok},         {mbYes, QMessageBox::Yes},     {mbNo, QMessageBox::No},
    {mbAbort, QMessageBox::Abort},   {mbRetry, QMessageBox::Retry}, {mbIgnore, QMessageBox::Ignore},
    {mbAll, QMessageBox::YesToAll},
    {mbCancel, QMessageBox::Cancel},
};

MsgButton FirstButton(MsgButtons buttons)
{
    for (const ButtonInfo& b : kButtons) {
        if (buttons & b.button) {
            return b.button;
        }
    }
    return mbOK;
}

// What closing the box without pressing a button means.
MsgButton EscapeButton(MsgButtons buttons)
{
    if (buttons & mbCancel) {
        return mbCancel;
    }
    if (buttons & mbNo) {
        return mbNo;
    }
    if (buttons & mbAbort) {
        return mbAbort;
    }
    return FirstButton(buttons);
}

} // namespace

MsgButton MessageBox(const QString& caption, const QString& text, MsgIcon icon, MsgButtons buttons,
                     MsgButton defaultButton)
{
    if (buttons == mbNone) {
        buttons = mbOK;
    }
    if (defaultButton == mbNone || !(buttons & defaultButton)) {
        defaultButton = FirstButton(buttons);
    }
    MessageBoxHook hook;
    {
        std::lock_guard lock(State().mutex);
        hook = State().hook;
    }
    if (hook) {
        return hook(MessageBoxRequest{caption, text, icon, buttons, defaultButton});
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        // No widgets to show a box with (a console tool): say it on the error stream.
        std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
        return defaultButton;
    }
    QMessageBox box(ToQtIcon(icon), caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    for (const ButtonInfo& b : kButtons) {
        if (buttons & b.button) {
            QPushButton* pb = box.addButton(b.standard);
            if (b.button == mbAll) {
                pb->setText(QStringLiteral("&All"));
            }
            if (b.button == defaultButton) {
                box.setDefaultButton(pb);
            }
        }
    }
    for (const ButtonInfo& b : kButtons) {
        if (b.button == EscapeButton(buttons)) {
            box.setEscapeButton(box.button(b.standard));
        }
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (const ButtonInfo& b : kButtons) {
        if (clicked != nullptr && clicked == box.button(b.standard)) {
            return b.button;
        }
    }
    return EscapeButton(buttons);
}

QString ExceptionText(std::exception_ptr e)
{
    if (!e) {
        return QString();
    }
    try {
        std::rethrow_exception(e);
    } catch (const Exception& ex) {
        return ex.Message();
    } catch (const std::bad_alloc&) {
        return ErrnoText(ENOMEM);
    } catch (const std::system_error& ex) {
        // The standard library's texts are English: a system error in our words.
        if (ex.code().category() == std::generic_category() || ex.code().category() == std::system_category())
            return ErrnoText(ex.code().value());
        return QString::fromUtf8(ex.what());
    } catch (const std::exception& ex) {
        return QString::fromUtf8(ex.what());
    } catch (...) {
        return QStringLiteral("Неизвестная ошибка");
    }
}

ExceptionHandler SetExceptionHandler(ExceptionHandler handler)
{
    std::lock_guard lock(State().mutex);
    std::swap(State().handler, handler);
    return handler;
}

void HandleException(std::exception_ptr e) noexcept
{
    if (!e) {
        return;
    }
    try {
        try {
            std::rethrow_exception(e);
        } catch (const EAbort&) {
            return;
        } catch (...) {
        }
        ExceptionHandler handler;
        {
            std::lock_guard lock(State().mutex);
            handler = State().handler;
        }
        if (handler) {
            handler(e);
            return;
        }
        QString text = ExceptionText(e);
        // The box shows the message as a sentence: a period is added unless the text already
        // ends in a punctuation mark ('.', '!', '?', ...), i.e. a character not above '.'.
        if (!text.isEmpty() && text.back() > QChar('.')) {
            text += '.';
        }
        MessageBox(ApplicationTitle(), text, MsgIcon::Error, mbOK, mbOK);
    } catch (...) {
        // The handler of last resort must not throw: a failure here is dropped.
    }
}

void ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
