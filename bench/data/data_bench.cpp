// Log records stored the program's way (a log reply's records in one transaction, an
// insert-or-ignore statement on the record's key for each) against raw SQLite committing the
// same blocks with the same settings, and the largest write-ahead log of each; opening the log
// page's query over a million rows against reading them with the SQLite C API into a vector of
// structs (time and bytes per row).
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

// The largest the write-ahead log of `file` has been, looked at after each block.
struct LogPeak {
    QString wal;
    qint64 bytes = 0;
    void Look() { bytes = std::max(bytes, QFileInfo(wal).size()); }
};

// The program's way of storing a downloaded log: each reply's records in one transaction,
// one insert-or-ignore statement per record, the download's end emptying the log.
int InsertAsTheProgram(const QString& bases, LogPeak& peak)
{
    TQuery qryEdit;
    AttachQuery(qryEdit, bases);
    int inserted = 0;
    for (int first = 0; first < kRows; first += kRecordsPerBlock) {
        LogBlockTransaction block(qryEdit);
        for (int i = first; i < std::min(kRows, first + kRecordsPerBlock); ++i)
            inserted += AddVemorLogRecord(qryEdit, RecordNo(i)) ? 1 : 0;
        block.Commit();
        peak.Look();
    }
    EndLogDownloadWrites(qryEdit);
    return inserted;
}

// The settings the program's connection writes with, given to the raw one.
QByteArray ProgramPragmas(const QString& file)
{
    const std::shared_ptr<TDatabase> connection = TDatabase::Open(file);
    sqlite3* db = connection->Handle();
    QByteArray sql;
    for (const char* name : {"journal_mode", "synchronous", "wal_autocheckpoint", "journal_size_limit"}) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, QByteArray("pragma ") + name, -1, &stmt, nullptr);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            sql += QByteArray("pragma ") + name + "=" + reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)) + ";";
        sqlite3_finalize(stmt);
    }
    return sql;
}

// The least any program does with the same settings: one prepared statement, the same blocks
// each committed, the log emptied at the end; with `bounded` also copied over after each block,
// which is what keeps the log within a block's pages.
int InsertRaw(const QString& file, const QByteArray& pragmas, bool bounded, LogPeak& peak)
{
    sqlite3* db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    sqlite3_exec(db, pragmas.constData(), nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into vprotokol (fid,fvemoron,fselfon,fbtn1,fbtn2,fbtn3,fbtn4,fengine,frazr,fun,fuk,"
                       "fu,fdate,ftime,fmilsec) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &stmt, nullptr);
    int inserted = 0;
    for (int first = 0; first < kRows; first += kRecordsPerBlock) {
        sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
        for (int i = first; i < std::min(kRows, first + kRecordsPerBlock); ++i) {
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
        if (bounded)
            sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        peak.Look();
    }
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return inserted;
}

struct InsertRun {
    double seconds = 0;
    qint64 logMax = 0;
    qint64 logAfter = 0;
};

// The raw inserts into a new database of their own.
InsertRun RunRaw(bool bounded, int& rows)
{
    QTemporaryDir dir;
    const QString file = OpenBases(dir.filePath("bases/"));
    const QByteArray pragmas = ProgramPragmas(file);
    LogPeak peak{file + "-wal"};
    QElapsedTimer t;
    t.start();
    rows = InsertRaw(file, pragmas, bounded, peak);
    return {double(t.nsecsElapsed()) / 1e9, peak.bytes, QFileInfo(peak.wal).size()};
}

// The program's inserts against the raw ones, each into a new database of its own: raw with the
// program's pragmas alone, and raw also keeping the log as small as the program does.
void BM_LogInserts(benchmark::State& state)
{
    InsertRun program, raw, bounded;
    for (auto _ : state) {
        QTemporaryDir programDir;
        const QString programBases = programDir.filePath("bases/");
        LogPeak peak{OpenBases(programBases) + "-wal"};
        QElapsedTimer t;
        t.start();
        const int programRows = InsertAsTheProgram(programBases, peak);
        program = {double(t.nsecsElapsed()) / 1e9, peak.bytes, QFileInfo(peak.wal).size()};
        int rawRows = 0, boundedRows = 0;
        raw = RunRaw(false, rawRows);
        bounded = RunRaw(true, boundedRows);
        if (programRows != kRows || rawRows != kRows || boundedRows != kRows)
            state.SkipWithError("rows were lost");
    }
    state.counters["rows"] = kRows;
    state.counters["rows_per_block"] = kRecordsPerBlock;
    state.counters["program_s"] = program.seconds;
    state.counters["raw_s"] = raw.seconds;
    state.counters["raw_bounded_s"] = bounded.seconds;
    state.counters["time_ratio"] = program.seconds / raw.seconds;
    state.counters["bounded_ratio"] = program.seconds / bounded.seconds;
    state.counters["program_log_max_bytes"] = double(program.logMax);
    state.counters["raw_log_max_bytes"] = double(raw.logMax);
    state.counters["bounded_log_max_bytes"] = double(bounded.logMax);
    state.counters["program_log_after_bytes"] = double(program.logAfter);
    state.counters["raw_log_after_bytes"] = double(raw.logAfter);
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
