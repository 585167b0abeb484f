// Grid columns and their titles. A column shows one dataset field; every property it has not
// been given (its "assigned" bit is clear) follows a default: the grid's fonts and colours, the
// grid-wide column defaults, or the field's own attributes. The column also turns a field's
// value into text, an image index or a check-box state, writes edits back, and keeps the sort
// marker of its title.
//
// Columns live in a TDBGridColumnsEx owned by the grid (IDBGridEx, grid/dbgridextypes.h). The
// grid adds user-defined columns with Add() and the columns it derives from the dataset with
// AddDefault(); it runs its own layout when the collection reports a change of everything, and
// Update() below handles a change of a single column (width, visibility) itself.
#pragma once

#include "grid/dbgridextypes.h"
#include "grid/dbgridexdataservice.h"
#include "grid/dbgridexfooters.h"
#include "grid/gridlink.h"
#include "grid/toolctrlsex.h"

#include "platform/collection.h"
#include "platform/dataset.h"
#include "platform/datasource.h"
#include "platform/graphics.h"
#include "platform/stringlist.h"
#include "platform/types.h"
#include "platform/variant.h"

#include <QMenu>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TColumnEx;
class TDBGridColumnsEx;
class TImageList;

// ---- Column lists -------------------------------------------------------------------------------

// A list of columns someone else owns (visible columns, sort-marked columns, selected columns).
class TColumnsExList {
public:
    TColumnsExList() = default;
    virtual ~TColumnsExList() = default;
    TColumnsExList(const TColumnsExList&) = default;
    TColumnsExList& operator=(const TColumnsExList&) = default;

    int Count() const { return int(items_.size()); }
    TColumnEx* Items(int index) const { return items_.at(std::size_t(index)); }
    TColumnEx* operator[](int index) const { return Items(index); }
    int IndexOf(const TColumnEx* column) const;
    int Add(TColumnEx* column);
    void Insert(int index, TColumnEx* column);
    void Delete(int index);
    // Removes the column when present; returns its former index or -1.
    int Remove(const TColumnEx* column);
    void Exchange(int a, int b);
    virtual void Clear() { items_.clear(); }
    const std::vector<TColumnEx*>& List() const { return items_; }

protected:
    std::vector<TColumnEx*> items_;
};

// ---- Grid-wide defaults ---------------------------------------------------------------------

class TColumnDefValuesEx;

// Defaults of column titles.
class TColumnTitleDefValuesEx {
public:
    explicit TColumnTitleDefValuesEx(TColumnDefValuesEx* owner) : owner_(owner) {}
    TColumnTitleDefValuesEx(const TColumnTitleDefValuesEx&) = delete;
    TColumnTitleDefValuesEx& operator=(const TColumnTitleDefValuesEx&) = delete;

    IDBGridEx* Grid() const;
    void Assign(const TColumnTitleDefValuesEx& source);

    // Centred on a grid with multi-level titles, else left; the grid's FixedColor.
    TAlignment Alignment() const;
    void SetAlignment(TAlignment value);
    TColor Color() const;
    void SetColor(TColor value);
    bool AlignmentAssigned() const { return alignmentAssigned_; }
    bool ColorAssigned() const { return colorAssigned_; }
    TAlignment DefaultAlignment() const;
    TColor DefaultColor() const;

    bool EndEllipsis() const { return endEllipsis_; }
    void SetEndEllipsis(bool value);
    TTextOrientationEx Orientation() const { return orientation_; }
    void SetOrientation(TTextOrientationEx value);
    bool TitleButton() const { return titleButton_; }
    void SetTitleButton(bool value) { titleButton_ = value; }
    bool ToolTips() const { return toolTips_; }
    void SetToolTips(bool value) { toolTips_ = value; }

private:
    TColumnDefValuesEx* owner_;
    TAlignment alignment_ = taLeftJustify;
    TColor color_ = clBtnFace;
    bool alignmentAssigned_ = false;
    bool colorAssigned_ = false;
    bool endEllipsis_ = false;
    TTextOrientationEx orientation_ = tohHorizontal;
    bool titleButton_ = false;
    bool toolTips_ = false;
};

