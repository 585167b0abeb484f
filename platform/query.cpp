#include "platform/query.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdio>
#include <mutex>
#include <optional>

namespace {

// How long a statement waits for another connection's lock before it fails.
constexpr int kBusyTimeoutMs = 5000;

// Connections by absolute file path: every query on one file shares one connection.
std::mutex& RegistryMutex()
{
    static std::mutex m;
    return m;
}

std::map<QString, std::weak_ptr<TDatabase>>& Registry()
{
    static std::map<QString, std::weak_ptr<TDatabase>> r;
    return r;
}

// What went wrong, in the operator's words, for an engine result code.
QString ReasonText(int code)
{
    switch (code & 0xff) {
    case SQLITE_FULL:
        return QStringLiteral("диск заполнен");
    case SQLITE_READONLY:
        return QStringLiteral("база открыта только для чтения");
    case SQLITE_NOTADB:
        return QStringLiteral("файл не является базой данных");
    case SQLITE_CORRUPT:
        return QStringLiteral("файл базы данных поврежден");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("база занята другой программой");
    case SQLITE_IOERR:
        return QStringLiteral("ошибка чтения или записи диска");
    case SQLITE_CANTOPEN:
        return QStringLiteral("файл не удается открыть");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("нет прав доступа к файлу");
    case SQLITE_NOMEM:
        return QStringLiteral("недостаточно памяти");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("запись противоречит ограничениям таблицы");
    default:
        return QStringLiteral("ошибка выполнения запроса (код %1)").arg(code);
    }
}

QString Shown(const QString& file)
{
    return QDir::toNativeSeparators(file);
}

// The engine's own words and the statement are for the developer: standard error only.
void LogDetail(const QString& file, const QString& detail, const QString& statement)
{
    std::fprintf(stderr, "database %s: %s%s%s\n", QFile::encodeName(file).constData(), detail.toLocal8Bit().constData(),
                 statement.isEmpty() ? "" : "; statement: ", statement.simplified().toLocal8Bit().constData());
}

[[noreturn]] void RaiseOpen(const QString& file, const QString& reason)
{
    throw EDatabaseError(QStringLiteral("База данных %1 недоступна: %2").arg(Shown(file), reason));
}

// A failed statement: the three the operator can act on in their own words, the rest by reason.
[[noreturn]] void RaiseStatement(const QString& file, int code, const QString& detail, const QString& statement)
{
    LogDetail(file, detail, statement);
    switch (code & 0xff) {
    case SQLITE_FULL:
        throw EDatabaseError(QStringLiteral("База данных %1 : диск заполнен").arg(Shown(file)));
    case SQLITE_READONLY:
        throw EDatabaseError(QStringLiteral("База данных %1 открыта только для чтения").arg(Shown(file)));
    case SQLITE_NOTADB:
        throw EDatabaseError(QStringLiteral("Файл %1 не является базой данных").arg(Shown(file)));
    default:
        throw EDatabaseError(QStringLiteral("База данных %1 : %2").arg(Shown(file), ReasonText(code)));
    }
}

bool IsDateType(TFieldType t)
{
    return t == ftDate || t == ftTime || t == ftDateTime;
}

Variant ReadColumn(sqlite3_stmt* stmt, int col, TFieldType type)
{
    const int ct = sqlite3_column_type(stmt, col);
    if (ct == SQLITE_NULL)
        return Variant::Null();
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc: {
        const sqlite3_int64 i = sqlite3_column_int64(stmt, col);
        if (i >= INT32_MIN && i <= INT32_MAX)
            return Variant(int(i));
        return Variant::FromInt64(i);
    }
    case ftLargeint:
        return Variant::FromInt64(sqlite3_column_int64(stmt, col));
    case ftBoolean:
        if (ct == SQLITE_TEXT) {
            const QString s = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, col))).trimmed().toLower();
            return Variant(s == "true" || s == "t" || s == "yes" || s == "y" || s == "1");
        }
        return Variant(sqlite3_column_int64(stmt, col) != 0);
    case ftFloat:
    case ftCurrency:
        return Variant(sqlite3_column_double(stmt, col));
    case ftBCD:
        return Variant(Currency::FromDouble(sqlite3_column_double(stmt, col)));
    case ftDate:
    case ftTime:
    case ftDateTime: {
        if (ct != SQLITE_TEXT)
            return Variant::FromDateTime(sqlite3_column_double(stmt, col));
        const QString s = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, col)),
                                            sqlite3_column_bytes(stmt, col));
        TDateTime dt = 0;
        if (TryParseIsoDateTime(s, dt))
            return Variant::FromDateTime(dt);
        return Variant(s);   // not a date: kept as the text it is
    }
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob: {
        const void* p = sqlite3_column_blob(stmt, col);
        return Variant(QByteArray(static_cast<const char*>(p), sqlite3_column_bytes(stmt, col)));
    }
    default: {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
        return Variant(QString::fromUtf8(p, sqlite3_column_bytes(stmt, col)));
    }
    }
}

