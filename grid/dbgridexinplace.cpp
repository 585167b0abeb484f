#include "grid/dbgridexinplace.h"

#include "grid/dbctrlsex.h"
#include "grid/dbgridexfilterrow.h"
#include "grid/dblookupgridsex.h"

#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/datetime.h"
#include "platform/frames.h"
#include "platform/text.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTableView>
#include <algorithm>

namespace {

constexpr int kCtrlQuote = 222;

bool IsDateField(const TField* f)
{
    return f && (f->DataType() == ftDate || f->DataType() == ftDateTime);
}

bool IsPrintable(QChar ch) { return ch.unicode() >= 32 && ch.unicode() != 127; }

QChar CharOf(const QKeyEvent* e)
{
    const QString t = e->text();
    return t.size() == 1 ? t.at(0) : QChar();
}

// A list column takes only what its list holds: the text stays in the editor to be corrected.
[[noreturn]] void RefuseNotInList(const QString& text)
{
    throw EDatabaseError(
        QStringLiteral("Значения «%1» нет в списке. Нажмите Esc, чтобы отменить изменения.").arg(text));
}

// The first line of list starting with text (case-insensitive), or -1.
int LocateInStrings(const TStringList& list, const QString& text)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.Strings(i).startsWith(text, Qt::CaseInsensitive))
            return i;
    return -1;
}

} // namespace

// ---- Construction -------------------------------------------------------------------------------

TDBGridInplaceEdit::TDBGridInplaceEdit(TCustomDBGridEx* grid) : QLineEdit(grid->viewport()), grid_(grid)
{
    setFrame(false);
    setMouseTracking(true);
    hide();
    grid_->viewport()->installEventFilter(this);
    connect(this, &QLineEdit::textEdited, this, MakeGuarded([this] { MarkTextChanged(); }));
}

TDBGridInplaceEdit::~TDBGridInplaceEdit()
{
    // The drop-downs are top-level windows: they go with the editor.
    delete pickList_;
    delete calendar_;
    delete calculator_;
    delete dataList_;
    delete mruListbox_;
}

TEditStyleEx TDBGridInplaceEdit::EditStyleOf(TCustomDBGridEx& grid, TColumnEx& column)
{
    TEditStyleEx style = esNoneEx;
    TField* field = column.Field();
    switch (column.ButtonStyle()) {
    case cbsEllipsis: style = esEllipsisEx; break;
    case cbsUpDown: style = esUpDownEx; break;
    case cbsDropDown: style = esDropDownEx; break;
    case cbsNone: style = esNoneEx; break;
    case cbsAuto:
        if (field && field->Lookup()) {
            TGridDataLinkEx& link = grid.DataLink();
            const QStringList keys = field->KeyFields().split(QLatin1Char(';'), Qt::SkipEmptyParts);
            bool keysModifiable = !keys.isEmpty() && field->DataSet();
            for (const QString& k : keys) {
                const TField* kf = field->DataSet() ? field->DataSet()->FindField(k.trimmed()) : nullptr;
                keysModifiable = keysModifiable && kf && kf->CanModify();
            }
            const bool explicitReadOnly = column.IsAssigned(cvReadOnly) && column.ReadOnly();
            if (keysModifiable && !explicitReadOnly && !grid.ReadOnly() && link.Active() && !link.ReadOnly())
                style = esDataListEx;
        } else if (column.HasPickList() && !column.ReadOnly() && !column.ImageList()) {
            style = esPickListEx;
        } else if (IsDateField(field) && !column.ReadOnly()) {
            style = esDateCalendarEx;
        }
        break;
    }
    // A drop-down never opens on a column that may not be modified.
    if ((style == esPickListEx || style == esDataListEx || style == esDateCalendarEx) && !column.CanModify(false))
        style = esNoneEx;
    return style;
}

bool TDBGridInplaceEdit::IsKeyPickColumn() const
{
    return column_ && column_->GetColumnType() == ctKeyPickList;
}

bool TDBGridInplaceEdit::CanModifyColumn(bool tryEdit) const
{
    return column_ && !cellReadOnly_ && column_->CanModify(tryEdit);
}

// ---- Drop-down controls -------------------------------------------------------------------------

TEditButtonControlEx* TDBGridInplaceEdit::CreateEditButtonControl()
{
    auto* c = new TEditButtonControlEx(this);
    c->setCursor(Qt::ArrowCursor);
    return c;
}

TMRUListboxEx* TDBGridInplaceEdit::CreateMRUListBox()
{
    if (!mruListbox_) {
        mruListbox_ = new TMRUListboxEx(nullptr);
        mruListbox_->SetCtl3D(false);
        mruListbox_->hide();
        mruListbox_->SetHost(nullptr);
        connect(mruListbox_, &QListWidget::itemClicked, this, MakeGuarded([this] { CloseMRUList(true); }));
    }
    return mruListbox_;
}

TPopupCalculatorEx* TDBGridInplaceEdit::GetPopupCalculator()
{
    if (!calculator_) {
        calculator_ = new TPopupCalculatorEx(nullptr);
        calculator_->SetHost(this);
        calculator_->hide();
    }
    return calculator_;
}