class TColumnDefValuesEx {
public:
    explicit TColumnDefValuesEx(IDBGridEx* grid) : grid_(grid), title_(this) {}
    virtual ~TColumnDefValuesEx() = default;
    TColumnDefValuesEx(const TColumnDefValuesEx&) = delete;
    TColumnDefValuesEx& operator=(const TColumnDefValuesEx&) = delete;

    IDBGridEx* Grid() const { return grid_; }
    TColumnTitleDefValuesEx& Title() { return title_; }
    const TColumnTitleDefValuesEx& Title() const { return title_; }
    virtual void Assign(const TColumnDefValuesEx& source) { title_.Assign(source.title_); }

private:
    IDBGridEx* grid_;
    TColumnTitleDefValuesEx title_;
};

// The grid's column defaults (all False at first).
class TDBGridExColumnDefValuesEx : public TColumnDefValuesEx {
public:
    using TColumnDefValuesEx::TColumnDefValuesEx;
    void Assign(const TColumnDefValuesEx& source) override;

    bool AlwaysShowEditButton() const { return alwaysShowEditButton_; }
    void SetAlwaysShowEditButton(bool value);
    bool AutoDropDown() const { return autoDropDown_; }
    void SetAutoDropDown(bool value) { autoDropDown_ = value; }
    bool DblClickNextVal() const { return dblClickNextVal_; }
    void SetDblClickNextVal(bool value) { dblClickNextVal_ = value; }
    bool DropDownShowTitles() const { return dropDownShowTitles_; }
    void SetDropDownShowTitles(bool value) { dropDownShowTitles_ = value; }
    bool DropDownSizing() const { return dropDownSizing_; }
    void SetDropDownSizing(bool value) { dropDownSizing_ = value; }
    bool EndEllipsis() const { return endEllipsis_; }
    void SetEndEllipsis(bool value);
    bool ToolTips() const { return toolTips_; }
    void SetToolTips(bool value) { toolTips_ = value; }

private:
    bool alwaysShowEditButton_ = false;
    bool autoDropDown_ = false;
    bool dblClickNextVal_ = false;
    bool dropDownShowTitles_ = false;
    bool dropDownSizing_ = false;
    bool endEllipsis_ = false;
    bool toolTips_ = false;
};

// ---- Drop-down list settings of a lookup column -------------------------------------------------

class TColumnDropDownBoxEx {
public:
    explicit TColumnDropDownBoxEx(TColumnEx* column) : column_(column) {}
    TColumnDropDownBoxEx(const TColumnDropDownBoxEx&) = delete;
    TColumnDropDownBoxEx& operator=(const TColumnDropDownBoxEx&) = delete;

    TColumnEx* Column() const { return column_; }
    void Assign(const TColumnDropDownBoxEx& source);

    bool AutoFitColWidths() const { return autoFitColWidths_; }
    void SetAutoFitColWidths(bool value) { autoFitColWidths_ = value; }
    TDataSource* ListSource() const { return listSource_; }
    void SetListSource(TDataSource* value) { listSource_ = value; }
    TDBLookupGridExOptions Options() const { return options_; }
    void SetOptions(TDBLookupGridExOptions value) { options_ = value; }
    bool UseMultiTitle() const { return useMultiTitle_; }
    void SetUseMultiTitle(bool value) { useMultiTitle_ = value; }

private:
    TColumnEx* column_;
    bool autoFitColWidths_ = true;
    TDataSource* listSource_ = nullptr;
    TDBLookupGridExOptions options_{dlgColLinesEx};
    bool useMultiTitle_ = false;
};

// ---- Cell parameters ----------------------------------------------------------------------------

// What one data cell shows; filled by FillCellParams and open to OnGetCellParams.
struct TColCellParamsEx {
    int Col = 0;          // grid cell
    int Row = 0;
    TColor Background = clWindow;
    TFont Font;
    TAlignment Alignment = taLeftJustify;
    int ImageIndex = -1;
    QString Text;
    TCheckBoxState CheckboxState = cbUnchecked;
    bool ReadOnly = false;
};

// ---- Titles -------------------------------------------------------------------------------------

// Bits of a column's assigned-values set (the title's live in the same set).
enum TColumnExValue : std::uint8_t {
    cvColor, cvWidth, cvFont, cvAlignment, cvReadOnly, cvTitleColor, cvTitleCaption,
    cvTitleAlignment, cvTitleFont, cvTitleButton, cvTitleEndEllipsis, cvTitleToolTips,
    cvTitleOrientation, cvImeMode, cvImeName, cvWordWrap, cvLookupDisplayFields, cvCheckboxes,
    cvAlwaysShowEditButton, cvEndEllipsis, cvAutoDropDown, cvDblClickNextVal, cvToolTips,
    cvDropDownSizing, cvDropDownShowTitles
};
using TColumnExValues = TEnumSet<TColumnExValue>;

