#include "grid/dbgridexcolumns.h"

#include "grid/dbgridexselection.h"
#include "grid/gridstyle.h"

#include "platform/canvas.h"
#include "platform/text.h"

#include <algorithm>

namespace {

bool IsMemoType(TFieldType type)
{
    return type == ftMemo || type == ftFmtMemo;
}

bool IsSteppedNumber(TFieldType type)
{
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
        return true;
    default:
        return false;
    }
}

bool IsDateTimeType(TFieldType type)
{
    return type == ftDate || type == ftTime || type == ftDateTime;
}

// Width of "0" and the overhang of a font, as the width rules measure them.
struct DigitMetrics {
    int digit = 0;
    int overhang = 0;
    int aveChar = 0;
};

DigitMetrics MeasureDigits(const TFont& font)
{
    TCanvas canvas;
    canvas.Font().Assign(font);
    const TTextMetric tm = canvas.TextMetrics();
    return {canvas.TextWidth("0"), tm.Overhang, tm.AveCharWidth};
}

} // namespace

// ---- Shared routines ----------------------------------------------------------------------------

QString FormatFieldValue(const TField& field, const QString& displayFormat)
{
    if (displayFormat.isEmpty() || field.IsNull())
        return field.DisplayText();
    const TFormatSettings& fs = field.DataSet() ? field.DataSet()->FormatSettings() : FormatSettings();
    if (field.IsNumeric())
        return FormatFloat(displayFormat, field.AsFloat(), fs);
    if (IsDateTimeType(field.DataType()))
        return FormatDateTime(displayFormat, field.AsDateTime(), fs);
    return field.DisplayText();
}

QStringList SplitKeyListEntries(const QString& line)
{
    return line.split(';');
}

// ---- TColumnsExList -----------------------------------------------------------------------------

int TColumnsExList::IndexOf(const TColumnEx* column) const
{
    const auto it = std::find(items_.begin(), items_.end(), column);
    return it == items_.end() ? -1 : int(it - items_.begin());
}

int TColumnsExList::Add(TColumnEx* column)
{
    items_.push_back(column);
    return Count() - 1;
}

void TColumnsExList::Insert(int index, TColumnEx* column)
{
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, column);
}

void TColumnsExList::Delete(int index)
{
    if (index >= 0 && index < Count())
        items_.erase(items_.begin() + index);
}

int TColumnsExList::Remove(const TColumnEx* column)
{
    const int index = IndexOf(column);
    Delete(index);
    return index;
}

void TColumnsExList::Exchange(int a, int b)
{
    if (a >= 0 && b >= 0 && a < Count() && b < Count())
        std::swap(items_[std::size_t(a)], items_[std::size_t(b)]);
}

// ---- Grid-wide defaults -------------------------------------------------------------------------

IDBGridEx* TColumnTitleDefValuesEx::Grid() const
{
    return owner_ ? owner_->Grid() : nullptr;
}

TAlignment TColumnTitleDefValuesEx::DefaultAlignment() const
{
    const IDBGridEx* grid = Grid();
    return grid && grid->UseMultiTitle() ? taCenter : taLeftJustify;
}

TColor TColumnTitleDefValuesEx::DefaultColor() const
{
    const IDBGridEx* grid = Grid();
    return grid ? grid->FixedColor() : clBtnFace;
}

TAlignment TColumnTitleDefValuesEx::Alignment() const
{
    return alignmentAssigned_ ? alignment_ : DefaultAlignment();
}

void TColumnTitleDefValuesEx::SetAlignment(TAlignment value)
{
    if (alignmentAssigned_ && alignment_ == value)
        return;
    alignment_ = value;
    alignmentAssigned_ = true;
    if (IDBGridEx* grid = Grid())
        grid->LayoutChanged();
}

TColor TColumnTitleDefValuesEx::Color() const
{
    return colorAssigned_ ? color_ : DefaultColor();
}

void TColumnTitleDefValuesEx::SetColor(TColor value)
{
    if (colorAssigned_ && color_ == value)
        return;
    color_ = value;
    colorAssigned_ = true;
    if (IDBGridEx* grid = Grid())
        grid->Invalidate();
}

void TColumnTitleDefValuesEx::SetEndEllipsis(bool value)
{
    if (endEllipsis_ == value)
        return;
    endEllipsis_ = value;
    if (IDBGridEx* grid = Grid())
        grid->Invalidate();
}

void TColumnTitleDefValuesEx::SetOrientation(TTextOrientationEx value)
{
    if (orientation_ == value)
        return;
    orientation_ = value;
    if (IDBGridEx* grid = Grid())
        grid->LayoutChanged();
}

void TColumnTitleDefValuesEx::Assign(const TColumnTitleDefValuesEx& source)
{
    if (&source == this)
        return;
    if (source.alignmentAssigned_)
        SetAlignment(source.alignment_);
    if (source.colorAssigned_)
        SetColor(source.color_);
    SetEndEllipsis(source.endEllipsis_);
    SetOrientation(source.orientation_);
    titleButton_ = source.titleButton_;
    toolTips_ = source.toolTips_;
}

void TDBGridExColumnDefValuesEx::Assign(const TColumnDefValuesEx& source)
{
    TColumnDefValuesEx::Assign(source);
    const auto* s = dynamic_cast<const TDBGridExColumnDefValuesEx*>(&source);
    if (!s || s == this)
        return;
    SetAlwaysShowEditButton(s->alwaysShowEditButton_);
    autoDropDown_ = s->autoDropDown_;
    dblClickNextVal_ = s->dblClickNextVal_;
    dropDownShowTitles_ = s->dropDownShowTitles_;
    dropDownSizing_ = s->dropDownSizing_;
    SetEndEllipsis(s->endEllipsis_);
    toolTips_ = s->toolTips_;
}

void TDBGridExColumnDefValuesEx::SetAlwaysShowEditButton(bool value)
{
    if (alwaysShowEditButton_ == value)
        return;
    alwaysShowEditButton_ = value;
    if (IDBGridEx* grid = Grid())
        grid->Invalidate();
}

void TDBGridExColumnDefValuesEx::SetEndEllipsis(bool value)
{
    if (endEllipsis_ == value)
        return;
    endEllipsis_ = value;
    if (IDBGridEx* grid = Grid())
        grid->Invalidate();
}

void TColumnDropDownBoxEx::Assign(const TColumnDropDownBoxEx& source)
{
    autoFitColWidths_ = source.autoFitColWidths_;
    listSource_ = source.listSource_;
    options_ = source.options_;
    useMultiTitle_ = source.useMultiTitle_;
}

// ---- TColumnTitleEx -----------------------------------------------------------------------------

TColumnTitleEx::TColumnTitleEx(TColumnEx* column) : column_(column)
{
    FollowDefaultFont(font_, DefaultFont());
    font_.OnChange = [this] { FontChanged(); };
}