int ParseInt(const QString& s, int from, int len, bool& ok)
{
    if (from + len > s.size()) {
        ok = false;
        return 0;
    }
    int v = 0;
    for (int i = from; i < from + len; ++i) {
        if (!s[i].isDigit()) {
            ok = false;
            return 0;
        }
        v = v * 10 + s[i].digitValue();
    }
    return v;
}

// "HH:MM[:SS[.zzz]]" starting at `from` up to the end of the text.
bool ParseTimePart(const QString& s, int from, int& h, int& n, int& sec, int& ms)
{
    bool ok = true;
    h = ParseInt(s, from, 2, ok);
    if (!ok || from + 2 >= s.size() || s[from + 2] != ':')
        return false;
    n = ParseInt(s, from + 3, 2, ok);
    sec = 0;
    ms = 0;
    int pos = from + 5;
    if (pos < s.size()) {
        if (s[pos] != ':')
            return false;
        sec = ParseInt(s, pos + 1, 2, ok);
        pos += 3;
        if (pos < s.size()) {
            if (s[pos] != '.')
                return false;
            const QString frac = s.mid(pos + 1);
            if (frac.isEmpty() || frac.size() > 9)
                return false;
            for (QChar c : frac)
                if (!c.isDigit())
                    return false;
            ms = (frac + "00").left(3).toInt();
        }
    }
    return ok;
}

}  // namespace

// ================================================================================================
// Helpers

TFieldType FieldTypeFromDecl(const QString& declIn, int& size)
{
    size = 0;
    const QString decl = declIn.trimmed().toUpper();
    if (decl.isEmpty())
        return ftUnknown;
    const int open = decl.indexOf('(');
    const QString base = (open >= 0 ? decl.left(open) : decl).trimmed();
    if (open >= 0) {
        const int close = decl.indexOf(')', open);
        size = decl.mid(open + 1, close - open - 1).section(',', 0, 0).trimmed().toInt();
    }
    if (base.contains("BOOL"))
        return ftBoolean;
    if (base == "SMALLINT" || base == "TINYINT" || base == "INT2" || base == "SHORT")
        return ftSmallint;
    if (base == "WORD")
        return ftWord;
    if (base == "AUTOINC")
        return ftAutoInc;
    if (base == "BIGINT" || base == "INT8" || base == "LARGEINT")
        return ftLargeint;
    if (base.contains("INT"))
        return ftInteger;
    if (base == "DATETIME" || base == "TIMESTAMP")
        return ftDateTime;
    if (base == "DATE")
        return ftDate;
    if (base == "TIME")
        return ftTime;
    if (base == "CURRENCY" || base == "MONEY")
        return ftCurrency;
    if (base == "NUMERIC" || base == "DECIMAL")
        return ftBCD;
    if (base.contains("REAL") || base.contains("FLOA") || base.contains("DOUB"))
        return ftFloat;
    if (base == "GUID")
        return ftGuid;
    if (base.contains("CHAR")) {
        if (size <= 0)
            size = 255;
        return ftString;
    }
    if (base.contains("TEXT") || base.contains("CLOB") || base == "MEMO")
        return ftMemo;
    if (base.contains("BLOB") || base == "BINARY" || base == "VARBINARY")
        return ftBlob;
    return ftString;
}