void TDBGridInplaceEdit::SetEditStyle(TEditStyleEx style)
{
    style_ = style;
    activeList_ = nullptr;
    TField* field = column_ ? column_->Field() : nullptr;
    switch (style) {
    case esPickListEx:
        if (!pickList_) {
            pickList_ = new TPopupListboxEx(nullptr);
            pickList_->SetHost(this);
            pickList_->hide();
            pickList_->SizeGrip()->OnParentResized = [this] { pickResized_ = true; };
        }
        activeList_ = pickList_;
        break;
    case esDataListEx:
        if (!dataList_) {
            dataList_ = new TPopupDataGridEx(nullptr);
            dataList_->SetHost(this);
            dataList_->hide();
        }
        activeList_ = dataList_;
        break;
    case esDateCalendarEx:
        if (!calendar_) {
            calendar_ = new TPopupMonthCalendarEx(nullptr);
            calendar_->SetHost(this);
            calendar_->setFocusPolicy(Qt::NoFocus);
            calendar_->setAttribute(Qt::WA_ShowWithoutActivating, true);
            calendar_->hide();
        }
        activeList_ = calendar_;
        break;
    case esDropDownEx:
        if (field && field->IsNumeric())
            activeList_ = GetPopupCalculator();
        break;
    default: break;
    }

    // Buttons: the default one by the style, then one per column edit button.
    const bool hasDefault = style != esNoneEx;
    const int extra = column_ ? column_->EditButtons().Count() : 0;
    const std::size_t wanted = std::size_t((hasDefault ? 1 : 0) + extra);
    while (buttons_.size() > wanted) {
        delete buttons_.back();
        buttons_.pop_back();
    }
    while (buttons_.size() < wanted)
        buttons_.push_back(CreateEditButtonControl());
    const bool flat = grid_->Flat();
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        TEditButtonControlEx* c = buttons_[i];
        const bool isDefault = hasDefault && i == 0;
        const int index = int(i) - (hasDefault ? 1 : 0);   // index in the column's EditButtons
        if (isDefault) {
            c->SetStyle(style == esEllipsisEx ? ebsEllipsisEx : style == esUpDownEx ? ebsUpDownEx : ebsDropDownEx);
            c->SetGlyph(TBitmap());
            c->setToolTip(QString());
        } else {
            const TEditButtonEx& b = *column_->EditButtons().GetItem(index);
            c->SetStyle(b.Style());
            c->SetGlyph(b.Glyph());
            c->SetNumGlyphs(b.NumGlyphs());
            c->setToolTip(b.Hint());
        }
        c->SetFlat(flat);
        c->SetActive(true);
        c->SetKeepDown(false);
        c->OnDown = [this, isDefault, index, c](QObject*, bool top, bool& autoRepeat, bool& handled) {
            if (!column_)
                return;
            if (isDefault) {
                autoRepeat = style_ == esUpDownEx;
                if (column_->OnEditButtonDown)
                    column_->OnEditButtonDown(*column_, top, autoRepeat, handled);
                if (!handled)
                    ButtonDown(top);
                return;
            }
            if (index < 0 || index >= column_->EditButtons().Count())
                return;
            TEditButtonEx& b = *column_->EditButtons().GetItem(index);
            if (b.OnDown)
                b.OnDown(c, top, autoRepeat, handled);
            if (!handled && b.DropdownMenu()) {
                // After the press completes, so that the button is drawn up under the menu.
                QPointer<QMenu> menu = b.DropdownMenu();
                QPointer<TEditButtonControlEx> button = c;
                QMetaObject::invokeMethod(
                    this,
                    [menu, button] {
                        if (menu && button)
                            menu->popup(button->mapToGlobal(button->rect().bottomLeft() + QPoint(0, 1)));
                    },
                    Qt::QueuedConnection);
            }
        };
        c->OnClick = [this, isDefault, index](TSpeedButtonEx&) { EditButtonClick(isDefault ? 0 : index + 1); };
    }
    LayoutButtons();
    update();
}

int TDBGridInplaceEdit::ButtonsWidth() const
{
    int w = 0;
    for (const TEditButtonControlEx* c : buttons_)
        if (!c->isHidden() || !isVisible())
            w += c->width() + (grid_->Flat() ? 1 : 0);
    return w;
}

void TDBGridInplaceEdit::LayoutButtons()
{
    const bool hasDefault = style_ != esNoneEx;
    int right = width();
    const int defaultWidth = grid_->Flat() ? DefaultFlatEditButtonWidth() + 1 : GetSystemMetrics(SM_CXVSCROLL);
    int used = 0;
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        TEditButtonControlEx* c = buttons_[i];
        int w = defaultWidth;
        bool visible = true;
        if (!(hasDefault && i == 0)) {
            const TEditButtonEx& b = *column_->EditButtons().GetItem(int(i) - (hasDefault ? 1 : 0));
            visible = b.Visible();
            if (b.Width() > 0)
                w = b.Width();
        }
        if (!visible) {
            c->hide();
            c->resize(0, height());
            continue;
        }
        c->setGeometry(right - w, 0, w, height());
        c->show();
        right -= w + (grid_->Flat() ? 1 : 0);
        used += w + (grid_->Flat() ? 1 : 0);
    }
    setTextMargins(1, 0, used, 0);
}

// ---- Contents -----------------------------------------------------------------------------------

QString TDBGridInplaceEdit::EditTextOf(TColumnEx& column) const
{
    TField* field = column.Field();
    if (!field)
        return QString();
    if (field->IsBlob())
        return grid_->DrawMemoText() ? field->AsString() : QString();
    if (column.HasKeyList()) {
        const int index = column.KeyList().IndexOf(field->Text());
        const TStringList* pick = column.PickListPtr();
        return index >= 0 && pick && index < pick->Count() ? pick->Strings(index) : QString();
    }
    if (field->Lookup())
        return field->DisplayText();
    return field->Text();
}

void TDBGridInplaceEdit::UpdateContents()
{
    CloseUp(false);
    CloseMRUList(false);
    column_ = grid_->SelectedColumn();
    if (!column_)
        return;
    SetEditStyle(EditStyleOf(*grid_, *column_));
    setReadOnly(column_->ReadOnly());

    setFont(column_->Font().ToQFont());
    TColCellParamsEx params;
    params.Col = grid_->Col();
    params.Row = grid_->Row();
    params.Font.Assign(column_->Font());
    params.Background = column_->Color();
    params.Alignment = column_->Alignment();
    params.Text = EditTextOf(*column_);
    params.ReadOnly = !column_->CanModify(false);
    const bool readOnlyBefore = params.ReadOnly;
    TColor bg = params.Background;
    if (grid_->OnGetCellParams)
        grid_->OnGetCellParams(*grid_, *column_, params.Font, bg, gdFocused | gdSelected);
    params.Background = bg;
    if (column_->OnGetCellParams)
        column_->OnGetCellParams(*column_, true, params);
    background_ = params.Background;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, ToQColor(background_));
    pal.setColor(QPalette::Text, ToQColor(params.Font.Color()));
    setPalette(pal);
    cellReadOnly_ = params.ReadOnly != readOnlyBefore && params.ReadOnly;
    if (cellReadOnly_)
        setReadOnly(true);

    TField* field = column_->Field();
    QString mask = column_->EditMask();
    if (mask.isEmpty() && field && !column_->HasKeyList())
        mask = field->EditMask();
    settingText_ = true;
    editMask_ = mask;
    setInputMask(ConvertEditMask(mask, FieldFormatSettings(field)));
    const bool limited = field && !column_->HasKeyList() &&
                         (field->DataType() == ftString || field->DataType() == ftWideString) && field->Size() > 0;
    setMaxLength(limited ? field->Size() : 32767);
    setText(params.Text);
    settingText_ = false;
    mruList_ = &column_->MRUList();
    modified_ = false;
    keyPending_ = false;
    editKey_ = Variant::Null();
    update();
}

