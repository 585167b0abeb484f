// The report of a long log ("Сохранить" on the log page: the template filled and saved as a
// .docx) against the least any report needs: the same rows' texts written to a text file. Both
// run in one process over the same open log query, the report first, as the first one after the
// log page opened; the counters give the time and the peak memory (resident set above what was
// resident before) of each and their ratios, and what the report leaves resident.
//     report_bench                                  100 000 rows
//     report_bench --benchmark_filter=/1000000      a million rows (minutes, gigabytes of disk)
#include "app/fmain.h"
#include "app/savedialog.h"
#include "app/tables.h"
#include "platform/application.h"
#include "platform/datetime.h"
#include "platform/query.h"
#include "platform/text.h"
#include "tests/tables/biglog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// Kilobytes of a line of /proc/self/status ("VmHWM:", "VmRSS:").
long StatusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Peak resident memory of what runs between Start and Kb, above what was resident at Start.
class PeakMemory {
public:
    void Start()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");   // resets the peak to the current resident set
        base_ = StatusKb("VmRSS:");
    }
    long Kb() const { return StatusKb("VmHWM:") - base_; }

private:
    long base_ = 0;
};

// The same texts the report types for a record, one line each.
void WriteRowsAsText(TQuery& log, const QString& file)
{
    static const std::array<const char*, 10> flags{"FVemorOn", "FSelfOn", "FBtn1", "FBtn2", "FBtn3",
                                                   "FBtn4",    "FEngine", "FRazr", "FUn",   "FUk"};
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    log.DisableControls();
    for (log.First(); !log.Eof(); log.Next()) {
        QStringList cells;
        cells << FormatDateTime(QStringLiteral("dd.mm.yyyy"), log.FieldByName(QStringLiteral("FDate"))->AsDateTime())
              << log.FieldByName(QStringLiteral("fTimeStr"))->AsString();
        for (const char* flag : flags)
            cells << (log.FieldByName(QLatin1String(flag))->AsBoolean() ? QString(QChar(0x2714)) : QString());
        cells << QString::number(log.FieldByName(QStringLiteral("FU"))->AsInteger());
        out.write((cells.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8());
    }
    log.EnableControls();
}

void BM_Report(benchmark::State& state)
{
    const int rows = int(state.range(0));
    QTemporaryDir dir;
    const QString exe = dir.path() + QLatin1Char('/');
    QDir().mkpath(exe + QStringLiteral("bases"));
    // What lives beside the executable: the report templates and the scheme the window loads.
    for (const char* name : {"docs/protokol.docx", "docs/cprotokol.docx", "schemes/vemor.sch"}) {
        const QString to = exe + QLatin1String(name);
        QDir().mkpath(QFileInfo(to).absolutePath());
        QFile::copy(QStringLiteral(VEMOR_SOURCE_DATA_DIR "/") + QLatin1String(name), to);
    }
    SetExeDirForTesting(exe);
    int saved = 0;
    QString failure;
    SetMessageBoxHook([&](const MessageBoxRequest& r) {
        if (r.text == QStringLiteral("Протокол сохранен !"))
            ++saved;
        else
            failure = r.text;
        return mbOK;
    });
    const QString target = exe + QStringLiteral("report.docx");
    TSaveDialog::SetHook([&target](TSaveDialog& d) {
        QFile::remove(target);
        d.FileName = target;
        return true;
    });

    double reportSeconds = 0, textSeconds = 0;
    long reportKb = 0, textKb = 0, keptKb = 0;
    std::size_t recordsBefore = 0, recordsAfter = 0;
    qint64 reportBytes = 0, textBytes = 0;
    {
        TfrmMain w;
        w.GlobalTimer.stop();
        OpenBases(exe + QStringLiteral("bases/"));
        StoreVemorParameters(w.QryEdit(), 7, VemorParameters{});
        StoreVemorAccount(w.QryEdit(), 7, 12, 3, EncodeDate(2006, 1, 2));
        w.QryEdit().SetSQL(BigLogSql(7, rows));
        w.QryEdit().ExecSQL();
        SelectedNumber = 7;
        w.btnProtokolClick();
        if (w.QryProtokol().RecordCount() != rows) {
            state.SkipWithError("the log query does not hold every row");
            return;
        }
        // The first report after the page opened, as the operator makes it: nothing of the
        // rows has been read before it but what the page shows. Then the reference walks the
        // same rows from where the report left the query.
        PeakMemory peak;
        for (auto _ : state) {
            QElapsedTimer t;
            const long before = StatusKb("VmRSS:");
            recordsBefore = w.QryProtokol().RecordBytes();
            peak.Start();
            t.start();
            w.btnSaveProtokolClick();
            reportSeconds += double(t.nsecsElapsed()) / 1e9;
            reportKb = std::max(reportKb, peak.Kb());
            keptKb = StatusKb("VmRSS:") - before;
            recordsAfter = w.QryProtokol().RecordBytes();
            reportBytes = QFileInfo(target).size();

            peak.Start();
            t.restart();
            WriteRowsAsText(w.QryProtokol(), exe + QStringLiteral("rows.txt"));
            textSeconds += double(t.nsecsElapsed()) / 1e9;
            textKb = std::max(textKb, peak.Kb());
            textBytes = QFileInfo(exe + QStringLiteral("rows.txt")).size();
        }
    }
    SetMessageBoxHook({});
    TSaveDialog::SetHook({});
    SetExeDirForTesting(QString());
    if (saved != int(state.iterations()) || !failure.isEmpty()) {
        state.SkipWithError(("the report was not saved: " + failure).toUtf8().constData());
        return;
    }
    const double n = double(state.iterations());
    state.counters["rows"] = rows;
    state.counters["report_s"] = reportSeconds / n;
    state.counters["text_s"] = textSeconds / n;
    state.counters["time_ratio"] = textSeconds > 0 ? reportSeconds / textSeconds : 0;
    state.counters["report_peak_MB"] = double(reportKb) / 1024;
    // What stays resident after the report, and what the log query's rows hold more than before it.
    state.counters["report_kept_MB"] = double(keptKb) / 1024;
    state.counters["rows_grew_MB"] = (double(recordsAfter) - double(recordsBefore)) / (1 << 20);
    state.counters["text_peak_MB"] = double(textKb) / 1024;
    // The text's peak can be a few pages; a page is the least a ratio is taken against.
    state.counters["peak_ratio"] = double(reportKb) / double(std::max(textKb, 4L));
    state.counters["report_file_MB"] = double(reportBytes) / (1 << 20);
    state.counters["text_file_MB"] = double(textBytes) / (1 << 20);
}

}  // namespace

BENCHMARK(BM_Report)->Arg(100000)->Arg(1000000)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a filter only the 100 000-row report runs.
    std::vector<char*> args(argv, argv + argc);
    char filter[] = "--benchmark_filter=BM_Report/100000/";
    if (std::none_of(args.begin(), args.end(), [](const char* a) { return qstrncmp(a, "--benchmark_filter", 18) == 0; }))
        args.push_back(filter);
    argc = int(args.size());
    argv = args.data();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
