#include "grid/dbctrlsex.h"

#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/frames.h"
#include "platform/imagelist.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <utility>

// ---- TFieldDataLinkEx -----------------------------------------------------------------------

TFieldDataLinkEx::TFieldDataLinkEx() = default;

void TFieldDataLinkEx::SetFieldName(const QString& name)
{
    if (fieldName_ == name)
        return;
    fieldName_ = name;
    UpdateFields();
}

bool TFieldDataLinkEx::UpdateDataIndependent()
{
    const bool di = DataSource() == nullptr && fieldName_.isEmpty();
    if (di == dataIndependent_)
        return false;
    dataIndependent_ = di;
    value_ = Variant::Null();
    editing_ = false;
    modified_ = false;
    return true;
}

void TFieldDataLinkEx::UpdateFields()
{
    fields_.clear();
    if (Active() && DataSet() && !fieldName_.isEmpty()) {
        for (const QString& part : fieldName_.split(QLatin1Char(';'))) {
            if (TField* f = DataSet()->FindField(part.trimmed()))
                fields_.push_back(f);
        }
    }
    if (OnDataChange)
        OnDataChange();
}

bool TFieldDataLinkEx::CanModify() const
{
    if (dataIndependent_)
        return true;
    const TField* f = Field();
    return !ReadOnly() && f && f->CanModify();
}

bool TFieldDataLinkEx::EditData()
{
    if (dataIndependent_) {
        if (!editing_ && !ReadOnly()) {
            editing_ = true;
            modified_ = false;
            if (OnEditingChange)
                OnEditingChange();
        }
        return editing_;
    }
    if (Field() && CanModify())
        return Edit();
    return false;
}

void TFieldDataLinkEx::Reset()
{
    if (OnDataChange)
        OnDataChange();
    modified_ = false;
}

void TFieldDataLinkEx::UpdateData()
{
    if (dataIndependent_) {
        if (modified_) {
            if (OnUpdateData)
                OnUpdateData();
            editing_ = false;
            modified_ = false;
        }
        return;
    }
    if (modified_) {
        if (Field() && OnUpdateData)
            OnUpdateData();
        modified_ = false;
    }
}

void TFieldDataLinkEx::ActiveChanged()
{
    UpdateFields();
    if (OnActiveChange)
        OnActiveChange();
}

void TFieldDataLinkEx::EditingChanged()
{
    if (OnEditingChange)
        OnEditingChange();
}

void TFieldDataLinkEx::LayoutChanged() { UpdateFields(); }

void TFieldDataLinkEx::RecordChanged(TField* field)
{
    if (field && field != Field())
        return;
    if (OnDataChange)
        OnDataChange();
    modified_ = false;
}

// ---- Edit masks -----------------------------------------------------------------------------

namespace {

// Walks a classic mask body: literal(ch, escaped) for each character that stands for itself,
// input(code) for each position the user types into, directive(ch) for the case directives,
// which take no position.
template <class Literal, class Input, class Directive>
void WalkEditMask(const QString& body, Literal&& literal, Input&& input, Directive&& directive)
{
    for (int i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        switch (c.unicode()) {
        case '\\':
            if (i + 1 < body.size())
                literal(body.at(++i), true);
            break;
        case '0':
        case '9':
        case '#':
        case 'L':
        case 'l':
        case 'A':
        case 'a':
        case 'C':
        case 'c': input(c); break;
        case '>':
        case '<':
        case '!': directive(c); break;
        case '_': literal(QLatin1Char(' '), false); break;   // a blank that is part of the text
        default: literal(c, false); break;
        }
    }
}

QChar EditMaskBlank(const QStringList& parts)
{
    return parts.size() > 2 && !parts[2].isEmpty() ? parts[2].at(0) : QLatin1Char('_');
}

} // namespace

const TFormatSettings& FieldFormatSettings(const TField* field)
{
    return field && field->DataSet() ? field->DataSet()->FormatSettings() : FormatSettings();
}

QString EditMaskValue(const QString& mask, const QLineEdit& edit)
{
    const QStringList parts = mask.split(QLatin1Char(';'));
    if (mask.isEmpty() || parts.size() < 2 || parts[1] != QLatin1String("0"))
        return edit.text();
    // The edit's own text has one character per literal and per input position, a blank where
    // nothing was typed. Not the displayed text: a password edit shows only its echo characters.
    const QString raw = edit.inputMethodQuery(Qt::ImSurroundingText).toString();
    const QChar blank = EditMaskBlank(parts);
    QString value;
    int at = 0;
    WalkEditMask(
        parts[0], [&](QChar, bool) { ++at; },
        [&](QChar) {
            if (at < raw.size() && raw.at(at) != blank)
                value += raw.at(at);
            ++at;
        },
        [](QChar) {});
    return value;
}