QString TDBGridInplaceEdit::Text() const { return EditMaskValue(editMask_, *this); }

void TDBGridInplaceEdit::Place(const TRect& r)
{
    const QRect g(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));
    if (geometry() != g)
        setGeometry(g);
    LayoutButtons();
}

void TDBGridInplaceEdit::SetPendingText(const QString& text, bool selectRest, int keepLength)
{
    settingText_ = true;
    setText(text);
    settingText_ = false;
    if (selectRest)
        setSelection(keepLength, int(text.size()) - keepLength);
    else
        selectAll();
    modified_ = true;
}

// ---- Drop-down ----------------------------------------------------------------------------------

void TDBGridInplaceEdit::DropDown()
{
    if (listVisible_ || !activeList_ || !column_)
        return;
    TField* field = column_->Field();
    int width = column_->DropDownWidth() > 0 ? column_->DropDownWidth() : this->width();
    const int rows = column_->DropDownRows() > 0 ? column_->DropDownRows() : 7;
    if (activeList_ == pickList_) {
        const TStringList& lines = column_->PickList();
        pickList_->clear();
        int widest = 0;
        for (int i = 0; i < lines.Count(); ++i) {
            pickList_->addItem(lines.Strings(i));
            widest = std::max(widest, pickList_->fontMetrics().horizontalAdvance(lines.Strings(i)));
        }
        int current = -1;
        if (column_->HasKeyList() && field)
            current = keyPending_ ? column_->KeyList().IndexOf(VarToStr(editKey_)) : column_->KeyList().IndexOf(field->Text());
        if (current < 0)
            current = lines.IndexOf(text());
        pickList_->setCurrentRow(current);
        if (column_->DropDownWidth() <= 0)
            width = std::max(width, widest + 2 * pickList_->BorderWidth() + GetSystemMetrics(SM_CXVSCROLL) + 6);
        pickList_->setFont(font());
        pickList_->resize(width, pickList_->height());
        pickList_->SetRowCount(std::min(std::max(1, lines.Count()), rows));
        pickResized_ = false;
    } else if (activeList_ == dataList_) {
        TDataSource* source = column_->DropDownBox().ListSource();
        if (!source) {
            lookupSource_.SetDataSet(field ? field->LookupDataSet() : nullptr);
            source = &lookupSource_;
        }
        dataList_->LockList();
        dataList_->SetListSource(source);
        dataList_->SetKeyField(field ? field->LookupKeyFields() : QString());
        QString listFields = field ? field->LookupResultField() : QString();
        if (!column_->LookupDisplayFields().isEmpty())
            listFields = column_->LookupDisplayFields();
        dataList_->SetListField(listFields);
        dataList_->UnlockList();
        dataList_->SetShowTitles(column_->DropDownShowTitles());
        dataList_->SetFont(column_->Font());
        Variant key = Variant::Null();
        if (keyPending_)
            key = editKey_;
        else if (field && field->DataSet())
            key = field->DataSet()->FieldValues(field->KeyFields());
        dataList_->SetKeyValue(key);
        dataList_->KeyValueChanged();
        dataList_->resize(width, dataList_->height());
        dataList_->SetRowCount(rows);
        dataList_->ClearUserResized();
    } else if (activeList_ == calendar_) {
        calendar_->SetDate(field && !field->IsNull() ? field->AsDateTime() : Date());
        calendar_->resize(calendar_->PreferredSize());
    } else if (activeList_ == calculator_) {
        double value = 0;
        const TFormatSettings fs = field && field->DataSet() ? field->DataSet()->FormatSettings() : FormatSettings();
        if (!TryStrToFloat(text(), value, fs))
            value = 0;
        calculator_->SetValue(Variant(value));
    }
    const QRect global(mapToGlobal(QPoint(0, 0)), size());
    PlaceDropDownWindow(global, activeList_);
    activeList_->show();
    listVisible_ = true;
    if (DefaultButton())
        DefaultButton()->SetKeepDown(true);
}

