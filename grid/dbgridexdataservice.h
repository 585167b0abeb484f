// Filtering and sorting of a grid's data. The grid neither filters nor sorts by itself: it keeps
// one filter text per column and the sort markers on its titles, and hands both requests to the
// data service, which calls a handler the program set or a features object registered for the
// dataset's class. Nothing is registered by default, so by default nothing changes.
#pragma once

#include "grid/dbgridextypes.h"
#include "grid/stfilterparser.h"

#include "platform/dataset.h"
#include "platform/variant.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class TColumnEx;

// The filter a column's cell in the filter row holds.
class TSTColumnFilterEx {
public:
    explicit TSTColumnFilterEx(TColumnEx* column);
    virtual ~TSTColumnFilterEx();
    TSTColumnFilterEx(const TSTColumnFilterEx&) = delete;
    TSTColumnFilterEx& operator=(const TSTColumnFilterEx&) = delete;

    TColumnEx* Column() const { return column_; }
    // Copies DataField and Visible.
    virtual void Assign(const TSTColumnFilterEx& source);

    const QString& DataField() const { return dataField_; }
    void SetDataField(const QString& value) { dataField_ = value; }
    bool Visible() const { return visible_; }
    // A change repaints the column.
    void SetVisible(bool value);

    // The text as typed and the expression parsed from it.
    const QString& FilterText() const { return text_; }
    const TSTFilterExpressionEx& Expression() const { return expression_; }
    // Parses text for the column's field kind; a parse error propagates and keeps the old text
    // and expression.
    void SetFilterText(const QString& text);
    void Clear();

    // The expression in the filter row's short form ("= 10", "In (1,2,3)", "> 1 AND < 5").
    virtual QString GetExpressionAsString() const;
    // A plain column filter has no key value (Empty).
    virtual Variant GetKeyValue() const;
    virtual QString GetFieldName() const;
    virtual Variant GetOperand1() const;
    virtual Variant GetOperand2() const;

private:
    TColumnEx* column_;
    QString dataField_;
    bool visible_ = true;
    TSTFilterExpressionEx expression_;
    QString text_;
};

// The text of one operand in the filter row's short form.
QString STFilterOperandText(const Variant& operand);

// The grid's filter-row settings.
class TSTDBGridExFilter {
public:
    explicit TSTDBGridExFilter(IDBGridEx* grid) : grid_(grid) {}
    TSTDBGridExFilter(const TSTDBGridExFilter&) = delete;
    TSTDBGridExFilter& operator=(const TSTDBGridExFilter&) = delete;

    IDBGridEx* Grid() const { return grid_; }
    void Assign(const TSTDBGridExFilter& source);

    // Left to the data service's features object.
    bool Local() const { return local_; }
    void SetLocal(bool value) { local_ = value; }
    // Shows or hides the filter row; hiding removes the row's editor first.
    bool Visible() const { return visible_; }
    void SetVisible(bool value);

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

private:
    IDBGridEx* grid_;
    bool local_ = false;
    bool visible_ = false;
    int updateCount_ = 0;
};

// What a dataset class offers for filtering and sorting from a grid.
class TDataSetFeaturesEx {
public:
    virtual ~TDataSetFeaturesEx() = default;
    // fromGrid: True when the request comes from the grid.
    virtual void ApplySorting(IDBGridEx& grid, TDataSet& dataSet, bool fromGrid) = 0;
    virtual void ApplyFilter(IDBGridEx& grid, TDataSet& dataSet, bool fromGrid) = 0;
};

class TDBGridExDataService {
public:
    using TApplyHandler = std::function<void(TDBGridExDataService& sender, IDBGridEx& grid)>;

    TDBGridExDataService() = default;
    virtual ~TDBGridExDataService() = default;
    TDBGridExDataService(const TDBGridExDataService&) = delete;
    TDBGridExDataService& operator=(const TDBGridExDataService&) = delete;

    TApplyHandler OnApplyFilter;
    TApplyHandler OnApplySorting;

    void ApplyFilter(IDBGridEx& grid);
    void ApplySorting(IDBGridEx& grid);
    virtual void DefaultApplyFilter(IDBGridEx& grid);
    virtual void DefaultApplySorting(IDBGridEx& grid);
};

// The service every grid uses (created at start-up, see gridstyle.h); never null.
TDBGridExDataService& DBGridExDefaultService();

// ---- Dataset-features registry -----------------------------------------------------------------

// Registers features for the dataset class named className (compared upper-cased); the registry
// owns them. Entries are kept in registration order.
void RegisterDataSetFeatures(const QString& className, std::unique_ptr<TDataSetFeaturesEx> features);
void UnregisterAllDataSetFeatures();
// The class names of a dataset from its own class up to "TDataSet". The platform's dataset kinds
// are known; a program with its own kinds sets DataSetClassChainHook to name them.
QStringList DataSetClassChain(const TDataSet& dataSet);
extern std::function<QStringList(const TDataSet&)> DataSetClassChainHook;
// The features of the nearest registered class up the chain (the first such entry on a tie).
TDataSetFeaturesEx* GetDataSetFeatures(const QStringList& classChain);
TDataSetFeaturesEx* GetDataSetFeatures(const TDataSet& dataSet);