QString ConvertEditMask(const QString& mask, const TFormatSettings& fs)
{
    if (mask.isEmpty())
        return QString();
    const QStringList parts = mask.split(QLatin1Char(';'));
    QString out;
    WalkEditMask(
        parts[0],
        [&](QChar c, bool escaped) {
            if (!escaped && c == QLatin1Char('/'))
                c = fs.DateSeparator;
            else if (!escaped && c == QLatin1Char(':'))
                c = fs.TimeSeparator;
            // Qt needs the characters that are mask characters to it escaped.
            if (escaped || QStringLiteral("AaNnXx90Dd#HhBb><!\\{}[]").contains(c))
                out += QLatin1Char('\\');
            out += c;
        },
        [&](QChar c) {
            switch (c.unicode()) {
            case '0': out += QLatin1Char('9'); break;   // digit required
            case '9': out += QLatin1Char('0'); break;   // digit optional
            case 'L': out += QLatin1Char('A'); break;   // letter required
            case 'l': out += QLatin1Char('a'); break;
            case 'A': out += QLatin1Char('N'); break;   // letter or digit required
            case 'a': out += QLatin1Char('n'); break;
            case 'C': out += QLatin1Char('X'); break;   // any character required
            case 'c': out += QLatin1Char('x'); break;
            default: out += c; break;                   // '#'
            }
        },
        [&](QChar c) {
            if (c != QLatin1Char('!'))   // leading blanks: no equivalent
                out += c;
        });
    return out + QLatin1Char(';') + EditMaskBlank(parts);
}

// ---- TCustomDBEditEx ------------------------------------------------------------------------

TCustomDBEditEx::TCustomDBEditEx(QWidget* parent) : QLineEdit(parent), editButtons_(this)
{
    editButton_ = TEditButtonEx::CreateEditButton(this);
    setFrame(false);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, true);
    dataLink_.OnDataChange = [this] { DataChanged(); };
    dataLink_.OnEditingChange = [this] { UpdateReadOnly(); };
    dataLink_.OnActiveChange = [this] { UpdateReadOnly(); };
    dataLink_.OnUpdateData = [this] { LinkUpdateData(); };
    connect(this, &QLineEdit::textEdited, this, MakeGuarded([this] { UserTextChanged(); }));
    mruList_.OnSetDropDown = [this](TMRUListEx&) { DropDown(); };
    mruList_.OnSetCloseUp = [this](TMRUListEx&, bool accept) { CloseUp(accept); };
    EditButtonsChanged();
    UpdateBorderState();
    UpdateHeight();
}

TCustomDBEditEx::~TCustomDBEditEx()
{
    dataLink_.OnDataChange = nullptr;
    dataLink_.OnEditingChange = nullptr;
    dataLink_.OnActiveChange = nullptr;
    dataLink_.OnUpdateData = nullptr;
    dataLink_.SetDataSource(nullptr);
}

// ---- Binding

void TCustomDBEditEx::SetDataSource(TDataSource* source)
{
    if (source == dataLink_.DataSource())
        return;
    ResetMaxLength();
    dataLink_.SetDataSource(source);
    if (dataLink_.UpdateDataIndependent())
        DataChanged();
    UpdateReadOnly();
}

void TCustomDBEditEx::SetDataField(const QString& name)
{
    if (name == dataLink_.FieldName())
        return;
    ResetMaxLength();
    dataLink_.SetFieldName(name);
    if (dataLink_.UpdateDataIndependent())
        DataChanged();
    UpdateReadOnly();
}

void TCustomDBEditEx::ResetMaxLength()
{
    const TField* f = Field();
    if (maxLength_ > 0 && f && (f->DataType() == ftString || f->DataType() == ftWideString) &&
        f->Size() == maxLength_)
        SetMaxLength(0);
}

void TCustomDBEditEx::DataChanged()
{
    TField* f = Field();
    settingText_ = true;
    if (f) {
        if (!alignmentStored_)
            setAlignment((f->Alignment() == taRightJustify ? Qt::AlignRight
                          : f->Alignment() == taCenter   ? Qt::AlignHCenter
                                                         : Qt::AlignLeft) |
                         Qt::AlignVCenter);
        if (!editMaskStored_)
            setInputMask(ConvertEditMask(f->EditMask(), FieldFormatSettings(f)));
        if ((f->DataType() == ftString || f->DataType() == ftWideString) && maxLength_ == 0)
            SetMaxLength(f->Size());
        const bool memo = f->DataType() == ftMemo || f->DataType() == ftFmtMemo;
        QString t;
        if (memo)
            t = f->AsString();
        else if (hasFocus() && f->CanModify())
            t = f->Text();
        else
            t = f->DisplayText();
        QLineEdit::setText(t);
    } else if (DataIndependent()) {
        if (!editMaskStored_)
            setInputMask(QString());
        QLineEdit::setText(VarToStr(dataLink_.Value()));
    } else {
        if (!editMaskStored_)
            setInputMask(QString());
        QLineEdit::setText(QString());
    }
    settingText_ = false;
    UpdateReadOnly();
    dataLink_.Modified(false);
}

