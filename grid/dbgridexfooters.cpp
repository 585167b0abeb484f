#include "grid/dbgridexfooters.h"

#include "grid/dbgridexcolumns.h"

namespace {

bool IsAggregate(TFooterValueType type)
{
    return type == fvtSum || type == fvtAvg || type == fvtCount;
}

TGroupOperation OperationOf(TFooterValueType type)
{
    switch (type) {
    case fvtAvg:
        return goAvg;
    case fvtCount:
        return goCount;
    default:
        return goSum;
    }
}

} // namespace

TColumnFooterEx::TColumnFooterEx(TColumnEx* column) : column_(column)
{
    FollowDefaultFont(font_, DefaultFont());
    font_.OnChange = [this] { FontChanged(); };
    if (IDBGridEx* grid = Grid())
        grid->InvalidateFooter();
}

TColumnFooterEx::~TColumnFooterEx()
{
    IDBGridEx* grid = Grid();
    if (grid && !grid->IsDestroying()) {
        grid->InvalidateFooter();
        FreeSum();
    }
}

IDBGridEx* TColumnFooterEx::Grid() const
{
    return column_ ? column_->Grid() : nullptr;
}

void TColumnFooterEx::ColumnChanged(bool allItems)
{
    if (column_)
        column_->Changed(allItems);
}

void TColumnFooterEx::FontChanged()
{
    assigned_.Include(cfvFont);
    ColumnChanged(true);
}

void TColumnFooterEx::Assign(const TCollectionItem& source)
{
    const auto* s = dynamic_cast<const TColumnFooterEx*>(&source);
    if (!s) {
        TCollectionItem::Assign(source);
        return;
    }
    if (s == this)
        return;
    if (s->assigned_.Contains(cfvAlignment))
        SetAlignment(s->alignment_);
    if (s->assigned_.Contains(cfvColor))
        SetColor(s->color_);
    if (s->assigned_.Contains(cfvFont))
        SetFont(s->font_);
    SetEndEllipsis(s->endEllipsis_);
    SetValueType(s->valueType_);
    SetFieldName(s->fieldName_);
    SetValue(s->value_);
    SetWordWrap(s->wordWrap_);
    SetDisplayFormat(s->displayFormat_);
}

void TColumnFooterEx::RestoreDefaults()
{
    const bool fontAssigned = assigned_.Contains(cfvFont);
    assigned_ = TColumnFooterValues();
    FollowDefaultFont(font_, DefaultFont());
    ColumnChanged(fontAssigned);
}

void TColumnFooterEx::SetValueType(TFooterValueType value)
{
    if (valueType_ != value) {
        valueType_ = value;
        if (column_)
            column_->EnsureSumValues();
    }
    ColumnChanged(false);
}

void TColumnFooterEx::SetValue(const QString& value)
{
    value_ = value;
    ColumnChanged(false);
}

void TColumnFooterEx::SetFieldName(const QString& value)
{
    fieldName_ = value;
    if (column_)
        column_->EnsureSumValues();
    ColumnChanged(false);
}

void TColumnFooterEx::SetDisplayFormat(const QString& value)
{
    if (displayFormat_ == value)
        return;
    displayFormat_ = value;
    ColumnChanged(false);
}

void TColumnFooterEx::SetEndEllipsis(bool value)
{
    endEllipsis_ = value;
    ColumnChanged(false);
}

void TColumnFooterEx::SetWordWrap(bool value)
{
    wordWrap_ = value;
    ColumnChanged(false);
}

TAlignment TColumnFooterEx::DefaultAlignment() const
{
    const TField* field = column_ ? column_->Field() : nullptr;
    return field ? field->Alignment() : taLeftJustify;
}

TColor TColumnFooterEx::DefaultColor() const
{
    const IDBGridEx* grid = Grid();
    return grid ? grid->FooterColor() : clWindow;
}

const TFont& TColumnFooterEx::DefaultFont() const
{
    if (const IDBGridEx* grid = Grid())
        return grid->FooterFont();
    return column_ ? column_->Font() : StandaloneDefaultFont();
}

