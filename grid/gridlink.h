// The link through which a grid watches its dataset: dataset notifications become calls on the
// grid, the grid's data columns map to dataset fields, and a modified flag makes the grid write
// its editor's text back exactly once.
#pragma once

#include "platform/datasource.h"
#include "platform/exceptions.h"

#include <QString>
#include <vector>

// An operation the grid cannot carry out in its present state.
class EInvalidGridOperation : public Exception {
public:
    using Exception::Exception;
};

// What the link needs of its grid.
class TGridDataLinkClient {
public:
    virtual ~TGridDataLinkClient() = default;
    virtual void LinkActive(bool value) = 0;
    virtual void DataChanged() = 0;
    virtual void Scroll(int distance) = 0;
    // Redo the layout; the link raises LayoutFromDataSet around it.
    virtual void LayoutChanged() = 0;
    virtual bool LayoutFromDataSet() const = 0;
    virtual void SetLayoutFromDataSet(bool value) = 0;
    virtual TField* SelectedField() const = 0;
    virtual void SetSelectedField(TField* field) = 0;
    // Takes the focus when allowed; true when the grid (or its editor) then has it.
    virtual bool AcquireFocus() = 0;
    virtual void ShowEditor() = 0;
    virtual void EditingChanged() = 0;
    virtual void RecordChanged(TField* field) = 0;
    // Writes the editor's value into the current field.
    virtual void UpdateData() = 0;
};

class TGridDataLinkEx : public TDataLink {
public:
    // Entries the field map can hold (2^28 - 1).
    static constexpr int MaxMapSize = 268435455;

    explicit TGridDataLinkEx(TGridDataLinkClient* grid) : grid_(grid) {}

    TGridDataLinkClient* Grid() const { return grid_; }

    // With a sparse map, columns may name fields the dataset lacks (mapped to -1).
    bool SparseMap() const { return sparseMap_; }
    void SetSparseMap(bool value) { sparseMap_ = value; }

    // Appends the field's index (or -1); an unknown name raises unless the map is sparse.
    bool AddMapping(const QString& fieldName);
    void ClearMapping();
    int FieldMapCount() const { return int(fieldMap_.size()); }
    int FieldMapCapacity() const { return capacity_; }
    // The field of entry i; nullptr outside the map or for an unmapped entry.
    TField* GetMappedField(int i) const;
    bool DefaultFields() const;

    // The grid changed the current record.
    void Modified() { modified_ = true; }
    bool IsModified() const { return modified_; }
    // Drops the grid's change, or cancels the dataset's when the grid made none.
    void Reset();

    // Notifications from the data source, forwarded to the grid.
    void ActiveChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled(int distance) override;
    void LayoutChanged() override;
    void FocusControl(TField** field) override;
    void EditingChanged() override;
    void RecordChanged(TField* field) override;
    void UpdateData() override;

private:
    TGridDataLinkClient* grid_;
    std::vector<int> fieldMap_;
    int capacity_ = 0;
    bool sparseMap_ = false;
    bool modified_ = false;
    bool inUpdateData_ = false;
};
