// Log records stored the program's way (a log reply's records in one transaction, an
// insert-or-ignore statement on the record's key for each) against raw SQLite inserts of the
// same rows in one transaction; opening the log page's query over a million rows against
// reading them with the SQLite C API into a vector of structs (time and bytes per row).
#include "app/protocol.h"
#include "app/tables.h"
#include "platform/query.h"
#include "tests/tables/biglog.h"
#include "tests/tables/heap.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <vector>


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

// As many records as one log reply carries: its 255 data bytes are the last-block flag and
// the records.
constexpr int kRecordsPerBlock = (255 - 1) / vemor::kLogRecordSize;

// The program's way of storing a downloaded log: each reply's records in one transaction,
// one insert-or-ignore statement per record.
int InsertAsTheProgram(const QString& bases)
{
    TQuery qryEdit;
    AttachQuery(qryEdit, bases);
    int inserted = 0;
    for (int first = 0; first < kRows; first += kRecordsPerBlock) {
        LogBlockTransaction block(qryEdit);
        for (int i = first; i < std::min(kRows, first + kRecordsPerBlock); ++i)
            inserted += AddVemorLogRecord(qryEdit, RecordNo(i)) ? 1 : 0;
        block.Commit();
    }
    return inserted;
}

// The least any program does: one prepared statement, every row in one transaction.
int InsertRaw(const QString& file)
{
    sqlite3* db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into vprotokol (fid,fvemoron,fselfon,fbtn1,fbtn2,fbtn3,fbtn4,fengine,frazr,fun,fuk,"
                       "fu,fdate,ftime,fmilsec) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &stmt, nullptr);
    int inserted = 0;
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
        inserted += sqlite3_step(stmt) == SQLITE_DONE ? 1 : 0;
        sqlite3_reset(stmt);
    }
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return inserted;
}

// The program's inserts against the raw ones, each into a new database of its own.
void BM_LogInserts(benchmark::State& state)
{
    double programSeconds = 0, rawSeconds = 0;
    for (auto _ : state) {
        QTemporaryDir programDir;
        const QString programBases = programDir.filePath("bases/");
        OpenBases(programBases);
        QElapsedTimer t;
        t.start();
        const int programRows = InsertAsTheProgram(programBases);
        programSeconds += double(t.nsecsElapsed()) / 1e9;

        QTemporaryDir rawDir;
        const QString rawFile = OpenBases(rawDir.filePath("bases/"));
        t.restart();
        const int rawRows = InsertRaw(rawFile);
        rawSeconds += double(t.nsecsElapsed()) / 1e9;
        if (programRows != kRows || rawRows != kRows)
            state.SkipWithError("rows were lost");
    }
    const double n = double(state.iterations());
    state.counters["rows"] = kRows;
    state.counters["rows_per_block"] = kRecordsPerBlock;
    state.counters["program_s"] = programSeconds / n;
    state.counters["raw_s"] = rawSeconds / n;
    state.counters["time_ratio"] = programSeconds / rawSeconds;
}
BENCHMARK(BM_LogInserts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// A million records of device 5, written in one statement.
constexpr int kOpenRows = 1000000;

struct FilledBases {
    QTemporaryDir dir;
    QString bases;
    QString file;
    FilledBases()
    {
        bases = dir.filePath("bases/");
        file = OpenBases(bases);
        TQuery qryEdit;
        AttachQuery(qryEdit, bases);
        qryEdit.SetSQL(BigLogSql(5, kOpenRows));
        qryEdit.ExecSQL();
        qryEdit.SetSQL("pragma wal_checkpoint(truncate)");
        qryEdit.Open();
        qryEdit.Close();
    }
};

FilledBases& Filled()
{
    static FilledBases f;
    return f;
}

// The least a program needs to hold the log: its rows in a vector of plain structs.
struct LogRow {
    std::int32_t fid;
    char date[11];
    char time[9];
    std::uint8_t flags[10];
    std::int16_t u;
    std::int16_t milSec;
};

std::vector<LogRow> ReadWithCApi(const QString& file)
{
    std::vector<LogRow> rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "select fid, fdate, ftime, fvemoron, fselfon, fbtn1, fbtn2, fbtn3, fbtn4, fengine, frazr, fun, fuk,"
                       " fu, fmilsec from vprotokol where fid=? and fdate>=? and fdate<=? order by fdate, ftime, fmilsec",
                       -1, &stmt, nullptr);
    sqlite3_bind_int(stmt, 1, 5);
    sqlite3_bind_text(stmt, 2, "2000-01-01", -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt, 3, "2099-12-31", -1, SQLITE_STATIC);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        LogRow r{};
        r.fid = sqlite3_column_int(stmt, 0);
        std::strncpy(r.date, reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)), sizeof r.date - 1);
        std::strncpy(r.time, reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2)), sizeof r.time - 1);
        for (int i = 0; i < 10; ++i)
            r.flags[i] = std::uint8_t(sqlite3_column_int(stmt, 3 + i));
        r.u = std::int16_t(sqlite3_column_int(stmt, 13));
        r.milSec = std::int16_t(sqlite3_column_int(stmt, 14));
        rows.push_back(r);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

// Opening the log page's query over a million rows against the SQLite C API reading the same
// rows into a vector of structs: time and bytes per row, and their ratios.
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
    double openSeconds = 0, capiSeconds = 0, bytesPerRow = 0, capiBytesPerRow = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        std::size_t before = HeapInUse();
        t.start();
        qryProtokol.Open();
        qryProtokol.Last();   // as the page shows the newest record
        openSeconds += double(t.nsecsElapsed()) / 1e9;
        bytesPerRow = double(HeapInUse() - before) / kOpenRows;
        if (qryProtokol.RecordCount() != kOpenRows)
            state.SkipWithError("wrong row count");
        qryProtokol.Close();

        t.restart();
        std::vector<LogRow> rows = ReadWithCApi(f.file);
        capiSeconds += double(t.nsecsElapsed()) / 1e9;
        capiBytesPerRow = double(rows.capacity() * sizeof(LogRow)) / kOpenRows;
        if (rows.size() != std::size_t(kOpenRows))
            state.SkipWithError("wrong row count through the C API");
    }
    const double n = double(state.iterations());
    state.counters["rows"] = kOpenRows;
    state.counters["open_s"] = openSeconds / n;
    state.counters["capi_s"] = capiSeconds / n;
    state.counters["time_ratio"] = openSeconds / capiSeconds;
    state.counters["bytes_per_row"] = bytesPerRow;
    state.counters["capi_bytes_per_row"] = capiBytesPerRow;
    state.counters["bytes_ratio"] = bytesPerRow / capiBytesPerRow;
    state.counters["file_bytes_per_row"] = double(QFileInfo(f.file).size()) / kOpenRows;
}
BENCHMARK(BM_OpenLogQuery)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
