#include "pty.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

namespace {

// Lock files of the ports the tests open go into a folder of the test run's own.
void UseOwnLockFolder()
{
    static QTemporaryDir folder;
    setenv("COMPORT_LOCKDIR", QFile::encodeName(folder.path()).constData(), 1);
}

}  // namespace

PtyPair::PtyPair()
{
    UseOwnLockFolder();
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = QString::fromLocal8Bit(name);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    CloseMaster();
    if (slave_ >= 0)
        close(slave_);
    unsetenv("COMPORT_MAP");
}

void PtyPair::MapAs(int number) const
{
    setenv("COMPORT_MAP", QStringLiteral("%1=%2").arg(number).arg(slavePath_).toLocal8Bit().constData(), 1);
}

void PtyPair::Write(const QByteArray& bytes) const
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 1000);
        }
    }
}

QByteArray PtyPair::Read(int n, std::chrono::milliseconds timeout) const
{
    QByteArray out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buf[4096];
        const ssize_t r = read(master_, buf, std::min<qsizetype>(sizeof buf, n - out.size()));
        if (r > 0)
            out.append(buf, r);
    }
    return out;
}

termios PtyPair::SlaveSettings() const
{
    // Through the descriptor held since the pair was made: a port holding the slave in
    // exclusive mode keeps new opens out.
    termios t{};
    tcgetattr(slave_, &t);
    return t;
}

void PtyPair::CloseMaster()
{
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    // A short timer keeps the loop waking up without spinning.
    QTimer tick;
    tick.start(5);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}