TColumnTitleEx::~TColumnTitleEx() = default;

IDBGridEx* TColumnTitleEx::Grid() const
{
    return column_ ? column_->Grid() : nullptr;
}

bool TColumnTitleEx::Assigned(TColumnExValue v) const
{
    return column_ && column_->assigned_.Contains(v);
}

void TColumnTitleEx::Assign(TColumnExValue v)
{
    if (column_)
        column_->assigned_.Include(v);
}

void TColumnTitleEx::Changed()
{
    if (column_)
        column_->Changed(false);
}

bool TColumnTitleEx::InColumnsUpdate() const
{
    return column_ && column_->Columns() && column_->Columns()->UpdateCount() > 0;
}

void TColumnTitleEx::FontChanged()
{
    Assign(cvTitleFont);
    Changed();
}

QString TColumnTitleEx::DefaultCaption() const
{
    if (!column_)
        return QString();
    if (const TField* field = column_->Field())
        return field->DisplayLabel();
    return column_->FieldName();
}

TAlignment TColumnTitleEx::DefaultAlignment() const
{
    IDBGridEx* grid = Grid();
    return grid ? grid->ColumnDefValues().Title().Alignment() : taLeftJustify;
}

TColor TColumnTitleEx::DefaultColor() const
{
    IDBGridEx* grid = Grid();
    return grid ? grid->ColumnDefValues().Title().Color() : clBtnFace;
}

const TFont& TColumnTitleEx::DefaultFont() const
{
    if (IDBGridEx* grid = Grid())
        return grid->TitleFont();
    return column_ ? column_->Font() : StandaloneDefaultFont();
}

bool TColumnTitleEx::DefaultEndEllipsis() const
{
    IDBGridEx* grid = Grid();
    return grid && grid->ColumnDefValues().Title().EndEllipsis();
}

bool TColumnTitleEx::DefaultTitleButton() const
{
    IDBGridEx* grid = Grid();
    return grid && grid->ColumnDefValues().Title().TitleButton();
}

bool TColumnTitleEx::DefaultToolTips() const
{
    IDBGridEx* grid = Grid();
    return grid && grid->ColumnDefValues().Title().ToolTips();
}

TTextOrientationEx TColumnTitleEx::DefaultOrientation() const
{
    IDBGridEx* grid = Grid();
    return grid ? grid->ColumnDefValues().Title().Orientation() : tohHorizontal;
}

QString TColumnTitleEx::Caption() const
{
    return Assigned(cvTitleCaption) ? caption_ : DefaultCaption();
}

void TColumnTitleEx::SetCaption(const QString& value)
{
    if (column_ && column_->IsDefaultColumn()) {
        if (column_->ActiveLink()) {
            if (TField* field = column_->Field()) {
                field->SetDisplayLabel(value);
                return;
            }
        }
    }
    if (Assigned(cvTitleCaption) && caption_ == value)
        return;
    caption_ = value;
    Assign(cvTitleCaption);
    Changed();
}

TAlignment TColumnTitleEx::Alignment() const
{
    return Assigned(cvTitleAlignment) ? alignment_ : DefaultAlignment();
}

void TColumnTitleEx::SetAlignment(TAlignment value)
{
    if (Assigned(cvTitleAlignment) && alignment_ == value)
        return;
    alignment_ = value;
    Assign(cvTitleAlignment);
    Changed();
}

TColor TColumnTitleEx::Color() const
{
    return Assigned(cvTitleColor) ? color_ : DefaultColor();
}

void TColumnTitleEx::SetColor(TColor value)
{
    if (Assigned(cvTitleColor) && color_ == value)
        return;
    color_ = value;
    Assign(cvTitleColor);
    Changed();
}

const TFont& TColumnTitleEx::Font() const
{
    if (!Assigned(cvTitleFont))
        FollowDefaultFont(font_, DefaultFont());
    return font_;
}

TFont& TColumnTitleEx::Font()
{
    if (!Assigned(cvTitleFont))
        FollowDefaultFont(font_, DefaultFont());
    return font_;
}

void TColumnTitleEx::SetFont(const TFont& value)
{
    Font().Assign(value);
    // An equal font fires no change but still counts as set.
    Assign(cvTitleFont);
}

bool TColumnTitleEx::EndEllipsis() const
{
    return Assigned(cvTitleEndEllipsis) ? endEllipsis_ : DefaultEndEllipsis();
}

void TColumnTitleEx::SetEndEllipsis(bool value)
{
    if (Assigned(cvTitleEndEllipsis) && endEllipsis_ == value)
        return;
    endEllipsis_ = value;
    Assign(cvTitleEndEllipsis);
    Changed();
}

bool TColumnTitleEx::TitleButton() const
{
    return Assigned(cvTitleButton) ? titleButton_ : DefaultTitleButton();
}

void TColumnTitleEx::SetTitleButton(bool value)
{
    if (Assigned(cvTitleButton) && titleButton_ == value)
        return;
    titleButton_ = value;
    Assign(cvTitleButton);
    Changed();
}

bool TColumnTitleEx::ToolTips() const
{
    return Assigned(cvTitleToolTips) ? toolTips_ : DefaultToolTips();
}

void TColumnTitleEx::SetToolTips(bool value)
{
    toolTips_ = value;
    Assign(cvTitleToolTips);
}

TTextOrientationEx TColumnTitleEx::Orientation() const
{
    return Assigned(cvTitleOrientation) ? orientation_ : DefaultOrientation();
}

void TColumnTitleEx::SetOrientation(TTextOrientationEx value)
{
    if (Assigned(cvTitleOrientation) && orientation_ == value)
        return;
    orientation_ = value;
    Assign(cvTitleOrientation);
    Changed();
}

void TColumnTitleEx::SetImageIndex(int value)
{
    if (imageIndex_ == value)
        return;
    imageIndex_ = value;
    if (IDBGridEx* grid = Grid())
        grid->Invalidate();
}

