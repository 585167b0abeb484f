#include "platform/comports.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <cstring>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString ReadFirstLine(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(f.readLine()).trimmed();
}

// Names of one family (ttyS, ttyUSB, ttyACM) in numeric order.
QStringList Family(const QStringList& names, const QString& prefix)
{
    const QRegularExpression re(QStringLiteral("^%1(\\d+)$").arg(prefix));
    QList<std::pair<int, QString>> found;
    for (const QString& n : names) {
        const auto m = re.match(n);
        if (m.hasMatch())
            found.append({m.captured(1).toInt(), n});
    }
    std::sort(found.begin(), found.end());
    QStringList out;
    for (const auto& f : found)
        out << f.second;
    return out;
}

}  // namespace

QMap<int, QString> ParseComPortMap(const QString& text)
{
    QMap<int, QString> map;
    for (const QString& entry : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int eq = entry.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        bool ok = false;
        const int n = entry.left(eq).trimmed().toInt(&ok);
        const QString path = entry.mid(eq + 1).trimmed();
        if (ok && n >= 1 && n <= 256 && !path.isEmpty())
            map.insert(n, path);
    }
    return map;
}

QMap<int, QString> ScanSerialDevices(const QString& sysClassTty, const QString& devDir)
{
    const QDir dir(sysClassTty);
    const QStringList names = dir.entryList(QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    QSet<QString> consoles;
    for (const QString& c : ReadFirstLine(dir.filePath(QStringLiteral("console/active"))).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        consoles.insert(c);

    QStringList ports;
    for (const QString& n : Family(names, QStringLiteral("ttyS"))) {
        // A ttyS without a UART reports type 0; only ports with hardware count.
        const QString type = ReadFirstLine(dir.filePath(n + QStringLiteral("/type")));
        if (!type.isEmpty() && type != QLatin1String("0"))
            ports << n;
    }
    ports << Family(names, QStringLiteral("ttyUSB")) << Family(names, QStringLiteral("ttyACM"));

    QMap<int, QString> map;
    int number = 1;
    for (const QString& n : ports) {
        if (consoles.contains(n))
            continue;
        map.insert(number++, devDir + QLatin1Char('/') + n);
    }
    return map;
}

QMap<int, QString> ComPortMap()
{
    const QByteArray env = qgetenv("COMPORT_MAP");
    if (!env.isNull())
        return ParseComPortMap(QString::fromLocal8Bit(env));
    return ScanSerialDevices(QStringLiteral("/sys/class/tty"));
}

QString ComPortPath(int n) { return ComPortMap().value(n); }

QList<int> AvailableComPorts() { return ComPortMap().keys(); }

bool ComPortFree(int n)
{
    const QString path = ComPortPath(n);
    if (path.isEmpty() || IsSystemConsole(path))
        return false;
    // Decided before the open where possible: the open itself moves the modem lines.
    if (ComPortLockOwner(path) != 0 || ComPortFlockOwner(path) != 0)
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int exclusive = 0;
    // Held with TIOCEXCL by a program that does not use flock (root gets through the open).
    const bool held = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    const bool free = !held && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

namespace {

bool ProcessAlive(int pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// A lock file that names no process yet may be one that its program has just created and is
// still writing: it counts as held for a while, then as left behind.
constexpr int UnwrittenLockSeconds = 10;

// The pid a lock file names: HDB (ASCII, some programs add their name and user after it) or
// the old binary form.
int ReadLockPid(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray data = f.read(64);
    bool ok = false;
    const int pid = data.simplified().split(' ').value(0).toInt(&ok);
    if (ok)
        return pid;
    if (data.size() == 4) {
        int32_t binary = 0;
        memcpy(&binary, data.constData(), 4);
        return binary;
    }
    return 0;
}

// The owner a lock file stands for: its live process, -1 for one still being written, 0 when
// the lock is stale.
int LiveLockOwner(const QString& path)
{
    const int pid = ReadLockPid(path);
    if (ProcessAlive(pid))
        return pid;
    if (pid == 0) {
        const QDateTime modified = QFileInfo(path).lastModified();
        if (modified.isValid() && modified.secsTo(QDateTime::currentDateTime()) < UnwrittenLockSeconds)
            return -1;
    }
    return 0;
}

}  // namespace

bool IsSystemConsole(const QString& path, const QString& sysClassTty)
{
    QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = path;
    struct stat st {};
    if (::stat(QFile::encodeName(canonical).constData(), &st) == 0 && S_ISCHR(st.st_mode)) {
        const unsigned maj = major(st.st_rdev), min = minor(st.st_rdev);
        if ((maj == 5 && (min == 0 || min == 1)) || (maj == 4 && min < 64))
            return true;  // /dev/tty, /dev/console, /dev/tty0 to /dev/tty63, under any name
        // In a container the console is another terminal mounted on /dev/console: the same node.
        struct stat console {};
        if (::stat("/dev/console", &console) == 0 && console.st_dev == st.st_dev && console.st_ino == st.st_ino)
            return true;
    }
    if (!canonical.startsWith(QLatin1String("/dev/")))
        return false;
    const QString name = canonical.mid(5);
    static const QRegularExpression vt(QStringLiteral("^tty(\\d+)$"));
    const auto m = vt.match(name);
    if (name == QLatin1String("console") || name == QLatin1String("tty") || (m.hasMatch() && m.captured(1).toInt() < 64))
        return true;
    const QString active = ReadFirstLine(QDir(sysClassTty).filePath(QStringLiteral("console/active")));
    return active.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(name);
}

QStringList ComPortLockDirs()
{
    const QByteArray env = qgetenv("COMPORT_LOCKDIR");
    if (!env.isEmpty())
        return {QString::fromLocal8Bit(env)};
    return {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")};
}

QString ComPortLockName(const QString& devicePath)
{
    QString canonical = QFileInfo(devicePath).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = devicePath;
    QString name = canonical.startsWith(QLatin1String("/dev/")) ? canonical.mid(5) : QFileInfo(canonical).fileName();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

int ComPortLockOwner(const QString& devicePath)
{
    const QString name = ComPortLockName(devicePath);
    for (const QString& dir : ComPortLockDirs()) {
        const QString path = QDir(dir).filePath(name);
        if (!QFileInfo::exists(path))
            continue;
        if (const int owner = LiveLockOwner(path))
            return owner;
        QFile::remove(path);  // stale: its process is gone
    }
    return 0;
}

QString CreateComPortLock(const QString& devicePath, int* owner)
{
    if (owner)
        *owner = 0;
    const QString name = ComPortLockName(devicePath);
    const QByteArray text = QByteArray::number(static_cast<qlonglong>(::getpid())).rightJustified(10, ' ') + '\n';
    static std::atomic<unsigned> serial{0};
    for (const QString& dir : ComPortLockDirs()) {
        const QString path = QDir(dir).filePath(name);
        // Written whole under a name of our own, then linked into place: nobody ever reads our
        // lock without its pid (which would look stale to them).
        const QByteArray temp =
            QFile::encodeName(QDir(dir).filePath(QStringLiteral("LTMP.%1.%2").arg(::getpid()).arg(serial++)));
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            continue;  // this folder does not take it: try the next
        const bool written = ::write(fd, text.constData(), static_cast<size_t>(text.size())) == text.size();
        ::close(fd);
        for (int attempt = 0; written && attempt < 2; ++attempt) {
            if (::link(temp.constData(), QFile::encodeName(path).constData()) == 0) {
                ::unlink(temp.constData());
                return path;
            }
            if (errno != EEXIST)
                break;
            const int pid = LiveLockOwner(path);
            if (pid != 0 && pid != ::getpid()) {
                ::unlink(temp.constData());
                if (owner)
                    *owner = pid;
                return {};
            }
            ::unlink(QFile::encodeName(path).constData());  // stale, or ours left behind
        }
        ::unlink(temp.constData());
    }
    return {};
}

void RemoveComPortLock(const QString& lockPath)
{
    if (!lockPath.isEmpty() && ReadLockPid(lockPath) == ::getpid())
        QFile::remove(lockPath);
}

int ComPortFlockOwner(const QString& devicePath)
{
    struct stat st {};
    if (::stat(QFile::encodeName(devicePath).constData(), &st) != 0)
        return 0;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    // "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF": pid, then major:minor:inode of the file.
    const QString id = QStringLiteral("%1:%2:%3")
                           .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(static_cast<qulonglong>(st.st_ino));
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 6 && f[1] == "FLOCK" && f[5] == id.toLatin1())
            return f[4].toInt();
    }
    return 0;
}

DeviceOwners DeviceOwnership(const QString& devicePath)
{
    DeviceOwners owners;
    struct stat st {};
    if (::stat(QFile::encodeName(devicePath).constData(), &st) != 0)
        return owners;
    owners.groupReadWrite = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    char buffer[4096];
    group g {};
    group* foundGroup = nullptr;
    owners.group = ::getgrgid_r(st.st_gid, &g, buffer, sizeof buffer, &foundGroup) == 0 && foundGroup
                       ? QString::fromLocal8Bit(foundGroup->gr_name)
                       : QString::number(st.st_gid);
    passwd p {};
    passwd* foundUser = nullptr;
    owners.user = ::getpwuid_r(st.st_uid, &p, buffer, sizeof buffer, &foundUser) == 0 && foundUser
                      ? QString::fromLocal8Bit(foundUser->pw_name)
                      : QString::number(st.st_uid);
    return owners;
}

QString ProcessName(int pid)
{
    if (pid <= 0)
        return {};
    return ReadFirstLine(QStringLiteral("/proc/%1/comm").arg(pid));
}