void TCustomDBEditEx::UpdateReadOnly()
{
    bool ro = readOnly_;
    if (!DataIndependent())
        ro = ro || !dataLink_.CanModify();
    if (holder_ && !holder_->InplaceEditCanModify())
        ro = true;
    QLineEdit::setReadOnly(ro);
}

// ---- Value

void TCustomDBEditEx::InternalSetText(const QString& text)
{
    settingText_ = true;
    QLineEdit::setText(text);
    settingText_ = false;
}

void TCustomDBEditEx::SetText(const QString& text)
{
    if (!DataIndependent())
        dataLink_.EditData();
    InternalSetText(text);
    if (!inCommit_)
        CommitText();
}

void TCustomDBEditEx::SetValue(const Variant& value) { SetText(VarToStr(value)); }

// Runs OnUpdateData with the guard that keeps a Text written by the handler from committing.
bool TCustomDBEditEx::FireUpdateData()
{
    bool handled = false;
    if (!OnUpdateData)
        return false;
    inCommit_ = true;
    try {
        OnUpdateData(*this, handled);
    } catch (...) {
        inCommit_ = false;
        throw;
    }
    inCommit_ = false;
    return handled;
}

void TCustomDBEditEx::ValidateEdit()
{
    if (inputMask().isEmpty() || !dataLink_.Modified() || hasAcceptableInput())
        return;
    if (hasFocus())
        selectAll();
    throw EDBEditError(QStringLiteral("Неверное значение. Нажмите Esc, чтобы отменить изменения."));
}

void TCustomDBEditEx::CommitText()
{
    if (hasFocus())
        ValidateEdit();
    const bool handled = FireUpdateData();
    if (!handled)
        UpdateFieldData();
    dataLink_.Modified(false);
    if (mruList_.Active() && !Text().isEmpty())
        mruList_.Add(Text());
}

void TCustomDBEditEx::UpdateFieldData()
{
    if (DataIndependent()) {
        // Its own value is the text as shown, literals and all.
        dataLink_.SetValue(Variant(QLineEdit::text()));
        DataChanged();
        return;
    }
    TField* f = Field();
    if (!f)
        return;
    if (f->DataType() == ftMemo || f->DataType() == ftFmtMemo)
        f->SetAsString(Text());
    else
        f->SetText(Text());
}

// The link writes back (a post, leaving the edit): the handler may take over.
void TCustomDBEditEx::LinkUpdateData()
{
    ValidateEdit();
    const bool handled = FireUpdateData();
    if (!handled)
        UpdateFieldData();
}

bool TCustomDBEditEx::StartEdit()
{
    const QString before = Text();
    const int cursor = cursorPosition();
    const int selStart = selectionStart();
    const int selLength = selectionLength();
    const bool started = dataLink_.EditData();
    if (Text() == before) {
        if (selStart >= 0)
            setSelection(selStart, selLength);
        else
            setCursorPosition(cursor);
    }
    return started;
}

void TCustomDBEditEx::UserTextChanged()
{
    if (settingText_)
        return;
    dataLink_.SetModified();
    if (mruList_.Active())
        CheckMRUDropDown();
}

// ---- Look

void TCustomDBEditEx::SetFlat(bool f)
{
    if (flat_ == f)
        return;
    flat_ = f;
    EditButtonsChanged();
    UpdateHeight();
    update();
}

void TCustomDBEditEx::SetAlwaysShowBorder(bool a)
{
    if (alwaysShowBorder_ == a)
        return;
    alwaysShowBorder_ = a;
    UpdateBorderState();
}

void TCustomDBEditEx::SetCtl3D(bool c)
{
    if (ctl3D_ == c)
        return;
    ctl3D_ = c;
    EditButtonsChanged();
    UpdateHeight();
}

void TCustomDBEditEx::SetAutoSize(bool a)
{
    autoSize_ = a;
    UpdateHeight();
}

TAlignment TCustomDBEditEx::Alignment() const
{
    if (alignmentStored_ || !Field())
        return alignment_;
    return Field()->Alignment();
}

