// vemor-sim: creates a pseudo-terminal with simulated Vemor devices on it, prints the path of
// its slave side and serves requests until SIGINT or SIGTERM.
#include "tests/support/sim/device_sim.h"

#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUsage =
    "usage: vemor-sim [options]\n"
    "  --device NUMBER[:SPEED]  a device with this factory number (1..65535); SPEED is a speed\n"
    "                           code 0..8 or a rate in bit/s (default 2 = 9600); repeatable\n"
    "                           (default: one device, 1:2)\n"
    "  --log COUNT              log records generated for each device (default 60)\n"
    "  --static                 live values stay as set (default: the engine starts and stops,\n"
    "                           the voltage moves, and each start and stop is logged)\n"
    "  --voltage VOLTS          the live voltage with --static (default 380)\n"
    "  --info TEXT              information text of the devices (default \"Насосная станция N\")\n"
    "  --link PATH              also make PATH a symbolic link to the port (removed on exit)\n"
    "  --late MS                every reply comes MS milliseconds late (not with --mute-after)\n"
    "  --mute-after BLOCKS      the devices fall silent after sending this many log blocks\n"
    "  --verbose                print every frame on stderr\n"
    "The first line on stdout is the path of the port, e.g. /dev/pts/5.\n";

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "vemor-sim: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

int ToInt(const QString& text, int low, int high, const char* what)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        Fail(std::string("bad ") + what + ": " + text.toStdString());
    return v;
}

struct DeviceOption {
    uint16_t number = 1;
    uint8_t speedCode = 2;
};

DeviceOption ParseDevice(const QString& text)
{
    DeviceOption d;
    const QStringList parts = text.split(':');
    if (parts.size() > 2)
        Fail("bad --device: " + text.toStdString());
    d.number = uint16_t(ToInt(parts[0], 1, 65535, "device number"));
    if (parts.size() == 2) {
        const int v = ToInt(parts[1], 0, 115200, "speed");
        const int code = v < int(sim::kSpeeds.size()) ? v : sim::SpeedCode(v);
        if (code < 0)
            Fail("unknown speed: " + parts[1].toStdString());
        d.speedCode = uint8_t(code);
    }
    return d;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<DeviceOption> devices;
    int logCount = 60;
    bool animate = true;
    int voltage = 380;
    QString info = QStringLiteral("Насосная станция %1");
    QString link;
    bool verbose = false;
    int lateMs = 0;
    int muteAfter = -1;

    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                Fail("missing value after " + a.toStdString());
            return args[++i];
        };
        if (a == "--device")
            devices.push_back(ParseDevice(value()));
        else if (a == "--log")
            logCount = ToInt(value(), 0, 100000, "log count");
        else if (a == "--static")
            animate = false;
        else if (a == "--voltage")
            voltage = ToInt(value(), 0, 65535, "voltage");
        else if (a == "--info")
            info = value();
        else if (a == "--link")
            link = value();
        else if (a == "--late")
            lateMs = ToInt(value(), 0, 60000, "delay");
        else if (a == "--mute-after")
            muteAfter = ToInt(value(), 0, 100000, "block count");
        else if (a == "--verbose")
            verbose = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else
            Fail("unknown option " + a.toStdString());
    }
    if (devices.empty())
        devices.push_back(DeviceOption{});

    // The bus thread must not take the stop signals: this thread waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::Bus bus;
    if (verbose)
        bus.SetTrace([](const QString& line) { std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData()); });
    uint32_t seed = 1;
    for (const auto& opt : devices) {
        sim::DeviceState d = sim::DeviceState::Factory(opt.number, opt.speedCode);
        d.info = sim::InfoBytes(info.contains("%1") ? info.arg(opt.number) : info);
        d.log = sim::GenerateLog(logCount, QDateTime::currentDateTime().addSecs(-600), seed++);
        if (!d.log.empty())
            d.accountBegin = sim::LogRecord::Decode(d.log[d.log.size() / 2]).when;
        d.externalStarts = uint16_t(logCount / 2);
        d.selfStarts = uint16_t(logCount / 10);
        d.live.animate = animate;
        d.live.voltage = uint16_t(voltage);
        bus.AddDevice(d);
        if (muteAfter >= 0)
            bus.SetFaults(opt.number, sim::Faults{.silent = true, .command = sim::cmdReadLog, .after = muteAfter});
        else if (lateMs > 0)
            bus.SetFaults(opt.number, sim::Faults{.delayMs = lateMs});
    }

    const QByteArray path = bus.SlavePath().toLocal8Bit();
    if (!link.isEmpty()) {
        const QByteArray l = link.toLocal8Bit();
        ::unlink(l.constData());
        if (::symlink(path.constData(), l.constData()) != 0)
            Fail("cannot create the link " + link.toStdString() + ": " + std::strerror(errno));
    }
    std::printf("%s\n", path.constData());
    std::fflush(stdout);
    for (const auto& opt : devices)
        std::fprintf(stderr, "vemor-sim: device %u at %d bit/s\n", unsigned(opt.number), sim::kSpeeds[opt.speedCode]);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    if (!link.isEmpty())
        ::unlink(link.toLocal8Bit().constData());
    return 0;
}