void TColumnTitleEx::SetSortMarker(TSortMarkerEx value)
{
    if (sortMarker_ == value)
        return;
    sortMarker_ = value;
    if (InColumnsUpdate())
        return;
    IDBGridEx* grid = Grid();
    TDBGridColumnsEx* columns = column_ ? column_->Columns() : nullptr;
    if (!grid || !columns) {
        sortIndex_ = value == smNoneEx ? 0 : 1;
        Changed();
        return;
    }
    TColumnsExList& marked = grid->SortMarkedColumns();
    if (!grid->OptionsEx().Contains(dghMultiSortMarking)) {
        if (value != smNoneEx) {
            for (int i = 0; i < columns->Count(); ++i) {
                TColumnEx* other = columns->Items(i);
                if (other == column_)
                    continue;
                TColumnTitleEx& t = other->Title();
                if (t.sortMarker_ != smNoneEx || t.sortIndex_ != 0) {
                    t.sortMarker_ = smNoneEx;
                    t.sortIndex_ = 0;
                    if (other->Index() + grid->IndicatorOffset() < grid->ColCount())
                        grid->InvalidateCol(other->Index() + grid->IndicatorOffset());
                }
            }
            sortIndex_ = 1;
            marked.Clear();
            marked.Add(column_);
        } else {
            sortIndex_ = 0;
            marked.Clear();
        }
    } else if (value != smNoneEx) {
        if (sortIndex_ == 0) {
            int sorted = 0;
            for (int i = 0; i < columns->Count(); ++i)
                if (columns->Items(i)->Title().sortIndex_ != 0)
                    ++sorted;
            sortIndex_ = sorted + 1;
            if (marked.IndexOf(column_) < 0)
                marked.Add(column_);
        }
    } else if (sortIndex_ != 0) {
        for (int i = 0; i < columns->Count(); ++i) {
            TColumnTitleEx& t = columns->Items(i)->Title();
            if (t.sortIndex_ > sortIndex_) {
                --t.sortIndex_;
                const int gridCol = i + grid->IndicatorOffset();
                if (gridCol < grid->ColCount())
                    grid->InvalidateCol(gridCol);
            }
        }
        marked.Remove(column_);
        sortIndex_ = 0;
    }
    Changed();
}

void TColumnTitleEx::SetSortIndex(int value)
{
    if (value < 0)
        value = 0;
    if (value == sortIndex_)
        return;
    if (InColumnsUpdate()) {
        sortIndex_ = value;
        return;
    }
    if (sortMarker_ == smNoneEx)
        return;
    TDBGridColumnsEx* columns = column_ ? column_->Columns() : nullptr;
    if (!columns)
        return;
    for (int i = 0; i < columns->Count(); ++i) {
        TColumnEx* other = columns->Items(i);
        if (other == column_ || other->Title().sortIndex_ != value)
            continue;
        other->Title().sortIndex_ = sortIndex_;
        sortIndex_ = value;
        if (IDBGridEx* grid = Grid()) {
            TColumnsExList& marked = grid->SortMarkedColumns();
            marked.Exchange(marked.IndexOf(column_), marked.IndexOf(other));
        }
        column_->Changed(true);
        return;
    }
}

void TColumnTitleEx::CycleSortMarker(bool keepOthers)
{
    if (!keepOthers && column_ && column_->Columns()) {
        TDBGridColumnsEx* columns = column_->Columns();
        for (int i = 0; i < columns->Count(); ++i)
            if (columns->Items(i) != column_)
                columns->Items(i)->Title().SetSortMarker(smNoneEx);
    }
    switch (sortMarker_) {
    case smNoneEx:
        SetSortMarker(smDownEx);
        break;
    case smDownEx:
        SetSortMarker(smUpEx);
        break;
    case smUpEx:
        SetSortMarker(keepOthers ? smNoneEx : smDownEx);
        break;
    }
}

int TColumnTitleEx::SortMarkingWidth() const
{
    if (sortIndex_ == 0)
        return 0;
    int width = 16;
    int numberWidth = 0;
    IDBGridEx* grid = Grid();
    if (grid && grid->SortMarkedColumns().Count() >= 2) {
        TCanvas canvas;
        canvas.Font().Assign(SortMarkerFont());
        numberWidth = canvas.TextWidth(QString::number(sortIndex_));
        width += numberWidth;
    }
    const int room = column_ ? column_->Width() - 4 : width;
    if (width > room) {
        width -= 14;
        if (width > room)
            width -= numberWidth + 2;
    }
    return std::max(width, 0);
}

void TColumnTitleEx::Assign(const TColumnTitleEx& source)
{
    if (&source == this)
        return;
    if (source.Assigned(cvTitleAlignment))
        SetAlignment(source.alignment_);
    if (source.Assigned(cvTitleColor))
        SetColor(source.color_);
    if (source.Assigned(cvTitleCaption))
        SetCaption(source.caption_);
    if (source.Assigned(cvTitleFont))
        SetFont(source.font_);
    SetTitleButton(source.TitleButton());
    SetSortMarker(source.SortMarker());
    SetEndEllipsis(source.EndEllipsis());
    SetToolTips(source.ToolTips());
    SetOrientation(source.Orientation());
}

void TColumnTitleEx::RestoreDefaults()
{
    if (column_) {
        for (TColumnExValue v : {cvTitleColor, cvTitleCaption, cvTitleAlignment, cvTitleFont, cvTitleButton,
                                 cvTitleEndEllipsis, cvTitleToolTips, cvTitleOrientation})
            column_->assigned_.Exclude(v);
    }
    FollowDefaultFont(font_, DefaultFont());
}

// ---- TColumnEx ----------------------------------------------------------------------------------

TColumnEx::TColumnEx(TDBGridColumnsEx* columns) : columns_(columns)
{
    FollowDefaultFont(font_, DefaultFont());
    font_.OnChange = [this] { FontChanged(); };
    autoFitBase_ = Width();
    CreateParts();
}

TColumnEx::~TColumnEx()
{
    IDBGridEx* grid = Grid();
    if (grid && !grid->IsDestroying()) {
        grid->SortMarkedColumns().Remove(this);
        TDBGridExSelectionCols& selected = grid->Selection().Columns();
        if (selected.IndexOf(this) >= 0) {
            selected.Remove(this);
            grid->Selection().UpdateState();
        }
    }
    // Footers go first: they reach the grid's summary list through this column.
    footers_.reset();
    footer_.reset();
}

void TColumnEx::CreateParts()
{
    title_ = CreateTitle();
    footers_.reset();
    footer_.reset();
    footer_ = CreateFooter();
    footers_ = CreateFooters();
    stFilter_ = CreateSTFilter();
    editButtons_ = CreateEditButtons();
}

std::unique_ptr<TEditButtonsEx> TColumnEx::CreateEditButtons()
{
    return std::make_unique<TEditButtonsEx>(this);
}

std::unique_ptr<TColumnFooterEx> TColumnEx::CreateFooter()
{
    return std::make_unique<TColumnFooterEx>(this);
}

std::unique_ptr<TColumnFootersEx> TColumnEx::CreateFooters()
{
    return std::make_unique<TColumnFootersEx>(this);
}

std::unique_ptr<TSTColumnFilterEx> TColumnEx::CreateSTFilter()
{
    return std::make_unique<TSTColumnFilterEx>(this);
}

std::unique_ptr<TColumnTitleEx> TColumnEx::CreateTitle()
{
    return std::make_unique<TColumnTitleEx>(this);
}

IDBGridEx* TColumnEx::Grid() const
{
    return columns_ ? columns_->Grid() : nullptr;
}