void TCustomDBEditEx::SetAlignment(TAlignment a)
{
    alignmentStored_ = true;
    alignment_ = a;
    setAlignment((a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft) |
                 Qt::AlignVCenter);
}

QString TCustomDBEditEx::EditMask() const
{
    if (editMaskStored_ || !Field())
        return editMask_;
    return Field()->EditMask();
}

void TCustomDBEditEx::SetEditMask(const QString& mask)
{
    editMaskStored_ = true;
    editMask_ = mask;
    const QString keep = QLineEdit::text();
    settingText_ = true;
    setInputMask(ConvertEditMask(mask, FieldFormatSettings(Field())));
    QLineEdit::setText(keep);
    settingText_ = false;
}

void TCustomDBEditEx::SetMaxLength(int n)
{
    maxLength_ = std::max(0, n);
    ApplyMaxLength();
}

void TCustomDBEditEx::ApplyMaxLength() { QLineEdit::setMaxLength(maxLength_ > 0 ? maxLength_ : 32767); }

void TCustomDBEditEx::SetPasswordChar(QChar c)
{
    passwordChar_ = c;
    setEchoMode(c.isNull() ? QLineEdit::Normal : QLineEdit::Password);
}

void TCustomDBEditEx::SetReadOnly(bool r)
{
    readOnly_ = r;
    dataLink_.SetReadOnly(r);
    UpdateReadOnly();
}

bool TCustomDBEditEx::BorderShown() const { return borderShown_; }

void TCustomDBEditEx::UpdateBorderState()
{
    const bool shown = hasFocus() || mouseInside_ || alwaysShowBorder_;
    if (shown == borderShown_ && !buttonControls_.empty() && buttonControls_.front()->Active() == shown)
        return;
    borderShown_ = shown;
    for (TEditButtonControlEx* c : buttonControls_)
        c->SetActive(shown);
    update();
}

int TCustomDBEditEx::FrameWidth() const { return (ctl3D_ || flat_) ? 2 : 1; }

void TCustomDBEditEx::UpdateHeight()
{
    if (!autoSize_)
        return;
    int h = fontMetrics().height();
    if (editImage_.Visible && editImage_.Images && editImage_.UseImageHeight)
        h = std::max(h, editImage_.Images->Height());
    const int extra = ((ctl3D_ ? 8 : 6) - (flat_ ? 2 : 0)) * GetSystemMetrics(SM_CYBORDER);
    setFixedHeight(h + extra);
}

void TCustomDBEditEx::EditImageChanged()
{
    UpdateHeight();
    LayoutButtons();
}

// ---- Buttons

int TCustomDBEditEx::ButtonWidthOf(const TEditButtonEx& b) const
{
    if (!b.Visible())
        return 0;
    if (b.Width() >= 1)
        return b.Width();
    return flat_ ? DefaultFlatEditButtonWidth() : GetSystemMetrics(SM_CXVSCROLL);
}

int TCustomDBEditEx::ButtonsWidth() const
{
    int w = ButtonWidthOf(*editButton_) + (flat_ && editButton_->Visible() ? 1 : 0);
    for (int i = 0; i < editButtons_.Count(); ++i) {
        const TEditButtonEx& b = *editButtons_.GetItem(i);
        w += ButtonWidthOf(b) + (flat_ && b.Visible() ? 1 : 0);
    }
    return w;
}

int TCustomDBEditEx::ImageAreaWidth() const
{
    if (!editImage_.Visible || !editImage_.Images)
        return 0;
    return (editImage_.Width >= 1 ? editImage_.Width : editImage_.Images->Width()) + 4;
}

QRect TCustomDBEditEx::EditRect() const
{
    const int fw = FrameWidth();
    QRect r = rect().adjusted(fw, fw, -fw, -fw);
    r.setLeft(r.left() + ImageAreaWidth());
    r.setRight(r.right() - ButtonsWidth());
    if (layoutDirection() == Qt::RightToLeft) {
        const int l = rect().width() - 1 - r.right();
        r.moveLeft(l);
    }
    return r;
}

bool TCustomDBEditEx::ButtonsEnabled() const { return isEnabled(); }

