// Datasets: a cached, ordered set of records with a current record, typed fields, edit states,
// bookmarks, filtering, locate/lookup, calculated and lookup fields, and notifications to data
// sources and links (platform/datasource.h). Concrete kinds: TQuery (SQLite), TMemDataSet.
#pragma once

#include "platform/datetime.h"
#include "platform/exceptions.h"
#include "platform/text.h"
#include "platform/types.h"
#include "platform/variant.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class TDataSet;
class TDataSource;
class TDataLink;
class TField;

class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// The complete list of field data types, in their classic order (file formats rely on it).
enum TFieldType {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
    ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
    ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
    ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
    ftInterface, ftIDispatch, ftGuid
};
enum TFieldKind { fkData, fkCalculated, fkLookup };

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields, dsFilter };

// What a dataset tells its data sources and their links.
enum TDataEvent {
    deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
    deUpdateRecord, deUpdateState, deCheckBrowseMode, deFocusControl
};

enum TLocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;

// Identifies a record for as long as it exists, whatever moves or deletions happen around it.
struct TBookmark {
    std::uint64_t Id = 0;
    bool IsNull() const { return Id == 0; }
    friend bool operator==(const TBookmark&, const TBookmark&) = default;
};

// A record's values, packed into one block: a type tag per value and only the bytes the value
// needs (Null, Empty and booleans none, integers 4, dates, floats and 64-bit values 8, text its
// characters), so that big results cost a few times their size on disk, not a variant each.
class TRecordValues {
public:
    TRecordValues() = default;
    TRecordValues(const TRecordValues& other);
    TRecordValues& operator=(const TRecordValues& other);
    TRecordValues(TRecordValues&& other) noexcept = default;
    TRecordValues& operator=(TRecordValues&& other) noexcept;
    ~TRecordValues();

    std::size_t size() const;
    // New values are Empty; values past n are dropped.
    void resize(std::size_t n);
    // Replaces all values at once (one block, the way loading fills a record).
    void Assign(const Variant* values, std::size_t n);
    Variant operator[](std::size_t i) const;
    void Set(std::size_t i, const Variant& v);
    bool IsClear(std::size_t i) const;
    // Bytes held (for measuring).
    std::size_t ByteSize() const;

private:
    std::size_t Offset(std::size_t i) const;
    // Calls f(Variant*&) for each value kept apart (arrays), in order.
    template <class F>
    void ForEachOwned(F&& f);
    void FreeOwned();
    void CloneOwned();
    std::unique_ptr<std::uint8_t[]> data_;
};

// One record: a unique id and one value per field (data, calculated and lookup fields alike).
struct TRecordData {
    std::uint64_t Id = 0;
    TRecordValues Values;
    // The calculated and lookup values are current (they are computed when first read).
    bool Calculated = false;
};

// An ordered list of handlers for one dataset event. Handlers run by ascending order value,
// equal orders in the order they were added; the program's own handlers use order 0, so a
// library can run before (negative) or after (positive) them without replacing them.
template <typename... Args>
class TEventList {
public:
    using Handler = std::function<void(Args...)>;
    int Add(Handler h, int order = 0)
    {
        const int id = ++lastId_;
        auto it = items_.begin();
        while (it != items_.end() && it->order <= order)
            ++it;
        items_.insert(it, Item{id, order, std::make_shared<Handler>(std::move(h))});
        return id;
    }
    void Remove(int id)
    {
        std::erase_if(items_, [id](const Item& i) { return i.id == id; });
    }
    void Clear() { items_.clear(); }
    bool Empty() const { return items_.empty(); }
    // Handlers added or removed while firing take effect at the next firing.
    void operator()(Args... args) const
    {
        if (items_.empty())
            return;
        const auto copy = items_;
        for (const Item& i : copy)
            (*i.fn)(args...);
    }

private:
    struct Item {
        int id;
        int order;
        std::shared_ptr<Handler> fn;
    };
    std::vector<Item> items_;
    int lastId_ = 0;
};

using TDataSetNotifyEvent = TEventList<TDataSet&>;