TGridDataLinkEx* TColumnEx::ActiveLink() const
{
    IDBGridEx* grid = Grid();
    if (!grid)
        return nullptr;
    TGridDataLinkEx& link = grid->DataLink();
    return link.Active() ? &link : nullptr;
}

QString TColumnEx::DisplayName() const
{
    return fieldName_.isEmpty() ? TCollectionItem::DisplayName() : fieldName_;
}

void TColumnEx::SetIndex(int index)
{
    // The dataset's fields have no settable position; the grid keeps the order of the fields of
    // its own columns instead, so that its next layout does not undo the move.
    if (IsDefaultColumn() && ActiveLink() && index != Index())
        if (IDBGridEx* grid = Grid())
            grid->DefaultColumnMoved(Index(), index);
    TCollectionItem::SetIndex(index);
}

void TColumnEx::ScaleOwnFonts(int m, int d)
{
    auto scale = [m, d](TFont& f) { f.SetHeight(MulDiv(f.Height(), m, d)); };
    if (IsAssigned(cvFont))
        scale(Font());
    if (title_ && title_->Assigned(cvTitleFont))
        scale(title_->Font());
    if (footer_ && footer_->IsFontStored())
        scale(footer_->Font());
    for (int i = 0; i < footers_->Count(); ++i)
        if (footers_->Items(i)->IsFontStored())
            scale(footers_->Items(i)->Font());
}

void TColumnEx::FontChanged()
{
    assigned_.Include(cvFont);
    if (title_ && !title_->Assigned(cvTitleFont))
        FollowDefaultFont(title_->font_, title_->DefaultFont());
    Changed(false);
}

// ---- Field binding

TField* TColumnEx::Field() const
{
    if (field_ || fieldName_.isEmpty())
        return field_;
    IDBGridEx* grid = Grid();
    if (!grid)
        return nullptr;
    TDataSet* dataSet = grid->DataLink().DataSet();
    if (!dataSet || (!dataSet->Active() && dataSet->DefaultFields()))
        return nullptr;
    TField* found = dataSet->FindField(fieldName_);
    if (found) {
        auto* self = const_cast<TColumnEx*>(this);
        self->field_ = found;
        self->fieldName_ = found->FieldName();
        self->EnsureSumValues();
    }
    return field_;
}

void TColumnEx::SetField(TField* value)
{
    if (field_ == value)
        return;
    field_ = value;
    if (value)
        fieldName_ = value->FieldName();
    if (IsDefaultColumn()) {
        if (!value)
            fieldName_.clear();
        RestoreDefaults();
        autoFitBase_ = Width();
    }
    EnsureSumValues();
    Changed(false);
}

void TColumnEx::SetFieldName(const QString& value)
{
    TField* found = nullptr;
    IDBGridEx* grid = Grid();
    if (grid && !grid->IsLoading() && !value.isEmpty())
        if (TDataSet* dataSet = grid->DataLink().DataSet())
            found = dataSet->FindField(value);
    fieldName_ = value;
    SetField(found);
    // A footer that follows the column's field follows its name even while it is unbound.
    EnsureSumValues();
    autoFitBase_ = Width();
    Changed(false);
}

// ---- Properties with defaults

TAlignment TColumnEx::DefaultAlignment() const
{
    const TField* field = Field();
    return field ? field->Alignment() : taLeftJustify;
}

TAlignment TColumnEx::Alignment() const
{
    return IsAssigned(cvAlignment) ? alignment_ : DefaultAlignment();
}

void TColumnEx::SetAlignment(TAlignment value)
{
    if (IsDefaultColumn() && ActiveLink()) {
        if (TField* field = Field()) {
            field->SetAlignment(value);
            Changed(false);
            return;
        }
    }
    if (IsAssigned(cvAlignment) && alignment_ == value)
        return;
    alignment_ = value;
    assigned_.Include(cvAlignment);
    Changed(false);
}

TColor TColumnEx::DefaultColor() const
{
    const IDBGridEx* grid = Grid();
    return grid ? grid->Color() : clWindow;
}

TColor TColumnEx::Color() const
{
    return IsAssigned(cvColor) ? color_ : DefaultColor();
}

void TColumnEx::SetColor(TColor value)
{
    if (IsAssigned(cvColor) && color_ == value)
        return;
    color_ = value;
    assigned_.Include(cvColor);
    Changed(false);
}

const TFont& TColumnEx::DefaultFont() const
{
    const IDBGridEx* grid = Grid();
    return grid ? grid->Font() : StandaloneDefaultFont();
}

const TFont& TColumnEx::Font() const
{
    if (!IsAssigned(cvFont))
        FollowDefaultFont(font_, DefaultFont());
    return font_;
}

TFont& TColumnEx::Font()
{
    if (!IsAssigned(cvFont))
        FollowDefaultFont(font_, DefaultFont());
    return font_;
}

void TColumnEx::SetFont(const TFont& value)
{
    Font().Assign(value);
    assigned_.Include(cvFont);
}

bool TColumnEx::DefaultReadOnly() const
{
    const IDBGridEx* grid = Grid();
    if (grid && grid->ReadOnly())
        return true;
    const TField* field = Field();
    return field && field->ReadOnly();
}

bool TColumnEx::ReadOnly() const
{
    return IsAssigned(cvReadOnly) ? readOnly_ : DefaultReadOnly();
}

void TColumnEx::SetReadOnly(bool value)
{
    if (IsDefaultColumn() && ActiveLink()) {
        if (TField* field = Field()) {
            field->SetReadOnly(value);
            Changed(false);
            return;
        }
    }
    if (IsAssigned(cvReadOnly) && readOnly_ == value)
        return;
    readOnly_ = value;
    assigned_.Include(cvReadOnly);
    Changed(false);
}

int TColumnEx::DefaultWidth() const
{
    const IDBGridEx* grid = Grid();
    if (!grid)
        return 64;
    const TField* field = Field();
    if (!field)
        return grid->DefaultColWidth();
    const DigitMetrics m = MeasureDigits(Font());
    return (m.digit - m.overhang) * field->DisplayWidth() + m.overhang + 4;
}

int TColumnEx::Width() const
{
    return IsAssigned(cvWidth) ? width_ : DefaultWidth();
}

void TColumnEx::SetWidth(int value)
{
    IDBGridEx* grid = Grid();
    TField* field = Field();
    if (IsDefaultColumn() && field && grid && grid->HasWindow()) {
        const DigitMetrics m = MeasureDigits(Font());
        if (m.digit > 0)
            field->SetDisplayWidth((value + m.aveChar / 2 - m.overhang - 3) / m.digit);
    }
    const bool takenFromDataSet = IsDefaultColumn() && grid && grid->LayoutFromDataSet() && !IsAssigned(cvWidth);
    if (!takenFromDataSet) {
        if (IsAssigned(cvWidth) || value != DefaultWidth()) {
            int w = value;
            if (maxWidth_ >= 1 && w > maxWidth_)
                w = maxWidth_;
            if (minWidth_ > w)
                w = minWidth_;
            width_ = w;
            assigned_.Include(cvWidth);
        }
    }
    Changed(false);
}

