// Downloads a log from a simulated device into the tables at 9 600, 19 200 and 115 200 bit/s,
// the line paced at its speed (every byte of every request and reply takes its 10 bits of wire
// time, one way at a time), and compares the time with the wire time of those bytes: the ratio
// is what the program adds to what the line cannot go below. The log is sized so that each
// download keeps the line busy for about five seconds.
#include "app/fmain.h"
#include "app/fmain_ui.h"
#include "app/tables.h"
#include "platform/application.h"
#include "platform/query.h"
#include "serial/comport.h"
#include "tests/support/sim/device_sim.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void BM_LogDownload(benchmark::State& state)
{
    const int baud = int(state.range(0));
    const int records = int(state.range(1));
    sim::Bus bus;
    bus.SetPaced(true);
    sim::DeviceState dev = sim::DeviceState::Factory(300, std::uint8_t(sim::SpeedCode(baud)));
    dev.accountBegin = QDateTime(QDate(2001, 1, 1), QTime(0, 0));
    dev.log = sim::GenerateLog(records, QDateTime(QDate(2020, 6, 1), QTime(12, 0)));
    bus.AddDevice(dev);
    // Records at the same moment share their key and are stored once.
    QSet<QDateTime> moments;
    for (const auto& r : dev.log)
        moments.insert(sim::LogRecord::Decode(r).when);
    const int distinct = int(moments.size());
    qputenv("COMPORT_MAP", ("1=" + bus.SlavePath()).toUtf8());
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/bases");
    SetExeDirForTesting(dir.path() + "/");
    int done = 0;
    SetMessageBoxHook([&done](const MessageBoxRequest& r) {
        done += r.text.startsWith(QStringLiteral("Протокол считан"));
        return mbOK;
    });

    double wireSeconds = 0;
    double runSeconds = 0;
    {
        TfrmMain w;
        w.ComPort().Close();
        w.ComPort().SetBaud(baud);
        w.ComPort().Open();
        SelectedNumber = 300;
        w.Form().chkReadAllRecordsVemorProtokol->setChecked(true);
        w.btnProtokolClick();
        for (auto _ : state) {
            state.PauseTiming();
            DeleteVemorLog(w.QryEdit(), 300);
            w.QryProtokol().Close();
            w.QryProtokol().Open();
            bus.ClearHistory();
            const int before = done;
            state.ResumeTiming();
            QElapsedTimer run;
            run.start();
            w.btnReadProtokolClick();
            QDeadlineTimer deadline(600000);
            while (done == before && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            runSeconds += double(run.nsecsElapsed()) / 1e9;
            state.PauseTiming();
            if (w.QryProtokol().RecordCount() != distinct) {
                state.SkipWithError(QStringLiteral("%1 of %2 records arrived, %3 counted").arg(w.QryProtokol().RecordCount()).arg(distinct).arg(w.LogCount()).toUtf8().constData());
                break;
            }
            wireSeconds += double(bus.ReceivedBytes().size() + bus.SentBytes().size()) * 10.0 / baud;
            state.ResumeTiming();
        }
    }
    state.counters["bits_per_s"] = baud;
    state.counters["records"] = records;
    state.counters["run_s"] = benchmark::Counter(runSeconds, benchmark::Counter::kAvgIterations);
    state.counters["wire_s"] = benchmark::Counter(wireSeconds, benchmark::Counter::kAvgIterations);
    // 1 would be a program that never keeps the line waiting.
    if (wireSeconds > 0)
        state.counters["ratio_to_wire"] = runSeconds / wireSeconds;
    SetMessageBoxHook({});
    SetExeDirForTesting(QString());
}

}  // namespace

// Line speed and log records: about five seconds of wire time each.
BENCHMARK(BM_LogDownload)
    ->Args({9600, 400})
    ->Args({19200, 800})
    ->Args({115200, 4800})
    ->Unit(benchmark::kSecond)
    ->Iterations(2)
    ->UseRealTime();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
