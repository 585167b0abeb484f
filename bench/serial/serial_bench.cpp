// Throughput of the port component over a pseudo-terminal pair, beside a plain blocking
// read/write loop on the same kind of pair as the reference.
// Reported per benchmark: bytes per second and process CPU seconds per megabyte.
#include "serial/comport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kBlock = 4096;

double ProcessCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

struct Pair {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    Pair()
    {
        openpty(&master, &slave, name, nullptr, nullptr);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        setenv("COMPORT_MAP", (std::string("1=") + name).c_str(), 1);
    }
    ~Pair()
    {
        close(master);
        close(slave);
    }
};

void ReadExactly(int fd, int n)
{
    char buf[kBlock];
    while (n > 0) {
        const ssize_t r = read(fd, buf, std::min(n, kBlock));
        if (r > 0)
            n -= static_cast<int>(r);
        else if (r < 0 && errno != EAGAIN && errno != EINTR)
            return;
    }
}

void WriteAll(int fd, const char* p, int n)
{
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w > 0) {
            p += w;
            n -= static_cast<int>(w);
        } else {
            pollfd q{fd, POLLOUT, 0};
            poll(&q, 1, 100);
        }
    }
}

void Finish(benchmark::State& state, double cpuStart)
{
    const double bytes = double(state.iterations()) * kBlock;
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["cpu_s_per_MB"] = (ProcessCpu() - cpuStart) / (bytes / 1e6);
}

std::unique_ptr<TComPort> OpenPort()
{
    auto port = std::make_unique<TComPort>();
    port->SetComNumber(1);
    port->SetBaud(115200);
    port->SetPromptForPort(false);
    port->SetRS485Mode(true);
    port->SetOutSize(4 * kBlock);
    return port;
}

void BM_PutStringToMaster(benchmark::State& state)
{
    Pair pair;
    auto port = OpenPort();
    port->Open();
    const QByteArray block(kBlock, 'x');
    const double cpu = ProcessCpu();
    for (auto _ : state) {
        // The output thread advances the ring just after the bytes left; wait for that room.
        while (port->OutBuffFree() < kBlock)
            sched_yield();
        port->PutString(block);
        ReadExactly(pair.master, kBlock);
    }
    Finish(state, cpu);
}

void BM_PlainWriteToMaster(benchmark::State& state)
{
    Pair pair;
    const QByteArray block(kBlock, 'x');
    const double cpu = ProcessCpu();
    for (auto _ : state) {
        WriteAll(pair.slave, block.constData(), kBlock);
        ReadExactly(pair.master, kBlock);
    }
    Finish(state, cpu);
}

void BM_MasterToTriggerAvail(benchmark::State& state)
{
    Pair pair;
    auto port = OpenPort();
    int got = 0;
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t count) {
        for (uint16_t i = 0; i < count; ++i)
            cp->GetChar();
        got += count;
    });
    port->Open();
    const QByteArray block(kBlock, 'y');
    QTimer tick;
    tick.start(5);
    const double cpu = ProcessCpu();
    for (auto _ : state) {
        got = 0;
        WriteAll(pair.master, block.constData(), kBlock);
        while (got < kBlock)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    Finish(state, cpu);
}

void BM_PlainMasterToRead(benchmark::State& state)
{
    Pair pair;
    const QByteArray block(kBlock, 'y');
    const double cpu = ProcessCpu();
    for (auto _ : state) {
        WriteAll(pair.master, block.constData(), kBlock);
        ReadExactly(pair.slave, kBlock);
    }
    Finish(state, cpu);
}

}  // namespace

BENCHMARK(BM_PutStringToMaster)->UseRealTime();
BENCHMARK(BM_PlainWriteToMaster)->UseRealTime();
BENCHMARK(BM_MasterToTriggerAvail)->UseRealTime();
BENCHMARK(BM_PlainMasterToRead)->UseRealTime();

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