void TColumnEx::RestoreStoredWidth(int value)
{
    const IDBGridEx* grid = Grid();
    if (grid && grid->AutoFitColWidths())
        autoFitBase_ = value;
    else
        SetWidth(value);
}

int TColumnEx::LimitWidth(int width) const
{
    if (minWidth_ > 0 && minWidth_ > width)
        return minWidth_;
    if (maxWidth_ > 0 && maxWidth_ < width)
        return maxWidth_;
    return width;
}

void TColumnEx::ApplyWidthLimits()
{
    const int current = Width();
    const int limited = LimitWidth(current);
    if (limited != current)
        SetWidth(limited);
}

void TColumnEx::SetMaxWidth(int value)
{
    if (maxWidth_ == value)
        return;
    maxWidth_ = value;
    if (value > 0)
        ApplyWidthLimits();
}

void TColumnEx::SetMinWidth(int value)
{
    if (minWidth_ == value)
        return;
    minWidth_ = value;
    if (value > 0)
        ApplyWidthLimits();
}

bool TColumnEx::DefaultWordWrap() const
{
    const TField* field = Field();
    if (!field)
        return false;
    switch (field->DataType()) {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
    case ftWideString:
        return true;
    default:
        return false;
    }
}

bool TColumnEx::WordWrap() const
{
    return IsAssigned(cvWordWrap) ? wordWrap_ : DefaultWordWrap();
}

void TColumnEx::SetWordWrap(bool value)
{
    if (IsAssigned(cvWordWrap) && wordWrap_ == value)
        return;
    wordWrap_ = value;
    assigned_.Include(cvWordWrap);
    Changed(false);
}

bool TColumnEx::DefaultCheckboxes() const
{
    const TField* field = Field();
    return field && field->DataType() == ftBoolean;
}

bool TColumnEx::Checkboxes() const
{
    return IsAssigned(cvCheckboxes) ? checkboxes_ : DefaultCheckboxes();
}

void TColumnEx::SetCheckboxes(bool value)
{
    if (IsAssigned(cvCheckboxes) && checkboxes_ == value)
        return;
    checkboxes_ = value;
    assigned_.Include(cvCheckboxes);
    Changed(false);
}

QString TColumnEx::DefaultLookupDisplayFields() const
{
    const TField* field = Field();
    return field && field->Lookup() ? field->LookupResultField() : QString();
}

QString TColumnEx::LookupDisplayFields() const
{
    return IsAssigned(cvLookupDisplayFields) ? lookupDisplayFields_ : DefaultLookupDisplayFields();
}

void TColumnEx::SetLookupDisplayFields(const QString& value)
{
    if (IsAssigned(cvLookupDisplayFields) && lookupDisplayFields_ == value)
        return;
    lookupDisplayFields_ = value;
    assigned_.Include(cvLookupDisplayFields);
    Changed(false);
}

TImeMode TColumnEx::ImeMode() const
{
    return imeMode_;
}

void TColumnEx::SetImeMode(TImeMode value)
{
    imeMode_ = value;
    assigned_.Include(cvImeMode);
    Changed(false);
}

QString TColumnEx::ImeName() const
{
    return imeName_;
}

void TColumnEx::SetImeName(const QString& value)
{
    imeName_ = value;
    assigned_.Include(cvImeName);
    Changed(false);
}

#define COLUMN_DEFAULTED_BOOL(Name, member, bit, notify)                                             \
    bool TColumnEx::Name() const                                                                     \
    {                                                                                                \
        if (IsAssigned(bit))                                                                         \
            return member;                                                                           \
        IDBGridEx* grid = Grid();                                                                    \
        return grid && grid->ColumnDefValues().Name();                                               \
    }                                                                                                \
    void TColumnEx::Set##Name(bool value)                                                            \
    {                                                                                                \
        member = value;                                                                              \
        assigned_.Include(bit);                                                                      \
        if (notify)                                                                                  \
            Changed(false);                                                                          \
    }

COLUMN_DEFAULTED_BOOL(AlwaysShowEditButton, alwaysShowEditButton_, cvAlwaysShowEditButton, true)
COLUMN_DEFAULTED_BOOL(AutoDropDown, autoDropDown_, cvAutoDropDown, false)
COLUMN_DEFAULTED_BOOL(DblClickNextVal, dblClickNextVal_, cvDblClickNextVal, true)
COLUMN_DEFAULTED_BOOL(DropDownShowTitles, dropDownShowTitles_, cvDropDownShowTitles, true)
COLUMN_DEFAULTED_BOOL(DropDownSizing, dropDownSizing_, cvDropDownSizing, true)
COLUMN_DEFAULTED_BOOL(EndEllipsis, endEllipsis_, cvEndEllipsis, true)
COLUMN_DEFAULTED_BOOL(ToolTips, toolTips_, cvToolTips, false)

#undef COLUMN_DEFAULTED_BOOL

bool TColumnEx::IsStored(TColumnExValue v) const
{
    if (!assigned_.Contains(v))
        return false;
    IDBGridEx* grid = Grid();
    const auto def = [grid](auto getter) { return grid ? getter(grid->ColumnDefValues()) : false; };
    switch (v) {
    case cvColor: return color_ != DefaultColor();
    case cvWidth: return width_ != DefaultWidth();
    case cvFont:
    case cvTitleFont: return true;
    case cvAlignment: return alignment_ != DefaultAlignment();
    case cvReadOnly: return readOnly_ != DefaultReadOnly();
    case cvTitleColor: return title_->color_ != title_->DefaultColor();
    case cvTitleCaption: return title_->caption_ != title_->DefaultCaption();
    case cvTitleAlignment: return title_->alignment_ != title_->DefaultAlignment();
    case cvTitleButton: return title_->titleButton_ != title_->DefaultTitleButton();
    case cvTitleEndEllipsis: return title_->endEllipsis_ != title_->DefaultEndEllipsis();
    case cvTitleToolTips: return title_->toolTips_ != title_->DefaultToolTips();
    case cvTitleOrientation: return title_->orientation_ != title_->DefaultOrientation();
    case cvImeMode: return imeMode_ != imDontCare;
    case cvImeName: return !imeName_.isEmpty();
    case cvWordWrap: return wordWrap_ != DefaultWordWrap();
    case cvLookupDisplayFields: return lookupDisplayFields_ != DefaultLookupDisplayFields();
    case cvCheckboxes: return checkboxes_ != DefaultCheckboxes();
    case cvAlwaysShowEditButton:
        return alwaysShowEditButton_ != def([](TDBGridExColumnDefValuesEx& d) { return d.AlwaysShowEditButton(); });
    case cvEndEllipsis: return endEllipsis_ != def([](TDBGridExColumnDefValuesEx& d) { return d.EndEllipsis(); });
    case cvAutoDropDown: return autoDropDown_ != def([](TDBGridExColumnDefValuesEx& d) { return d.AutoDropDown(); });
    case cvDblClickNextVal:
        return dblClickNextVal_ != def([](TDBGridExColumnDefValuesEx& d) { return d.DblClickNextVal(); });
    case cvToolTips: return toolTips_ != def([](TDBGridExColumnDefValuesEx& d) { return d.ToolTips(); });
    case cvDropDownSizing:
        return dropDownSizing_ != def([](TDBGridExColumnDefValuesEx& d) { return d.DropDownSizing(); });
    case cvDropDownShowTitles:
        return dropDownShowTitles_ != def([](TDBGridExColumnDefValuesEx& d) { return d.DropDownShowTitles(); });
    }
    return true;
}