class TColumnTitleEx {
public:
    explicit TColumnTitleEx(TColumnEx* column);
    virtual ~TColumnTitleEx();
    TColumnTitleEx(const TColumnTitleEx&) = delete;
    TColumnTitleEx& operator=(const TColumnTitleEx&) = delete;

    TColumnEx* Column() const { return column_; }
    IDBGridEx* Grid() const;
    virtual void Assign(const TColumnTitleEx& source);
    // Clears the title's assigned bits and takes the default font again.
    virtual void RestoreDefaults();

    QString Caption() const;
    virtual void SetCaption(const QString& value);
    TAlignment Alignment() const;
    void SetAlignment(TAlignment value);
    TColor Color() const;
    void SetColor(TColor value);
    const TFont& Font() const;
    TFont& Font();
    void SetFont(const TFont& value);
    bool EndEllipsis() const;
    void SetEndEllipsis(bool value);
    bool TitleButton() const;
    void SetTitleButton(bool value);
    bool ToolTips() const;
    void SetToolTips(bool value);
    TTextOrientationEx Orientation() const;
    void SetOrientation(TTextOrientationEx value);
    const QString& Hint() const { return hint_; }
    void SetHint(const QString& value) { hint_ = value; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value);

    // Sort marking: SortIndex counts from 1 among the sort-marked columns (0: not sorted).
    int SortIndex() const { return sortIndex_; }
    void SetSortIndex(int value);
    TSortMarkerEx SortMarker() const { return sortMarker_; }
    void SetSortMarker(TSortMarkerEx value);
    // A title click: none -> down -> up -> none (with keepOthers) or down again; without
    // keepOthers every other column's marker is cleared first.
    void CycleSortMarker(bool keepOthers);
    // Pixels kept free at the title's right for the sort glyph (and its number).
    int SortMarkingWidth() const;

    QString DefaultCaption() const;
    TAlignment DefaultAlignment() const;
    TColor DefaultColor() const;
    const TFont& DefaultFont() const;
    bool DefaultEndEllipsis() const;
    bool DefaultTitleButton() const;
    bool DefaultToolTips() const;
    TTextOrientationEx DefaultOrientation() const;

private:
    friend class TColumnEx;
    friend class TDBGridColumnsEx;
    void FontChanged();
    bool Assigned(TColumnExValue v) const;
    void Assign(TColumnExValue v);
    void Changed();
    bool InColumnsUpdate() const;

    TColumnEx* column_;
    QString caption_;
    TAlignment alignment_ = taLeftJustify;
    TColor color_ = clBtnFace;
    mutable TFont font_;
    bool endEllipsis_ = false;
    bool titleButton_ = false;
    bool toolTips_ = false;
    TTextOrientationEx orientation_ = tohHorizontal;
    QString hint_;
    int imageIndex_ = -1;
    int sortIndex_ = 0;
    TSortMarkerEx sortMarker_ = smNoneEx;
};

// ---- Columns ------------------------------------------------------------------------------------

class TColumnEx : public TCollectionItem, public IEditButtonsOwnerEx {
public:
    using TNotifyEvent = std::function<void(TColumnEx& sender)>;
    using TGetCellParamsEvent = std::function<void(TColumnEx& sender, bool editMode, TColCellParamsEx& params)>;
    using TButtonClickEvent = std::function<void(TColumnEx& sender, bool& handled)>;
    using TButtonDownEvent = std::function<void(TColumnEx& sender, bool topButton, bool& autoRepeat, bool& handled)>;
    using TNotInListEvent = std::function<void(TColumnEx& sender, const Variant& newValue, bool& recheckInList)>;
    using TUpdateDataEvent = std::function<void(TColumnEx& sender, QString& text, Variant& value,
                                                bool& useText, bool& handled)>;

    // A column of columns (or, without one, a free-standing column).
    explicit TColumnEx(TDBGridColumnsEx* columns = nullptr);
    ~TColumnEx() override;

