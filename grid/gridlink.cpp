#include "grid/gridlink.h"

#include <algorithm>

namespace {

// Restores a flag however the guarded call ends.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
    ~FlagGuard() { flag_ = saved_; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& flag_;
    bool saved_;
};

}  // namespace

bool TGridDataLinkEx::AddMapping(const QString& fieldName)
{
    if (int(fieldMap_.size()) >= MaxMapSize)
        throw EInvalidGridOperation("Grid requested to display more than 256 columns");
    TField* field = nullptr;
    if (TDataSet* ds = DataSet())
        field = sparseMap_ ? ds->FindField(fieldName) : ds->FieldByName(fieldName);
    const int count = int(fieldMap_.size());
    if (count == capacity_) {
        long long grown = capacity_ == 0 ? 8 : 2LL * capacity_;
        grown = std::clamp<long long>(grown, count + 1, MaxMapSize);
        fieldMap_.reserve(std::size_t(grown));
        capacity_ = int(grown);
    }
    fieldMap_.push_back(field ? field->Index() : -1);
    return true;
}

void TGridDataLinkEx::ClearMapping()
{
    fieldMap_.clear();
    fieldMap_.shrink_to_fit();
    capacity_ = 0;
}

TField* TGridDataLinkEx::GetMappedField(int i) const
{
    if (i < 0 || i >= int(fieldMap_.size()) || fieldMap_[i] < 0)
        return nullptr;
    TDataSet* ds = DataSet();
    if (!ds || fieldMap_[i] >= ds->FieldCount())
        return nullptr;
    return ds->Field(fieldMap_[i]);
}

bool TGridDataLinkEx::DefaultFields() const
{
    TDataSet* ds = DataSet();
    bool result = ds ? ds->DefaultFields() : true;
    if (sparseMap_ && std::find(fieldMap_.begin(), fieldMap_.end(), -1) != fieldMap_.end())
        result = false;
    return result;
}

void TGridDataLinkEx::Reset()
{
    if (modified_)
        RecordChanged(nullptr);
    else if (TDataSet* ds = DataSet())
        ds->Cancel();
}

void TGridDataLinkEx::ActiveChanged()
{
    grid_->LinkActive(Active());
    modified_ = false;
}

void TGridDataLinkEx::DataSetChanged()
{
    grid_->DataChanged();
    modified_ = false;
}

void TGridDataLinkEx::DataSetScrolled(int distance)
{
    grid_->Scroll(distance);
}

void TGridDataLinkEx::LayoutChanged()
{
    {
        const bool saved = grid_->LayoutFromDataSet();
        grid_->SetLayoutFromDataSet(true);
        try {
            grid_->LayoutChanged();
        } catch (...) {
            grid_->SetLayoutFromDataSet(saved);
            throw;
        }
        grid_->SetLayoutFromDataSet(saved);
    }
    TDataLink::LayoutChanged();
}

void TGridDataLinkEx::FocusControl(TField** field)
{
    if (!field || !*field)
        return;
    grid_->SetSelectedField(*field);
    if (grid_->SelectedField() == *field && grid_->AcquireFocus()) {
        *field = nullptr;
        grid_->ShowEditor();
    }
}

void TGridDataLinkEx::EditingChanged()
{
    grid_->EditingChanged();
}

void TGridDataLinkEx::RecordChanged(TField* field)
{
    grid_->RecordChanged(field);
    modified_ = false;
}

void TGridDataLinkEx::UpdateData()
{
    if (inUpdateData_)
        return;
    FlagGuard guard(inUpdateData_);
    if (modified_)
        grid_->UpdateData();
    modified_ = false;
}