// ---- Plain properties

void TColumnEx::SetAutoFitColWidth(bool value)
{
    if (autoFitColWidth_ == value)
        return;
    autoFitColWidth_ = value;
    if (!value)
        return;
    autoFitBase_ = Width();
    IDBGridEx* grid = Grid();
    if (grid && grid->AutoFitColWidths() && !grid->IsLoading() && !grid->IsDesigning())
        SetWidth(autoFitBase_);
}

void TColumnEx::SetButtonStyle(TColumnButtonStyleEx value)
{
    if (buttonStyle_ == value)
        return;
    buttonStyle_ = value;
    Changed(false);
}

void TColumnEx::SetDisplayFormat(const QString& value)
{
    if (displayFormat_ == value)
        return;
    displayFormat_ = value;
    Changed(false);
}

void TColumnEx::SetImageList(TImageList* value)
{
    if (imageList_ == value)
        return;
    imageList_ = value;
    Changed(false);
}

void TColumnEx::SetNotInKeyListIndex(int value)
{
    if (notInKeyListIndex_ == value)
        return;
    notInKeyListIndex_ = value;
    Changed(false);
}

void TColumnEx::SetVisible(bool value)
{
    if (visible_ == value)
        return;
    visible_ = value;
    // The grid's list of visible columns changes with it: a full layout.
    Changed(true);
}

TStringList& TColumnEx::PickList()
{
    if (!pickList_)
        pickList_ = std::make_unique<TStringList>();
    return *pickList_;
}

TStringList& TColumnEx::KeyList()
{
    if (!keyList_)
        keyList_ = std::make_unique<TStringList>();
    return *keyList_;
}

TColumnFooterEx& TColumnEx::GetFooterByIndex(int index) const
{
    if (index >= 0 && index < footers_->Count())
        return *footers_->Items(index);
    return *footer_;
}

void TColumnEx::EnsureSumValues()
{
    if (footer_)
        footer_->EnsureSumValue();
    if (footers_)
        for (int i = 0; i < footers_->Count(); ++i)
            footers_->Items(i)->EnsureSumValue();
}

void TColumnEx::RestoreDefaults()
{
    assigned_ = TColumnExValues();
    FollowDefaultFont(font_, DefaultFont());
    pickList_.reset();
    keyList_.reset();
    buttonStyle_ = cbsAuto;
    if (title_)
        title_->RestoreDefaults();
    Changed(false);
}

void TColumnEx::Assign(const TCollectionItem& source)
{
    const auto* s = dynamic_cast<const TColumnEx*>(&source);
    if (!s) {
        TCollectionItem::Assign(source);
        return;
    }
    if (s == this)
        return;
    if (columns_)
        columns_->BeginUpdate();
    try {
        SetFieldName(s->FieldName());
        if (s->IsAssigned(cvColor))
            SetColor(s->color_);
        if (s->IsAssigned(cvWidth))
            SetWidth(s->width_);
        if (s->IsAssigned(cvFont))
            SetFont(s->font_);
        if (s->IsAssigned(cvImeMode))
            SetImeMode(s->imeMode_);
        if (s->IsAssigned(cvImeName))
            SetImeName(s->imeName_);
        if (s->IsAssigned(cvAlignment))
            SetAlignment(s->alignment_);
        if (s->IsAssigned(cvReadOnly))
            SetReadOnly(s->readOnly_);
        if (s->IsAssigned(cvWordWrap))
            SetWordWrap(s->wordWrap_);
        if (s->IsAssigned(cvLookupDisplayFields))
            SetLookupDisplayFields(s->lookupDisplayFields_);
        if (s->IsAssigned(cvCheckboxes))
            SetCheckboxes(s->checkboxes_);
        title_->Assign(*s->title_);
        SetDropDownRows(s->dropDownRows_);
        SetButtonStyle(s->buttonStyle_);
        if (s->pickList_)
            PickList().Assign(*s->pickList_);
        else
            pickList_.reset();
        SetPopupMenu(s->popupMenu_);
        autoFitBase_ = s->autoFitBase_;
        autoFitColWidth_ = s->autoFitColWidth_;
        SetEndEllipsis(s->EndEllipsis());
        SetDropDownWidth(s->dropDownWidth_);
        SetAutoDropDown(s->AutoDropDown());
        SetAlwaysShowEditButton(s->AlwaysShowEditButton());
        footer_->Assign(*s->footer_);
        if (s->keyList_)
            KeyList().Assign(*s->keyList_);
        else
            keyList_.reset();
        SetIncrement(s->increment_);
        SetToolTips(s->ToolTips());
        footers_->Assign(*s->footers_);
        SetTag(s->tag_);
        SetVisible(s->visible_);
        SetImageList(s->imageList_);
        SetNotInKeyListIndex(s->notInKeyListIndex_);
        minWidth_ = s->minWidth_;
        maxWidth_ = s->maxWidth_;
        SetDblClickNextVal(s->DblClickNextVal());
        SetDropDownSizing(s->DropDownSizing());
        SetDropDownShowTitles(s->DropDownShowTitles());
        OnGetCellParams = s->OnGetCellParams;
        OnEditButtonClick = s->OnEditButtonClick;
        OnEditButtonDown = s->OnEditButtonDown;
        OnNotInList = s->OnNotInList;
        OnUpdateData = s->OnUpdateData;
        editButtons_->Assign(*s->editButtons_);
        dropDownBox_.Assign(s->dropDownBox_);
        mruList_.Assign(s->mruList_);
        SetDisplayFormat(s->displayFormat_);
        SetEditMask(s->editMask_);
    } catch (...) {
        if (columns_)
            columns_->EndUpdate();
        throw;
    }
    if (columns_)
        columns_->EndUpdate();
}

// ---- Values