class TField {
public:
    TField(TFieldType type, const QString& name, int size = 0, TFieldKind kind = fkData);
    virtual ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet* DataSet() const { return dataSet_; }
    const QString& FieldName() const { return name_; }
    TFieldType DataType() const { return type_; }
    TFieldKind FieldKind() const { return kind_; }
    bool Calculated() const { return kind_ == fkCalculated; }
    bool Lookup() const { return kind_ == fkLookup; }
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    int Index() const { return index_; }
    bool IsNumeric() const;
    bool IsBlob() const;

    // Value of the active record. Setting needs the dataset in edit or insert state (calculated
    // fields: while calculating) and a modifiable field.
    Variant Value() const;
    void SetValue(const Variant& v);
    bool IsNull() const;
    void Clear() { SetValue(Variant::Null()); }

    // Null reads as 0, "" and false.
    int AsInteger() const;
    std::int64_t AsLargeInt() const;
    double AsFloat() const;
    Currency AsCurrency() const;
    bool AsBoolean() const;
    TDateTime AsDateTime() const;
    QString AsString() const;
    QByteArray AsBytes() const;
    Variant AsVariant() const { return Value(); }
    void SetAsInteger(int v) { SetValue(Variant(v)); }
    void SetAsLargeInt(std::int64_t v) { SetValue(Variant::FromInt64(v)); }
    void SetAsFloat(double v) { SetValue(Variant(v)); }
    void SetAsCurrency(Currency v) { SetValue(Variant(v)); }
    void SetAsBoolean(bool v) { SetValue(Variant(v)); }
    void SetAsDateTime(TDateTime v) { SetValue(Variant::FromDateTime(v)); }
    // Text is parsed for the field's type with the dataset's format settings.
    void SetAsString(const QString& v);

    // Text for editing and text for showing (DisplayFormat applies to the latter).
    QString Text() const;
    void SetText(const QString& text);
    QString DisplayText() const;

    const QString& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const QString& f);
    const QString& EditFormat() const { return editFormat_; }
    void SetEditFormat(const QString& f) { editFormat_ = f; }
    const QString& EditMask() const { return editMask_; }
    void SetEditMask(const QString& m) { editMask_ = m; }
    // Boolean texts "True;False".
    const QString& DisplayValues() const { return displayValues_; }
    void SetDisplayValues(const QString& v);
    QString DisplayLabel() const { return displayLabel_.isEmpty() ? name_ : displayLabel_; }
    // A change re-lays out the links (grid titles follow it).
    void SetDisplayLabel(const QString& label);
    int DisplayWidth() const;
    void SetDisplayWidth(int w);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool r) { readOnly_ = r; }
    bool Required() const { return required_; }
    void SetRequired(bool r) { required_ = r; }
    bool CanModify() const;
    int Precision() const { return precision_; }
    void SetPrecision(int p) { precision_ = p; }
    bool IsCurrency() const { return currency_; }
    void SetCurrency(bool c) { currency_ = c; }
    // Characters the field accepts from the keyboard; empty means any.
    const QString& ValidChars() const { return validChars_; }
    void SetValidChars(const QString& chars) { validChars_ = chars; validCharsSet_ = true; }
    bool IsValidChar(QChar c) const;

    // Lookup attributes (lookup fields): the value is LookupDataSet's LookupResultField of the record
    // whose LookupKeyFields equal this dataset's KeyFields.
    TDataSet* LookupDataSet() const { return lookupDataSet_; }
    void SetLookupDataSet(TDataSet* ds) { lookupDataSet_ = ds; }
    const QString& KeyFields() const { return keyFields_; }
    void SetKeyFields(const QString& s) { keyFields_ = s; }
    const QString& LookupKeyFields() const { return lookupKeyFields_; }
    void SetLookupKeyFields(const QString& s) { lookupKeyFields_ = s; }
    const QString& LookupResultField() const { return lookupResultField_; }
    void SetLookupResultField(const QString& s) { lookupResultField_ = s; }

    // Asks the links to move the focus to the control that shows this field.
    void FocusControl();

    std::function<void(TField&)> OnChange;
    std::function<void(TField&, QString& text, bool displayText)> OnGetText;
    std::function<void(TField&, const QString& text)> OnSetText;
    std::function<void(TField&)> OnValidate;

    // Converts a value to this field's storage form (raises EConvertError when it cannot).
    Variant Convert(const Variant& v) const;