QString IsoDateTimeText(TDateTime value, TFieldType type)
{
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
    DecodeDateTime(value, y, m, d, h, n, s, ms);
    const QString date = QString("%1-%2-%3").arg(y, 4, 10, QChar('0')).arg(m, 2, 10, QChar('0')).arg(d, 2, 10, QChar('0'));
    QString time = QString("%1:%2:%3").arg(h, 2, 10, QChar('0')).arg(n, 2, 10, QChar('0')).arg(s, 2, 10, QChar('0'));
    if (ms != 0)
        time += QString(".%1").arg(ms, 3, 10, QChar('0'));
    if (type == ftDate)
        return date;
    if (type == ftTime)
        return time;
    return date + ' ' + time;
}

bool TryParseIsoDateTime(const QString& textIn, TDateTime& value)
{
    const QString s = textIn.trimmed();
    int h = 0, n = 0, sec = 0, ms = 0;
    if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
        bool ok = true;
        const int y = ParseInt(s, 0, 4, ok);
        const int m = ParseInt(s, 5, 2, ok);
        const int d = ParseInt(s, 8, 2, ok);
        if (!ok)
            return false;
        if (s.size() > 10) {
            if ((s[10] != ' ' && s[10] != 'T') || !ParseTimePart(s, 11, h, n, sec, ms))
                return false;
        }
        return TryEncodeDateTime(y, m, d, h, n, sec, ms, value);
    }
    if (s.size() >= 5 && s[2] == ':' && ParseTimePart(s, 0, h, n, sec, ms))
        return TryEncodeTime(h, n, sec, ms, value);
    return false;
}

// ================================================================================================
// TDatabase

TDatabase::TDatabase(sqlite3* db, const QString& fileName) : db_(db), fileName_(fileName) {}

TDatabase::~TDatabase()
{
    for (auto& [sql, entry] : cache_)
        for (sqlite3_stmt* s : entry.stmts)
            sqlite3_finalize(s);
    sqlite3_close_v2(db_);
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(QFileInfo(fileName_).absoluteFilePath());
    if (it != Registry().end() && it->second.expired())
        Registry().erase(it);
}

std::shared_ptr<TDatabase> TDatabase::Open(const QString& fileName, bool create)
{
    const QString key = QFileInfo(fileName).absoluteFilePath();
    {
        std::lock_guard lock(RegistryMutex());
        if (auto it = Registry().find(key); it != Registry().end())
            if (auto live = it->second.lock())
                return live;
    }
    const QFileInfo info(fileName);
    if (info.exists() && info.isDir())
        RaiseOpen(fileName, QStringLiteral("это папка, а не файл"));
    if (!create && !info.exists())
        RaiseOpen(fileName, QStringLiteral("файл не найден"));
    if (create && !info.exists()) {
        const QFileInfo dir(info.absolutePath());
        if (!dir.exists())
            RaiseOpen(fileName, QStringLiteral("папка %1 не существует").arg(Shown(info.absolutePath())));
        if (!dir.isWritable())
            RaiseOpen(fileName, QStringLiteral("нет права записи в папку %1").arg(Shown(info.absolutePath())));
    }
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(QFile::encodeName(fileName).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const int code = db ? sqlite3_extended_errcode(db) : rc;
        LogDetail(fileName, db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc)), QString());
        sqlite3_close_v2(db);
        RaiseOpen(fileName, ReasonText(code));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Reading the schema reads the header: a file that is not a database fails here.
    char* err = nullptr;
    if (sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, &err) != SQLITE_OK) {
        const int code = sqlite3_extended_errcode(db);
        LogDetail(fileName, QString::fromUtf8(err ? err : sqlite3_errmsg(db)), QString());
        sqlite3_free(err);
        sqlite3_close_v2(db);
        RaiseOpen(fileName, ReasonText(code));
    }
    // A write-ahead log lets each small statement commit without waiting for the disk twice.
    sqlite3_exec(db, "pragma journal_mode=wal", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "pragma synchronous=normal", nullptr, nullptr, nullptr);
    // Left alone the log grows to 4 MB before its pages go into the database, and keeps that size:
    // on a nearly full disk it, not the rows, would take the last space. It is copied over once it
    // holds a few pages and then cut back.
    sqlite3_exec(db, "pragma wal_autocheckpoint=16", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "pragma journal_size_limit=65536", nullptr, nullptr, nullptr);
    std::shared_ptr<TDatabase> result(new TDatabase(db, fileName));
    std::lock_guard lock(RegistryMutex());
    Registry()[key] = result;
    return result;
}

