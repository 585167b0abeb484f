#include "platform/datasource.h"

#include <algorithm>

// ================================================================================================
// TDataSource

TDataSource::~TDataSource()
{
    if (dataSet_)
        dataSet_->RemoveDataSource(this);
    dataSet_ = nullptr;
    const auto links = links_;
    for (TDataLink* l : links) {
        l->source_ = nullptr;
        l->UpdateState();
    }
}

void TDataSource::SetDataSet(TDataSet* ds)
{
    if (ds == dataSet_)
        return;
    if (dataSet_)
        dataSet_->RemoveDataSource(this);
    dataSet_ = ds;
    if (dataSet_)
        dataSet_->AddDataSource(this);
    NotifyLinksActive();
}

void TDataSource::SetEnabled(bool e)
{
    if (e == enabled_)
        return;
    enabled_ = e;
    NotifyLinksActive();
}

void TDataSource::Edit()
{
    if (autoEdit_ && dataSet_ && dataSet_->State() == dsBrowse)
        dataSet_->Edit();
}

void TDataSource::NotifyLinksActive()
{
    const auto links = links_;
    for (TDataLink* l : links)
        if (std::find(links_.begin(), links_.end(), l) != links_.end())
            l->UpdateState();
    const TDataSetState s = State();
    if (s != lastState_) {
        lastState_ = s;
        if (OnStateChange)
            OnStateChange(*this);
    }
}

void TDataSource::DataEvent(TDataEvent event, TField* field)
{
    if (event == deUpdateState) {
        NotifyLinksActive();
        return;
    }
    if (!enabled_)
        return;
    const auto links = links_;
    for (TDataLink* l : links)
        if (std::find(links_.begin(), links_.end(), l) != links_.end())
            l->DataEvent(event, field);
    switch (event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
        if (OnDataChange)
            OnDataChange(*this, event == deFieldChange ? field : nullptr);
        break;
    case deUpdateRecord:
        if (OnUpdateData)
            OnUpdateData(*this);
        break;
    default:
        break;
    }
}

void TDataSource::AddLink(TDataLink* l)
{
    if (std::find(links_.begin(), links_.end(), l) == links_.end())
        links_.push_back(l);
}

void TDataSource::RemoveLink(TDataLink* l)
{
    std::erase(links_, l);
}

// ================================================================================================
// TDataLink

TDataLink::~TDataLink()
{
    if (source_) {
        if (TDataSet* ds = source_->DataSet(); ds && activeOverride_ >= 0)
            ds->overrideRecord_ = nullptr;
        source_->RemoveLink(this);
    }
}

void TDataLink::SetDataSource(TDataSource* s)
{
    if (s == source_)
        return;
    if (source_)
        source_->RemoveLink(this);
    source_ = s;
    if (source_)
        source_->AddLink(this);
    UpdateState();
}

void TDataLink::SetReadOnly(bool r)
{
    if (r == readOnly_)
        return;
    readOnly_ = r;
    UpdateState();
}

void TDataLink::UpdateState()
{
    TDataSet* ds = DataSet();
    const bool active = source_ && source_->Enabled() && ds && ds->Active();
    const bool editing = active && !readOnly_ && (ds->State() == dsEdit || ds->State() == dsInsert);
    if (active != active_) {
        active_ = active;
        activeOverride_ = -1;
        first_ = 0;
        if (active_)
            AdjustWindow();
        editing_ = editing;
        ActiveChanged();
        return;
    }
    if (editing != editing_) {
        editing_ = editing;
        EditingChanged();
    }
}

int TDataLink::AdjustWindow()
{
    TDataSet* ds = DataSet();
    const int old = first_;
    activeOverride_ = -1;
    if (!ds || !ds->Active() || ds->VisibleCount() == 0) {
        first_ = 0;
        return first_ - old;
    }
    const int n = ds->VisibleCount();
    const int cur = std::max(0, ds->CurrentIndex());
    int f = first_;
    if (cur < f)
        f = cur;
    if (cur >= f + bufferCount_)
        f = cur - bufferCount_ + 1;
    f = std::min(f, std::max(0, n - bufferCount_));
    first_ = std::max(0, f);
    return first_ - old;
}

void TDataLink::DataEvent(TDataEvent event, TField* field)
{
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_)
        return;
    switch (event) {
    case deFieldChange:
        RecordChanged(field);
        break;
    case deRecordChange:
        RecordChanged(nullptr);
        break;
    case deDataSetChange:
        AdjustWindow();
        DataSetChanged();
        break;
    case deDataSetScroll:
        DataSetScrolled(AdjustWindow());
        break;
    case deLayoutChange:
        AdjustWindow();
        LayoutChanged();
        break;
    case deUpdateRecord:
        UpdateRecord();
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    case deFocusControl: {
        TField* f = field;
        FocusControl(&f);
        break;
    }
    default:
        break;
    }
}

void TDataLink::SetBufferCount(int n)
{
    n = std::max(1, n);
    if (n == bufferCount_)
        return;
    bufferCount_ = n;
    if (active_)
        AdjustWindow();
}

int TDataLink::ActiveRecord() const
{
    if (!active_)
        return 0;
    if (activeOverride_ >= 0)
        return activeOverride_;
    return std::max(0, DataSet()->CurrentIndex() - first_);
}

void TDataLink::SetActiveRecord(int index)
{
    TDataSet* ds = DataSet();
    if (!active_ || !ds)
        return;
    const int pos = first_ + index;
    if (index < 0 || pos >= ds->VisibleCount() || pos == ds->CurrentIndex()) {
        activeOverride_ = -1;
        ds->overrideRecord_ = nullptr;
        return;
    }
    activeOverride_ = index;
    ds->overrideRecord_ = ds->view_[pos];
}

int TDataLink::RecordCount() const
{
    if (!active_)
        return 0;
    return std::max(0, std::min(bufferCount_, DataSet()->VisibleCount() - first_));
}

bool TDataLink::Bof() const
{
    return active_ ? DataSet()->Bof() : true;
}

bool TDataLink::Eof() const
{
    return active_ ? DataSet()->Eof() : true;
}

bool TDataLink::Edit()
{
    if (!active_ || readOnly_)
        return false;
    // The source decides whether a control may start an edit (AutoEdit).
    if (!editing_ && DataSet()->CanModify())
        source_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord()
{
    if (updating_)
        return;
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

int TDataLink::MoveBy(int distance)
{
    return active_ ? DataSet()->MoveBy(distance) : 0;
}
