#include "app/tables.h"

#include "platform/query.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The six tables. Booleans are BOOLEAN, dates DATE, times TIME, so that fields get their kinds;
// new device rows get harmless defaults (delays at their minimum of 20 ms).
const char* const kSchema = R"sql(
create table if not exists vemors (
  fid INTEGER not null primary key,
  fspeed INTEGER not null default 0,
  fbtn1 INTEGER not null default 0, fbtn2 INTEGER not null default 0,
  fbtn3 INTEGER not null default 0, fbtn4 INTEGER not null default 0,
  fisbtn1 BOOLEAN not null default 0, fisbtn2 BOOLEAN not null default 0,
  fisbtn3 BOOLEAN not null default 0, fisbtn4 BOOLEAN not null default 0,
  frazr BOOLEAN not null default 0,
  frazrselfon BOOLEAN not null default 0,
  fureg INTEGER not null default 0,
  fualert INTEGER not null default 0,
  ftpause INTEGER not null default 0,
  ftblock INTEGER not null default 0,
  fkoef REAL not null default 0,
  fdatetime VARCHAR(20) not null default '',
  fon INTEGER not null default 0,
  fselfon INTEGER not null default 0,
  fbegin DATETIME
);
create table if not exists vemors_i (
  fid INTEGER not null primary key,
  fupko INTEGER not null default 0,
  finvert1 BOOLEAN not null default 0, finvert2 BOOLEAN not null default 0,
  finvert3 BOOLEAN not null default 0, finvert4 BOOLEAN not null default 0,
  finvertengine BOOLEAN not null default 0, finvertrazr BOOLEAN not null default 0,
  fpersonalkontrolko BOOLEAN not null default 0,
  fwriteengineon1 BOOLEAN not null default 0, fwriteengineon2 BOOLEAN not null default 0,
  fwriteengineon3 BOOLEAN not null default 0, fwriteengineon4 BOOLEAN not null default 0,
  fwriteengineonrazr BOOLEAN not null default 0, fwriteengineonun BOOLEAN not null default 0,
  fwriteengineonuk BOOLEAN not null default 0,
  fwriteengineoff1 BOOLEAN not null default 0, fwriteengineoff2 BOOLEAN not null default 0,
  fwriteengineoff3 BOOLEAN not null default 0, fwriteengineoff4 BOOLEAN not null default 0,
  fwriteengineoffrazr BOOLEAN not null default 0, fwriteengineoffun BOOLEAN not null default 0,
  fwriteengineoffuk BOOLEAN not null default 0,
  ffiltrko INTEGER not null default 1,
  fdelay1 INTEGER not null default 20, fdelay2 INTEGER not null default 20,
  fdelay3 INTEGER not null default 20, fdelay4 INTEGER not null default 20,
  fdelayengine INTEGER not null default 20, fdelayrazr INTEGER not null default 20,
  fdelayun INTEGER not null default 20, fdelayuk INTEGER not null default 20
);
create table if not exists vprotokol (
  FId INTEGER not null,
  FDate DATE not null,
  FTime TIME not null,
  FVemorOn BOOLEAN, FSelfOn BOOLEAN,
  FBtn1 BOOLEAN, FBtn2 BOOLEAN, FBtn3 BOOLEAN, FBtn4 BOOLEAN,
  FEngine BOOLEAN, FRazr BOOLEAN, FUn BOOLEAN, FUk BOOLEAN,
  FU SMALLINT,
  FmilSec SMALLINT not null,
  primary key (FId, FDate, FTime, FmilSec)
);
create table if not exists sulm (
  fid INTEGER not null primary key,
  fspeed INTEGER not null default 0,
  fbegin VARCHAR(20) not null default '',
  fpause INTEGER not null default 0,
  finvert VARCHAR(16) not null default '0000000000000000',
  fdatetime VARCHAR(20) not null default ''
);
create table if not exists sulm_n (
  fid INTEGER not null,
  fpin INTEGER not null,
  fname VARCHAR(75) not null default '',
  primary key (fid, fpin)
);
create table if not exists cprotokol (
  FID INTEGER not null,
  FNum SMALLINT not null,
  FDate DATE not null,
  FTime TIME not null,
  F1 SMALLINT, F2 SMALLINT, F3 SMALLINT, F4 SMALLINT, F5 SMALLINT, F6 SMALLINT,
  F7 SMALLINT, F8 SMALLINT, F9 SMALLINT, F10 SMALLINT, F11 SMALLINT, F12 SMALLINT,
  F13 SMALLINT, F14 SMALLINT, F15 SMALLINT, F16 SMALLINT,
  primary key (FID, FDate, FTime, FNum)
);
)sql";

