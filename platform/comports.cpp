#include "platform/comports.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
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
    if (path.isEmpty())
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}
