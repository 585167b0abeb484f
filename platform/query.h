// SQL queries over SQLite files. A query runs its SQL text with named parameters (":pID"); a
// select is opened into a cached, sequenced dataset whose fields are typed from the declared
// column types (SMALLINT, INTEGER, BOOLEAN, REAL, DATE, TIME, DATETIME, TEXT, VARCHAR(n), ...).
// Dates and times travel as ISO text: DATE "YYYY-MM-DD", TIME "HH:MM:SS", DATETIME both.
#pragma once

#include "platform/dataset.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One open connection to a database file, shared by every query on that file.
class TDatabase {
public:
    // The connection to the file, opened on first use. Without `create` a missing file is an
    // error. Raises EDatabaseError "База данных <file> недоступна: <reason>" (reason in Russian,
    // the engine's text on standard error), also for a file that is not a database.
    static std::shared_ptr<TDatabase> Open(const QString& fileName, bool create = false);
    ~TDatabase();
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    const QString& FileName() const { return fileName_; }
    sqlite3* Handle() const { return db_; }
    // Runs statements without parameters.
    void Execute(const QString& sql);
    // Copies the write-ahead log into the database file, when nothing holds it. After Passive the
    // log is written over from its start, keeping its size; Truncate also cuts it to nothing.
    enum class CheckpointMode { Passive, Truncate };
    void Checkpoint(CheckpointMode mode);
    // The engine's last error as an exception naming the file and saying in Russian what
    // happened ("База данных <file> : диск заполнен", "... открыта только для чтения", "Файл
    // <file> не является базой данных"); the engine's text and `what` (the statement) go to
    // standard error.
    [[noreturn]] void RaiseError(const QString& what) const;

    // Prepared statements of an SQL text, kept for reuse while the text is not in use.
    class Statements {
    public:
        Statements(TDatabase& db, const QByteArray& sql);
        ~Statements();
        Statements(const Statements&) = delete;
        Statements& operator=(const Statements&) = delete;
        const std::vector<sqlite3_stmt*>& List() const { return list_; }

    private:
        TDatabase& db_;
        QByteArray sql_;
        std::vector<sqlite3_stmt*> list_;
        bool cached_ = false;
    };

private:
    TDatabase(sqlite3* db, const QString& fileName);
    std::vector<sqlite3_stmt*> Prepare(const QByteArray& sql);

    sqlite3* db_ = nullptr;
    QString fileName_;
    struct CacheEntry {
        std::vector<sqlite3_stmt*> stmts;
        bool busy = false;
    };
    std::map<QByteArray, CacheEntry> cache_;
};

// All-or-nothing work on one connection (nestable: inner ones are savepoints).
class TTransaction {
public:
    explicit TTransaction(TDatabase& db);
    ~TTransaction();   // rolls back unless committed
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;
    void Commit();

private:
    TDatabase& db_;
    QByteArray name_;
    bool done_ = false;
};

class TParam {
public:
    QString Name;
    // Decides how a date-time value is written (ftDate, ftTime, ftDateTime); ftUnknown follows the value.
    TFieldType DataType = ftUnknown;
    Variant Value;

    bool IsNull() const { return Value.IsClear(); }
    void Clear() { Value = Variant::Null(); }
    void SetAsInteger(int v) { DataType = ftInteger; Value = Variant(v); }
    void SetAsLargeInt(std::int64_t v) { DataType = ftLargeint; Value = Variant::FromInt64(v); }
    void SetAsFloat(double v) { DataType = ftFloat; Value = Variant(v); }
    void SetAsBoolean(bool v) { DataType = ftBoolean; Value = Variant(v); }
    void SetAsString(const QString& v) { DataType = ftString; Value = Variant(v); }
    void SetAsDate(TDateTime v) { DataType = ftDate; Value = Variant::FromDateTime(v); }
    void SetAsTime(TDateTime v) { DataType = ftTime; Value = Variant::FromDateTime(v); }
    void SetAsDateTime(TDateTime v) { DataType = ftDateTime; Value = Variant::FromDateTime(v); }
    void SetValue(const Variant& v) { Value = v; }
};

class TQuery : public TDataSet {
public:
    TQuery() = default;
    ~TQuery() override;

    // SQL text; setting it closes nothing but re-reads the parameter names (values of names
    // that stay are kept).
    const QStringList& SQL() const { return sql_; }
    void SetSQL(const QStringList& lines);
    void SetSQL(const QString& text);
    // Replaces one line (index 0 on an empty text adds it).
    void SetSQLLine(int index, const QString& line);

    // The folder of the database (or the file itself when DatabaseFile is empty).
    const QString& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const QString& name);
    const QString& DatabaseFile() const { return databaseFile_; }
    void SetDatabaseFile(const QString& name);
    QString DatabasePath() const;

    int ParamCount() const { return int(params_.size()); }
    TParam& Param(int index);
    TParam* FindParam(const QString& name);
    TParam& ParamByName(const QString& name);   // raises "Parameter '%s' not found"

    // Runs the SQL text (several statements separated by ';' run in one transaction).
    void ExecSQL();
    // Rows changed by the last statement that ExecSQL ran.
    int RowsAffected() const { return rowsAffected_; }

    bool IsSequenced() const override { return true; }

    // The connection to DatabasePath(), opened on first use (for transactions spanning several
    // statements of this query). A failed open is tried again on the next use.
    TDatabase& Database();
    // Opens the connection for a path instead of TDatabase::Open (e.g. creating missing tables).
    std::function<std::shared_ptr<TDatabase>(const QString& path)> Connector;

protected:
    void InternalOpen() override;
    bool GetCanModify() const override { return false; }

private:
    void ParseParams();
    void Bind(sqlite3_stmt* stmt);

    QStringList sql_;
    QString databaseName_;
    QString databaseFile_;
    std::vector<TParam> params_;
    std::shared_ptr<TDatabase> db_;
    int rowsAffected_ = 0;
};

// Field type for a declared column type ("VARCHAR(20)" gives ftString with size 20);
// ftUnknown when nothing is declared.
TFieldType FieldTypeFromDecl(const QString& decl, int& size);
// ISO text of a date-time as a column of that type stores it.
QString IsoDateTimeText(TDateTime value, TFieldType type);
// Reads ISO date, time or date-time text; false when the text is none of them.
bool TryParseIsoDateTime(const QString& text, TDateTime& value);