// Rows a device needs before anything of it is stored.
const char* const kEnsureVemor =
    "insert or ignore into vemors (fid) values (:pID);\n"
    "insert or ignore into vemors_i (fid) values (:pID);\n";
const char* const kEnsureSulm = "insert or ignore into sulm (fid) values (:pID);\n";

// Closes qryEdit, sets its statement and its device parameter.
void Prepare(TQuery& q, const QString& sql, int fid)
{
    q.Close();
    q.SetSQL(sql);
    if (q.FindParam("pID"))
        q.ParamByName("pID").SetAsInteger(fid);
}

void Select(TQuery& q, const QString& sql, int fid)
{
    Prepare(q, sql, fid);
    q.Open();
}

void SetBool(TQuery& q, const QString& name, bool v)
{
    q.ParamByName(name).SetAsBoolean(v);
}

void SetInt(TQuery& q, const QString& name, int v)
{
    q.ParamByName(name).SetAsInteger(v);
}

// A log event's date and its time of day to the second: the key and the order of the log.
// Milliseconds have their own column, so a time that carries some names the same event.
void SetLogMoment(TQuery& q, TDateTime date, TDateTime time)
{
    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(time, h, n, s, ms);
    q.ParamByName("pDate").SetAsDate(date);
    q.ParamByName("pTime").SetAsTime(EncodeTime(h, n, s, 0));
}

}  // namespace

namespace {

// The connection to the program's database, with the folder, the file and the tables made
// when missing.
std::shared_ptr<TDatabase> ConnectBases(const QString& basesDir)
{
    const QString file = QDir(basesDir).filePath(kDatabaseFileName);
    if (!QDir().mkpath(basesDir))
        throw EDatabaseError(QStringLiteral("База данных %1 недоступна: папку %2 не удается создать")
                                 .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(basesDir)));
    const bool existed = QFileInfo::exists(file);
    try {
        auto db = TDatabase::Open(file, true);
        TTransaction tx(*db);
        db->Execute(kSchema);
        tx.Commit();
        return db;
    } catch (const Exception&) {
        // A file made by this attempt is not left behind half-written.
        if (!existed) {
            QFile::remove(file);
            QFile::remove(file + "-wal");
            QFile::remove(file + "-shm");
        }
        throw;
    }
}

}  // namespace

QString OpenBases(const QString& basesDir)
{
    ConnectBases(basesDir);
    return QDir(basesDir).filePath(kDatabaseFileName);
}

void AttachQuery(TQuery& qry, const QString& basesDir)
{
    qry.Close();
    qry.SetDatabaseName(basesDir);
    qry.SetDatabaseFile(kDatabaseFileName);
    // After a failed start-up every use tries the whole opening again.
    qry.Connector = [basesDir](const QString&) { return ConnectBases(basesDir); };
}

QString DeviceClockText(int day, int month, int year2, int hour, int minute, int second)
{
    auto two = [](int v) { return QString("%1").arg(v, 2, 10, QChar('0')); };
    return two(day) + "." + two(month) + ".20" + two(year2) + "  " + QString::number(hour) + ":" +
           two(minute) + ":" + two(second);
}