    // Makes the title, footers, filter and edit buttons through the create slots. The
    // constructor calls it (reaching this class's slots); a subclass whose slots make other
    // parts calls it again from its own constructor.
    void CreateParts();

    TDBGridColumnsEx* Columns() const { return columns_; }
    // The grid of the collection; null for a free-standing column.
    IDBGridEx* Grid() const;

    void Assign(const TCollectionItem& source) override;
    QString DisplayName() const override;
    void SetIndex(int index) override;
    // Reports a change of this column (allItems: of all columns) to the collection.
    void Changed(bool allItems = false) { TCollectionItem::Changed(allItems); }
    virtual void ChangedAndNotify() { Changed(false); }
    void EditButtonsChanged() override { Changed(false); }

    // False for a column the grid generated from the dataset's fields.
    bool UserDefined() const { return userDefined_; }
    void SetUserDefined(bool value) { userDefined_ = value; }
    virtual bool IsDefaultColumn() const { return !userDefined_; }

    TColumnExValues AssignedValues() const { return assigned_; }
    bool IsAssigned(TColumnExValue v) const { return assigned_.Contains(v); }
    // Forgets every assigned value (the title's too), the pick and key lists and the button style.
    virtual void RestoreDefaults();

    // ---- Field binding
    // The bound field, looked up by FieldName when none is bound yet.
    TField* Field() const;
    virtual void SetField(TField* value);
    const QString& FieldName() const { return fieldName_; }
    void SetFieldName(const QString& value);
    // Drops the cached field so that the next read looks it up again.
    void ClearFieldCache() { field_ = nullptr; }

    // ---- Properties with defaults
    TAlignment Alignment() const;
    virtual void SetAlignment(TAlignment value);
    TColor Color() const;
    void SetColor(TColor value);
    const TFont& Font() const;
    TFont& Font();
    void SetFont(const TFont& value);
    bool ReadOnly() const;
    virtual void SetReadOnly(bool value);
    int Width() const;
    virtual void SetWidth(int value);
    bool WordWrap() const;
    virtual void SetWordWrap(bool value);
    bool Checkboxes() const;
    void SetCheckboxes(bool value);
    QString LookupDisplayFields() const;
    virtual void SetLookupDisplayFields(const QString& value);
    TImeMode ImeMode() const;
    virtual void SetImeMode(TImeMode value);
    QString ImeName() const;
    virtual void SetImeName(const QString& value);
    bool AlwaysShowEditButton() const;
    void SetAlwaysShowEditButton(bool value);
    bool AutoDropDown() const;
    void SetAutoDropDown(bool value);
    bool DblClickNextVal() const;
    void SetDblClickNextVal(bool value);
    bool DropDownShowTitles() const;
    void SetDropDownShowTitles(bool value);
    bool DropDownSizing() const;
    void SetDropDownSizing(bool value);
    bool EndEllipsis() const;
    void SetEndEllipsis(bool value);
    bool ToolTips() const;
    void SetToolTips(bool value);

    TAlignment DefaultAlignment() const;
    TColor DefaultColor() const;
    const TFont& DefaultFont() const;
    bool DefaultReadOnly() const;
    int DefaultWidth() const;
    bool DefaultWordWrap() const;
    bool DefaultCheckboxes() const;
    QString DefaultLookupDisplayFields() const;
    // The stored-value test of a window layout: assigned and different from the default (fonts:
    // assigned).
    bool IsStored(TColumnExValue v) const;

