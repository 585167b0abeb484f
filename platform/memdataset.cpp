#include "platform/memdataset.h"

TMemDataSet::~TMemDataSet()
{
    try {
        Close();
    } catch (...) {
        // Handlers of a dataset being destroyed must not escape.
    }
}

void TMemDataSet::InternalOpen()
{
    SetFieldDefs(DeclaredDataFields());
    RestoreRecords(std::move(kept_));
    kept_.clear();
}

void TMemDataSet::InternalClose()
{
    kept_ = TakeRecords();
}

void TMemDataSet::AppendRecord(const std::vector<Variant>& values)
{
    Append();
    try {
        std::size_t i = 0;
        for (TField* f : Fields()) {
            if (f->FieldKind() != fkData)
                continue;
            if (i >= values.size())
                break;
            f->SetValue(values[i++]);
        }
        Post();
    } catch (...) {
        Cancel();
        throw;
    }
}

void TMemDataSet::EmptyDataSet()
{
    if (!Active()) {
        kept_.clear();
        return;
    }
    Cancel();
    DisableControls();
    try {
        Close();
        kept_.clear();
        Open();
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}
