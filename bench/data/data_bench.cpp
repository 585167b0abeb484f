// Log records through the program's own statement (insert-or-ignore on the record's key, one
// statement per record as the download runs them) against raw SQLite inserts of the same rows in
// one transaction; opening the log query over them; and the memory the open query holds per row.
#include "app/tables.h"
#include "platform/query.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

namespace {

constexpr int kRows = 100000;

VemorLogRecord RecordNo(int i)
{
    VemorLogRecord r;
    r.fid = 5;
    r.date = EncodeDate(2007, 1, 1) + i / 4000;   // 4000 records a day
    r.time = EncodeTime((i % 4000) / 3600 % 24, (i % 4000) / 60 % 60, i % 60, 0);
    r.milSec = (i % 50) * 20;
    r.u = 380 + i % 20;
    r.engine = i % 2;
    r.btn = {i % 3 == 0, false, true, i % 5 == 0};
    return r;
}

void BM_ProgramStatementInserts(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString bases = dir.filePath("bases/");
        OpenBases(bases);
        TQuery qryEdit;
        AttachQuery(qryEdit, bases);
        state.ResumeTiming();
        int inserted = 0;
        for (int i = 0; i < kRows; ++i)
            inserted += AddVemorLogRecord(qryEdit, RecordNo(i)) ? 1 : 0;
        state.PauseTiming();
        if (inserted != kRows)
            state.SkipWithError("rows were lost");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ProgramStatementInserts)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_RawInsertsOneTransaction(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString bases = dir.filePath("bases/");
        const QString file = OpenBases(bases);
        sqlite3* db = nullptr;
        sqlite3_open(file.toUtf8().constData(), &db);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db,
                           "insert into vprotokol (fid,fvemoron,fselfon,fbtn1,fbtn2,fbtn3,fbtn4,fengine,frazr,fun,fuk,"
                           "fu,fdate,ftime,fmilsec) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                           -1, &stmt, nullptr);
        state.ResumeTiming();
        sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
        for (int i = 0; i < kRows; ++i) {
            const VemorLogRecord r = RecordNo(i);
            sqlite3_bind_int(stmt, 1, r.fid);
            sqlite3_bind_int(stmt, 2, r.vemorOn);
            sqlite3_bind_int(stmt, 3, r.selfOn);
            for (int b = 0; b < 4; ++b)
                sqlite3_bind_int(stmt, 4 + b, r.btn[b]);
            sqlite3_bind_int(stmt, 8, r.engine);
            sqlite3_bind_int(stmt, 9, r.razr);
            sqlite3_bind_int(stmt, 10, r.un);
            sqlite3_bind_int(stmt, 11, r.uk);
            sqlite3_bind_int(stmt, 12, r.u);
            const QByteArray d = IsoDateTimeText(r.date, ftDate).toUtf8();
            const QByteArray t = IsoDateTimeText(r.time, ftTime).toUtf8();
            sqlite3_bind_text(stmt, 13, d.constData(), int(d.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(stmt, 14, t.constData(), int(t.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int(stmt, 15, r.milSec);
            sqlite3_step(stmt);
            sqlite3_reset(stmt);
        }
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
        state.PauseTiming();
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_RawInsertsOneTransaction)->Unit(benchmark::kMillisecond)->Iterations(1);

struct FilledBases {
    QTemporaryDir dir;
    QString bases;
    FilledBases()
    {
        bases = dir.filePath("bases/");
        OpenBases(bases);
        TQuery qryEdit;
        AttachQuery(qryEdit, bases);
        qryEdit.SetSQL("begin");
        qryEdit.ExecSQL();
        for (int i = 0; i < kRows; ++i)
            AddVemorLogRecord(qryEdit, RecordNo(i));
        qryEdit.SetSQL("commit");
        qryEdit.ExecSQL();
    }
};

FilledBases& Filled()
{
    static FilledBases f;
    return f;
}

void BM_OpenLogQuery(benchmark::State& state)
{
    FilledBases& f = Filled();
    TQuery qryProtokol;
    AttachQuery(qryProtokol, f.bases);
    SetupVemorLogQuery(qryProtokol);
    qryProtokol.OnCalcFields.Add([](TDataSet& d) {
        d.FieldByName("fTimeStr")->SetAsString(FormatDateTime("hh:nn:ss", d.FieldByName("FTime")->AsDateTime()) + ":" +
                                               FormatFloat("000", d.FieldByName("FmilSec")->AsInteger()));
    });
    SetLogQueryRange(qryProtokol, 5, LogRangeAllStart(), LogRangeAllEnd());
    double bytesPerRow = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        qryProtokol.Open();
        const size_t after = mallinfo2().uordblks;
        bytesPerRow = double(after - before) / qryProtokol.RecordCount();
        if (qryProtokol.RecordCount() != kRows)
            state.SkipWithError("wrong row count");
        qryProtokol.Close();
    }
    // Heap growth as the allocator reports it (0 where a sanitizer replaces the allocator), and the
    // fixed part of a record by its layout (values, record, pointers; string heaps not counted).
    state.counters["bytes_per_row"] = bytesPerRow;
    state.counters["layout_bytes_per_row"] = double(sizeof(TRecordData) + sizeof(std::unique_ptr<TRecordData>) +
                                                    sizeof(TRecordData*) + qryProtokol.FieldCount() * sizeof(Variant));
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_OpenLogQuery)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