void TCustomDBEditEx::EditButtonsChanged()
{
    // One control per description: the main button, then the collection's items.
    const int wanted = 1 + editButtons_.Count();
    while (int(buttonControls_.size()) > wanted) {
        delete buttonControls_.back();
        buttonControls_.pop_back();
    }
    while (int(buttonControls_.size()) < wanted) {
        auto* c = new TEditButtonControlEx(this);
        c->setCursor(Qt::ArrowCursor);
        buttonControls_.push_back(c);
    }
    for (int i = 0; i < wanted; ++i) {
        TEditButtonEx& b = i == 0 ? *editButton_ : *editButtons_.GetItem(i - 1);
        TEditButtonControlEx* c = buttonControls_[std::size_t(i)];
        c->SetStyle(b.Style());
        c->SetGlyph(b.Glyph());
        c->SetNumGlyphs(b.NumGlyphs());
        c->setToolTip(b.Hint());
        c->SetFlat(flat_);
        c->SetActive(borderShown_);
        c->setEnabled(ButtonsEnabled());
        c->OnDown = [this, c, i](QObject*, bool top, bool& autoRepeat, bool& handled) {
            TEditButtonEx& desc = i == 0 ? *editButton_ : *editButtons_.GetItem(i - 1);
            (void)handled;
            ButtonDown(*c, desc, top, autoRepeat);
        };
        c->OnClick = [this, i](TSpeedButtonEx&) {
            TEditButtonEx& desc = i == 0 ? *editButton_ : *editButtons_.GetItem(i - 1);
            ButtonClick(desc);
        };
    }
    LayoutButtons();
}

void TCustomDBEditEx::LayoutButtons()
{
    const int fw = FrameWidth();
    int right = width() - fw;
    const int top = fw;
    const int h = std::max(0, height() - 2 * fw);
    for (std::size_t i = 0; i < buttonControls_.size(); ++i) {
        const TEditButtonEx& b = i == 0 ? *editButton_ : *editButtons_.GetItem(int(i) - 1);
        TEditButtonControlEx* c = buttonControls_[i];
        const int w = ButtonWidthOf(b);
        if (w == 0) {
            c->hide();
            continue;
        }
        c->setGeometry(right - w, top, w, h);
        c->show();
        right -= w + (flat_ ? 1 : 0);
    }
    const int textLeft = ImageAreaWidth() + (flat_ ? 2 : ctl3D_ ? 1 : 0);
    setContentsMargins(fw, fw, fw, fw);
    setTextMargins(textLeft, 0, ButtonsWidth(), 0);
    update();
}

void TCustomDBEditEx::ButtonDown(TEditButtonControlEx& control, TEditButtonEx& button, bool top, bool& autoRepeat)
{
    bool handled = false;
    const bool main = &button == editButton_.get();
    if (main) {
        if (OnButtonDown)
            OnButtonDown(&control, top, autoRepeat, handled);
    } else if (button.OnDown) {
        button.OnDown(&control, top, autoRepeat, handled);
    }
    if (handled)
        return;
    if (QMenu* menu = button.DropdownMenu()) {
        const bool rightAligned = layoutDirection() == Qt::RightToLeft;
        const QPoint at = control.mapToGlobal(rightAligned ? control.rect().bottomRight() + QPoint(1, 1)
                                                           : control.rect().bottomLeft() + QPoint(0, 1));
        control.SetKeepDown(false);
        menu->popup(at);
        return;
    }
    if (main) {
        if (!listVisible_) {
            droppedByButton_ = true;
            DropDown();
        }
    }
}

void TCustomDBEditEx::ButtonClick(TEditButtonEx& button)
{
    bool handled = false;
    if (&button == editButton_.get()) {
        if (OnButtonClick)
            OnButtonClick(button, handled);
        if (listVisible_ && !droppedByButton_)
            CloseUp(false);
        droppedByButton_ = false;
    } else if (button.OnClick) {
        button.OnClick(button, handled);
    }
}

bool TCustomDBEditEx::WorkShortCut(TShortCut sc)
{
    if (sc == 0)
        return false;
    auto work = [&](std::size_t index, TEditButtonEx& b) {
        TEditButtonControlEx* c = buttonControls_[index];
        bool autoRepeat = false;
        ButtonDown(*c, b, true, autoRepeat);
        ButtonClick(b);
    };
    if (editButton_->Visible() && editButton_->ShortCut() == sc) {
        work(0, *editButton_);
        return true;
    }
    for (int i = 0; i < editButtons_.Count(); ++i) {
        TEditButtonEx& b = *editButtons_.GetItem(i);
        if (b.Visible() && b.ShortCut() == sc) {
            work(std::size_t(i + 1), b);
            return true;
        }
    }
    return false;
}

// ---- Recently used texts

bool TCustomDBEditEx::FilterMRUItem(const QString& item) const
{
    const QString t = Text();
    bool accept = mruList_.CaseSensitive() ? item.left(t.size()) == t
                                          : item.left(t.size()).compare(t, Qt::CaseInsensitive) == 0;
    if (mruList_.OnFilterItem)
        mruList_.OnFilterItem(const_cast<TMRUListEx&>(mruList_), item, accept);
    return accept;
}