TAlignment TColumnFooterEx::Alignment() const
{
    return assigned_.Contains(cfvAlignment) ? alignment_ : DefaultAlignment();
}

void TColumnFooterEx::SetAlignment(TAlignment value)
{
    alignment_ = value;
    assigned_.Include(cfvAlignment);
    ColumnChanged(false);
}

TColor TColumnFooterEx::Color() const
{
    return assigned_.Contains(cfvColor) ? color_ : DefaultColor();
}

void TColumnFooterEx::SetColor(TColor value)
{
    color_ = value;
    assigned_.Include(cfvColor);
    ColumnChanged(false);
}

const TFont& TColumnFooterEx::Font() const
{
    if (!assigned_.Contains(cfvFont))
        FollowDefaultFont(font_, DefaultFont());
    return font_;
}

TFont& TColumnFooterEx::Font()
{
    if (!assigned_.Contains(cfvFont))
        FollowDefaultFont(font_, DefaultFont());
    return font_;
}

void TColumnFooterEx::SetFont(const TFont& value)
{
    Font().Assign(value);
    assigned_.Include(cfvFont);
}

bool TColumnFooterEx::IsAlignmentStored() const
{
    return assigned_.Contains(cfvAlignment) && alignment_ != DefaultAlignment();
}

bool TColumnFooterEx::IsColorStored() const
{
    return assigned_.Contains(cfvColor) && color_ != DefaultColor();
}

QString TColumnFooterEx::EffectiveFieldName() const
{
    if (!fieldName_.isEmpty())
        return fieldName_;
    return column_ ? column_->FieldName() : QString();
}

Currency TColumnFooterEx::SumValue() const
{
    return sum_ ? sum_->SumValue() : Currency();
}

void TColumnFooterEx::FreeSum()
{
    if (!sum_)
        return;
    TDBSum* sum = sum_;
    sum_ = nullptr;
    if (IDBGridEx* grid = Grid()) {
        TDBSumCollection& sums = grid->SumList().SumCollection();
        const int index = sum->Index();
        if (index >= 0)
            sums.Delete(index);
    }
}

void TColumnFooterEx::EnsureSumValue()
{
    IDBGridEx* grid = Grid();
    if (!grid)
        return;
    const TGroupOperation op = OperationOf(valueType_);
    const QString name = op == goCount ? QString() : EffectiveFieldName();
    if (sum_) {
        if (!IsAggregate(valueType_)) {
            FreeSum();
            return;
        }
        sum_->SetGroupOperation(op);
        sum_->SetFieldName(name);
        return;
    }
    if (!IsAggregate(valueType_))
        return;
    TDBSumCollection& sums = grid->SumList().SumCollection();
    sums.BeginUpdate();
    try {
        sum_ = sums.Add();
        sum_->SetGroupOperation(op);
        sum_->SetFieldName(name);
    } catch (...) {
        sums.EndUpdate();
        throw;
    }
    sums.EndUpdate();
}

// ---- TDBGridExSumList ---------------------------------------------------------------------------

TDBGridExSumList::TDBGridExSumList(IDBGridEx* grid, QObject* owner) : TDBSumListProducer(owner), grid_(grid)
{
    // A grid's footers compute nothing until the program switches its sums on.
    SetActive(false);
}

TDBGridExSumList::~TDBGridExSumList()
{
    // The base unhooks through the virtual call, which no longer reaches this class there.
    UnhookDataSetEvents();
}

void TDBGridExSumList::HookDataSetEvents()
{
    if (grid_ && grid_->IsDesigning()) {
        designHooked_ = true;
        return;
    }
    TDBSumListProducer::HookDataSetEvents();
}

void TDBGridExSumList::UnhookDataSetEvents()
{
    if (designHooked_) {
        designHooked_ = false;
        return;
    }
    TDBSumListProducer::UnhookDataSetEvents();
}