void TDBGridInplaceEdit::CloseUp(bool accept)
{
    if (!listVisible_ || !activeList_)
        return;
    QWidget* list = activeList_;
    if (list->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == list)
        setFocus();
    if (DefaultButton())
        DefaultButton()->SetKeepDown(false);
    if (QWidget::mouseGrabber() == list)
        list->releaseMouse();

    // What was chosen, read before the list lets go of it.
    QString chosenText;
    Variant chosenKey = Variant::Null();
    bool chosen = false;
    if (list == dataList_) {
        if (dataList_->UserResized()) {
            column_->SetDropDownRows(dataList_->Rows());
            column_->SetDropDownWidth(dataList_->width());
        }
        chosenKey = dataList_->KeyValue();
        chosenText = dataList_->SelectedText();
        chosen = dataList_->ListActive();
    } else if (list == pickList_) {
        if (pickResized_) {
            column_->SetDropDownRows(pickList_->viewport()->height() / std::max(1, pickList_->ItemHeight()));
            column_->SetDropDownWidth(pickList_->width());
        }
        const int row = pickList_->currentRow();
        if (row >= 0 && row < column_->PickList().Count()) {
            chosen = true;
            chosenText = column_->PickList().Strings(row);
            if (column_->HasKeyList() && row < column_->KeyList().Count())
                chosenKey = Variant(column_->KeyList().Strings(row));
        }
    }
    list->hide();
    listVisible_ = false;
    if (list == dataList_) {
        dataList_->LockList();
        dataList_->SetListSource(nullptr);
        dataList_->UnlockList();
    }
    update();

    if (!accept || !column_ || !CanModifyColumn(true))
        return;
    if (list == dataList_) {
        if (!chosen)
            return;
        editKey_ = chosenKey;
        keyPending_ = true;
        SetPendingText(chosenText, false, 0);
    } else if (list == calculator_) {
        const Variant v = calculator_->Value();
        if (!VarIsNull(v)) {
            TField* field = column_->Field();
            const TFormatSettings fs = field && field->DataSet() ? field->DataSet()->FormatSettings() : FormatSettings();
            SetPendingText(FloatToStr(v.AsDouble(), fs), false, 0);
        }
    } else if (list == calendar_) {
        column_->UpdateData(QString(), Variant::FromDateTime(calendar_->Date()), false);
        settingText_ = true;
        setText(EditTextOf(*column_));
        settingText_ = false;
        modified_ = false;
        selectAll();
    } else if (list == pickList_ && chosen) {
        if (column_->HasKeyList()) {
            editKey_ = chosenKey;
            keyPending_ = true;
        }
        SetPendingText(chosenText, false, 0);
    }
}

void TDBGridInplaceEdit::ButtonDown(bool topButton)
{
    if (style_ == esUpDownEx) {
        StepValue(topButton);
        return;
    }
    if (!listVisible_ && activeList_) {
        DropDown();
        droppedByButton_ = true;
    }
}

void TDBGridInplaceEdit::StepValue(bool topButton)
{
    if (!column_ || !column_->CanModify(true))
        return;
    TField* field = column_->Field();
    if (modified_ && field && text() != EditTextOf(*column_)) {
        grid_->UpdateData();
        modified_ = false;
    }
    const TColumnTypeEx kind = column_->GetColumnType();
    const bool listColumn = kind == ctPickList || kind == ctKeyPickList || kind == ctLookupField ||
                            kind == ctCheckboxes || kind == ctKeyImageList;
    // The upper arrow counts up (a plain column) or goes to the next value (a list column, which
    // steps by whole entries).
    double step;
    if (listColumn)
        step = topButton ? 1.0 : -1.0;
    else
        step = topButton ? column_->Increment() : -column_->Increment();
    column_->SetNextFieldValue(step);
    settingText_ = true;
    setText(EditTextOf(*column_));
    settingText_ = false;
    modified_ = false;
    keyPending_ = false;
    selectAll();
}

void TDBGridInplaceEdit::EditButtonClick(int index)
{
    if (!column_)
        return;
    bool handled = false;
    if (index == 0 && style_ != esNoneEx) {
        if (style_ == esEllipsisEx || style_ == esDropDownEx) {
            if (grid_->OnEditButtonClick)
                grid_->OnEditButtonClick(*grid_);
            if (column_->OnEditButtonClick)
                column_->OnEditButtonClick(*column_, handled);
        }
        if (listVisible_ && !droppedByButton_)
            CloseUp(false);
        droppedByButton_ = false;
        return;
    }
    const int item = index - (style_ != esNoneEx ? 1 : 0);
    if (item >= 0 && item < column_->EditButtons().Count()) {
        TEditButtonEx& b = *column_->EditButtons().GetItem(item);
        if (b.OnClick)
            b.OnClick(b, handled);
    }
}

// ---- Text and completion ------------------------------------------------------------------------

Variant TDBGridInplaceEdit::LocateLookupKey(const QString& value, bool partial, QString* found) const
{
    TField* field = column_ ? column_->Field() : nullptr;
    TDataSet* lookup = field ? field->LookupDataSet() : nullptr;
    if (!lookup || !lookup->Active() || value.isEmpty())
        return Variant::Null();
    TLocateOptions options = loCaseInsensitive;
    if (partial)
        options |= loPartialKey;
    if (!lookup->Locate(field->LookupResultField(), Variant(value), options))
        return Variant::Null();
    if (found)
        *found = lookup->FieldByName(field->LookupResultField())->DisplayText();
    return lookup->FieldValues(field->LookupKeyFields());
}

void TDBGridInplaceEdit::FireNotInList(const QString& value, bool& recheck)
{
    recheck = false;
    if (column_ && column_->OnNotInList)
        column_->OnNotInList(*column_, Variant(value), recheck);
}

bool TDBGridInplaceEdit::AutoComplete(const QString& typed)
{
    if (!column_)
        return false;
    const bool lookup = style_ == esDataListEx;
    const bool pick = style_ == esPickListEx || IsKeyPickColumn();
    if (!lookup && !pick)
        return false;
    if (!CanModifyColumn(true))
        return false;
    QString base = text();
    if (hasSelectedText())
        base.remove(selectionStart(), int(selectedText().size()));
    const int caret = hasSelectedText() ? selectionStart() : cursorPosition();
    const QString typedText = base.left(caret) + typed;
    if (typedText.isEmpty())
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (lookup) {
            QString found;
            const Variant key = LocateLookupKey(typedText, true, &found);
            if (!VarIsNull(key)) {
                editKey_ = key;
                keyPending_ = true;
                SetPendingText(found, true, int(typedText.size()));
                if (listVisible_ && dataList_)
                    dataList_->SetKeyValue(key);
                return true;
            }
        } else {
            const int line = LocateInStrings(column_->PickList(), typedText);
            if (line >= 0) {
                if (column_->HasKeyList() && line < column_->KeyList().Count()) {
                    editKey_ = Variant(column_->KeyList().Strings(line));
                    keyPending_ = true;
                }
                SetPendingText(column_->PickList().Strings(line), true, int(typedText.size()));
                if (listVisible_ && pickList_)
                    pickList_->setCurrentRow(line);
                return true;
            }
        }
        bool recheck = false;
        FireNotInList(typedText, recheck);
        if (!recheck)
            break;
    }
    return false;
}