// ---- Device rows ------------------------------------------------------------------------------

void SelectVemorIds(TQuery& qryEdit)
{
    qryEdit.Close();
    qryEdit.SetSQL("select fid from vemors");
    qryEdit.Open();
}

void StoreVemorSpeed(TQuery& qryEdit, int fid, int speedCode)
{
    Prepare(qryEdit, QString(kEnsureVemor) + "update vemors set fspeed=:pSpeed where fid=:pID", fid);
    SetInt(qryEdit, "pSpeed", speedCode);
    qryEdit.ExecSQL();
}

void StoreSulmSpeed(TQuery& qryEdit, int fid, int speedCode)
{
    Prepare(qryEdit, QString(kEnsureSulm) + "update sulm set fspeed=:pSpeed where fid=:pID", fid);
    SetInt(qryEdit, "pSpeed", speedCode);
    qryEdit.ExecSQL();
}

void StoreVemorContactTypes(TQuery& qryEdit, int fid, const std::array<int, 4>& types)
{
    Prepare(qryEdit, QString(kEnsureVemor) +
                         "update vemors set fbtn1=:pBtn1, fbtn2=:pBtn2, fbtn3=:pBtn3, fbtn4=:pBtn4 where fid=:pID",
            fid);
    for (int i = 0; i < 4; ++i)
        SetInt(qryEdit, QString("pBtn%1").arg(i + 1), types[i]);
    qryEdit.ExecSQL();
}

void StoreVemorParameters(TQuery& qryEdit, int fid, const VemorParameters& p)
{
    Prepare(qryEdit, QString(kEnsureVemor) +
                         "update vemors_i set fupko=:pUpko,"
                         " finvert1=:pInv1, finvert2=:pInv2, finvert3=:pInv3, finvert4=:pInv4,"
                         " finvertengine=:pInvEngine, finvertrazr=:pInvRazr, fpersonalkontrolko=:pPersonal,"
                         " fwriteengineon1=:pOn1, fwriteengineon2=:pOn2, fwriteengineon3=:pOn3, fwriteengineon4=:pOn4,"
                         " fwriteengineonrazr=:pOnRazr, fwriteengineonun=:pOnUn, fwriteengineonuk=:pOnUk,"
                         " fwriteengineoff1=:pOff1, fwriteengineoff2=:pOff2, fwriteengineoff3=:pOff3,"
                         " fwriteengineoff4=:pOff4, fwriteengineoffrazr=:pOffRazr, fwriteengineoffun=:pOffUn,"
                         " fwriteengineoffuk=:pOffUk, ffiltrko=:pFiltr,"
                         " fdelay1=:pDelay1, fdelay2=:pDelay2, fdelay3=:pDelay3, fdelay4=:pDelay4,"
                         " fdelayengine=:pDelayEngine, fdelayrazr=:pDelayRazr, fdelayun=:pDelayUn, fdelayuk=:pDelayUk"
                         " where fid=:pID;\n"
                         "update vemors set frazrselfon=:pRazrSelfOn,"
                         " fisbtn1=:pIsBtn1, fisbtn2=:pIsBtn2, fisbtn3=:pIsBtn3, fisbtn4=:pIsBtn4, frazr=:pRazr,"
                         " fureg=:pUreg, fualert=:pUalert, ftpause=:pTpause, ftblock=:pTblock, fkoef=:pKoef,"
                         " fdatetime=:pClock"
                         " where fid=:pID",
            fid);
    SetInt(qryEdit, "pUpko", p.upko);
    for (int i = 0; i < 4; ++i) {
        const QString n = QString::number(i + 1);
        SetBool(qryEdit, "pInv" + n, p.invert[i]);
        SetBool(qryEdit, "pOn" + n, p.writeEngineOn[i]);
        SetBool(qryEdit, "pOff" + n, p.writeEngineOff[i]);
        SetInt(qryEdit, "pDelay" + n, p.delay[i]);
        SetBool(qryEdit, "pIsBtn" + n, p.isBtn[i]);
    }
    SetBool(qryEdit, "pInvEngine", p.invertEngine);
    SetBool(qryEdit, "pInvRazr", p.invertRazr);
    SetBool(qryEdit, "pPersonal", p.personalKontrolKO);
    SetBool(qryEdit, "pOnRazr", p.writeEngineOnRazr);
    SetBool(qryEdit, "pOnUn", p.writeEngineOnUn);
    SetBool(qryEdit, "pOnUk", p.writeEngineOnUk);
    SetBool(qryEdit, "pOffRazr", p.writeEngineOffRazr);
    SetBool(qryEdit, "pOffUn", p.writeEngineOffUn);
    SetBool(qryEdit, "pOffUk", p.writeEngineOffUk);
    SetInt(qryEdit, "pFiltr", p.filtrKO);
    SetInt(qryEdit, "pDelayEngine", p.delayEngine);
    SetInt(qryEdit, "pDelayRazr", p.delayRazr);
    SetInt(qryEdit, "pDelayUn", p.delayUn);
    SetInt(qryEdit, "pDelayUk", p.delayUk);
    SetBool(qryEdit, "pRazrSelfOn", p.razrSelfOn);
    SetBool(qryEdit, "pRazr", p.razr);
    SetInt(qryEdit, "pUreg", p.ureg);
    SetInt(qryEdit, "pUalert", p.ualert);
    SetInt(qryEdit, "pTpause", p.tpause);
    SetInt(qryEdit, "pTblock", p.tblock);
    qryEdit.ParamByName("pKoef").SetAsFloat(p.koef);
    qryEdit.ParamByName("pClock").SetAsString(p.clockText);
    qryEdit.ExecSQL();
}