protected:
    virtual QString GetText(bool display) const;

private:
    friend class TDataSet;
    void PropertyChanged(bool layout);

    TDataSet* dataSet_ = nullptr;
    TFieldType type_;
    QString name_;
    int size_;
    TFieldKind kind_;
    int index_ = -1;
    bool persistent_ = false;   // declared by the program, kept across close and open
    QString displayLabel_;
    QString displayFormat_;
    QString editFormat_;
    QString editMask_;
    QString displayValues_ = "True;False";
    int displayWidth_ = -1;
    TAlignment alignment_ = taLeftJustify;
    bool visible_ = true;
    bool readOnly_ = false;
    bool required_ = false;
    int precision_ = 15;
    bool currency_ = false;
    QString validChars_;
    bool validCharsSet_ = false;
    TDataSet* lookupDataSet_ = nullptr;
    QString keyFields_;
    QString lookupKeyFields_;
    QString lookupResultField_;
};

// Typed kinds, so that code can test what a field is; behaviour follows DataType().
class TStringField : public TField { public: using TField::TField; };
class TNumericField : public TField { public: using TField::TField; };
class TIntegerField : public TNumericField { public: using TNumericField::TNumericField; };
class TSmallintField : public TIntegerField { public: using TIntegerField::TIntegerField; };
class TWordField : public TIntegerField { public: using TIntegerField::TIntegerField; };
class TAutoIncField : public TIntegerField { public: using TIntegerField::TIntegerField; };
class TLargeintField : public TNumericField { public: using TNumericField::TNumericField; };
class TFloatField : public TNumericField { public: using TNumericField::TNumericField; };
class TCurrencyField : public TFloatField { public: using TFloatField::TFloatField; };
class TBCDField : public TNumericField { public: using TNumericField::TNumericField; };
class TBooleanField : public TField { public: using TField::TField; };
class TDateTimeField : public TField { public: using TField::TField; };
class TDateField : public TDateTimeField { public: using TDateTimeField::TDateTimeField; };
class TTimeField : public TDateTimeField { public: using TDateTimeField::TDateTimeField; };
class TBinaryField : public TField { public: using TField::TField; };
class TBytesField : public TBinaryField { public: using TBinaryField::TBinaryField; };
class TVarBytesField : public TBinaryField { public: using TBinaryField::TBinaryField; };
class TBlobField : public TField { public: using TField::TField; };
class TMemoField : public TBlobField { public: using TBlobField::TBlobField; };
class TGraphicField : public TBlobField { public: using TBlobField::TBlobField; };
class TVariantField : public TField { public: using TField::TField; };

// Creates the field kind that matches the type.
std::unique_ptr<TField> CreateField(TFieldType type, const QString& name, int size = 0,
                                    TFieldKind kind = fkData);
// Name of a field type as messages show it ("Integer", "Date", ...).
QString FieldTypeName(TFieldType type);

// Description of a result column, as a concrete dataset reports it when it opens.
struct TFieldDef {
    QString Name;
    TFieldType DataType = ftUnknown;
    int Size = 0;
};

class TDataSet {
public:
    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    QString Name;

    // ---- Open state
    void Open();
    void Close();
    bool Active() const { return state_ != dsInactive; }
    void SetActive(bool a) { a ? Open() : Close(); }
    TDataSetState State() const { return state_; }
    // Close and open again, keeping the position by record number where possible.
    void Refresh();