void TCustomDBEditEx::CheckMRUDropDown()
{
    const bool isEmpty = Text().isEmpty();
    if (listVisible_ && isEmpty) {
        CloseUp(false);
    } else if (hasFocus() && !droppedByButton_ && !isEmpty) {
        mruList_.DropDown();
    }
}

void TCustomDBEditEx::DropDown()
{
    QStringList passing;
    for (int i = 0; i < mruList_.Items().Count(); ++i) {
        const QString& s = mruList_.Items().Strings(i);
        if (FilterMRUItem(s))
            passing << s;
    }
    if (passing.isEmpty()) {
        if (listVisible_)
            CloseUp(false);
        return;
    }
    if (!mruListbox_) {
        mruListbox_ = new TMRUListboxEx(this);
        mruListbox_->SetCtl3D(false);
        mruListbox_->SetHost(this);
    }
    mruListbox_->clear();
    mruListbox_->addItems(passing);
    mruListbox_->setPalette(palette());
    mruListbox_->setFont(font());
    mruListbox_->setCurrentRow(-1);
    mruListbox_->clearSelection();
    const int rows = std::min(int(passing.size()), std::max(1, mruList_.Rows()));
    const QRect textRect = EditRect();
    mruListbox_->resize(std::max(textRect.width(), mruListWidth_), mruListbox_->height());
    mruListbox_->SetRowCount(rows);
    mruListbox_->UpdateScrollBar();
    const QRect global(mapToGlobal(QPoint(0, 0)), size());
    const bool above = PlaceDropDownWindow(global, mruListbox_);
    mruListbox_->SizeGrip()->SetPosition(above ? sgpTopRight : sgpBottomRight);
    mruListbox_->show();
    listVisible_ = true;
}

void TCustomDBEditEx::CloseUp(bool accept)
{
    if (!listVisible_ || !mruListbox_)
        return;
    StoreMRUListboxSize();
    if (QWidget::mouseGrabber() == mruListbox_)
        mruListbox_->releaseMouse();
    const bool hadFocus = mruListbox_->hasFocus();
    mruListbox_->hide();
    listVisible_ = false;
    if (hadFocus)
        setFocus();
    if (accept && !QLineEdit::isReadOnly() && mruListbox_->currentItem() && dataLink_.EditData()) {
        InternalSetText(mruListbox_->currentItem()->text());
        dataLink_.SetModified();
        if (hasFocus())
            selectAll();
    }
}

void TCustomDBEditEx::StoreMRUListboxSize()
{
    if (!mruListbox_)
        return;
    mruList_.SetRows(mruListbox_->RowCount());
    mruListWidth_ = mruListbox_->width();
}

// ---- In-place holder

void TCustomDBEditEx::SetInplaceEditHolder(QObject* holder)
{
    if (!holder) {
        holder_ = nullptr;
        UpdateReadOnly();
        return;
    }
    auto* h = dynamic_cast<IInplaceEditHolderEx*>(holder);
    if (!h)
        throw Exception(QStringLiteral("InplaceEditHolder have to support IInplaceEditHolderEx interface"));
    holder_ = h;
    UpdateReadOnly();
}

// ---- Events

bool TCustomDBEditEx::InButtonOrImageArea(const QPoint& p) const
{
    const QRect text = EditRect();
    const int fw = FrameWidth();
    const QRect inner = rect().adjusted(fw, fw, -fw, -fw);
    return inner.contains(p) && !text.contains(p) && (p.x() < text.left() || p.x() > text.right());
}

bool TCustomDBEditEx::event(QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
            (wantTabs_ || (holder_ && holder_->InplaceEditWantTabs()))) {
            keyPressEvent(k);
            return true;
        }
    }
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        const bool enterOrEsc = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter || k->key() == Qt::Key_Escape;
        if (enterOrEsc && listVisible_ && mruListbox_ && mruListbox_->currentItem()) {
            e->accept();
            return true;
        }
        if (k->key() == Qt::Key_Escape && Modified()) {
            e->accept();
            return true;
        }
    }
    return QLineEdit::event(e);
}