TColumnTypeEx TColumnEx::GetColumnType() const
{
    if (Checkboxes())
        return ctCheckboxes;
    const TField* field = Field();
    if (field && field->Lookup())
        return ctLookupField;
    if (HasPickList() && !HasKeyList())
        return ctPickList;
    if (HasKeyList() && imageList_)
        return ctKeyImageList;
    if (HasKeyList() && pickList_)
        return ctKeyPickList;
    return ctCommon;
}

QString TColumnEx::DisplayText() const
{
    const TField* field = Field();
    if (!field)
        return QString();
    if (HasKeyList()) {
        const int index = keyList_->IndexOf(field->Text());
        const int pickCount = pickList_ ? pickList_->Count() : 0;
        if (index >= 0)
            return index < pickCount ? pickList_->Strings(index) : QString();
        if (notInKeyListIndex_ >= 0 && notInKeyListIndex_ < pickCount)
            return pickList_->Strings(notInKeyListIndex_);
        return QString();
    }
    const IDBGridEx* grid = Grid();
    if (IsMemoType(field->DataType()) && grid && grid->DrawMemoText())
        return field->AsString();
    return FormatFieldValue(*field, displayFormat_);
}

int TColumnEx::GetImageIndex() const
{
    if (GetColumnType() != ctKeyImageList)
        return -1;
    const TField* field = Field();
    const int index = keyList_->IndexOf(field ? field->Text() : QString());
    return index >= 0 ? index : notInKeyListIndex_;
}

