// The program's local tables and every statement it sends to them.
//
// How to use (main window and its pages):
//  * Start-up: point each query at the folder with AttachQuery(qry, basesDir), then call
//    OpenBases(ExeDir() + "bases/"). It creates the folder and the file bases/vemor.db with its
//    six tables when they are missing, and raises EDatabaseError naming the file and saying in
//    Russian why when the database cannot be created or opened. An attached query that finds
//    no connection opens it the same way on its next use, so after a failed start-up each
//    action says again why the database is unavailable, until it can be opened.
//  * qryEdit: each function below that takes `TQuery& qryEdit` closes it, sets its statement,
//    binds the values as parameters and runs it. A Select... function leaves its result open in
//    qryEdit: read it at once, e.g. qryEdit.FieldByName("fspeed")->AsInteger(); it stays open only
//    until the next statement. Every other statement leaves qryEdit closed.
//  * The rows of a device are created the first time the device is seen or stored (insert-or-ignore
//    in the same transaction as the update), so no update is lost for want of a row.
//  * Log records: AddVemorLogRecord/AddSulmLogRecord insert a record unless the same key is
//    already stored, and say which happened; that is the whole duplicate check.
//  * Log queries: SetupVemorLogQuery(qryProtokol) and SetupSulmLogQuery(qryCProtokol) once at
//    start-up (SQL lines, parameter types, the fields with their display formats, the calculated
//    field fTimeStr). Then, to show a range: qry.Close(); SetLogQueryRange(qry, SelectedNumber,
//    start, end); qry.Open(). Only the date part of start and end counts; both days are included.
//    LogRangeAllStart()/LogRangeAllEnd() give the "all dates" range.
//  * Dates and times are stored as ISO text (YYYY-MM-DD, HH:MM:SS); the fields give TDateTime
//    values. The device clock columns (vemors.fdatetime, sulm.fdatetime, sulm.fbegin) keep the
//    device's own clock text as built by DeviceClockText.
// Any SQLite error raises EDatabaseError (platform/dataset.h) out of the function.
#pragma once

#include "platform/datetime.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class TQuery;
class TTransaction;
class TDatabase;

// Name of the database file inside the bases folder.
inline constexpr const char* kDatabaseFileName = "vemor.db";

// Creates basesDir (when missing), the database file and any missing table; checks that an existing
// file is a database. Raises EDatabaseError("База данных <file> недоступна: <reason>", or the
// statement's error) on failure, leaving no half-created file behind. Returns the file's path.
QString OpenBases(const QString& basesDir);
// Points a query at the program's database in basesDir (opened as OpenBases does).
void AttachQuery(TQuery& qry, const QString& basesDir);

// The device clock text as stored and shown: "DD.MM.20YY  H:NN:SS" (two blanks, hour without a
// leading zero; year2 is the two-digit year of the device).
QString DeviceClockText(int day, int month, int year2, int hour, int minute, int second);

// ---- Device rows -------------------------------------------------------------------------------

// "select fid from vemors" (start-up probe). Result open in qryEdit.
void SelectVemorIds(TQuery& qryEdit);

// Identify reply / speed change: fspeed of the device (rows created when first seen).
void StoreVemorSpeed(TQuery& qryEdit, int fid, int speedCode);
void StoreSulmSpeed(TQuery& qryEdit, int fid, int speedCode);

// Write-parameters request: contact types fbtn1..fbtn4 (0..4).
void StoreVemorContactTypes(TQuery& qryEdit, int fid, const std::array<int, 4>& types);

// The parameter block of a Vemor device (parameters reply): vemors_i and vemors in one transaction.
struct VemorParameters {
    // vemors_i
    int upko = 0;                          // fupko, volts
    std::array<bool, 4> invert{};          // finvert1..4
    bool invertEngine = false;             // finvertengine
    bool invertRazr = false;               // finvertrazr
    bool personalKontrolKO = false;        // fpersonalkontrolko
    std::array<bool, 4> writeEngineOn{};   // fwriteengineon1..4
    bool writeEngineOnRazr = false;
    bool writeEngineOnUn = false;
    bool writeEngineOnUk = false;
    std::array<bool, 4> writeEngineOff{};  // fwriteengineoff1..4
    bool writeEngineOffRazr = false;
    bool writeEngineOffUn = false;
    bool writeEngineOffUk = false;
    int filtrKO = 0;                       // ffiltrko, percent
    std::array<int, 4> delay{};            // fdelay1..4, ms
    int delayEngine = 0;
    int delayRazr = 0;
    int delayUn = 0;
    int delayUk = 0;
    // vemors
    bool razrSelfOn = false;               // frazrselfon
    std::array<bool, 4> isBtn{};           // fisbtn1..4
    bool razr = false;                     // frazr
    int ureg = 0;                          // fureg, volts
    int ualert = 0;                        // fualert, volts
    int tpause = 0;                        // ftpause, s
    int tblock = 0;                        // ftblock, s
    double koef = 0;                       // fkoef
    QString clockText;                     // fdatetime (DeviceClockText)
};
void StoreVemorParameters(TQuery& qryEdit, int fid, const VemorParameters& p);