void TDBGridInplaceEdit::MarkTextChanged()
{
    if (settingText_)
        return;
    modified_ = true;
    ResolveTypedKey();
    if (mruList_ && mruList_->Active())
        ShowMRUList();
}

// A typed lookup text has the key of the entry it names; one that names none has no key, so that
// the write-back looks it up again and refuses it rather than clearing the key.
void TDBGridInplaceEdit::ResolveTypedKey()
{
    if (!column_ || !column_->CanModify(true))
        return;
    if (style_ == esDataListEx) {
        editKey_ = LocateLookupKey(text(), false, nullptr);
        keyPending_ = !VarIsNull(editKey_);
    } else if (IsKeyPickColumn()) {
        const int line = column_->PickList().IndexOf(text());
        editKey_ = line >= 0 && line < column_->KeyList().Count() ? Variant(column_->KeyList().Strings(line))
                                                                   : Variant::Null();
        keyPending_ = true;
    }
}

void TDBGridInplaceEdit::ClearListValue()
{
    if (!column_ || !column_->CanModify(true))
        return;
    editKey_ = Variant::Null();
    keyPending_ = true;
    SetPendingText(QString(), false, 0);
}

void TDBGridInplaceEdit::SyncTextWithList()
{
    if (style_ == esDataListEx && dataList_ && dataList_->SelectedText() != text()) {
        editKey_ = dataList_->KeyValue();
        keyPending_ = true;
        SetPendingText(dataList_->SelectedText(), false, 0);
    } else if (style_ == esPickListEx && pickList_ && pickList_->currentItem() &&
               pickList_->currentItem()->text() != text()) {
        const int row = pickList_->currentRow();
        if (column_->HasKeyList() && row < column_->KeyList().Count()) {
            editKey_ = Variant(column_->KeyList().Strings(row));
            keyPending_ = true;
        }
        SetPendingText(pickList_->currentItem()->text(), false, 0);
    }
}

// ---- Recently used texts ------------------------------------------------------------------------

bool TDBGridInplaceEdit::FilterMRUItem(const QString& item) const
{
    if (!mruList_)
        return false;
    const QString t = text();
    bool accept = item.left(t.size()).compare(t, mruList_->CaseSensitive() ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
    if (mruList_->OnFilterItem)
        mruList_->OnFilterItem(*mruList_, item, accept);
    return accept;
}

void TDBGridInplaceEdit::PrepareMRUList()
{
    CreateMRUListBox();
    if (mruList_)
        mruListbox_->SetRowCount(mruList_->Rows());
}

void TDBGridInplaceEdit::ShowMRUList()
{
    QStringList passing;
    for (int i = 0; i < mruList_->Items().Count(); ++i)
        if (FilterMRUItem(mruList_->Items().Strings(i)))
            passing << mruList_->Items().Strings(i);
    if (passing.isEmpty() || text().isEmpty()) {
        CloseMRUList(false);
        return;
    }
    PrepareMRUList();
    mruListbox_->clear();
    mruListbox_->addItems(passing);
    mruListbox_->setFont(font());
    mruListbox_->setCurrentRow(-1);
    int widest = width();
    for (const QString& s : passing)
        widest = std::max(widest, mruListbox_->fontMetrics().horizontalAdvance(s) + 8);
    mruListbox_->resize(widest, mruListbox_->height());
    mruListbox_->SetRowCount(std::min(int(passing.size()), std::max(1, mruList_->Rows())));
    mruListbox_->UpdateScrollBar();
    PlaceDropDownWindow(QRect(mapToGlobal(QPoint(0, 0)), size()), mruListbox_);
    mruListbox_->show();
    mruVisible_ = true;
}

void TDBGridInplaceEdit::CloseMRUList(bool accept)
{
    if (!mruVisible_ || !mruListbox_)
        return;
    if (QWidget::mouseGrabber() == mruListbox_)
        mruListbox_->releaseMouse();
    mruListbox_->hide();
    mruVisible_ = false;
    if (accept && mruListbox_->currentItem() && CanModifyColumn(true))
        SetPendingText(mruListbox_->currentItem()->text(), false, 0);
}

// ---- Keys ---------------------------------------------------------------------------------------

bool TDBGridInplaceEdit::RouteListKey(QKeyEvent* e, int key, TShiftState shift)
{
    const bool routed = IsListStyle() || style_ == esDropDownEx || mruVisible_;
    if (!routed)
        return false;
    const bool alt = shift & ssAlt;
    const bool ctrl = shift & ssCtrl;
    const bool plain = (shift & (ssShift | ssCtrl | ssAlt)) == 0;
    if (alt && (key == VK_UP || key == VK_DOWN) && activeList_) {
        if (listVisible_)
            CloseUp(true);
        else
            DropDown();
        return true;
    }
    if (listVisible_ && activeList_ == calculator_) {
        // The calculator never has the focus: its keys come from here.
        QChar ch = CharOf(e);
        if (key == VK_RETURN)
            ch = QChar(13);
        else if (key == VK_ESCAPE)
            ch = QChar(27);
        else if (key == VK_BACK)
            ch = QChar(8);
        if (!ch.isNull()) {
            calculator_->CalcKey(ch);
            return true;
        }
    }
    if (listVisible_ && (key == VK_RETURN || key == VK_ESCAPE) && !alt) {
        CloseUp(key == VK_RETURN);
        return true;
    }
    if (!listVisible_ && ctrl && key == VK_RETURN && activeList_) {
        DropDown();
        return true;
    }
    if (mruVisible_ && (key == VK_RETURN || key == VK_ESCAPE)) {
        CloseMRUList(key == VK_RETURN);
        return true;
    }
    if (mruVisible_ && plain && (key == VK_UP || key == VK_DOWN || key == VK_PRIOR || key == VK_NEXT)) {
        QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text());
        QApplication::sendEvent(mruListbox_, &copy);
        return true;
    }
    if (!listVisible_)
        return false;
    const bool moving = ((key == VK_PRIOR || key == VK_NEXT || key == VK_UP || key == VK_DOWN) && !(shift & ssShift)) ||
                        (ctrl && (key == VK_HOME || key == VK_END)) ||
                        (activeList_ == calendar_ && (key == VK_LEFT || key == VK_RIGHT));
    if (!moving)
        return false;
    if (activeList_ == dataList_) {
        dataList_->HandleKey(key, shift & ~ssCtrl);
    } else if (activeList_ == calendar_) {
        QWidget* target = calendar_->findChild<QTableView*>();
        QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text());
        QApplication::sendEvent(target ? target : static_cast<QWidget*>(calendar_), &copy);
    } else {
        QKeyEvent copy(e->type(), e->key(), e->modifiers() & ~Qt::ControlModifier, e->text());
        QApplication::sendEvent(activeList_, &copy);
    }
    SyncTextWithList();
    return true;
}

