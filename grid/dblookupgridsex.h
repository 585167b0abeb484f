// The lookup grid: a data-aware grid that lists the records of a list dataset and selects the one
// whose key fields equal a key value. Bound to a lookup field of another dataset it takes the
// list, key and display fields from that field and writes the chosen key into the record.
// TPopupDataGridEx is the same list dropped down under an editor. An optional special row above
// the data rows stands for a value outside the list ("none").
#pragma once

#include "grid/dbctrlsex.h"
#include "grid/dbgridex.h"
#include "grid/toolctrlsex.h"

#include "platform/datasource.h"
#include "platform/variant.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// The special row: its cells' texts, look, the key value it stands for and its shortcut.
class TSpecRowEx {
public:
    explicit TSpecRowEx(IDBGridEx* owner = nullptr);
    TSpecRowEx(const TSpecRowEx&) = delete;
    TSpecRowEx& operator=(const TSpecRowEx&) = delete;

    IDBGridEx* Owner() const { return owner_; }
    void Assign(const TSpecRowEx& source);

    // The cells' texts separated by ';' (a part may be double-quoted, with doubled quotes inside).
    const QString& CellsText() const { return cellsText_; }
    void SetCellsText(const QString& value);
    // The text of cell index; empty outside the list.
    QString CellText(int index) const;
    int CellCount() const { return int(cells_.size()); }
    // Splits a cells text the way SetCellsText does.
    static QStringList SplitCellsText(const QString& text);

    // The owner's colour and font unless set.
    TColor Color() const;
    void SetColor(TColor value);
    bool ColorAssigned() const { return colorAssigned_; }
    const TFont& Font() const;
    void SetFont(const TFont& value);
    bool FontAssigned() const { return fontAssigned_; }

    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut value) { shortCut_ = value; }
    bool ShowIfNotInKeyList() const { return showIfNotInKeyList_; }
    void SetShowIfNotInKeyList(bool value);
    const Variant& Value() const { return value_; }
    void SetValue(const Variant& value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);

    std::function<void()> OnChanged;

private:
    void Changed();

    IDBGridEx* owner_;
    QString cellsText_;
    QStringList cells_;
    TColor color_ = clWindow;
    bool colorAssigned_ = false;
    mutable TFont font_;
    bool fontAssigned_ = false;
    TShortCut shortCut_ = scAlt + VK_DELETE;   // Alt+Del, 32814
    bool showIfNotInKeyList_ = true;
    Variant value_ = Variant::Null();
    bool visible_ = false;
};

class TDBLookupGridEx;
class TDBLookupGridColumnEx;

// A column's cell in the special row: its text, colour and font follow the special row (its
// cell text at the column's position) until set here.
class TGridColumnSpecCellEx {
public:
    explicit TGridColumnSpecCellEx(TDBLookupGridColumnEx& column) : column_(column) {}
    TGridColumnSpecCellEx(const TGridColumnSpecCellEx&) = delete;
    TGridColumnSpecCellEx& operator=(const TGridColumnSpecCellEx&) = delete;

    QString Text() const;
    void SetText(const QString& value);
    bool TextAssigned() const { return textAssigned_; }
    TColor Color() const;
    void SetColor(TColor value);
    bool ColorAssigned() const { return colorAssigned_; }
    const TFont& Font() const;
    void SetFont(const TFont& value);
    bool FontAssigned() const { return fontAssigned_; }
    void Assign(const TGridColumnSpecCellEx& source);

private:
    void Changed();
    TSpecRowEx* SpecRow() const;

    TDBLookupGridColumnEx& column_;
    QString text_;
    bool textAssigned_ = false;
    TColor color_ = clWindow;
    bool colorAssigned_ = false;
    mutable TFont font_;
    bool fontAssigned_ = false;
};

// A column of the lookup list, with its special-row cell.
class TDBLookupGridColumnEx : public TDBGridColumnEx {
public:
    explicit TDBLookupGridColumnEx(TDBGridColumnsEx* columns = nullptr);
    ~TDBLookupGridColumnEx() override;

