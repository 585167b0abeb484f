// Entry point of the service tool: splash, application title, main window, message loop.
#include "app/fmain.h"
#include "app/fspalsh.h"
#include "app/widgets.h"
#include "grid/dbgridexiexp.h"
#include "grid/propstorage.h"
#include "platform/application.h"

#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

void CenterOnScreen(QWidget& w)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        w.move(screen->availableGeometry().center() - w.rect().center());
}

// Shutdown, logout, kill and Ctrl+C end the program as closing its window does, so the port gets
// its line settings back and its lock file goes. The handler only notes the signal and wakes the
// user-interface thread through a pipe; it may run on any thread, the serial workers' included.
// The pipe is never closed: a late signal must not write into a descriptor reused meanwhile.
constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};
int endPipe[2] = {-1, -1};
volatile sig_atomic_t endSignal = 0;

extern "C" void OnEndSignal(int sig)
{
    const int saved = errno;
    if (endSignal == 0)
        endSignal = sig;
    const char wake = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t n = ::write(endPipe[1], &wake, 1);
    errno = saved;
}

// Before any thread starts. A signal the program was started with ignored (nohup) stays so.
bool InstallEndSignals()
{
    if (::pipe2(endPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int sig : kEndSignals)
        sigaddset(&action.sa_mask, sig);
    for (int sig : kEndSignals) {
        struct sigaction found {};
        if (::sigaction(sig, nullptr, &found) == 0 && found.sa_handler != SIG_IGN)
            ::sigaction(sig, &action, nullptr);
    }
    return true;
}

int Run(int argc, char** argv)
{
    const bool endSignals = InstallEndSignals();
    QApplication app(argc, argv);
    // The operator's desktop is Russian: so are Qt's own buttons and dialogs.
    InstallInterfaceTranslations();
    // The grid's clipboard formats and edit keys; nothing else reaches that unit at start-up.
    InitDBGridExImpExp();
    InitPropFilerEx();  // windows saved and restored through the property store
    frmSplash = new TfrmSplash;
    CenterOnScreen(*frmSplash);
    frmSplash->show();
    frmSplash->repaint();
    QApplication::processEvents();

    QApplication::setApplicationName(QStringLiteral("ВЕМОР"));
    SetApplicationTitle(QStringLiteral("ВЕМОР"));
    int rc = 0;
    {
        TfrmMain window;
        CenterOnScreen(window);
        // A signal that came during start-up is taken as soon as the loop runs.
        QSocketNotifier ending(endPipe[0], QSocketNotifier::Read);
        ending.setEnabled(endSignals);
        QObject::connect(&ending, &QSocketNotifier::activated, &window, [&] {
            char drain[16];
            while (::read(endPipe[0], drain, sizeof drain) > 0) {
            }
            // Further signals only wake a notifier that no longer acts.
            ending.setEnabled(false);
            window.close();
            // Whatever else is open (a message box, a dialog) ends with the loop.
            QApplication::quit();
        });
        window.show();
        rc = QApplication::exec();
    }
    delete frmSplash;
    return rc;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rc = Run(argc, argv);
    // Ended by a signal: whoever started the program learns it as from the signal's own action.
    if (const int sig = endSignal) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    }
    return rc;
}