    // ---- Fields
    int FieldCount() const { return int(fields_.size()); }
    TField* Field(int index) const;
    TField* FindField(const QString& name) const;   // case-insensitive; nullptr when missing
    TField* FieldByName(const QString& name) const; // raises "Field '%s' not found"
    const std::vector<TField*>& Fields() const { return fieldPtrs_; }
    // Declares a field that stays across close and open (the dataset must be closed). Data
    // fields bind to the result column of the same name when the dataset opens.
    TField* AddField(TFieldType type, const QString& name, int size = 0, TFieldKind kind = fkData);
    // Removes all fields (the dataset must be closed).
    void ClearFields();
    // True when the fields were made from the result, not declared.
    bool DefaultFields() const { return defaultFields_; }
    // Values of several fields (names separated by ';'): one value, or an array for several.
    Variant FieldValues(const QString& names) const;

    // ---- Navigation
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const;
    int RecordCount() const;
    int RecNo() const;          // 1-based; 0 when empty
    // Bytes the records' values hold, calculated values included (for measuring).
    std::size_t RecordBytes() const;
    void SetRecNo(int recNo);
    virtual bool IsSequenced() const { return true; }

    // ---- Bookmarks
    TBookmark GetBookmark() const;
    // The bookmark of the record the fields read: a link's window record while one is selected
    // (painting a row), else the current record's.
    TBookmark ActiveBookmark() const;
    void GotoBookmark(const TBookmark& b);          // raises "Record not found"
    bool BookmarkValid(const TBookmark& b) const;
    // -1, 0 or 1 by dataset order; a null bookmark comes before every other one.
    int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;

    // ---- Editing
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    // Posts pending edits or cancels an unchanged insert (done before any move).
    void CheckBrowseMode();
    bool Modified() const { return modified_; }
    bool CanModify() const { return !readOnly_ && GetCanModify(); }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool r) { readOnly_ = r; }
    // Asks the links to write pending control values into the fields.
    void UpdateRecord();
    // Recomputes the calculated and lookup fields of every record.
    void RecalcFields();
    // Records whose calculated and lookup values are kept at most: a walk over a long result
    // keeps those of the records it read last, and computes the others again when they are
    // read again, so that reading every record once costs no memory per record.
    static constexpr std::size_t CalculatedRecordsKept = 1024;

    // ---- Controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // ---- Filtering
    const QString& Filter() const { return filter_; }
    void SetFilter(const QString& text);
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool f);
    // The predicate applied while Filtered; it reads the candidate through the fields.
    std::function<bool(TDataSet&)> OnFilterRecord;
    void SetOnFilterRecord(std::function<bool(TDataSet&)> f);

    // ---- Searching (keyFields separated by ';'; several values as a variant array)
    bool Locate(const QString& keyFields, const Variant& keyValues, TLocateOptions options = 0);
    Variant Lookup(const QString& keyFields, const Variant& keyValues, const QString& resultFields);

    // ---- Settings used for field texts
    const TFormatSettings& FormatSettings() const { return formatSettings_; }
    void SetFormatSettings(const TFormatSettings& fs) { formatSettings_ = fs; }

    // ---- Events (ordered lists)
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeEdit, AfterEdit, BeforeInsert, AfterInsert;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    // Fired first thing in the destructor (after a subclass has closed the dataset), so that
    // whoever keeps a pointer to the dataset can let go of it.
    TDataSetNotifyEvent BeforeDestroy;

    // ---- Master/detail: the source of the master dataset, for datasets that follow one
    virtual TDataSource* MasterSource() const { return nullptr; }

    // ---- For data sources and links
    const std::vector<TDataSource*>& DataSources() const { return sources_; }
    // Position of the current record in the visible order (-1 when empty).
    int CurrentIndex() const { return cur_; }
    int VisibleCount() const { return int(view_.size()); }