void TCustomDBEditEx::keyPressEvent(QKeyEvent* e)
{
    bool consumed = false;
    const bool handled = Guarded([&] {
        int key = VirtualKeyOf(e->key());
        const TShiftState shift = ShiftStateOf(e->modifiers());
        if (holder_ && key) {
            holder_->InplaceEditKeyDown(key, shift);
            if (key == 0) {
                consumed = true;
                return;
            }
        }
        // An open recent-texts list takes Enter, Esc and the moving keys.
        if (listVisible_ && mruListbox_) {
            if (key == VK_RETURN || key == VK_ESCAPE) {
                CloseUp(key == VK_RETURN && mruListbox_->currentItem());
                consumed = true;
                return;
            }
            if (key == VK_UP || key == VK_DOWN || key == VK_PRIOR || key == VK_NEXT) {
                QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text());
                QApplication::sendEvent(mruListbox_, &copy);
                consumed = true;
                return;
            }
        }
        if (WorkShortCut(ShortCutOf(e))) {
            consumed = true;
            return;
        }
        if (key == 'A' && shift == ssCtrl) {
            selectAll();
            consumed = true;
            return;
        }
        // Delete with any modifier changes the text (Shift+Delete cuts, Ctrl+Delete takes a word).
        if (key == VK_DELETE || (key == VK_INSERT && shift == ssShift)) {
            if (!readOnly_)
                StartEdit();
            return;
        }
        const QString text = e->text();
        QChar ch = text.size() == 1 ? text.at(0) : QChar(0);
        if (e->modifiers() & Qt::ControlModifier) {
            if (e->key() == Qt::Key_V)
                ch = QChar(22);
            else if (e->key() == Qt::Key_X)
                ch = QChar(24);
        }
        if (key == VK_RETURN)
            ch = QChar(13);
        if (ch.isNull())
            return;
        if (holder_) {
            holder_->InplaceEditKeyPress(ch);
            if (ch.isNull()) {
                consumed = true;
                return;
            }
        }
        if (ch == QChar(10) || (ch == QChar(13) && !wantReturns_) || (ch == QChar(9) && !wantTabs_ && !holder_)) {
            // Not typed into the text; the dialog may still use the key.
            consumed = ch == QChar(10);
            if (!consumed)
                e->ignore();
            consumed = true;
            return;
        }
        if (ch == QChar(27)) {
            const bool wasModified = Modified();
            dataLink_.Reset();
            selectAll();
            if (wasModified) {
                consumed = true;
                e->accept();
            } else {
                e->ignore();
                consumed = true;
            }
            return;
        }
        if (!DataIndependent() && ch.unicode() > 31 && Field() && !Field()->IsValidChar(ch)) {
            QApplication::beep();
            consumed = true;
            return;
        }
        if (ch == QChar(8) || ch == QChar(22) || ch == QChar(24) || ch.unicode() > 31) {
            if (!readOnly_)
                StartEdit();
        }
    });
    // A key whose handling failed (a refused text) goes nowhere else.
    if (consumed || !handled)
        return;
    if (e->key() == Qt::Key_Tab && (wantTabs_ || holder_)) {
        insert(QStringLiteral("\t"));
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TCustomDBEditEx::keyReleaseEvent(QKeyEvent* e)
{
    if (holder_) {
        int key = VirtualKeyOf(e->key());
        holder_->InplaceEditKeyUp(key, ShiftStateOf(e->modifiers()));
        if (key == 0)
            return;
    }
    QLineEdit::keyReleaseEvent(e);
}

namespace {

// The focus going to a pop-up over the edit (a menu, a list) or to another window, and coming
// back from there, is neither leaving the edit nor entering it.
bool IsPassingFocus(const QFocusEvent* e)
{
    return e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason;
}

} // namespace

void TCustomDBEditEx::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    if (IsPassingFocus(e)) {
        UpdateBorderState();
        return;
    }
    focusByMouse_ = e->reason() == Qt::MouseFocusReason;
    // Back after a refused text: the operator corrects what is there.
    const bool keep = std::exchange(keepTextOnFocusIn_, false) && Modified();
    if (Field() && Field()->CanModify() && !keep)
        Guarded([&] { DataChanged(); });
    if (autoSelect_ && !focusByMouse_)
        selectAll();
    UpdateBorderState();
}

void TCustomDBEditEx::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    Guarded([&] {
        if (listVisible_ && (!mruListbox_ || !mruListbox_->isAncestorOf(QApplication::focusWidget())))
            CloseUp(false);
    });
    if (!IsPassingFocus(e)) {
        const bool written = Guarded([&] {
            if (DataIndependent())
                dataLink_.UpdateData();
            else if (dataLink_.Modified())
                dataLink_.UpdateRecord();
        });
        // A text the mask or the field refused keeps the operator in the edit to correct it.
        if (!written)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    keepTextOnFocusIn_ = true;
                    setFocus(Qt::OtherFocusReason);
                    keepTextOnFocusIn_ = false;
                    selectAll();
                },
                Qt::QueuedConnection);
    }
    UpdateBorderState();
}

void TCustomDBEditEx::mousePressEvent(QMouseEvent* e)
{
    if (InButtonOrImageArea(e->position().toPoint()))
        return;
    QLineEdit::mousePressEvent(e);
}