    TGridColumnSpecCellEx& SpecCell() { return *specCell_; }
    const TGridColumnSpecCellEx& SpecCell() const { return *specCell_; }
    TDBLookupGridEx* LookupGrid() const;
    // Moving a column carries its special-row cell and keeps the list field.
    void SetIndex(int index) override;
    void Assign(const TCollectionItem& source) override;

private:
    std::unique_ptr<TGridColumnSpecCellEx> specCell_;
};

class TDBLookupGridColumnsEx : public TDBGridColumnsEx {
public:
    using TDBGridColumnsEx::TDBGridColumnsEx;
    TDBLookupGridColumnEx* Items(int index) const { return static_cast<TDBLookupGridColumnEx*>(Item(index)); }

protected:
    std::unique_ptr<TColumnEx> NewColumn() override { return std::make_unique<TDBLookupGridColumnEx>(this); }
};

class TDBLookupGridEx : public TCustomDBGridEx {
public:
    explicit TDBLookupGridEx(QWidget* parent = nullptr);
    ~TDBLookupGridEx() override;

    // ---- The bound record
    TDataSource* DataSource() const { return dataLink_.DataSource(); }
    void SetDataSource(TDataSource* source);
    QString DataField() const { return dataLink_.FieldName(); }
    void SetDataField(const QString& name);
    TField* Field() const { return dataLink_.Field(); }
    // The data field is a lookup field: list, key and display fields come from it.
    bool LookupMode() const { return lookupMode_; }

    // ---- The list (refused in lookup mode with "Property already defined by lookup field")
    TDataSource* ListSource() const { return listSource_; }
    void SetListSource(TDataSource* source);
    const QString& KeyField() const { return keyFieldNames_; }
    void SetKeyField(const QString& names);
    const QString& ListField() const { return listFieldNames_; }
    void SetListField(const QString& names);
    int ListFieldIndex() const { return listFieldIndex_; }
    void SetListFieldIndex(int index);
    TDataSet* ListDataSet() const { return listDataSource_.DataSet(); }
    bool ListActive() const { return listActive_; }
    const std::vector<TField*>& KeyFields() const { return keyFields_; }
    const std::vector<TField*>& ListFields() const { return listFields_; }
    // The list field whose text is shown (null when none).
    TField* ListFieldOfText() const { return listField_; }

    // ---- Value
    const Variant& KeyValue() const { return keyValue_; }
    void SetKeyValue(const Variant& value);
    // The selected record's list-field text, or the special row's cell text.
    const QString& SelectedText() const { return selectedText_; }
    bool SpecRowSelected() const { return specRowSelected_; }
    TSpecRowEx& SpecRow() { return *specRow_; }
    TDBLookupGridColumnsEx& LookupColumns() { return static_cast<TDBLookupGridColumnsEx&>(Columns()); }

    // ---- Look
    TDBLookupGridExOptions LookupOptions() const { return lookupOptions_; }
    void SetLookupOptions(TDBLookupGridExOptions value);
    bool ShowTitles() const { return Options().Contains(dgTitles); }
    void SetShowTitles(bool value);
    // Visible data rows, 1 to 100; the height follows. (Hides the base grid's SetRowCount on
    // purpose: the lookup grid's rows are a view size, the base grid's are cells.)
    int Rows() const { return rowCount_; }
    void SetRowCount(int rows);
    // Height of the frame around the rows.
    virtual int GetBorderHeight() const;
    virtual int GetSpecRowHeight() const;
    virtual int GetDataRowHeight() const;

    // ---- Incremental search (the clock is replaceable for tests)
    const QString& SearchText() const { return searchText_; }
    std::function<qint64()> Clock;
    static constexpr qint64 kSearchTimeout = 2000;