void TDatabase::Checkpoint(CheckpointMode mode)
{
    // Housekeeping only: with a transaction open, or another connection reading, the log stays
    // as it is until the next time; a failure (the disk full) shows on the next write.
    if (!sqlite3_get_autocommit(db_))
        return;
    sqlite3_busy_timeout(db_, 0);
    sqlite3_wal_checkpoint_v2(db_, nullptr,
                              mode == CheckpointMode::Truncate ? SQLITE_CHECKPOINT_TRUNCATE : SQLITE_CHECKPOINT_PASSIVE,
                              nullptr, nullptr);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
}

void TDatabase::RaiseError(const QString& what) const
{
    RaiseStatement(fileName_, sqlite3_extended_errcode(db_), QString::fromUtf8(sqlite3_errmsg(db_)), what);
}

std::vector<sqlite3_stmt*> TDatabase::Prepare(const QByteArray& sql)
{
    std::vector<sqlite3_stmt*> list;
    const char* p = sql.constData();
    const char* end = p + sql.size();
    while (p < end) {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db_, p, int(end - p), &stmt, &tail) != SQLITE_OK) {
            const int code = sqlite3_extended_errcode(db_);
            const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
            for (sqlite3_stmt* s : list)
                sqlite3_finalize(s);
            RaiseStatement(fileName_, code, msg, QString::fromUtf8(sql));
        }
        if (stmt)
            list.push_back(stmt);
        if (!tail || tail == p)
            break;
        p = tail;
    }
    return list;
}

void TDatabase::Execute(const QString& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const int code = sqlite3_extended_errcode(db_);
        const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(db_));
        sqlite3_free(err);
        RaiseStatement(fileName_, code, msg, sql);
    }
}

TDatabase::Statements::Statements(TDatabase& db, const QByteArray& sql) : db_(db), sql_(sql)
{
    auto it = db.cache_.find(sql);
    if (it != db.cache_.end() && !it->second.busy) {
        it->second.busy = true;
        list_ = it->second.stmts;
        cached_ = true;
        return;
    }
    list_ = db.Prepare(sql);
    if (it == db.cache_.end() && db.cache_.size() < 64) {
        db.cache_[sql] = CacheEntry{list_, true};
        cached_ = true;
    }
}

TDatabase::Statements::~Statements()
{
    for (sqlite3_stmt* s : list_) {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
    }
    if (cached_) {
        db_.cache_[sql_].busy = false;
    } else {
        for (sqlite3_stmt* s : list_)
            sqlite3_finalize(s);
    }
}

// ================================================================================================
// TTransaction

TTransaction::TTransaction(TDatabase& db) : db_(db)
{
    static int counter = 0;
    name_ = "tx" + QByteArray::number(++counter);
    db_.Execute("savepoint " + QString::fromLatin1(name_));
}

TTransaction::~TTransaction()
{
    if (!done_) {
        const QByteArray sql = "rollback to " + name_ + "; release " + name_;
        sqlite3_exec(db_.Handle(), sql.constData(), nullptr, nullptr, nullptr);
    }
}

void TTransaction::Commit()
{
    db_.Execute("release " + QString::fromLatin1(name_));
    done_ = true;
}

// ================================================================================================
// TQuery

TQuery::~TQuery()
{
    try {
        Close();
    } catch (...) {
        // Handlers of a query being destroyed must not escape.
    }
}

void TQuery::SetSQL(const QStringList& lines)
{
    sql_ = lines;
    ParseParams();
}

void TQuery::SetSQL(const QString& text)
{
    SetSQL(text.split('\n'));
}

void TQuery::SetSQLLine(int index, const QString& line)
{
    if (index == sql_.size())
        sql_.append(line);
    else if (index >= 0 && index < sql_.size())
        sql_[index] = line;
    else
        throw EDatabaseError(QString("List index out of bounds (%1)").arg(index));
    ParseParams();
}

void TQuery::SetDatabaseName(const QString& name)
{
    if (name == databaseName_)
        return;
    if (Active())
        throw EDatabaseError(QStringLiteral("Операция невозможна: набор данных открыт"));
    databaseName_ = name;
    db_.reset();
}

