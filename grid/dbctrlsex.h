// The data-aware single-line edit: shows and edits one field through a data source, or keeps
// a value of its own when bound to nothing; carries edit buttons, an image, a flat border and a
// drop-down list of recently used texts.
#pragma once

#include "grid/toolctrlsex.h"

#include "platform/datasource.h"

#include "platform/exceptions.h"
#include "platform/text.h"

#include <QLineEdit>
#include <functional>
#include <memory>
#include <vector>

class QMenu;
class TCustomDBEditEx;

// Text that does not fill the edit mask.
class EDBEditError : public Exception {
public:
    using Exception::Exception;
};

// The edit's link to its data.
class TFieldDataLinkEx : public TDataLink {
public:
    TFieldDataLinkEx();

    const QString& FieldName() const { return fieldName_; }
    void SetFieldName(const QString& name);
    // The first field found for the name (null when unbound or missing).
    TField* Field() const { return fields_.empty() ? nullptr : fields_.front(); }
    const std::vector<TField*>& Fields() const { return fields_; }

    bool DataIndependent() const { return dataIndependent_; }
    // Recomputes the flag; true when it changed (the value is then reset to Null).
    bool UpdateDataIndependent();
    const Variant& Value() const { return value_; }
    void SetValue(const Variant& v) { value_ = v; }

    bool Modified() const { return modified_; }
    void Modified(bool m) { modified_ = m; }
    void SetModified() { modified_ = true; }
    bool EditingData() const { return dataIndependent_ ? editing_ : Editing(); }
    bool CanModify() const;

    // Starts an edit: the dataset enters edit state, or a data-independent edit begins.
    bool EditData();
    // Shows the data again and forgets the change.
    void Reset();

    std::function<void()> OnDataChange;
    std::function<void()> OnEditingChange;
    std::function<void()> OnUpdateData;
    std::function<void()> OnActiveChange;

    // The write-back step.
    void UpdateData() override;

protected:
    void ActiveChanged() override;
    void EditingChanged() override;
    void LayoutChanged() override;
    void RecordChanged(TField* field) override;

private:
    void UpdateFields();

    QString fieldName_;
    std::vector<TField*> fields_;
    bool editing_ = false;
    bool modified_ = false;
    bool dataIndependent_ = true;
    Variant value_ = Variant::Null();
};

// The image shown at the edit's left.
struct TEditImageEx {
    int ImageIndex = 0;
    const TImageList* Images = nullptr;
    bool UseImageHeight = true;
    bool Visible = false;
    int Width = 0;
};

// What a grid that holds an edit in place offers it: keys go to it first (a key it clears to 0
// goes no further).
class IInplaceEditHolderEx {
public:
    virtual ~IInplaceEditHolderEx() = default;
    virtual void InplaceEditKeyDown(int& key, TShiftState shift) = 0;
    virtual void InplaceEditKeyPress(QChar& key) = 0;
    virtual void InplaceEditKeyUp(int& key, TShiftState shift) = 0;
    virtual bool InplaceEditCanModify() = 0;
    virtual bool InplaceEditWantTabs() = 0;
};

using TUpdateDataEventEx = std::function<void(TCustomDBEditEx& sender, bool& handled)>;

// A classic edit mask ("mask;save literals;blank") in the form QLineEdit takes; "/" and ":" in
// it stand for the date and time separators of the settings. Empty stays empty.
QString ConvertEditMask(const QString& mask, const TFormatSettings& fs = FormatSettings());
// The value an edit under the classic mask holds: with a mask that does not save its literals
// ("000-000;0;_") the characters typed, without the literals; otherwise the edit's text.
QString EditMaskValue(const QString& mask, const QLineEdit& edit);
// The settings a field's texts are read and written with.
const TFormatSettings& FieldFormatSettings(const TField* field);

class TCustomDBEditEx : public QLineEdit, public IEditButtonsOwnerEx, public IDropDownHostEx {
public:
    explicit TCustomDBEditEx(QWidget* parent = nullptr);
    ~TCustomDBEditEx() override;

    // ---- Binding
    TDataSource* DataSource() const { return dataLink_.DataSource(); }
    void SetDataSource(TDataSource* source);
    QString DataField() const { return dataLink_.FieldName(); }
    void SetDataField(const QString& name);
    TField* Field() const { return dataLink_.Field(); }
    TFieldDataLinkEx& DataLink() { return dataLink_; }
    bool DataIndependent() const { return dataLink_.DataIndependent(); }

    // ---- Value
    // The value under the edit mask (without the literals of a mask that does not save them).
    QString Text() const { return EditMaskValue(EditMask(), *this); }
    // Writes the text; when bound the dataset is put into edit state first, then the text is
    // committed (OnUpdateData, then the field or the own value).
    void SetText(const QString& text);
    Variant Value() const { return GetEditValue(); }
    void SetValue(const Variant& value);
    bool Modified() const { return dataLink_.Modified(); }