void StoreVemorAccount(TQuery& qryEdit, int fid, int starts, int selfStarts, TDateTime begin)
{
    Prepare(qryEdit, QString(kEnsureVemor) +
                         "update vemors set fon=:pOn, fselfon=:pSelfOn, fbegin=:pBegin where fid=:pID",
            fid);
    SetInt(qryEdit, "pOn", starts);
    SetInt(qryEdit, "pSelfOn", selfStarts);
    qryEdit.ParamByName("pBegin").SetAsDateTime(begin);
    qryEdit.ExecSQL();
}

void StoreSulmAccount(TQuery& qryEdit, int fid, const QString& beginClockText)
{
    Prepare(qryEdit, QString(kEnsureSulm) + "update sulm set fbegin=:pBegin where fid=:pID", fid);
    qryEdit.ParamByName("pBegin").SetAsString(beginClockText);
    qryEdit.ExecSQL();
}

void StoreSulmParameters(TQuery& qryEdit, int fid, int pause, const QString& clockText,
                         const QString& invertMask)
{
    Prepare(qryEdit, QString(kEnsureSulm) +
                         "update sulm set fpause=:pPause, fdatetime=:pClock, finvert=:pInvert where fid=:pID",
            fid);
    SetInt(qryEdit, "pPause", pause);
    qryEdit.ParamByName("pClock").SetAsString(clockText);
    qryEdit.ParamByName("pInvert").SetAsString(invertMask);
    qryEdit.ExecSQL();
}

// ---- Selects ----------------------------------------------------------------------------------

void SelectVemorLiveBinding(TQuery& qryEdit, int fid)
{
    Select(qryEdit,
           "select fisbtn1,fisbtn2,fisbtn3,fisbtn4,fbtn1,fbtn2,fbtn3,fbtn4,fureg,fualert from vemors where fid=:pID",
           fid);
}

void SelectVemorRow(TQuery& qryEdit, int fid)
{
    Select(qryEdit, "select u.*, ui.* from vemors u, vemors_i ui where u.fid=:pID and u.fid=ui.fid", fid);
}