TCheckBoxState TColumnEx::CheckboxState() const
{
    const TField* field = Field();
    if (!field || field->IsNull())
        return cbGrayed;
    if (field->DataType() == ftBoolean)
        return field->AsBoolean() ? cbChecked : cbUnchecked;
    if (!keyList_ || keyList_->Count() < 2)
        return cbGrayed;
    const QString text = field->Text();
    const auto matches = [&text](const QString& line) {
        for (const QString& entry : SplitKeyListEntries(line))
            if (entry.compare(text, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    if (matches(keyList_->Strings(0)))
        return cbChecked;
    if (matches(keyList_->Strings(1)))
        return cbUnchecked;
    return cbGrayed;
}

void TColumnEx::SetCheckboxState(TCheckBoxState value)
{
    TField* field = Field();
    if (!field)
        return;
    if (value == cbGrayed) {
        field->Clear();
        return;
    }
    if (field->DataType() == ftBoolean) {
        field->SetAsBoolean(value == cbChecked);
        return;
    }
    const int line = value == cbChecked ? 0 : 1;
    QString text;
    if (keyList_ && keyList_->Count() > line)
        text = SplitKeyListEntries(keyList_->Strings(line)).value(0);
    field->SetAsString(text);
}

void TColumnEx::UpdateData(const QString& text, const Variant& value, bool useText)
{
    QString t = text;
    Variant v = value;
    bool handled = false;
    if (OnUpdateData)
        OnUpdateData(*this, t, v, useText, handled);
    IDBGridEx* grid = Grid();
    if (!handled) {
        if (TField* field = Field()) {
            if (useText) {
                if (IsMemoType(field->DataType()) && grid && grid->DrawMemoText())
                    field->SetAsString(t);
                else
                    field->SetText(t);
            } else if (field->Lookup() && field->LookupDataSet() && field->DataSet()) {
                TDataSet& lookup = *field->LookupDataSet();
                if (VarIsNull(v) || VarIsEmpty(v))
                    AssignFieldValues(*field->DataSet(), field->KeyFields(), Variant::Null());
                else if (lookup.Locate(field->LookupKeyFields(), v))
                    AssignFieldValues(*field->DataSet(), field->KeyFields(), lookup.FieldValues(field->LookupKeyFields()));
            } else {
                field->SetValue(v);
            }
        }
    }
    if (mruList_.Active() && grid && grid->EditorVisible() && grid->EditorModified())
        mruList_.Add(grid->EditorText());
}

bool TColumnEx::CanModify(bool tryEdit)
{
    IDBGridEx* grid = Grid();
    if (!grid || grid->ReadOnly())
        return false;
    TGridDataLinkEx& link = grid->DataLink();
    if (!link.Active() || link.ReadOnly() || ReadOnly())
        return false;
    TField* field = Field();
    if (!field || !field->DataSet())
        return false;
    if (field->Lookup() && field->KeyFields().trimmed().isEmpty())
        return false;
    if (!field->CanModify())
        return false;
    if (field->IsBlob() && !(IsMemoType(field->DataType()) && grid->DrawMemoText()))
        return false;
    const TDBGridExAllowedOperations ops = grid->AllowedOperations();
    if (field->DataSet()->State() == dsInsert) {
        if (!ops.Contains(alopInsertEx) && !ops.Contains(alopAppendEx))
            return false;
    } else if (!ops.Contains(alopUpdateEx)) {
        return false;
    }
    if (!tryEdit)
        return true;
    link.Edit();
    const bool editing = link.Editing();
    if (editing)
        link.Modified();
    return editing;
}

void TColumnEx::StepKeyList(const TStringList& list, bool forward, bool writeAsKey)
{
    if (list.Count() == 0)
        return;
    const TField* field = Field();
    IDBGridEx* grid = Grid();
    QString current;
    if (writeAsKey)
        current = field ? field->Text() : QString();
    else
        current = grid && grid->EditorVisible() ? grid->EditorText() : (field ? field->Text() : QString());
    const int index = list.IndexOf(current);
    const int last = list.Count() - 1;
    int next;
    if (forward)
        next = index < 0 || index == last ? 0 : index + 1;
    else
        next = index <= 0 ? last : index - 1;
    const QString line = list.Strings(next);
    UpdateData(line, Variant(line), true);
}

void TColumnEx::SetNextFieldValue(double step)
{
    if (!CanModify(true))
        return;
    TField* field = Field();
    const bool forward = step == 1;
    switch (GetColumnType()) {
    case ctKeyPickList:
    case ctKeyImageList:
        StepKeyList(*keyList_, forward, true);
        break;
    case ctPickList:
        StepKeyList(*pickList_, forward, false);
        break;
    case ctLookupField: {
        TDataSet* lookup = field->LookupDataSet();
        if (!lookup || !field->DataSet())
            break;
        const Variant key = field->DataSet()->FieldValues(field->KeyFields());
        if (VarIsNull(key) || VarIsEmpty(key) || !lookup->Locate(field->LookupKeyFields(), key))
            lookup->First();
        if (forward) {
            lookup->Next();
            if (lookup->Eof())
                lookup->First();
        } else {
            lookup->Prior();
            if (lookup->Bof())
                lookup->Last();
        }
        UpdateData(QString(), lookup->FieldValues(field->LookupKeyFields()), false);
        break;
    }
    case ctCheckboxes:
        SetCheckboxState(CheckboxState() == cbChecked ? cbUnchecked : cbChecked);
        break;
    case ctCommon:
        if (IsSteppedNumber(field->DataType())) {
            if (field->IsNull())
                field->SetValue(field->Convert(Variant(0)));
            else
                field->SetValue(field->Convert(Variant(field->AsFloat() + step)));
        }
        break;
    }
}

void TColumnEx::FillCellParams(TColCellParamsEx& params) const
{
    params.Font.Assign(Font());
    params.Background = Color();
    params.Alignment = Alignment();
    params.ImageIndex = GetImageIndex();
    params.Text = DisplayText();
    params.CheckboxState = GetColumnType() == ctCheckboxes ? CheckboxState() : cbUnchecked;
    params.ReadOnly = ReadOnly();
    DoGetCellParams(params);
}

void TColumnEx::DoGetCellParams(TColCellParamsEx& params) const
{
    if (OnGetCellParams)
        OnGetCellParams(const_cast<TColumnEx&>(*this), false, params);
}

// ---- TDBGridColumnsEx ---------------------------------------------------------------------------

namespace {
// The kind of the next column CreateItem makes.
thread_local bool nextColumnUserDefined = true;
} // namespace

TDBGridColumnsEx::~TDBGridColumnsEx()
{
    // Columns go before the collection's own members: their destructors reach this collection.
    BeginUpdate();
    while (Count() > 0)
        Delete(Count() - 1);
}

std::unique_ptr<TCollectionItem> TDBGridColumnsEx::CreateItem()
{
    std::unique_ptr<TColumnEx> column = NewColumn();
    column->userDefined_ = nextColumnUserDefined;
    return column;
}

TColumnEx* TDBGridColumnsEx::AddColumn(bool userDefined)
{
    if (grid_)
        grid_->BeginLayout();
    TColumnEx* column = nullptr;
    nextColumnUserDefined = userDefined;
    try {
        column = static_cast<TColumnEx*>(TCollection::Add());
    } catch (...) {
        nextColumnUserDefined = true;
        if (grid_)
            grid_->EndLayout();
        throw;
    }
    nextColumnUserDefined = true;
    if (grid_)
        grid_->EndLayout();
    return column;
}

TColumnEx* TDBGridColumnsEx::Add()
{
    return AddColumn(true);
}

TColumnEx* TDBGridColumnsEx::AddDefault()
{
    return AddColumn(false);
}

TColumnEx* TDBGridColumnsEx::Insert(int index)
{
    if (grid_)
        grid_->BeginLayout();
    TColumnEx* column = nullptr;
    try {
        column = static_cast<TColumnEx*>(TCollection::Insert(index));
    } catch (...) {
        if (grid_)
            grid_->EndLayout();
        throw;
    }
    if (grid_)
        grid_->EndLayout();
    return column;
}

TDBGridColumnsState TDBGridColumnsEx::State() const
{
    return Count() > 0 && Items(0)->UserDefined() ? csCustomized : csDefault;
}

void TDBGridColumnsEx::RestoreDefaults()
{
    BeginUpdate();
    try {
        for (int i = 0; i < Count(); ++i)
            Items(i)->RestoreDefaults();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

TColumnEx* TDBGridColumnsEx::FindColumnByName(const QString& fieldName) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return Items(i);
    return nullptr;
}

QString TDBGridColumnsEx::ColumnsIndexText() const
{
    // Quoted with inner quotes doubled, so that any name, an empty one included, reads back.
    QStringList names;
    for (int i = 0; i < Count(); ++i)
        names << QuotedStr(Items(i)->FieldName(), QLatin1Char('"'));
    return names.join(',');
}

void TDBGridColumnsEx::SetColumnsIndexText(const QString& text)
{
    TStringList names;
    names.SetDelimitedText(text, ',', '"');
    // Each name takes the first column of that name not placed yet: columns with the same name
    // (no field, or the same field twice) keep the order the text gives them.
    std::vector<const TColumnEx*> placed;
    BeginUpdate();
    try {
        for (int i = 0; i < names.Count(); ++i) {
            for (int c = 0; c < Count(); ++c) {
                TColumnEx* column = Items(c);
                if (column->FieldName() == names[i] &&
                    std::find(placed.begin(), placed.end(), column) == placed.end()) {
                    placed.push_back(column);
                    column->SetIndex(std::min(i, Count() - 1));
                    break;
                }
            }
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TDBGridColumnsEx::RebuildSortMarkedList()
{
    if (!grid_)
        return;
    std::vector<TColumnEx*> marked;
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Title().SortIndex() > 0)
            marked.push_back(Items(i));
    std::stable_sort(marked.begin(), marked.end(), [](TColumnEx* a, TColumnEx* b) {
        return a->Title().SortIndex() < b->Title().SortIndex();
    });
    TColumnsExList& list = grid_->SortMarkedColumns();
    list.Clear();
    for (TColumnEx* c : marked)
        list.Add(c);
}

void TDBGridColumnsEx::Notify(TCollectionItem* item, TCollectionNotification action)
{
    TCollection::Notify(item, action);
}

void TDBGridColumnsEx::Update(TCollectionItem* item)
{
    if (!grid_ || grid_->IsLoading() || grid_->IsDestroying())
        return;
    IDBGridEx& grid = *grid_;
    if (item) {
        auto* column = static_cast<TColumnEx*>(item);
        const int gridCol = grid.IndicatorOffset() + column->Index();
        if (gridCol >= grid.ColCount()) {
            grid.LayoutChanged();
        } else {
            grid.InvalidateCol(gridCol);
            if (!grid.AutoFitColWidths() || grid.IsDesigning()) {
                const int target = column->Visible() ? column->Width()
                                                     : (grid.Options().Contains(dgColLines) ? -1 : 0);
                if (grid.ColWidth(gridCol) != target)
                    grid.SetColWidth(gridCol, target);
                // The title tree holds the widths too (bands span them, wrapping sets heights).
                if (grid.UseMultiTitle())
                    grid.LayoutTitles();
            } else {
                const int old = grid.ColWidth(gridCol);
                if (old > 0) {
                    const int base = MulDiv(column->autoFitBase_, column->Width(), old);
                    const int diff = base - column->autoFitBase_;
                    column->autoFitBase_ = base;
                    const int index = column->Index();
                    if (index < Count() - 1) {
                        TColumnEx* next = Items(index + 1);
                        next->autoFitBase_ = std::max(0, next->autoFitBase_ - diff);
                    }
                    grid.LayoutChanged();
                }
            }
        }
    } else {
        RebuildSortMarkedList();
        grid.LayoutChanged();
    }
    const int selected = grid.SelectedIndex();
    if (selected >= 0 && selected < Count() && !Items(selected)->Visible()) {
        for (int i = 0; i < Count(); ++i) {
            if (Items(i)->Visible()) {
                grid.SetSelectedIndex(i);
                if (!grid.InLayout())
                    grid.UpdateEditors();
                break;
            }
        }
    }
}