void TQuery::SetDatabaseFile(const QString& name)
{
    if (name == databaseFile_)
        return;
    if (Active())
        throw EDatabaseError(QStringLiteral("Операция невозможна: набор данных открыт"));
    databaseFile_ = name;
    db_.reset();
}

QString TQuery::DatabasePath() const
{
    if (databaseFile_.isEmpty())
        return databaseName_;
    if (databaseName_.isEmpty())
        return databaseFile_;
    return QDir(databaseName_).filePath(databaseFile_);
}

TDatabase& TQuery::Database()
{
    if (!db_) {
        const QString path = DatabasePath();
        if (path.isEmpty())
            throw EDatabaseError(QStringLiteral("Для запроса не задана база данных"));
        // A connector may create what is missing; a failure is tried again on the next use.
        db_ = Connector ? Connector(path) : TDatabase::Open(path);
    }
    return *db_;
}

TParam& TQuery::Param(int index)
{
    if (index < 0 || index >= int(params_.size()))
        throw EDatabaseError(QString("List index out of bounds (%1)").arg(index));
    return params_[index];
}

TParam* TQuery::FindParam(const QString& name)
{
    for (TParam& p : params_)
        if (SameText(p.Name, name))
            return &p;
    return nullptr;
}

TParam& TQuery::ParamByName(const QString& name)
{
    TParam* p = FindParam(name);
    if (!p)
        throw EDatabaseError(QStringLiteral("Параметр '%1' не найден").arg(name));
    return *p;
}

void TQuery::ParseParams()
{
    const QString text = sql_.join('\n');
    std::vector<TParam> result;
    const int n = int(text.size());
    auto isNameStart = [](QChar c) { return c.isLetter() || c == '_'; };
    auto isNameChar = [](QChar c) { return c.isLetterOrNumber() || c == '_'; };
    for (int i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const QChar close = c == '[' ? QChar(']') : c;
            for (++i; i < n && text[i] != close; ++i) {
            }
            continue;
        }
        if (c == '-' && i + 1 < n && text[i + 1] == '-') {
            while (i < n && text[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            const int end = text.indexOf("*/", i + 2);
            i = end < 0 ? n : end + 1;
            continue;
        }
        if (c == ':' && i + 1 < n && isNameStart(text[i + 1])) {
            int j = i + 1;
            while (j < n && isNameChar(text[j]))
                ++j;
            const QString name = text.mid(i + 1, j - i - 1);
            const bool seen = std::any_of(result.begin(), result.end(), [&](const TParam& p) { return SameText(p.Name, name); });
            if (!seen) {
                TParam p;
                if (TParam* old = FindParam(name))
                    p = *old;
                p.Name = name;
                result.push_back(p);
            }
            i = j - 1;
        }
    }
    params_ = std::move(result);
}

void TQuery::Bind(sqlite3_stmt* stmt)
{
    const int count = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= count; ++i) {
        const char* raw = sqlite3_bind_parameter_name(stmt, i);
        if (!raw || raw[0] != ':')
            throw EDatabaseError(QStringLiteral("Параметры запроса задаются только по имени (:имя)"));
        const QString name = QString::fromUtf8(raw + 1);
        TParam* p = FindParam(name);
        if (!p)
            throw EDatabaseError(QStringLiteral("Параметр '%1' не найден").arg(name));
        const Variant& v = p->Value;
        if (v.IsEmpty())
            throw EDatabaseError(QStringLiteral("Не задано значение параметра '%1'").arg(name));
        int rc = SQLITE_OK;
        switch (v.Type()) {
        case varNull:
            rc = sqlite3_bind_null(stmt, i);
            break;
        case varBoolean:
            rc = sqlite3_bind_int(stmt, i, v.AsBoolean() ? 1 : 0);
            break;
        case varInteger:
        case varInt64:
            rc = sqlite3_bind_int64(stmt, i, v.AsInt64());
            break;
        case varDouble:
        case varDate:
            if (IsDateType(p->DataType) || v.Type() == varDate) {
                const TFieldType t = IsDateType(p->DataType) ? p->DataType : ftDateTime;
                const QByteArray s = IsoDateTimeText(v.AsDateTime(), t).toUtf8();
                rc = sqlite3_bind_text(stmt, i, s.constData(), int(s.size()), SQLITE_TRANSIENT);
            } else {
                rc = sqlite3_bind_double(stmt, i, v.AsDouble());
            }
            break;
        case varCurrency:
            rc = sqlite3_bind_double(stmt, i, v.AsDouble());
            break;
        case varString: {
            const QByteArray s = v.AsString().toUtf8();
            rc = sqlite3_bind_text(stmt, i, s.constData(), int(s.size()), SQLITE_TRANSIENT);
            break;
        }
        case varBytes: {
            const QByteArray b = v.AsBytes();
            rc = sqlite3_bind_blob(stmt, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            break;
        }
        default:
            throw EDatabaseError(QStringLiteral("Значение параметра '%1' нельзя передать в запрос").arg(name));
        }
        if (rc != SQLITE_OK)
            Database().RaiseError(sql_.join(' '));
    }
}

void TQuery::ExecSQL()
{
    TDatabase& db = Database();
    const QByteArray text = sql_.join('\n').toUtf8();
    std::optional<TTransaction> tx;
    {
        TDatabase::Statements st(db, text);
        if (st.List().empty())
            throw EDatabaseError(QStringLiteral("Не задан текст запроса"));
        if (st.List().size() > 1)
            tx.emplace(db);
        for (sqlite3_stmt* stmt : st.List()) {
            Bind(stmt);
            int rc;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE)
                db.RaiseError(QString::fromUtf8(text));
            if (!sqlite3_stmt_readonly(stmt))
                rowsAffected_ = sqlite3_changes(db.Handle());
            sqlite3_reset(stmt);
        }
    }
    if (tx)
        tx->Commit();
}