bool TDBGridInplaceEdit::EditorKeyDown(int key, TShiftState shift)
{
    const bool lookupLike = style_ == esDataListEx || IsKeyPickColumn();
    const bool plain = (shift & (ssShift | ssCtrl | ssAlt)) == 0;
    if (lookupLike && plain && (key == VK_DELETE || key == VK_BACK) && CanModifyColumn(false)) {
        const bool notInList = column_->OnNotInList != nullptr;
        if (key == VK_DELETE) {
            if (!hasSelectedText() && cursorPosition() == int(text().size())) {
                ClearListValue();
                return true;
            }
            if (notInList && CanModifyColumn(true)) {
                QString t = text();
                const int start = hasSelectedText() ? selectionStart() : cursorPosition();
                t.remove(start, hasSelectedText() ? int(selectedText().size()) : 1);
                SetPendingText(t, true, start);
                setCursorPosition(start);
                ResolveTypedKey();
                AutoComplete(QString());
            }
            return true;
        }
        if (!notInList) {
            cursorBackward(false);
            return true;
        }
        if (CanModifyColumn(true)) {
            QString t = text();
            int start = hasSelectedText() ? selectionStart() : cursorPosition();
            const int length = hasSelectedText() ? int(selectedText().size()) : 0;
            t.remove(start, length);
            if (start > 0) {
                t.remove(start - 1, 1);
                --start;
            }
            SetPendingText(t, true, start);
            setCursorPosition(start);
            ResolveTypedKey();
            AutoComplete(QString());
        }
        return true;
    }
    const TDBGridExOptions ox = grid_->OptionsEx();
    if ((key == VK_RETURN && plain && ox.Contains(dghEnterAsTab)) || (key == kCtrlQuote && shift == ssCtrl)) {
        int k = key;
        grid_->KeyDown(k, shift);
        return true;
    }
    if (key == 'F' && shift == ssCtrl && ox.Contains(dghIncSearch)) {
        grid_->HideEditor();
        grid_->StartIncSearch();
        return true;
    }
    // A shortcut of one of the column's buttons clicks it.
    const TShortCut sc = ShortCut(key, shift & (ssShift | ssCtrl | ssAlt));
    if (column_ && sc != 0) {
        const int offset = style_ != esNoneEx ? 1 : 0;
        for (int i = 0; i < column_->EditButtons().Count(); ++i) {
            TEditButtonEx& b = *column_->EditButtons().GetItem(i);
            if (b.Visible() && b.ShortCut() == sc) {
                bool autoRepeat = false;
                bool handled = false;
                if (b.OnDown)
                    b.OnDown(buttons_[std::size_t(i + offset)], true, autoRepeat, handled);
                EditButtonClick(i + offset);
                return true;
            }
        }
    }
    return false;
}

bool TDBGridInplaceEdit::ForwardToGrid(int key, TShiftState shift)
{
    const bool ctrl = shift & ssCtrl;
    const bool forward = grid_->Options().Contains(dgAlwaysShowEditor);
    bool send = false;
    switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_ESCAPE: send = true; break;
    case VK_INSERT: send = shift == 0; break;
    case VK_TAB: send = !(shift & ssAlt); break;
    case VK_LEFT:
    case VK_HOME: send = ctrl || (forward && !hasSelectedText() && cursorPosition() == 0); break;
    case VK_RIGHT:
    case VK_END: send = ctrl || (forward && !hasSelectedText() && cursorPosition() == int(text().size())); break;
    case VK_DELETE: send = ctrl; break;
    default: break;
    }
    if (!send)
        return false;
    QPointer<TDBGridInplaceEdit> self(this);
    int k = key;
    grid_->KeyDown(k, shift);
    if (self && k == VK_ESCAPE) {
        // An unchanged cell shows the field's value again.
        settingText_ = true;
        if (column_)
            setText(EditTextOf(*column_));
        settingText_ = false;
        modified_ = false;
        keyPending_ = false;
        selectAll();
    }
    return true;
}

bool TDBGridInplaceEdit::CharInput(QChar ch)
{
    if (ch == QChar(10))
        return true;   // Ctrl+Enter in a single-line editor
    if (ch == QChar(13)) {
        QChar c = ch;
        grid_->KeyPress(c);
        if (!hasSelectedText())
            selectAll();
        return true;
    }
    if (!IsPrintable(ch))
        return false;
    if (column_ && grid_->Options().Contains(dgEditing) == false)
        return true;
    TField* field = column_ ? column_->Field() : nullptr;
    const bool keyColumn = column_ && column_->HasKeyList();
    if (field && !keyColumn && !field->Lookup() && !field->IsValidChar(ch)) {
        QApplication::beep();
        return true;
    }
    if (!CanModifyColumn(true))
        return true;
    if (AutoComplete(QString(ch)))
        return true;
    return false;
}

