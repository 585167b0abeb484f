// Data sources and data links: how controls watch a dataset. A data source connects one dataset
// to any number of links; a link receives the dataset's notifications and keeps a window of
// buffered records (BufferCount records around the current one) for controls that show several.
#pragma once

#include "platform/dataset.h"

#include <functional>
#include <vector>

class TDataSource {
public:
    TDataSource() = default;
    explicit TDataSource(TDataSet* ds) { SetDataSet(ds); }
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    QString Name;

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* ds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool e);
    bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool a) { autoEdit_ = a; }
    TDataSetState State() const { return dataSet_ && enabled_ ? dataSet_->State() : dsInactive; }
    // Puts the dataset into edit state when AutoEdit allows it.
    void Edit();

    std::function<void(TDataSource&, TField*)> OnDataChange;
    std::function<void(TDataSource&)> OnStateChange;
    std::function<void(TDataSource&)> OnUpdateData;

    const std::vector<TDataLink*>& Links() const { return links_; }

private:
    friend class TDataSet;
    friend class TDataLink;
    void DataEvent(TDataEvent event, TField* field);
    void NotifyLinksActive();
    void AddLink(TDataLink* l);
    void RemoveLink(TDataLink* l);

    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    bool autoEdit_ = true;
    std::vector<TDataLink*> links_;
    TDataSetState lastState_ = dsInactive;
};

class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return source_; }
    void SetDataSource(TDataSource* s);
    TDataSet* DataSet() const { return source_ ? source_->DataSet() : nullptr; }
    // The source is enabled and its dataset open.
    bool Active() const { return active_; }
    bool Editing() const { return editing_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool r);

    // ---- Buffer window
    int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int n);
    // Index of the current record in the window; setting it makes the dataset's fields read
    // that record of the window (for painting rows) until it is set back or the dataset moves.
    int ActiveRecord() const;
    void SetActiveRecord(int index);
    // Number of records in the window (at most BufferCount; fewer only when the dataset has fewer).
    int RecordCount() const;
    // Position in the dataset of the window's first record.
    int FirstRecord() const { return first_; }
    bool Bof() const;
    bool Eof() const;

    // Asks the source to put the dataset into edit state (only when its AutoEdit allows);
    // true when the dataset is being edited.
    bool Edit();
    // Writes pending control data (UpdateData), as the dataset does before a post.
    void UpdateRecord();
    int MoveBy(int distance);

protected:
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
    virtual void EditingChanged() {}
    virtual void FocusControl(TField** /*field*/) {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField* /*field*/) {}
    virtual void UpdateData() {}

private:
    friend class TDataSource;
    friend class TDataSet;
    void DataEvent(TDataEvent event, TField* field);
    void UpdateState();
    // Moves the window so that it holds the current record and stays full; returns the shift.
    int AdjustWindow();

    TDataSource* source_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
    int bufferCount_ = 1;
    int first_ = 0;
    int activeOverride_ = -1;
};