void TQuery::InternalOpen()
{
    TDatabase& db = Database();
    const QByteArray text = sql_.join('\n').toUtf8();
    TDatabase::Statements st(db, text);
    if (st.List().size() != 1)
        throw EDatabaseError(st.List().empty() ? QStringLiteral("Не задан текст запроса")
                                               : QStringLiteral("Запрос открывает одну инструкцию, а их задано несколько"));
    sqlite3_stmt* stmt = st.List()[0];
    Bind(stmt);
    const int ncol = sqlite3_column_count(stmt);
    if (ncol == 0)
        throw EDatabaseError(QStringLiteral("Запрос не возвращает строк: %1").arg(QString::fromUtf8(text).simplified()));
    std::vector<TFieldDef> defs(ncol);
    for (int c = 0; c < ncol; ++c) {
        QString name = QString::fromUtf8(sqlite3_column_name(stmt, c));
        // A joined select can give two columns one name; the second becomes name_1.
        const QString base = name;
        for (int k = 1;; ++k) {
            const bool taken = std::any_of(defs.begin(), defs.begin() + c, [&](const TFieldDef& d) { return SameText(d.Name, name); });
            if (!taken)
                break;
            name = base + "_" + QString::number(k);
        }
        defs[c].Name = name;
        const char* decl = sqlite3_column_decltype(stmt, c);
        defs[c].DataType = FieldTypeFromDecl(decl ? QString::fromUtf8(decl) : QString(), defs[c].Size);
    }
    int rc = sqlite3_step(stmt);
    for (int c = 0; c < ncol; ++c) {
        if (defs[c].DataType != ftUnknown)
            continue;
        // An expression column: typed by its first value.
        const int ct = rc == SQLITE_ROW ? sqlite3_column_type(stmt, c) : SQLITE_NULL;
        if (ct == SQLITE_INTEGER) {
            const sqlite3_int64 i = sqlite3_column_int64(stmt, c);
            defs[c].DataType = i >= INT32_MIN && i <= INT32_MAX ? ftInteger : ftLargeint;
        } else if (ct == SQLITE_FLOAT) {
            defs[c].DataType = ftFloat;
        } else if (ct == SQLITE_BLOB) {
            defs[c].DataType = ftBlob;
        } else {
            defs[c].DataType = ftString;
        }
    }
    SetFieldDefs(defs);
    std::vector<Variant> row(static_cast<std::size_t>(ncol));
    while (rc == SQLITE_ROW) {
        for (int c = 0; c < ncol; ++c)
            row[std::size_t(c)] = ReadColumn(stmt, c, defs[c].DataType);
        AddLoadedRecord(row);
        rc = sqlite3_step(stmt);
    }
    if (rc != SQLITE_DONE)
        db.RaiseError(QString::fromUtf8(text));
}
