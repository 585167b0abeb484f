// Application services: the executable's folder, message boxes, the one application-wide
// exception handler, and the guard that keeps exceptions from crossing Qt event boundaries.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

// The folder of the executable, ending in '/'.
QString ExeDir();
// Tests point the program at a folder of their own; an empty string restores the real one.
void SetExeDirForTesting(const QString& dir);

// The title that the exception handler captions its boxes with (the application's name).
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// ---- Message boxes --------------------------------------------------------------------------

enum class MsgIcon { None, Error, Information, Question, Warning };

// Buttons are bits so that a set of them can be passed; the pressed one is returned alone.
enum MsgButton : unsigned {
    mbNone = 0,
    mbOK = 0x01,
    mbCancel = 0x02,
    mbYes = 0x04,
    mbNo = 0x08,
    mbAbort = 0x10,
    mbRetry = 0x20,
    mbIgnore = 0x40,
    mbAll = 0x80,
};
using MsgButtons = unsigned;
constexpr MsgButtons mbOKCancel = mbOK | mbCancel;
constexpr MsgButtons mbYesNo = mbYes | mbNo;
constexpr MsgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;

struct MessageBoxRequest {
    QString caption;
    QString text;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = mbOK;
    MsgButton defaultButton = mbNone;
};

// A hook answers boxes instead of showing them (tests record them and pick the button).
using MessageBoxHook = std::function<MsgButton(const MessageBoxRequest&)>;
// Installs the hook (an empty one restores real boxes) and returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows a modal box (UI thread only) and returns the pressed button. Closing the box without a button counts as
// Cancel when offered, else No when offered, else OK. mbNone as default: the first button.
MsgButton MessageBox(const QString& caption, const QString& text, MsgIcon icon = MsgIcon::None,
                     MsgButtons buttons = mbOK, MsgButton defaultButton = mbNone);

// ---- Exceptions -----------------------------------------------------------------------------

// The text a handler shows for an exception: Message() of ours, what() of others,
// a fixed text for anything else.
QString ExceptionText(std::exception_ptr e);

// The application-wide handler: EAbort is silent; anything else goes to the handler set with
// SetExceptionHandler when there is one, else its text is shown in an error box captioned
// with ApplicationTitle(). Never throws.
void HandleException(std::exception_ptr e) noexcept;
using ExceptionHandler = std::function<void(std::exception_ptr)>;
// Returns the previous handler; an empty one restores the message box.
ExceptionHandler SetExceptionHandler(ExceptionHandler handler);

// Runs f and routes any exception to HandleException. Returns false when f threw.
// Every slot and timer tick of ours runs through this, so no exception crosses a Qt event.
template <class F>
bool Guarded(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
        return true;
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

namespace detail {
// T, named through the argument types so that a call through it is checked only when the
// arguments are known (a call written with no dependent part is checked at once by clang).
template <class T, class...>
struct DependentOn {
    using type = T;
};
}  // namespace detail

// Wraps a callable into a guarded one for connect(): MakeGuarded([this] { ... }). Signal
// arguments are passed on when the callable takes them, and dropped when it takes none.
template <class F>
auto MakeGuarded(F f)
{
    return [f = std::move(f)]<class... A>(A&&... args) mutable noexcept -> void
               requires std::is_invocable_v<F&, A...> || std::is_invocable_v<F&>
    {
        Guarded([&] {
            if constexpr (std::is_invocable_v<F&, A...>) {
                f(std::forward<A>(args)...);
            } else {
                typename detail::DependentOn<F&, A...>::type callable = f;
                callable();
            }
        });
    };
}

// Processes all pending events of this thread (timers, posted calls, input) and returns.
void ProcessMessages();