    // ---- Look
    bool Flat() const { return flat_; }
    void SetFlat(bool f);
    bool AlwaysShowBorder() const { return alwaysShowBorder_; }
    void SetAlwaysShowBorder(bool a);
    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool c);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool a);
    TAlignment Alignment() const;
    void SetAlignment(TAlignment a);
    QString EditMask() const;
    void SetEditMask(const QString& mask);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n);
    QChar PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(QChar c);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool r);
    bool WantTabs() const { return wantTabs_; }
    void SetWantTabs(bool w) { wantTabs_ = w; }
    bool WantReturns() const { return wantReturns_; }
    void SetWantReturns(bool w) { wantReturns_ = w; }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool w) { wordWrap_ = w; }
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool a) { autoSelect_ = a; }
    // The frame is drawn (focused, under the mouse, or always).
    bool BorderShown() const;

    // ---- Buttons, image, recent texts
    TEditButtonEx& EditButton() { return *editButton_; }
    TEditButtonsEx& EditButtons() { return editButtons_; }
    TEditImageEx& EditImage() { return editImage_; }
    void EditImageChanged();
    TMRUListEx& MRUList() { return mruList_; }
    TMRUListboxEx* MRUListbox() const { return mruListbox_; }
    bool ListVisible() const { return listVisible_; }
    // The button controls: the main button first, then one per EditButtons item.
    const std::vector<TEditButtonControlEx*>& ButtonControls() const { return buttonControls_; }
    // The rectangle of the text (client coordinates).
    QRect EditRect() const;
    int ButtonsWidth() const;

    // ---- In-place use
    void SetInplaceEditHolder(QObject* holder);
    IInplaceEditHolderEx* InplaceEditHolder() const { return holder_; }

    // ---- Events
    TUpdateDataEventEx OnUpdateData;
    TButtonClickEventEx OnButtonClick;
    TButtonDownEventEx OnButtonDown;

    // ---- Operations
    void CommitText();
    // Raises EDBEditError when the user changed the text and it does not fill the edit mask.
    void ValidateEdit();
    // The right-click menu; its undo, redo, cut, paste and delete start an edit before acting.
    // The caller owns it.
    QMenu* CreateEditContextMenu();
    virtual void DropDown();
    void CloseUp(bool accept) override;
    void EditButtonsChanged() override;
    // Shows the data of the link again.
    virtual void DataChanged();

protected:
    virtual Variant GetEditValue() const { return Variant(Text()); }
    virtual bool FilterMRUItem(const QString& item) const;
    virtual void UpdateFieldData();
    virtual void InternalSetText(const QString& text);
    void UpdateReadOnly();
    void UpdateHeight();
    void ResetMaxLength();
    void CheckMRUDropDown();
    void StoreMRUListboxSize();
    void LayoutButtons();
    bool ButtonsEnabled() const;

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    int FrameWidth() const;
    int ImageAreaWidth() const;
    int ButtonWidthOf(const TEditButtonEx& b) const;
    bool InButtonOrImageArea(const QPoint& p) const;
    void ButtonDown(TEditButtonControlEx& control, TEditButtonEx& button, bool top, bool& autoRepeat);
    void ButtonClick(TEditButtonEx& button);
    bool WorkShortCut(TShortCut sc);
    void UserTextChanged();
    // The link's edit step, keeping the caret and selection that showing the record resets.
    bool StartEdit();
    void ApplyMaxLength();
    void UpdateBorderState();
    void LinkUpdateData();
    bool FireUpdateData();

    TFieldDataLinkEx dataLink_;
    std::unique_ptr<TEditButtonEx> editButton_;
    TEditButtonsEx editButtons_;
    TEditImageEx editImage_;
    TMRUListEx mruList_;
    std::vector<TEditButtonControlEx*> buttonControls_;
    TMRUListboxEx* mruListbox_ = nullptr;
    int mruListWidth_ = 0;
    IInplaceEditHolderEx* holder_ = nullptr;

    bool flat_ = false;
    bool alwaysShowBorder_ = false;
    bool ctl3D_ = true;
    bool autoSize_ = true;
    bool alignmentStored_ = false;
    TAlignment alignment_ = taLeftJustify;
    bool editMaskStored_ = false;
    QString editMask_;
    int maxLength_ = 0;
    QChar passwordChar_;
    bool readOnly_ = false;
    bool wantTabs_ = false;
    bool wantReturns_ = false;
    bool wordWrap_ = false;
    bool autoSelect_ = true;
    bool mouseInside_ = false;
    bool borderShown_ = false;
    bool inCommit_ = false;
    bool listVisible_ = false;
    bool droppedByButton_ = false;
    bool settingText_ = false;
    bool focusByMouse_ = false;
    bool keepTextOnFocusIn_ = false;
};

class TDBEditEx : public TCustomDBEditEx {
public:
    explicit TDBEditEx(QWidget* parent = nullptr) : TCustomDBEditEx(parent) {}
};