    // ---- Plain properties
    bool AutoFitColWidth() const { return autoFitColWidth_; }
    virtual void SetAutoFitColWidth(bool value);
    // The width auto-fit shares proportionally.
    int AutoFitColWidthBase() const { return autoFitBase_; }
    void SetAutoFitColWidthBase(int value) { autoFitBase_ = value; }
    // A width read back from a stored layout: the auto-fit base on a grid that fits its
    // columns to its width, the Width otherwise.
    void RestoreStoredWidth(int value);
    TColumnButtonStyleEx ButtonStyle() const { return buttonStyle_; }
    void SetButtonStyle(TColumnButtonStyleEx value);
    const QString& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const QString& value);
    int DropDownRows() const { return dropDownRows_; }
    void SetDropDownRows(int value) { dropDownRows_ = value < 0 ? 0 : value; }
    int DropDownWidth() const { return dropDownWidth_; }
    void SetDropDownWidth(int value) { dropDownWidth_ = value; }
    const QString& EditMask() const { return editMask_; }
    void SetEditMask(const QString& value) { editMask_ = value; }
    TImageList* ImageList() const { return imageList_; }
    void SetImageList(TImageList* value);
    double Increment() const { return increment_; }
    void SetIncrement(double value) { increment_ = value; }
    int MaxWidth() const { return maxWidth_; }
    void SetMaxWidth(int value);
    int MinWidth() const { return minWidth_; }
    void SetMinWidth(int value);
    // MinWidth when it is set and larger than width, else MaxWidth when set and smaller.
    int LimitWidth(int width) const;
    int NotInKeyListIndex() const { return notInKeyListIndex_; }
    void SetNotInKeyListIndex(int value);
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* value) { popupMenu_ = value; }
    int Tag() const { return tag_; }
    void SetTag(int value) { tag_ = value; }
    bool Visible() const { return visible_; }
    void SetVisible(bool value);

    // Created on first use; HasPickList/HasKeyList tell whether they exist with lines.
    TStringList& PickList();
    TStringList& KeyList();
    const TStringList* PickListPtr() const { return pickList_.get(); }
    const TStringList* KeyListPtr() const { return keyList_.get(); }
    bool HasPickList() const { return pickList_ && pickList_->Count() > 0; }
    bool HasKeyList() const { return keyList_ && keyList_->Count() > 0; }

    // ---- Owned parts
    TColumnTitleEx& Title() const { return *title_; }
    TColumnFooterEx& Footer() const { return *footer_; }
    TColumnFootersEx& Footers() const { return *footers_; }
    // Scales the fonts this column holds itself (its own, its title's, its footers') by m/d;
    // fonts that follow the grid's are left to follow.
    void ScaleOwnFonts(int m, int d);
    TSTColumnFilterEx& STFilter() const { return *stFilter_; }
    TEditButtonsEx& EditButtons() const { return *editButtons_; }
    TColumnDropDownBoxEx& DropDownBox() { return dropDownBox_; }
    TMRUListEx& MRUList() { return mruList_; }
    // Footer row index (from 0): the Footers item when there is one, else the single Footer.
    TColumnFooterEx& GetFooterByIndex(int index) const;
    // Registers the aggregate of the Footer and of every Footers item again.
    void EnsureSumValues();

    // ---- Values
    TColumnTypeEx GetColumnType() const;
    // The cell's text for the current record.
    QString DisplayText() const;
    // Kind 4 only: the key's line in KeyList, NotInKeyListIndex when absent; -1 otherwise.
    int GetImageIndex() const;
    TCheckBoxState CheckboxState() const;
    void SetCheckboxState(TCheckBoxState value);
    // Writes an edit back into the field (OnUpdateData may take it over).
    void UpdateData(const QString& text, const Variant& value, bool useText);
    // Whether the field can be changed from the grid; with tryEdit the dataset is put into edit
    // state and the link marked modified.
    bool CanModify(bool tryEdit);
    // Steps the value: to the next key, pick-list line, lookup record, check state or number
    // (step 1 forward, anything else backward; numbers add step).
    void SetNextFieldValue(double step);
    void FillCellParams(TColCellParamsEx& params) const;

    // ---- Events
    TGetCellParamsEvent OnGetCellParams;
    TButtonClickEvent OnEditButtonClick;
    TButtonDownEvent OnEditButtonDown;
    TNotInListEvent OnNotInList;
    TUpdateDataEvent OnUpdateData;

protected:
    virtual std::unique_ptr<TEditButtonsEx> CreateEditButtons();
    virtual std::unique_ptr<TColumnFooterEx> CreateFooter();
    virtual std::unique_ptr<TColumnFootersEx> CreateFooters();
    virtual std::unique_ptr<TSTColumnFilterEx> CreateSTFilter();
    virtual std::unique_ptr<TColumnTitleEx> CreateTitle();
    virtual void DoGetCellParams(TColCellParamsEx& params) const;