protected:
    // Fills the result: call SetFieldDefs, then NewRecord/SetLoadedValue for each row.
    virtual void InternalOpen() = 0;
    virtual void InternalClose() {}
    // Persist a posted record (default: kept in memory only).
    virtual void InternalPost(TRecordData& /*record*/, bool /*inserted*/) {}
    virtual void InternalDelete(TRecordData& /*record*/) {}
    virtual bool GetCanModify() const { return true; }

    void SetFieldDefs(const std::vector<TFieldDef>& defs);
    // Appends a loaded record; values are then set by column with SetLoadedValue.
    TRecordData& NewLoadedRecord();
    // Column -> field slot (-1 when the column has no field).
    int ColumnSlot(int column) const { return column < int(colToSlot_.size()) ? colToSlot_[column] : -1; }
    void SetLoadedValue(TRecordData& rec, int column, Variant&& value);
    // Appends a loaded record from its column values in one go (the values are moved from).
    void AddLoadedRecord(std::vector<Variant>& columns);
    void ReserveRecords(std::size_t n) { records_.reserve(n); }
    // Records kept by a subclass between close and open.
    std::vector<std::unique_ptr<TRecordData>> TakeRecords();
    void RestoreRecords(std::vector<std::unique_ptr<TRecordData>> records);
    // Fields of the dataset that are user-declared data fields, in order.
    std::vector<TFieldDef> DeclaredDataFields() const;

    void DataEvent(TDataEvent event, TField* field = nullptr);

private:
    friend class TField;
    friend class TDataSource;
    friend class TDataLink;

    void CheckActive() const;
    void CheckCanModify() const;
    void CheckEditing(const TField& f) const;
    void SetState(TDataSetState s);
    void RebuildView();
    void Refilter();
    void AddNewRecord(bool append);
    void BuildPositions() const;
    int ViewIndexOf(std::uint64_t id) const;
    void CalcRecord(TRecordData& rec);
    void EnsureCalculated(const TRecordData& rec) const;
    // Lets a record's calculated and lookup values go (they are computed again when read).
    void DropCalculated(TRecordData& rec);
    void FinishMove(int newCur, bool newBof, bool newEof);
    int FindRecord(const QString& keyFields, const Variant& keyValues, TLocateOptions options) const;
    bool RecordMatches(const TRecordData& rec, const std::vector<TField*>& keys,
                       const std::vector<Variant>& values, TLocateOptions options) const;
    Variant ReadSlot(int slot) const;
    bool SlotIsClear(int slot) const;
    // Index in records_ of a record id (-1 when gone).
    int PositionOf(std::uint64_t id) const;
    TRecordData* ActiveRecordData() const;
    TRecordData* CurrentRecord() const { return cur_ >= 0 && cur_ < int(view_.size()) ? view_[cur_] : nullptr; }
    void RemoveDefaultFields();
    void RenumberFields();
    void ResetAfterClose();
    bool PassesFilter(TRecordData& rec);

    void AddDataSource(TDataSource* s);
    void RemoveDataSource(TDataSource* s);

    TDataSetState state_ = dsInactive;
    std::vector<std::unique_ptr<TField>> fields_;
    std::vector<TField*> fieldPtrs_;
    std::vector<int> colToSlot_;
    std::vector<bool> colConvert_;
    bool defaultFields_ = true;

    std::vector<std::unique_ptr<TRecordData>> records_;   // all records, in order
    std::vector<TRecordData*> view_;                      // the visible ones, in order
    // id -> index in records_, built only when ids are out of order (records inserted in the
    // middle); loaded records have ascending ids and are found by binary search.
    mutable std::unordered_map<std::uint64_t, int> positions_;
    mutable bool positionsValid_ = false;
    mutable bool idsAscending_ = true;
    std::uint64_t nextId_ = 1;
    std::vector<Variant> loadScratch_;
    // Ids of the records that hold calculated values, oldest calculation first; no more than
    // CalculatedRecordsKept (an id may be listed twice; only its last calculation counts).
    std::deque<std::uint64_t> calculatedIds_;
    int cur_ = -1;
    bool bof_ = true;
    bool eof_ = true;

    TRecordData editBuffer_;          // the current record while editing or inserting
    bool inserting_ = false;          // the current record is a new, unposted one
    bool modified_ = false;
    bool readOnly_ = false;
    TRecordData* overrideRecord_ = nullptr;  // record the fields read (links' buffer window, filter, calc)

    int disableCount_ = 0;
    TDataSetState disableState_ = dsInactive;
    bool layoutPending_ = false;

    QString filter_;
    bool filtered_ = false;
    TFormatSettings formatSettings_;
    std::vector<TDataSource*> sources_;
};