void TDBGridInplaceEdit::keyPressEvent(QKeyEvent* e)
{
    bool consumed = false;
    const bool handled = Guarded([&] {
        int key = VirtualKeyOf(e->key());
        if (key == 0 && !e->text().isEmpty()) {
            const QChar c = e->text().at(0).toUpper();
            if (c.unicode() < 128 && c.isLetterOrNumber())
                key = c.unicode();
        }
        TShiftState shift = ShiftStateOf(e->modifiers());
        if (e->key() == Qt::Key_Backtab) {
            key = VK_TAB;
            shift |= ssShift;
        }
        if (e->key() == Qt::Key_Enter)
            key = VK_RETURN;
        if (RouteListKey(e, key, shift) || EditorKeyDown(key, shift)) {
            consumed = true;
            return;
        }
        const QChar ch = CharOf(e);
        if (column_ && column_->AutoDropDown() && !listVisible_ && activeList_ && IsPrintable(ch) &&
            !(shift & (ssCtrl | ssAlt)))
            DropDown();
        if (ForwardToGrid(key, shift)) {
            consumed = true;
            return;
        }
        if (key == 0x71) {   // F2
            deselect();
            end(false);
            consumed = true;
            return;
        }
        if (key == VK_RETURN) {
            consumed = CharInput(QChar(13));
            return;
        }
        if (((key == 'V' && shift == ssCtrl) || (key == VK_INSERT && shift == ssShift)) && PasteIntoList()) {
            consumed = true;
            return;
        }
        if (key == VK_DELETE || key == VK_BACK || (key == 'V' && shift == ssCtrl) || (key == 'X' && shift == ssCtrl) ||
            (key == VK_INSERT && shift == ssShift)) {
            if (!CanModifyColumn(true))
                consumed = true;
            return;
        }
        if (!ch.isNull() && !(shift & (ssCtrl | ssAlt)))
            consumed = CharInput(ch);
    });
    // A key whose handling failed goes nowhere else: passed on, it would repeat the move.
    if (consumed || !handled)
        return;
    QLineEdit::keyPressEvent(e);
}

bool TDBGridInplaceEdit::event(QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        // Tab belongs to the grid, not to the dialog's focus chain.
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Escape || k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            e->accept();
            return true;
        }
    }
    return QLineEdit::event(e);
}

// Paste on a list column looks the text up like typed text: a match sets the key and the shown
// text, no match asks OnNotInList.
bool TDBGridInplaceEdit::PasteIntoList()
{
    const bool lookup = style_ == esDataListEx;
    if (!column_ || !(lookup || IsKeyPickColumn()) || !CanModifyColumn(true))
        return false;
    QClipboard* cb = QApplication::clipboard();
    const QString pasted = cb ? cb->text() : QString();
    if (pasted.isEmpty())
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (lookup) {
            QString found;
            const Variant key = LocateLookupKey(pasted, true, &found);
            if (!VarIsNull(key)) {
                editKey_ = key;
                keyPending_ = true;
                SetPendingText(found, false, 0);
                return true;
            }
        } else {
            const int line = LocateInStrings(column_->PickList(), pasted);
            if (line >= 0) {
                editKey_ = line < column_->KeyList().Count() ? Variant(column_->KeyList().Strings(line)) : Variant::Null();
                keyPending_ = true;
                SetPendingText(column_->PickList().Strings(line), false, 0);
                return true;
            }
        }
        bool recheck = false;
        FireNotInList(pasted, recheck);
        if (!recheck)
            break;
    }
    return true;
}

// ---- Focus and mouse ----------------------------------------------------------------------------

void TDBGridInplaceEdit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    grid_->InvalidateRow(grid_->Row());
}

void TDBGridInplaceEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    Guarded([&] {
        QWidget* next = QApplication::focusWidget();
        const bool toList = next && activeList_ && (next == activeList_ || activeList_->isAncestorOf(next));
        if (!toList) {
            CloseUp(false);
            CloseMRUList(false);
        }
        grid_->InvalidateRow(grid_->Row());
        // Leaving the grid altogether: the grid's exit rules apply.
        if (next && next != grid_ && !grid_->isAncestorOf(next) && !toList)
            grid_->DoExit();
    });
}

void TDBGridInplaceEdit::mousePressEvent(QMouseEvent* e)
{
    Guarded([&] {
        if (listVisible_)
            CloseUp(false);
    });
    QLineEdit::mousePressEvent(e);
}

void TDBGridInplaceEdit::mouseDoubleClickEvent(QMouseEvent* e)
{
    bool handled = false;
    Guarded([&] {
        if (column_ && column_->DblClickNextVal() && e->button() == Qt::LeftButton) {
            column_->SetNextFieldValue((e->modifiers() & Qt::ShiftModifier) ? -1 : 1);
            settingText_ = true;
            setText(EditTextOf(*column_));
            settingText_ = false;
            modified_ = false;
            selectAll();
            handled = true;
        }
    });
    if (!handled)
        QLineEdit::mouseDoubleClickEvent(e);
}

void TDBGridInplaceEdit::mouseMoveEvent(QMouseEvent* e)
{
    const int buttonsLeft = width() - ButtonsWidth();
    setCursor(e->position().x() >= buttonsLeft ? Qt::ArrowCursor : Qt::IBeamCursor);
    QLineEdit::mouseMoveEvent(e);
}

void TDBGridInplaceEdit::wheelEvent(QWheelEvent* e)
{
    // While a list is open the wheel does nothing here.
    if (listVisible_ || mruVisible_) {
        e->accept();
        return;
    }
    QLineEdit::wheelEvent(e);
}

void TDBGridInplaceEdit::resizeEvent(QResizeEvent* e)
{
    QLineEdit::resizeEvent(e);
    LayoutButtons();
}

void TDBGridInplaceEdit::paintEvent(QPaintEvent* e)
{
    QLineEdit::paintEvent(e);
    if (!grid_->Flat() || buttons_.empty())
        return;
    Guarded([&] {
        // A one-pixel separator between the text and the buttons.
        TCanvas c(static_cast<QPaintDevice*>(this));
        c.Brush().SetColor(clBtnFace);
        for (TEditButtonControlEx* b : buttons_) {
            if (b->isHidden())
                continue;
            const QRect g = b->geometry();
            c.FillRect(TRect(g.left() - 1, g.top(), g.left(), g.bottom() + 1));
        }
    });
}

bool TDBGridInplaceEdit::eventFilter(QObject* watched, QEvent* e)
{
    // The grid scrolled or resized: follow the cell.
    if (watched == grid_->viewport() && isVisible() &&
        (e->type() == QEvent::Paint || e->type() == QEvent::Resize)) {
        Guarded([&] {
            const TRect r = grid_->CellRect(grid_->Col(), grid_->Row());
            if (IsRectEmpty(r))
                grid_->HideEditor();
            else
                Place(r);
        });
    }
    return QLineEdit::eventFilter(watched, e);
}