    // ---- Operations
    virtual bool CanModifyKey() const;
    virtual bool LocateKey();
    virtual void KeyValueChanged();
    virtual void SelectKeyValue(const Variant& value);
    virtual void ProcessSearchKey(QChar ch);
    virtual void RefreshDisplay();
    virtual void UpdateDataFields();
    virtual void UpdateListFields();
    // Keeps the list from following the key while locked (the popup sets it while it loads).
    void LockList() { ++listLock_; }
    void UnlockList() { listLock_ = std::max(0, listLock_ - 1); }

    // After every key value change.
    std::function<void(TDBLookupGridEx&)> OnKeyValueChange;

    int GetFilterRowCount() const override;
    void LinkActive(bool value) override;

protected:
    void KeyDown(int& key, TShiftState shift) override;
    void KeyPress(QChar& ch) override;
    void MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y, bool doubleClick) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y) override;
    void DrawFixedCellFace(TCanvas& canvas, const TRect& rect, int dataCol, TGridDrawState state) override;
    void Resized() override;

    // The key of the list's current record.
    Variant CurrentListKey() const;
    // Selects the record of a data row (by mouse); a row beyond the records does nothing.
    void SelectRow(int dataRow);
    void SelectSpecRow();
    // Moves the list by distance records from the selected record and takes its key.
    void MoveSelection(int distance);
    // Where a point lies: -1 the special row, 0.. a data row, -2 elsewhere.
    int RowKindAt(int x, int y) const;
    void FitHeight();
    bool Locked() const { return listLock_ > 0; }

private:
    friend class TDBLookupGridColumnEx;
    friend class TGridColumnSpecCellEx;
    // A column went from one position to another: the special row's texts and the list fields
    // follow it. cellTexts are the special row's texts in the order before the move.
    void ListColumnMoved(int from, int to, QStringList cellTexts);
    // The special-row cell text of a column (by position).
    QString SpecCellText(int dataCol) const;
    class MarkStyle;
    void DataLinkChanged();
    void ListLayoutChanged();
    void BuildColumns();
    void CheckNotLookupMode() const;

    TFieldDataLinkEx dataLink_;
    TDataSource listDataSource_;
    TDataSource* listSource_ = nullptr;
    std::unique_ptr<TSpecRowEx> specRow_;
    std::unique_ptr<MarkStyle> markStyle_;
    QString keyFieldNames_;
    QString listFieldNames_;
    QString dataFieldNames_;
    int listFieldIndex_ = 0;
    std::vector<TField*> keyFields_;
    std::vector<TField*> listFields_;
    std::vector<TField*> dataFields_;
    TField* listField_ = nullptr;
    Variant keyValue_ = Variant::Null();
    QString selectedText_;
    bool specRowSelected_ = false;
    bool lookupMode_ = false;
    bool listActive_ = false;
    int listLock_ = 0;
    int rowCount_ = 7;
    TDBLookupGridExOptions lookupOptions_;
    QString searchText_;
    qint64 lastSearchKey_ = 0;
    bool mouseSelecting_ = false;
    bool inKeyValueChanged_ = false;
    bool fitting_ = false;
    bool inRelink_ = false;
};

// The lookup list as a drop-down: it tells its host to close up when a row is chosen.
class TPopupDataGridEx : public TDBLookupGridEx {
public:
    explicit TPopupDataGridEx(QWidget* parent = nullptr);
    ~TPopupDataGridEx() override;

    IDropDownHostEx* Host() const { return host_; }
    void SetHost(IDropDownHostEx* host) { host_ = host; }
    TSizeGripEx* SizeGrip() const { return sizeGrip_; }
    // The list is shown under its editor.
    bool DroppedDown() const { return isVisible(); }
    // The user resized the list since it was dropped down.
    bool UserResized() const { return userResized_; }
    void ClearUserResized() { userResized_ = false; }

    void KeyValueChanged() override;
    // A key the editor routes to the list.
    void HandleKey(int key, TShiftState shift);

    // Fired after every key value change while dropped down.
    std::function<void(TPopupDataGridEx&)> OnChange;

protected:
    void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y) override;
    void Resized() override;

private:
    IDropDownHostEx* host_ = nullptr;
    TSizeGripEx* sizeGrip_ = nullptr;
    bool userResized_ = false;
};
