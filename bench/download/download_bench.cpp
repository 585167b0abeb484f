// Downloads a log of 5 000 records from a simulated device at 115 200 baud into the tables, and
// compares the time with the physical limit: the bytes of every request and reply at 10 bits
// each (start, 8 data, stop) on the line.
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

constexpr int kRecords = 5000;
constexpr int kBaud = 115200;

void BM_LogDownload(benchmark::State& state)
{
    sim::Bus bus;
    sim::DeviceState dev = sim::DeviceState::Factory(300, 8);
    dev.accountBegin = QDateTime(QDate(2001, 1, 1), QTime(0, 0));
    dev.log = sim::GenerateLog(kRecords, QDateTime(QDate(2020, 6, 1), QTime(12, 0)));
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
        w.ComPort().SetBaud(kBaud);
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
            wireSeconds += double(bus.ReceivedBytes().size() + bus.SentBytes().size()) * 10.0 / kBaud;
            state.ResumeTiming();
        }
    }
    state.counters["wire_s"] = benchmark::Counter(wireSeconds, benchmark::Counter::kAvgIterations);
    state.counters["records"] = kRecords;
    // Below 1 the program keeps up with the line: the pseudo-terminal moves bytes faster than a
    // real line would, so only the program's own work is measured against the wire time.
    if (wireSeconds > 0)
        state.counters["ratio_to_wire"] = runSeconds / wireSeconds;
    SetMessageBoxHook({});
    SetExeDirForTesting(QString());
}

}  // namespace

BENCHMARK(BM_LogDownload)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
