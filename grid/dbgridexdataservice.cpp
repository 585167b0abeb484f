#include "grid/dbgridexdataservice.h"

#include "grid/dbgridexcolumns.h"
#include "grid/gridlink.h"

#include "platform/memdataset.h"
#include "platform/query.h"
#include "platform/text.h"

#include <climits>
#include <vector>

// ---- TSTColumnFilterEx --------------------------------------------------------------------------

TSTColumnFilterEx::TSTColumnFilterEx(TColumnEx* column) : column_(column)
{
    ClearSTFilterExpression(expression_);
}

TSTColumnFilterEx::~TSTColumnFilterEx() = default;

void TSTColumnFilterEx::Assign(const TSTColumnFilterEx& source)
{
    if (&source == this)
        return;
    SetDataField(source.dataField_);
    SetVisible(source.visible_);
}

void TSTColumnFilterEx::SetVisible(bool value)
{
    if (visible_ == value)
        return;
    visible_ = value;
    if (column_)
        column_->Changed(false);
}

void TSTColumnFilterEx::SetFilterText(const QString& text)
{
    TSTFilterExpressionEx parsed = expression_;
    if (column_)
        if (const TField* field = column_->Field())
            parsed.ExpressionType = STFilterDataTypeOfField(field->DataType());
    ParseSTFilterExpression(text, parsed);
    // Normalising proves the expression can be shown back in the filter row; a text that fails
    // leaves the old text and expression in place.
    std::swap(expression_, parsed);
    try {
        (void)GetExpressionAsString();
    } catch (...) {
        std::swap(expression_, parsed);
        throw;
    }
    text_ = text;
}

void TSTColumnFilterEx::Clear()
{
    ClearSTFilterExpression(expression_);
    text_.clear();
}

QString STFilterOperandText(const Variant& operand)
{
    switch (operand.Type()) {
    case varDouble:
    case varInteger:
    case varInt64:
    case varCurrency:
        return FloatToStr(operand.AsDouble());
    case varDate:
        return DateTimeToStr(operand.AsDateTime());
    case varEmpty:
    case varNull:
        return QString();
    default:
        return '\'' + operand.AsString() + '\'';
    }
}

namespace {

QString ConditionText(TSTFilterOperatorEx op, const Variant& operand)
{
    const QString form = STFilterOperatorText(op);
    switch (op) {
    case foNull:
        return "=" + form;
    case foNotNull:
        return "<>" + form;
    case foIn:
    case foNotIn: {
        QString list;
        if (operand.Type() == varArray) {
            for (const Variant& v : operand.Items())
                list += STFilterOperandText(v) + ',';
        } else {
            list = STFilterOperandText(operand) + ',';
        }
        list.chop(1);
        return form + " (" + list + ")";
    }
    default:
        return form + ' ' + STFilterOperandText(operand);
    }
}

} // namespace

QString TSTColumnFilterEx::GetExpressionAsString() const
{
    if (expression_.ExpressionType == fdtNone || expression_.Operator1 == foNon)
        return QString();
    QString text = ConditionText(expression_.Operator1, expression_.Operand1);
    if (expression_.Relation != foNon)
        text += ' ' + STFilterOperatorText(expression_.Relation) + ' ' +
                ConditionText(expression_.Operator2, expression_.Operand2);
    return text;
}

Variant TSTColumnFilterEx::GetKeyValue() const
{
    return Variant();
}

QString TSTColumnFilterEx::GetFieldName() const
{
    return column_ ? column_->FieldName() : QString();
}

Variant TSTColumnFilterEx::GetOperand1() const
{
    return expression_.Operand1;
}

Variant TSTColumnFilterEx::GetOperand2() const
{
    return expression_.Operand2;
}

// ---- TSTDBGridExFilter --------------------------------------------------------------------------

void TSTDBGridExFilter::Assign(const TSTDBGridExFilter& source)
{
    if (&source == this)
        return;
    SetVisible(source.visible_);
    SetLocal(source.local_);
}

void TSTDBGridExFilter::SetVisible(bool value)
{
    if (visible_ == value)
        return;
    if (!value && updateCount_ == 0 && grid_)
        grid_->HideFilterEdit();
    visible_ = value;
    if (!grid_)
        return;
    grid_->LayoutChanged();
    if (grid_->EditorVisible())
        grid_->UpdateEditors();
}

void TSTDBGridExFilter::EndUpdate()
{
    if (updateCount_ > 0)
        --updateCount_;
}

// ---- TDBGridExDataService -----------------------------------------------------------------------

void TDBGridExDataService::ApplyFilter(IDBGridEx& grid)
{
    if (OnApplyFilter)
        OnApplyFilter(*this, grid);
    else
        DefaultApplyFilter(grid);
}

void TDBGridExDataService::ApplySorting(IDBGridEx& grid)
{
    if (OnApplySorting)
        OnApplySorting(*this, grid);
    else
        DefaultApplySorting(grid);
}

void TDBGridExDataService::DefaultApplyFilter(IDBGridEx& grid)
{
    TDataSet* dataSet = grid.DataLink().DataSet();
    if (!dataSet)
        return;
    if (TDataSetFeaturesEx* features = GetDataSetFeatures(*dataSet))
        features->ApplyFilter(grid, *dataSet, true);
}

void TDBGridExDataService::DefaultApplySorting(IDBGridEx& grid)
{
    TDataSet* dataSet = grid.DataLink().DataSet();
    if (!dataSet)
        return;
    if (TDataSetFeaturesEx* features = GetDataSetFeatures(*dataSet))
        features->ApplySorting(grid, *dataSet, true);
}

// ---- Registry -----------------------------------------------------------------------------------

namespace {

struct FeaturesEntry {
    QString className;   // upper-cased
    std::unique_ptr<TDataSetFeaturesEx> features;
};

std::vector<FeaturesEntry>& Registry()
{
    static std::vector<FeaturesEntry> entries;
    return entries;
}

} // namespace

std::function<QStringList(const TDataSet&)> DataSetClassChainHook;

void RegisterDataSetFeatures(const QString& className, std::unique_ptr<TDataSetFeaturesEx> features)
{
    Registry().push_back({className.toUpper(), std::move(features)});
}

void UnregisterAllDataSetFeatures()
{
    Registry().clear();
}

QStringList DataSetClassChain(const TDataSet& dataSet)
{
    if (DataSetClassChainHook) {
        QStringList chain = DataSetClassChainHook(dataSet);
        if (!chain.isEmpty())
            return chain;
    }
    if (dynamic_cast<const TMemDataSet*>(&dataSet))
        return {"TMemDataSet", "TDataSet"};
    if (dynamic_cast<const TQuery*>(&dataSet))
        return {"TQuery", "TDataSet"};
    return {"TDataSet"};
}

TDataSetFeaturesEx* GetDataSetFeatures(const QStringList& classChain)
{
    TDataSetFeaturesEx* best = nullptr;
    int bestDistance = INT_MAX;
    for (const FeaturesEntry& entry : Registry()) {
        int distance = INT_MAX;
        for (int i = 0; i < classChain.size(); ++i) {
            if (classChain[i].toUpper() == entry.className) {
                distance = i;
                break;
            }
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            best = entry.features.get();
        }
    }
    return best;
}

TDataSetFeaturesEx* GetDataSetFeatures(const TDataSet& dataSet)
{
    return GetDataSetFeatures(DataSetClassChain(dataSet));
}

TDBGridExDataService& DBGridExDefaultService()
{
    static TDBGridExDataService service;
    return service;
}