QMenu* TCustomDBEditEx::CreateEditContextMenu()
{
    QMenu* menu = createStandardContextMenu();
    // Qt's own actions change the text without a key press; the edit has to begin first, or the
    // change is lost when the record is shown again (or refused when it is written).
    // The actions are known by Qt's own (translated) texts, the part before the shortcut.
    struct TChangingAction {
        const char* text;
        const char* name;
        void (QLineEdit::*act)();
    };
    static const TChangingAction changing[] = {{"&Undo", "edit-undo", &QLineEdit::undo},
                                               {"&Redo", "edit-redo", &QLineEdit::redo},
                                               {"Cu&t", "edit-cut", &QLineEdit::cut},
                                               {"&Paste", "edit-paste", &QLineEdit::paste},
                                               {"Delete", "edit-delete", &QLineEdit::del}};
    for (QAction* action : menu->actions()) {
        const QString text = action->text().section(QLatin1Char('\t'), 0, 0);
        for (const TChangingAction& c : changing) {
            if (text != QCoreApplication::translate("QLineEdit", c.text))
                continue;
            action->setObjectName(QLatin1String(c.name));
            const auto act = c.act;
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, MakeGuarded([this, act] {
                        if (readOnly_ || QLineEdit::isReadOnly())
                            return;
                        StartEdit();
                        (this->*act)();
                    }));
        }
    }
    return menu;
}

void TCustomDBEditEx::contextMenuEvent(QContextMenuEvent* e)
{
    std::unique_ptr<QMenu> menu(CreateEditContextMenu());
    menu->exec(e->globalPos());
}

void TCustomDBEditEx::dropEvent(QDropEvent* e)
{
    if (!readOnly_ && !QLineEdit::isReadOnly())
        Guarded([&] { StartEdit(); });
    QLineEdit::dropEvent(e);
}

void TCustomDBEditEx::mouseMoveEvent(QMouseEvent* e)
{
    setCursor(InButtonOrImageArea(e->position().toPoint()) ? Qt::ArrowCursor : Qt::IBeamCursor);
    if (InButtonOrImageArea(e->position().toPoint()))
        return;
    QLineEdit::mouseMoveEvent(e);
}

void TCustomDBEditEx::resizeEvent(QResizeEvent* e)
{
    QLineEdit::resizeEvent(e);
    LayoutButtons();
}

void TCustomDBEditEx::enterEvent(QEnterEvent* e)
{
    QLineEdit::enterEvent(e);
    mouseInside_ = true;
    UpdateBorderState();
}

void TCustomDBEditEx::leaveEvent(QEvent* e)
{
    QLineEdit::leaveEvent(e);
    mouseInside_ = false;
    UpdateBorderState();
}

void TCustomDBEditEx::paintEvent(QPaintEvent* e)
{
    QLineEdit::paintEvent(e);
    Guarded([&] {
        TCanvas c(static_cast<QPaintDevice*>(this));
        TRect r(0, 0, width(), height());
        const TColor color = FromQColor(palette().color(QPalette::Base));
        if (flat_) {
            // Two rings: the outer one sunken while the border shows, the inner one face-coloured.
            if (borderShown_) {
                TRect outer = r;
                DrawEdge(c, outer, BDR_SUNKENOUTER, BF_RECT);
            } else {
                c.Brush().SetColor(clBtnFace);
                c.FrameRect(r);
            }
            TRect inner = r;
            InflateRect(inner, -1, -1);
            c.Brush().SetColor(clBtnFace);
            c.FrameRect(inner);
        } else if (ctl3D_) {
            DrawEdge(c, r, EDGE_SUNKEN, BF_RECT);
        } else {
            c.Brush().SetColor(clWindowFrame);
            c.FrameRect(r);
        }
        if (editImage_.Visible && editImage_.Images) {
            const int fw = FrameWidth();
            const TRect area(fw, fw, fw + ImageAreaWidth() - 4, height() - fw);
            c.SaveDC();
            c.IntersectClipRect(area);
            editImage_.Images->Draw(c, area.Left, area.Top + (area.Height() - editImage_.Images->Height()) / 2,
                                    editImage_.ImageIndex, isEnabled());
            c.RestoreDC();
        }
        if (flat_) {
            // The one-pixel separators left of the visible buttons.
            c.Brush().SetColor(borderShown_ ? clBtnFace : color);
            for (TEditButtonControlEx* b : buttonControls_) {
                if (b->isHidden())
                    continue;
                const QRect g = b->geometry();
                c.FillRect(TRect(g.left() - 1, g.top(), g.left(), g.bottom() + 1));
            }
        }
    });
}