// Account reply: fon, fselfon and the account begin (stored as a DATETIME, read back as TDateTime).
void StoreVemorAccount(TQuery& qryEdit, int fid, int starts, int selfStarts, TDateTime begin);

// Second device kind.
void StoreSulmAccount(TQuery& qryEdit, int fid, const QString& beginClockText);
// invertMask: 16 characters '0'/'1', channel 1 first.
void StoreSulmParameters(TQuery& qryEdit, int fid, int pause, const QString& clockText,
                         const QString& invertMask);

// ---- Selects (result left open in qryEdit) ------------------------------------------------------

// fisbtn1..4, fbtn1..4, fureg, fualert of the device (live view binding).
void SelectVemorLiveBinding(TQuery& qryEdit, int fid);
// The joined row "u.*, ui.*" of vemors and vemors_i (log page's account row, report).
// No row when either table lacks the device. The second fid column is named "fid_1".
void SelectVemorRow(TQuery& qryEdit, int fid);
// The same row only when the device's parameters were read from it (parameter page). A row
// made for a speed, the contact types or the account holds defaults, not the device's values;
// only the parameters reply writes the device clock (fdatetime), so that marks a read, in
// databases of earlier versions too.
void SelectVemorParamsRow(TQuery& qryEdit, int fid);
void SelectVemorSpeed(TQuery& qryEdit, int fid);  // fspeed
void SelectSulmSpeed(TQuery& qryEdit, int fid);   // fspeed
void SelectSulmRow(TQuery& qryEdit, int fid);     // sulm.*
// sulm.* only when the parameters were read from the device (its clock is stored), as above.
void SelectSulmParamsRow(TQuery& qryEdit, int fid);
void SelectSulmNames(TQuery& qryEdit, int fid);   // sulm_n rows ordered by fpin
void SelectSulmAccount(TQuery& qryEdit, int fid); // fbegin, fpause, finvert

// ---- Logs -----------------------------------------------------------------------------------------

struct VemorLogRecord {
    int fid = 0;
    int u = 0;            // FU, volts
    int milSec = 0;       // FmilSec (multiple of 20)
    bool vemorOn = false;
    bool selfOn = false;
    std::array<bool, 4> btn{};
    bool engine = false;
    bool razr = false;
    bool un = false;
    bool uk = false;
    TDateTime date = 0;   // only the date part is stored
    TDateTime time = 0;   // only the time of day is stored, to the second
};
// True when inserted, false when a row with the same fid, date, time and milliseconds exists.
bool AddVemorLogRecord(TQuery& qryEdit, const VemorLogRecord& r);

// Writes one log block's records as one transaction: create it before the block's first
// AddVemorLogRecord/AddSulmLogRecord, Commit() when the block is done (also when the download
// ends inside it). Dropped without Commit (an exception), the block's rows are rolled back, so
// a block is stored whole or not at all. After the commit the write-ahead log is copied into the
// database file; it keeps its size (a block's pages) until EndLogDownloadWrites.
class LogBlockTransaction {
public:
    explicit LogBlockTransaction(TQuery& qryEdit);
    ~LogBlockTransaction();
    LogBlockTransaction(const LogBlockTransaction&) = delete;
    LogBlockTransaction& operator=(const LogBlockTransaction&) = delete;
    void Commit();

private:
    TDatabase& db_;
    std::unique_ptr<TTransaction> tx_;
};

// A download has stored its last rows: the write-ahead log is emptied into the database file,
// so that no log is left taking disk space.
void EndLogDownloadWrites(TQuery& qryEdit);

// channelMask bit k = channel k+1. True when inserted, false when (fid, date, time, num) exists.
bool AddSulmLogRecord(TQuery& qryEdit, int fid, TDateTime date, TDateTime time, int num,
                      std::uint16_t channelMask);

void DeleteVemorLog(TQuery& qryEdit, int fid);
void DeleteSulmLog(TQuery& qryEdit, int fid);

// Log queries: SQL lines, parameters pID, pDateStart, pDateEnd, and the fields in order with
// their display formats (Vemor: FDate "dd.mm.yyyy", FTime "hh:nn:ss", calculated fTimeStr of
// 15 characters; Sulm: FDate "dd.mm.yy", FTime "hh:nn:ss").
void SetupVemorLogQuery(TQuery& qryProtokol);
void SetupSulmLogQuery(TQuery& qryCProtokol);
// Sets pID, pDateStart and pDateEnd (call while the query is closed).
void SetLogQueryRange(TQuery& qry, int fid, TDateTime start, TDateTime end);
TDateTime LogRangeAllStart();  // 2000-01-01
TDateTime LogRangeAllEnd();    // 2099-12-31
