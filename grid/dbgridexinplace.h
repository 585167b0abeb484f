// The grid's in-place editor: one line edit that the grid places over the current cell. It
// carries the column's edit buttons and, by the column's edit style, drops down the pick list,
// the lookup list, a month calendar or a calculator, steps values with up-down buttons, offers
// recently used texts, and routes keys to an open drop-down. What the user typed stays pending
// in the editor (text and, for list columns, a key) until the grid writes it back through
// TCustomDBGridEx::UpdateData.
#pragma once

#include "grid/calculatorex.h"
#include "grid/dbgridex.h"
#include "grid/toolctrlsex.h"

#include "platform/datasource.h"
#include "platform/variant.h"

#include <QLineEdit>
#include <QPointer>
#include <vector>

class TPopupDataGridEx;

// The edit style the editor derives for a column (codes in this order).
enum TEditStyleEx : int {
    esNoneEx = 0, esEllipsisEx = 1, esPickListEx = 2, esDataListEx = 3, esDateCalendarEx = 4,
    esUpDownEx = 5, esDropDownEx = 6
};

class TDBGridInplaceEdit : public QLineEdit, public IDropDownHostEx {
public:
    explicit TDBGridInplaceEdit(TCustomDBGridEx* grid);
    ~TDBGridInplaceEdit() override;

    TCustomDBGridEx* Grid() const { return grid_; }
    // The column the editor was last filled for.
    TColumnEx* EditColumn() const { return column_; }
    TEditStyleEx EditStyle() const { return style_; }
    // The style a column gets in a grid (a drop-down style only when the column may be modified).
    static TEditStyleEx EditStyleOf(TCustomDBGridEx& grid, TColumnEx& column);

    // ---- Drop-downs
    QWidget* ActiveList() const { return activeList_; }
    bool ListVisible() const { return listVisible_; }
    TPopupListboxEx* PickListbox() const { return pickList_; }
    TPopupMonthCalendarEx* Calendar() const { return calendar_; }
    TPopupCalculatorEx* Calculator() const { return calculator_; }
    TPopupDataGridEx* DataList() const { return dataList_; }
    TMRUListboxEx* MRUListbox() const { return mruListbox_; }
    bool MRUListVisible() const { return mruVisible_; }
    // The default button (null for a column without one) and every button in order.
    TEditButtonControlEx* DefaultButton() const { return buttons_.empty() ? nullptr : buttons_.front(); }
    const std::vector<TEditButtonControlEx*>& ButtonControls() const { return buttons_; }
    int ButtonsWidth() const;

    // ---- Pending value
    // The value typed, under the column's edit mask.
    QString Text() const;
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    // A key chosen or located for a list column (valid while KeyPending).
    const Variant& EditKey() const { return editKey_; }
    bool KeyPending() const { return keyPending_; }

    // ---- Called by the grid
    // Fills the editor for the grid's current cell.
    virtual void UpdateContents();
    // Places the editor over a cell (viewport pixels).
    void Place(const TRect& cellRect);
    void Deselect() { deselect(); }

    // ---- Operations
    virtual void DropDown();
    void CloseUp(bool accept) override;
    virtual void ButtonDown(bool topButton);
    // Completes typed text; true when it consumed the text.
    virtual bool AutoComplete(const QString& typed);
    virtual void EditButtonClick(int index);
    virtual bool FilterMRUItem(const QString& item) const;
    virtual void PrepareMRUList();
    virtual void MarkTextChanged();
    void CloseMRUList(bool accept);

protected:
    virtual TEditButtonControlEx* CreateEditButtonControl();
    virtual TMRUListboxEx* CreateMRUListBox();
    virtual TPopupCalculatorEx* GetPopupCalculator();
    // Installs the drop-down control of a style (each made once, hidden).
    void SetEditStyle(TEditStyleEx style);
    void LayoutButtons();
    // The field value as the editor starts with it.
    QString EditTextOf(TColumnEx& column) const;

    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    // One key of the classic key-down path; true when handled here.
    bool RouteListKey(QKeyEvent* e, int key, TShiftState shift);
    bool EditorKeyDown(int key, TShiftState shift);
    bool ForwardToGrid(int key, TShiftState shift);
    bool CharInput(QChar ch);
    void SyncTextWithList();
    void StepValue(bool topButton);
    void ClearListValue();
    void ResolveTypedKey();
    void SetPendingText(const QString& text, bool selectRest, int keepLength);
    Variant LocateLookupKey(const QString& text, bool partial, QString* found) const;
    bool CanModifyColumn(bool tryEdit) const;
    bool IsListStyle() const { return style_ == esPickListEx || style_ == esDataListEx || style_ == esDateCalendarEx; }
    bool IsKeyPickColumn() const;
    void ShowMRUList();
    bool PasteIntoList();
    void FireNotInList(const QString& text, bool& recheck);

    TCustomDBGridEx* grid_;
    TColumnEx* column_ = nullptr;
    TEditStyleEx style_ = esNoneEx;
    QWidget* activeList_ = nullptr;
    TPopupListboxEx* pickList_ = nullptr;
    TPopupMonthCalendarEx* calendar_ = nullptr;
    TPopupCalculatorEx* calculator_ = nullptr;
    TPopupDataGridEx* dataList_ = nullptr;
    TDataSource lookupSource_;
    TMRUListboxEx* mruListbox_ = nullptr;
    TMRUListEx* mruList_ = nullptr;
    std::vector<TEditButtonControlEx*> buttons_;
    bool listVisible_ = false;
    bool mruVisible_ = false;
    bool droppedByButton_ = false;
    bool pickResized_ = false;
    bool cellReadOnly_ = false;
    bool modified_ = false;
    bool keyPending_ = false;
    bool settingText_ = false;
    // The classic edit mask the editor was filled with.
    QString editMask_;
    Variant editKey_ = Variant::Null();
    TColor background_ = clWindow;
};
