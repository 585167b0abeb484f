// Footer cells of grid columns: fixed text, a field's value, or an aggregate (sum, average,
// count) that the grid's summary list keeps up to date. Each aggregate footer owns one TDBSum
// in the summary list and changes or frees only that one.
#pragma once

#include "grid/dbgridextypes.h"
#include "grid/dbsumlst.h"

#include "platform/collection.h"
#include "platform/dataset.h"
#include "platform/graphics.h"

#include <QObject>
#include <QString>
#include <cstdint>

class TColumnEx;

// Bits of a footer's assigned-values byte.
enum TColumnFooterValue : std::uint8_t { cfvAlignment, cfvFont, cfvColor };
using TColumnFooterValues = TEnumSet<TColumnFooterValue>;

class TColumnFooterEx : public TCollectionItem {
public:
    // The footer of column (a column's single Footer, or an item of its Footers).
    explicit TColumnFooterEx(TColumnEx* column);
    ~TColumnFooterEx() override;

    TColumnEx* Column() const { return column_; }
    IDBGridEx* Grid() const;

    void Assign(const TCollectionItem& source) override;
    // Forgets every assigned value and takes the default font again.
    virtual void RestoreDefaults();
    TColumnFooterValues AssignedValues() const { return assigned_; }

    TFooterValueType ValueType() const { return valueType_; }
    void SetValueType(TFooterValueType value);
    // The text of fvtStaticText.
    const QString& Value() const { return value_; }
    void SetValue(const QString& value);
    // The field aggregated or shown; empty: the column's field.
    const QString& FieldName() const { return fieldName_; }
    void SetFieldName(const QString& value);
    const QString& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const QString& value);
    bool EndEllipsis() const { return endEllipsis_; }
    void SetEndEllipsis(bool value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);

    TAlignment Alignment() const;
    void SetAlignment(TAlignment value);
    TColor Color() const;
    void SetColor(TColor value);
    // While unassigned the font is refreshed from its default on every read; changing it through
    // the non-const accessor assigns it.
    const TFont& Font() const;
    TFont& Font();
    void SetFont(const TFont& value);

    TAlignment DefaultAlignment() const;
    TColor DefaultColor() const;
    const TFont& DefaultFont() const;
    // The stored-value test of a window layout: assigned and different from the default.
    bool IsAlignmentStored() const;
    bool IsColorStored() const;
    bool IsFontStored() const { return assigned_.Contains(cfvFont); }

    // The aggregate item in the grid's summary list (none for other kinds or outside a grid).
    TDBSum* DBSum() const { return sum_; }
    // Adds, updates or frees the aggregate item to match ValueType and FieldName.
    void EnsureSumValue();
    // The summed, averaged or shown field's name (FieldName or the column's).
    QString EffectiveFieldName() const;
    // The value an aggregate footer shows (a count times 10000); 0 without an item.
    Currency SumValue() const;

private:
    void FontChanged();
    void ColumnChanged(bool allItems);
    void FreeSum();

    TColumnEx* column_;
    TColumnFooterValues assigned_;
    TFooterValueType valueType_ = fvtNon;
    QString value_;
    QString fieldName_;
    QString displayFormat_;
    bool endEllipsis_ = false;
    bool wordWrap_ = false;
    TAlignment alignment_ = taLeftJustify;
    TColor color_ = clWindow;
    mutable TFont font_;
    TDBSum* sum_ = nullptr;
};

// A column's footers for the grid's footer rows (row I uses item I when there is one).
class TColumnFootersEx : public TCollection {
public:
    explicit TColumnFootersEx(TColumnEx* column) : column_(column) {}
    TColumnEx* Column() const { return column_; }
    TColumnFooterEx* Items(int index) const { return static_cast<TColumnFooterEx*>(Item(index)); }
    TColumnFooterEx* Add() { return static_cast<TColumnFooterEx*>(TCollection::Add()); }
    TColumnFooterEx* Insert(int index) { return static_cast<TColumnFooterEx*>(TCollection::Insert(index)); }

protected:
    std::unique_ptr<TCollectionItem> CreateItem() override
    {
        return std::make_unique<TColumnFooterEx>(column_);
    }

private:
    TColumnEx* column_;
};

// The grid's summary list: footers' aggregates over the grid's dataset. Created inactive.
class TDBGridExSumList : public TDBSumListProducer {
public:
    explicit TDBGridExSumList(IDBGridEx* grid, QObject* owner = nullptr);
    ~TDBGridExSumList() override;

    IDBGridEx* Grid() const { return grid_; }
    // While the grid is designed, hooking only records the state without touching the dataset.
    bool DesignHooked() const { return designHooked_; }

protected:
    void HookDataSetEvents() override;
    void UnhookDataSetEvents() override;

private:
    IDBGridEx* grid_;
    bool designHooked_ = false;
};