void SelectVemorParamsRow(TQuery& qryEdit, int fid)
{
    Select(qryEdit,
           "select u.*, ui.* from vemors u, vemors_i ui where u.fid=:pID and u.fid=ui.fid"
           " and coalesce(u.fdatetime, '') <> ''",
           fid);
}

void SelectVemorSpeed(TQuery& qryEdit, int fid)
{
    Select(qryEdit, "select fspeed from vemors where fid=:pID", fid);
}

void SelectSulmSpeed(TQuery& qryEdit, int fid)
{
    Select(qryEdit, "select fspeed from sulm where fid=:pID", fid);
}

void SelectSulmRow(TQuery& qryEdit, int fid)
{
    Select(qryEdit, "select * from sulm where fid=:pID", fid);
}

void SelectSulmParamsRow(TQuery& qryEdit, int fid)
{
    Select(qryEdit, "select * from sulm where fid=:pID and coalesce(fdatetime, '') <> ''", fid);
}

void SelectSulmNames(TQuery& qryEdit, int fid)
{
    Select(qryEdit, "select * from sulm_n where fid=:pID order by fpin", fid);
}

void SelectSulmAccount(TQuery& qryEdit, int fid)
{
    Select(qryEdit, "select fbegin,fpause,finvert from sulm where fid=:pID", fid);
}

// ---- Logs ------------------------------------------------------------------------------------

bool AddVemorLogRecord(TQuery& qryEdit, const VemorLogRecord& r)
{
    // The key (fid, date, time, milliseconds) decides: a stored record is left as it is.
    Prepare(qryEdit,
            "insert or ignore into vprotokol"
            " (fid,fvemoron,fselfon,fbtn1,fbtn2,fbtn3,fbtn4,fengine,frazr,fun,fuk,fu,fdate,ftime,fmilsec)"
            " values (:pID,:pVemorOn,:pSelfOn,:pBtn1,:pBtn2,:pBtn3,:pBtn4,:pEngine,:pRazr,:pUn,:pUk,:pU,"
            ":pDate,:pTime,:pMilSec)",
            r.fid);
    SetBool(qryEdit, "pVemorOn", r.vemorOn);
    SetBool(qryEdit, "pSelfOn", r.selfOn);
    for (int i = 0; i < 4; ++i)
        SetBool(qryEdit, QString("pBtn%1").arg(i + 1), r.btn[i]);
    SetBool(qryEdit, "pEngine", r.engine);
    SetBool(qryEdit, "pRazr", r.razr);
    SetBool(qryEdit, "pUn", r.un);
    SetBool(qryEdit, "pUk", r.uk);
    SetInt(qryEdit, "pU", r.u);
    SetLogMoment(qryEdit, r.date, r.time);
    SetInt(qryEdit, "pMilSec", r.milSec);
    qryEdit.ExecSQL();
    return qryEdit.RowsAffected() == 1;
}

LogBlockTransaction::LogBlockTransaction(TQuery& qryEdit)
    : db_(qryEdit.Database()), tx_(std::make_unique<TTransaction>(db_))
{
}

LogBlockTransaction::~LogBlockTransaction() = default;

void LogBlockTransaction::Commit()
{
    if (!tx_)
        return;
    tx_->Commit();
    tx_.reset();
    // A download's write-ahead log never holds more than one block: a block writes 5 to 15
    // pages of 4 KB, so two would not fit in 64 KB. The log is not cut here: the next block
    // writes over it instead of growing the file anew.
    db_.Checkpoint(TDatabase::CheckpointMode::Passive);
}

void EndLogDownloadWrites(TQuery& qryEdit)
{
    qryEdit.Database().Checkpoint(TDatabase::CheckpointMode::Truncate);
}