private:
    friend class TColumnTitleEx;
    friend class TDBGridColumnsEx;

    void FontChanged();
    void AssignBit(TColumnExValue v) { assigned_.Include(v); }
    TGridDataLinkEx* ActiveLink() const;
    bool DefaultsFromGrid() const { return Grid() != nullptr; }
    void ApplyWidthLimits();
    void StepKeyList(const TStringList& list, bool forward, bool writeAsKey);

    TDBGridColumnsEx* columns_;
    TColumnExValues assigned_;
    mutable TField* field_ = nullptr;
    QString fieldName_;
    bool userDefined_ = true;
    int autoFitBase_ = 0;

    TAlignment alignment_ = taLeftJustify;
    TColor color_ = clWindow;
    mutable TFont font_;
    bool readOnly_ = false;
    int width_ = 0;
    bool wordWrap_ = false;
    bool checkboxes_ = false;
    QString lookupDisplayFields_;
    TImeMode imeMode_ = imDontCare;
    QString imeName_;
    bool alwaysShowEditButton_ = false;
    bool autoDropDown_ = false;
    bool dblClickNextVal_ = false;
    bool dropDownShowTitles_ = false;
    bool dropDownSizing_ = false;
    bool endEllipsis_ = false;
    bool toolTips_ = false;

    bool autoFitColWidth_ = true;
    TColumnButtonStyleEx buttonStyle_ = cbsAuto;
    QString displayFormat_;
    int dropDownRows_ = 7;
    int dropDownWidth_ = 0;
    QString editMask_;
    TImageList* imageList_ = nullptr;
    double increment_ = 1.0;
    int maxWidth_ = 0;
    int minWidth_ = 0;
    int notInKeyListIndex_ = -1;
    QPointer<QMenu> popupMenu_;
    int tag_ = 0;
    bool visible_ = true;
    std::unique_ptr<TStringList> pickList_;
    std::unique_ptr<TStringList> keyList_;

    std::unique_ptr<TColumnTitleEx> title_;
    std::unique_ptr<TColumnFooterEx> footer_;
    std::unique_ptr<TColumnFootersEx> footers_;
    std::unique_ptr<TSTColumnFilterEx> stFilter_;
    std::unique_ptr<TEditButtonsEx> editButtons_;
    TColumnDropDownBoxEx dropDownBox_{this};
    TMRUListEx mruList_;
};

// The published column kind.
class TDBGridColumnEx : public TColumnEx {
public:
    using TColumnEx::TColumnEx;
};

// ---- The collection -----------------------------------------------------------------------------

enum TDBGridColumnsState : std::uint8_t { csDefault, csCustomized };

class TDBGridColumnsEx : public TCollection {
public:
    explicit TDBGridColumnsEx(IDBGridEx* grid) : grid_(grid) {}
    ~TDBGridColumnsEx() override;

    IDBGridEx* Grid() const { return grid_; }
    TColumnEx* Items(int index) const { return static_cast<TColumnEx*>(Item(index)); }
    TColumnEx* operator[](int index) const { return Items(index); }
    // A user-defined column; the grid's layout is locked while it is made.
    TColumnEx* Add();
    // A column the grid derives from the dataset (not user-defined).
    TColumnEx* AddDefault();
    TColumnEx* Insert(int index);

    // Customized when the first column is user-defined.
    TDBGridColumnsState State() const;
    void RestoreDefaults();
    // The first column showing fieldName (case-insensitive); null when none.
    TColumnEx* FindColumnByName(const QString& fieldName) const;

    // The column order as a window layout stores it: "\"A\",\"B\"", and back (names compared
    // case-sensitively; unknown names skipped).
    QString ColumnsIndexText() const;
    void SetColumnsIndexText(const QString& text);

    // Rebuilds the grid's sort-marked list from the columns' SortIndex values.
    void RebuildSortMarkedList();

protected:
    // The column class the grid uses.
    virtual std::unique_ptr<TColumnEx> NewColumn() { return std::make_unique<TDBGridColumnEx>(this); }
    std::unique_ptr<TCollectionItem> CreateItem() override;
    void Update(TCollectionItem* item) override;
    void Notify(TCollectionItem* item, TCollectionNotification action) override;

private:
    TColumnEx* AddColumn(bool userDefined);
    IDBGridEx* grid_;
};

// The value of a field as text through a display format: numbers through FormatFloat, dates and
// times through FormatDateTime; the field's display text when the format is empty.
QString FormatFieldValue(const TField& field, const QString& displayFormat);
// Splits a ';'-separated list of key-list entries.
QStringList SplitKeyListEntries(const QString& line);