// ---- The grid's editor hooks --------------------------------------------------------------------

TDBGridInplaceEdit* TCustomDBGridEx::CreateEditor() { return new TDBGridInplaceEdit(this); }

bool TCustomDBGridEx::EditorVisible() const { return inplaceEdit_ && inplaceEdit_->isVisible(); }

QString TCustomDBGridEx::EditorText() const { return inplaceEdit_ ? inplaceEdit_->text() : QString(); }

bool TCustomDBGridEx::EditorModified() const { return inplaceEdit_ && inplaceEdit_->Modified(); }

bool TCustomDBGridEx::CanEditShow() const
{
    if (!options_.Contains(dgEditing) || options_.Contains(dgRowSelect) || readOnly_ || !link_->Active() ||
        destroying_ || loading_ || filterEditing_ || incSearching_)
        return false;
    const TCellAreaEx a = GetCellType(Col(), Row());
    if (a.ColKind != cacData || a.RowKind != carData || a.AreaCol >= columns_->Count() ||
        a.AreaRow >= link_->RecordCount())
        return false;
    const TColumnTypeEx kind = columns_->Items(a.AreaCol)->GetColumnType();
    return kind != ctCheckboxes && kind != ctKeyImageList;
}

void TCustomDBGridEx::ShowEditor()
{
    if (!CanEditShow())
        return;
    const TRect r = TCustomGrid::CellRect(Col(), Row());
    if (IsRectEmpty(r))
        return;
    if (!inplaceEdit_)
        inplaceEdit_ = CreateEditor();
    if (!inplaceEdit_->isVisible() || inplaceEdit_->EditColumn() != SelectedColumn())
        inplaceEdit_->UpdateContents();
    inplaceEdit_->Place(r);
    inplaceEdit_->show();
    inplaceEdit_->raise();
    if (IsFocusWithin() || hasFocus() || QApplication::focusWidget() == nullptr)
        inplaceEdit_->setFocus(Qt::OtherFocusReason);
    inplaceEdit_->selectAll();
    TCustomGrid::InvalidateCell(Col(), Row());
}

void TCustomDBGridEx::ShowEditorChar(QChar ch)
{
    ShowEditor();
    if (!EditorVisible())
        return;
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(inplaceEdit_, &press);
}

void TCustomDBGridEx::HideEditor()
{
    if (!inplaceEdit_ || !inplaceEdit_->isVisible())
        return;
    const bool hadFocus = inplaceEdit_->hasFocus();
    inplaceEdit_->CloseUp(false);
    inplaceEdit_->CloseMRUList(false);
    inplaceEdit_->hide();
    if (hadFocus && !destroying_)
        setFocus(Qt::OtherFocusReason);
    TCustomGrid::InvalidateCell(Col(), Row());
}

void TCustomDBGridEx::UpdateEditors()
{
    if (inplaceEdit_ && inplaceEdit_->isVisible()) {
        if (!CanEditShow())
            HideEditor();
        else {
            inplaceEdit_->UpdateContents();
            inplaceEdit_->Place(TCustomGrid::CellRect(Col(), Row()));
        }
    }
    PlaceFilterEditor(false);
}

void TCustomDBGridEx::CurrentCellChanged()
{
    if (!inplaceEdit_ || !inplaceEdit_->isVisible())
        return;
    if (inplaceEdit_->EditColumn() == SelectedColumn()) {
        inplaceEdit_->Place(TCustomGrid::CellRect(Col(), Row()));
        return;
    }
    // The pending text belongs to the cell that was left.
    link_->UpdateData();
    if (options_.Contains(dgAlwaysShowEditor))
        UpdateEditors();
    else
        HideEditor();
}

void TCustomDBGridEx::UpdateData()
{
    TDBGridInplaceEdit* editor = inplaceEdit_;
    TColumnEx* column = editor ? editor->EditColumn() : nullptr;
    if (!column || !editor->Modified())
        return;
    const QString text = editor->Text();
    TField* field = column->Field();
    auto notInList = [&](const QString& value) {
        bool recheck = false;
        if (column->OnNotInList)
            column->OnNotInList(*column, Variant(value), recheck);
        return recheck;
    };
    switch (column->GetColumnType()) {
    case ctPickList:
        if (column->PickList().IndexOf(text) < 0)
            notInList(text);
        column->UpdateData(text, Variant(text), true);
        break;
    case ctKeyPickList: {
        if (text.isEmpty()) {
            column->UpdateData(QString(), Variant::Null(), false);
            break;
        }
        int line = column->PickList().IndexOf(text);
        if (line < 0 && notInList(text))
            line = column->PickList().IndexOf(text);
        if (line < 0 || line >= column->KeyList().Count())
            RefuseNotInList(text);
        const QString key = column->KeyList().Strings(line);
        column->UpdateData(key, Variant(key), true);
        break;
    }
    case ctLookupField: {
        Variant key = editor->KeyPending() ? editor->EditKey() : Variant::Null();
        if (!editor->KeyPending() && field && field->LookupDataSet() && !text.isEmpty()) {
            TDataSet& lookup = *field->LookupDataSet();
            bool found = lookup.Locate(field->LookupResultField(), Variant(text), loCaseInsensitive);
            if (!found && notInList(text))
                found = lookup.Locate(field->LookupResultField(), Variant(text), loCaseInsensitive);
            if (!found)
                RefuseNotInList(text);
            key = lookup.FieldValues(field->LookupKeyFields());
        }
        column->UpdateData(text, key, false);
        break;
    }
    default: column->UpdateData(text, Variant(text), true); break;
    }
    // Only a value the field took ends the edit: a refused one stays pending for the next try.
    editor->SetModified(false);
}

void TCustomDBGridEx::DestroyEditors()
{
    delete inplaceEdit_;
    inplaceEdit_ = nullptr;
    delete filterEdit_;
    filterEdit_ = nullptr;
}