bool AddSulmLogRecord(TQuery& qryEdit, int fid, TDateTime date, TDateTime time, int num,
                      std::uint16_t channelMask)
{
    QString columns = "fid,fdate,ftime,fnum";
    QString values = ":pID,:pDate,:pTime,:pNum";
    for (int i = 1; i <= 16; ++i) {
        columns += QString(",f%1").arg(i);
        values += QString(",:pF%1").arg(i);
    }
    Prepare(qryEdit, "insert or ignore into cprotokol (" + columns + ") values (" + values + ")", fid);
    SetLogMoment(qryEdit, date, time);
    SetInt(qryEdit, "pNum", num);
    for (int i = 0; i < 16; ++i)
        SetInt(qryEdit, QString("pF%1").arg(i + 1), (channelMask >> i) & 1);
    qryEdit.ExecSQL();
    return qryEdit.RowsAffected() == 1;
}

void DeleteVemorLog(TQuery& qryEdit, int fid)
{
    Prepare(qryEdit, "delete from vprotokol where fid=:pID", fid);
    qryEdit.ExecSQL();
}

void DeleteSulmLog(TQuery& qryEdit, int fid)
{
    Prepare(qryEdit, "delete from cprotokol where fid=:pID", fid);
    qryEdit.ExecSQL();
}

namespace {

// The shape both log queries share: one device's records in a range of days, in time order.
void SetupLogQuery(TQuery& q, const QString& table, const QString& lastKey)
{
    q.Close();
    q.ClearFields();
    q.SetSQL(QStringList{"select *", "from " + table, "where fid=:pID", "   and fdate>=:pDateStart",
                         "   and fdate<=:pDateEnd", "order by fdate, ftime, " + lastKey});
    q.ParamByName("pID").DataType = ftInteger;
    q.ParamByName("pDateStart").DataType = ftDate;
    q.ParamByName("pDateEnd").DataType = ftDate;
}

}  // namespace

void SetupVemorLogQuery(TQuery& qryProtokol)
{
    SetupLogQuery(qryProtokol, "vprotokol", "fmilsec");
    qryProtokol.AddField(ftInteger, "FId");
    qryProtokol.AddField(ftDate, "FDate")->SetDisplayFormat("dd.mm.yyyy");
    qryProtokol.AddField(ftTime, "FTime")->SetDisplayFormat("hh:nn:ss");
    for (const char* name : {"FVemorOn", "FSelfOn", "FBtn1", "FBtn2", "FBtn3", "FBtn4", "FEngine", "FRazr", "FUn", "FUk"})
        qryProtokol.AddField(ftBoolean, name);
    qryProtokol.AddField(ftSmallint, "FU");
    qryProtokol.AddField(ftSmallint, "FmilSec");
    qryProtokol.AddField(ftString, "fTimeStr", 15, fkCalculated);
}

void SetupSulmLogQuery(TQuery& qryCProtokol)
{
    SetupLogQuery(qryCProtokol, "cprotokol", "fnum");
    qryCProtokol.AddField(ftInteger, "FID");
    qryCProtokol.AddField(ftSmallint, "FNum");
    qryCProtokol.AddField(ftDate, "FDate")->SetDisplayFormat("dd.mm.yy");
    qryCProtokol.AddField(ftTime, "FTime")->SetDisplayFormat("hh:nn:ss");
    for (int i = 1; i <= 16; ++i)
        qryCProtokol.AddField(ftSmallint, QString("F%1").arg(i));
}

void SetLogQueryRange(TQuery& qry, int fid, TDateTime start, TDateTime end)
{
    qry.ParamByName("pID").SetAsInteger(fid);
    // Only the days count: the range runs from the start of the first day to the end of the last.
    qry.ParamByName("pDateStart").SetAsDate(start);
    qry.ParamByName("pDateEnd").SetAsDate(end);
}

TDateTime LogRangeAllStart()
{
    // A device's two-digit year is 2000 + value: year 00 is a year of the log too.
    return EncodeDate(2000, 1, 1);
}

TDateTime LogRangeAllEnd()
{
    return EncodeDate(2099, 12, 31);
}
