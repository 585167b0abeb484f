#include "grid/dbsumlst.h"

#include "platform/application.h"
#include "platform/datasource.h"
#include "platform/exceptions.h"
#include "platform/text.h"

#include <cmath>
#include <utility>

namespace {

// Our handlers sit around the program's own (order 0) in the dataset's event lists: some must see
// the record before the program changes it, some must see what the program left.
constexpr int kRunBeforeProgram = -100;
constexpr int kRunAfterProgram = 100;

// A step whose result Currency cannot hold (or that met a value that is no number).
struct TCurrencyOverflow {};

// Sums are computed in extended precision and stored as whole ten-thousandths, ties to even.
std::int64_t RoundToRaw(long double x)
{
    const long double r = std::nearbyintl(x);
    if (!std::isfinite(r) || r >= 9223372036854775807.0L || r < -9223372036854775808.0L)
        throw TCurrencyOverflow();
    return std::int64_t(r);
}

// Whole ten-thousandths added without wrapping around.
std::int64_t AddRaw(std::int64_t a, std::int64_t b)
{
    std::int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r))
        throw TCurrencyOverflow();
    return r;
}

long double Scaled(double value)
{
    return static_cast<long double>(value) * Currency::Scale;
}

Currency Average(Currency total, int count)
{
    if (count == 0)
        return Currency();
    return Currency::FromRaw(RoundToRaw(static_cast<long double>(total.Value) / count));
}

// A count with no field counts every record; with a field, only those where it is not null.
bool CountSkipsRecord(TDataSet& ds, const QString& fieldName)
{
    return !fieldName.isEmpty() && ds.FieldByName(fieldName)->IsNull();
}

// Takes our handler out of a dataset's event list, if it is in one.
template <class Hook>
void DropHook(Hook& hook)
{
    if (hook.list) {
        hook.list->Remove(hook.id);
        hook = {nullptr, 0};
    }
}

// Undoes a temporary state however the pass ends.
class PassGuard {
public:
    PassGuard(TDataSet& ds, bool& recalculating) : ds_(ds), recalculating_(recalculating)
    {
        ds_.DisableControls();
    }
    ~PassGuard()
    {
        recalculating_ = false;
        try {
            ds_.EnableControls();
        } catch (...) {
            // The pass's own error is the one worth reporting.
        }
    }
    PassGuard(const PassGuard&) = delete;
    PassGuard& operator=(const PassGuard&) = delete;

private:
    TDataSet& ds_;
    bool& recalculating_;
};

}  // namespace

// ================================================================================================
// TDBSum

void TDBSum::SetFieldName(const QString& name)
{
    if (name == fieldName_)
        return;
    fieldName_ = name;
    Changed(false);
}

void TDBSum::SetGroupOperation(TGroupOperation op)
{
    if (op == groupOperation_)
        return;
    groupOperation_ = op;
    Changed(false);
}

void TDBSum::Assign(const TCollectionItem& source)
{
    const auto* other = dynamic_cast<const TDBSum*>(&source);
    if (!other) {
        TCollectionItem::Assign(source);
        return;
    }
    SetGroupOperation(other->groupOperation_);
    SetFieldName(other->fieldName_);
    oldContribution_ = other->oldContribution_;
    sumValue_ = other->sumValue_;
}

// ================================================================================================
// TDBSumCollection

TDBSum* TDBSumCollection::FindSum(TGroupOperation op, const QString& fieldName) const
{
    for (int i = 0; i < Count(); ++i) {
        TDBSum* s = GetItem(i);
        if (s->GroupOperation() == op && SameText(s->FieldName(), fieldName))
            return s;
    }
    return nullptr;
}

void TDBSumCollection::Update(TCollectionItem* /*item*/)
{
    if (producer_)
        producer_->ItemsChanged();
}

// ================================================================================================
// TDBSumListProducer: state

TDBSumListProducer::TDBSumListProducer(QObject* owner) : owner_(owner), sumCollection_(this)
{
    active_ = true;
}

TDBSumListProducer::~TDBSumListProducer()
{
    ownerDestroying_ = true;
    try {
        active_ = false;
        TDBSumListProducer::UnhookDataSetEvents();
    } catch (...) {
        // Nothing may escape a destructor.
    }
    WatchDestroy(nullptr);
}

void TDBSumListProducer::Assign(const TDBSumListProducer& source)
{
    if (&source == this)
        return;
    SetActive(source.active_);
    SetDataSet(source.dataSet_);
    SetExternalRecalc(source.externalRecalc_);
    sumCollection_.Assign(source.sumCollection_);
    SumListChanged = source.SumListChanged;
    SetVirtualRecords(source.virtualRecords_);
    OnAfterRecalcAll = source.OnAfterRecalcAll;
    OnRecalcAll = source.OnRecalcAll;
}

void TDBSumListProducer::SetDataSet(TDataSet* value)
{
    if (value == dataSet_)
        return;
    if (loading_) {
        dataSet_ = value;
        WatchDestroy(value);
        return;
    }
    const bool wasActive = active_;
    Deactivate(true);
    dataSet_ = value;
    WatchDestroy(value);
    if (wasActive)
        Activate(true);
}

void TDBSumListProducer::SetActive(bool value)
{
    if (value == active_)
        return;
    if (value)
        Activate(true);
    else
        Deactivate(true);
}

void TDBSumListProducer::Activate(bool recalc)
{
    active_ = true;
    if (loading_)
        return;
    HookDataSetEvents();
    if (recalc)
        RecalcAll();
}

void TDBSumListProducer::Deactivate(bool clear)
{
    active_ = false;
    if (loading_)
        return;
    UnhookDataSetEvents();
    if (clear)
        ClearSumValues();
}

void TDBSumListProducer::Loaded()
{
    loading_ = false;
    if (dataSet_ && active_)
        Activate(true);
}

void TDBSumListProducer::SetExternalRecalc(bool value)
{
    if (value == externalRecalc_)
        return;
    externalRecalc_ = value;
    RecalcAll();
}

void TDBSumListProducer::SetVirtualRecords(bool value)
{
    if (value == virtualRecords_)
        return;
    virtualRecords_ = value;
    if (value)
        RecalcAll();
}

void TDBSumListProducer::ItemsChanged()
{
    if (!loading_ && !ownerDestroying_)
        RecalcAll();
}

void TDBSumListProducer::DoSumListChanged()
{
    if (SumListChanged)
        SumListChanged(*this);
}

bool TDBSumListProducer::TakesPart(const TDBSum& sum)
{
    return sum.groupOperation_ == goCount || !sum.fieldName_.isEmpty();
}

bool TDBSumListProducer::UsesBookmarks() const
{
    return dataSet_ && !dataSet_->IsSequenced() && virtualRecords_ && active_;
}

// ================================================================================================
// Dataset lifetime

void TDBSumListProducer::WatchDestroy(TDataSet* ds)
{
    DropHook(destroyHook_);
    if (ds)
        destroyHook_ = {&ds->BeforeDestroy, ds->BeforeDestroy.Add([this](TDataSet& d) { DataSetDestroying(d); })};
}

void TDBSumListProducer::DataSetDestroying(TDataSet& ds)
{
    if (&ds != dataSet_)
        return;
    UnhookDataSetEvents();
    WatchDestroy(nullptr);
    dataSet_ = nullptr;
}

void TDBSumListProducer::MasterDestroying(TDataSet& ds)
{
    if (&ds != masterDataSet_)
        return;
    // Only the master's own handlers go; the detail stays hooked.
    std::erase_if(hooks_, [&ds](const Hook& h) {
        if (h.list == &ds.AfterScroll || h.list == &ds.BeforeDestroy) {
            h.list->Remove(h.id);
            return true;
        }
        return false;
    });
    DropHook(masterDestroyHook_);
    masterDataSet_ = nullptr;
}

// ================================================================================================
// Hooking

void TDBSumListProducer::HookDataSetEvents()
{
    if (!dataSet_ || hooked_)
        return;
    TDataSet& ds = *dataSet_;
    masterDataSet_ = nullptr;
    if (TDataSource* master = ds.MasterSource())
        masterDataSet_ = master->DataSet();

    auto add = [this](TDataSetNotifyEvent& list, int order, void (TDBSumListProducer::*fn)(TDataSet&)) {
        hooks_.push_back({&list, list.Add([this, fn](TDataSet& d) { (this->*fn)(d); }, order)});
    };
    add(ds.AfterEdit, kRunBeforeProgram, &TDBSumListProducer::DataSetAfterEdit);
    add(ds.AfterInsert, kRunBeforeProgram, &TDBSumListProducer::DataSetAfterInsert);
    add(ds.AfterOpen, kRunBeforeProgram, &TDBSumListProducer::DataSetAfterOpen);
    add(ds.AfterPost, kRunBeforeProgram, &TDBSumListProducer::DataSetAfterPost);
    add(ds.AfterScroll, kRunAfterProgram, &TDBSumListProducer::DataSetAfterScroll);
    add(ds.BeforeDelete, kRunAfterProgram, &TDBSumListProducer::DataSetBeforeDelete);
    add(ds.AfterDelete, kRunBeforeProgram, &TDBSumListProducer::DataSetAfterDelete);
    add(ds.AfterClose, kRunBeforeProgram, &TDBSumListProducer::DataSetAfterClose);
    add(ds.AfterCancel, kRunAfterProgram, &TDBSumListProducer::DataSetAfterCancel);
    if (masterDataSet_ && masterDataSet_ != dataSet_) {
        add(masterDataSet_->AfterScroll, kRunAfterProgram, &TDBSumListProducer::MasterAfterScroll);
        masterDestroyHook_ = {&masterDataSet_->BeforeDestroy,
                              masterDataSet_->BeforeDestroy.Add([this](TDataSet& d) { MasterDestroying(d); })};
    } else {
        masterDataSet_ = nullptr;
    }
    hooked_ = true;
}

void TDBSumListProducer::UnhookDataSetEvents()
{
    if (!hooked_)
        return;
    for (const Hook& h : hooks_)
        h.list->Remove(h.id);
    hooks_.clear();
    DropHook(masterDestroyHook_);
    masterDataSet_ = nullptr;
    hooked_ = false;
    ClearBookmarks();
}

// ================================================================================================
// Overflow

void TDBSumListProducer::MarkOverflow(TDBSum& s)
{
    s.overflow_ = true;
    s.sumValue_ = Currency();
    s.avgTotal_ = Currency();
    s.avgCount_ = 0;
}

template <class F>
void TDBSumListProducer::Step(TDBSum& s, F&& step)
{
    if (s.overflow_)
        return;
    try {
        step();
    } catch (const TCurrencyOverflow&) {
        MarkOverflow(s);
    }
}

void TDBSumListProducer::ReportOverflows()
{
    // Reported once through the program's error handler: the open, post or delete that met the
    // value has happened and must not look as if it failed.
    for (int i = 0; i < sumCollection_.Count(); ++i) {
        TDBSum& s = *sumCollection_.GetItem(i);
        if (!s.overflow_ || s.overflowReported_)
            continue;
        s.overflowReported_ = true;
        HandleException(std::make_exception_ptr(EConvertError(
            QStringLiteral("Итог по полю \"%1\" не помещается в допустимый диапазон и не показывается.")
                .arg(s.fieldName_))));
    }
}

// ================================================================================================
// Full recalculation

void TDBSumListProducer::ClearSumValues()
{
    for (int i = 0; i < sumCollection_.Count(); ++i) {
        TDBSum* s = sumCollection_.GetItem(i);
        s->sumValue_ = Currency();
        s->oldContribution_ = Currency();
        s->avgTotal_ = Currency();
        s->avgCount_ = 0;
        s->overflow_ = false;
        s->overflowReported_ = false;
    }
    DoSumListChanged();
}

bool TDBSumListProducer::AnyOverflow() const
{
    for (int i = 0; i < sumCollection_.Count(); ++i)
        if (sumCollection_.GetItem(i)->overflow_)
            return true;
    return false;
}

// A total beyond range stops following the records, so once the record that took it there has
// changed or gone only a full pass can tell whether it is back in range. The dataset stays on
// its record, and a total still beyond range is not reported again.
void TDBSumListProducer::RecalcAfterOverflow(TDataSet& ds)
{
    std::vector<bool> reported;
    for (int i = 0; i < sumCollection_.Count(); ++i)
        reported.push_back(sumCollection_.GetItem(i)->overflowReported_);
    const TBookmark at = ds.Active() && !ds.IsEmpty() ? ds.GetBookmark() : TBookmark{};
    RecalcTotals();
    for (int i = 0; i < sumCollection_.Count() && i < int(reported.size()); ++i) {
        TDBSum& s = *sumCollection_.GetItem(i);
        s.overflowReported_ = s.overflow_ && reported[std::size_t(i)];
    }
    if (!at.IsNull() && ds.BookmarkValid(at))
        ds.GotoBookmark(at);
    ReportOverflows();
}

void TDBSumListProducer::RecalcAll()
{
    RecalcTotals();
    ReportOverflows();
}

void TDBSumListProducer::RecalcTotals()
{
    if (loading_ || !active_ || !dataSet_ || !dataSet_->Active() || !hooked_)
        return;
    TDataSet& ds = *dataSet_;
    ClearSumValues();
    currentIndex_ = -1;
    if (OnRecalcAll)
        OnRecalcAll(*this);
    if (!externalRecalc_) {
        std::vector<TDBSum*> items;
        for (int i = 0; i < sumCollection_.Count(); ++i)
            if (TakesPart(*sumCollection_.GetItem(i)))
                items.push_back(sumCollection_.GetItem(i));
        const bool keepBookmarks = !ds.IsSequenced() && virtualRecords_;
        if (!items.empty() || keepBookmarks) {
            {
                PassGuard guard(ds, recalculating_);
                ClearBookmarks();
                recalculating_ = true;
                ds.First();
                std::vector<TField*> fields(items.size(), nullptr);
                bool resolved = false;
                while (!ds.Eof()) {
                    if (!resolved) {
                        for (std::size_t i = 0; i < items.size(); ++i)
                            if (!items[i]->fieldName_.isEmpty())
                                fields[i] = ds.FieldByName(items[i]->fieldName_);
                        resolved = true;
                    }
                    for (std::size_t i = 0; i < items.size(); ++i) {
                        TDBSum& s = *items[i];
                        TField* f = fields[i];
                        // A value that is no number or a total beyond Currency spoils this
                        // item only; the others, and the open, go on.
                        if (s.overflow_)
                            continue;
                        try {
                        switch (s.groupOperation_) {
                        case goSum:
                            if (!f->IsNull())
                                s.sumValue_.Value = RoundToRaw(Scaled(f->AsFloat()) + s.sumValue_.Value);
                            break;
                        case goAvg:
                            if (!f->IsNull())
                                ++s.avgCount_;
                            s.avgTotal_.Value = RoundToRaw(Scaled(f->AsFloat()) + s.avgTotal_.Value);
                            break;
                        case goCount:
                            if (!f || !f->IsNull())
                                s.sumValue_.Value = AddRaw(s.sumValue_.Value, Currency::Scale);
                            break;
                        }
                        } catch (const TCurrencyOverflow&) {
                            MarkOverflow(s);
                        }
                    }
                    if (keepBookmarks)
                        bookmarks_.push_back(ds.GetBookmark());
                    ds.Next();
                }
                ds.First();
                for (TDBSum* s : items)
                    if (s->groupOperation_ == goAvg && !s->overflow_)
                        s->sumValue_ = Average(s->avgTotal_, s->avgCount_);
            }
        }
        if (OnAfterRecalcAll)
            OnAfterRecalcAll(*this);
    }
    savedFiltered_ = ds.Filtered();
    savedFilter_ = ds.Filter();
    recalculating_ = false;
    DoSumListChanged();
}

// ================================================================================================
// Record by record

void TDBSumListProducer::DataSetAfterCancel(TDataSet& /*ds*/)
{
    pendingBookmark_ = false;
}

void TDBSumListProducer::DataSetAfterClose(TDataSet& /*ds*/)
{
    if (active_) {
        ClearSumValues();
        DoSumListChanged();
        recalculating_ = false;
    }
    ClearBookmarks();
}

void TDBSumListProducer::DataSetAfterEdit(TDataSet& ds)
{
    if (!active_)
        return;
    for (int i = 0; i < sumCollection_.Count(); ++i) {
        TDBSum& s = *sumCollection_.GetItem(i);
        if (!TakesPart(s))
            continue;
        if (s.groupOperation_ == goCount) {
            const bool null = CountSkipsRecord(ds, s.fieldName_);
            s.oldContribution_ = null ? Currency() : Currency::FromRaw(Currency::Scale);
            continue;
        }
        TField* f = ds.FieldByName(s.fieldName_);
        if (f->IsNull()) {
            s.oldContribution_ = Currency();
            s.oldValue_ = Variant::Null();
        } else {
            Step(s, [&] { s.oldContribution_ = Currency::FromRaw(RoundToRaw(Scaled(f->AsFloat()))); });
            s.oldValue_ = f->Value();
        }
    }
    ReportOverflows();
}

void TDBSumListProducer::DataSetAfterInsert(TDataSet& /*ds*/)
{
    if (!active_)
        return;
    for (int i = 0; i < sumCollection_.Count(); ++i) {
        TDBSum& s = *sumCollection_.GetItem(i);
        if (!TakesPart(s))
            continue;
        s.oldContribution_ = Currency();
        if (s.groupOperation_ != goCount)
            s.oldValue_ = Variant::Null();
    }
    // The new record's bookmark is listed when it is posted: a cancelled insert then leaves
    // nothing behind, and the record's place in the order is final by then.
    if (UsesBookmarks())
        pendingBookmark_ = true;
}

void TDBSumListProducer::DataSetAfterOpen(TDataSet& /*ds*/)
{
    if (active_)
        RecalcAll();
}

void TDBSumListProducer::DataSetAfterPost(TDataSet& ds)
{
    // A post forced by the full pass's first move is counted by the pass itself.
    if (!active_ || recalculating_)
        return;
    const bool overflowBefore = AnyOverflow();
    for (int i = 0; i < sumCollection_.Count(); ++i) {
        TDBSum& s = *sumCollection_.GetItem(i);
        if (!TakesPart(s))
            continue;
        if (s.groupOperation_ == goCount) {
            const bool null = CountSkipsRecord(ds, s.fieldName_);
            Step(s, [&] {
                s.sumValue_.Value = AddRaw(s.sumValue_.Value, -s.oldContribution_.Value);
                if (!null)
                    s.sumValue_.Value = AddRaw(s.sumValue_.Value, Currency::Scale);
            });
            continue;
        }
        TField* f = ds.FieldByName(s.fieldName_);
        const bool null = f->IsNull();
        Step(s, [&] { PostStep(s, *f, null); });
    }
    if (UsesBookmarks() && pendingBookmark_) {
        InsertBookmarkOrdered(ds.GetBookmark());
        pendingBookmark_ = false;
    }
    if (overflowBefore) {
        RecalcAfterOverflow(ds);
        return;
    }
    DoSumListChanged();
    ReportOverflows();
}

void TDBSumListProducer::PostStep(TDBSum& s, TField& f, bool null)
{
    if (s.groupOperation_ == goSum) {
        if (null)
            s.sumValue_.Value = AddRaw(s.sumValue_.Value, -s.oldContribution_.Value);
        else
            s.sumValue_.Value = RoundToRaw(Scaled(f.AsFloat()) + s.sumValue_.Value - s.oldContribution_.Value);
    } else {
        if (!null) {
            if (s.oldValue_.IsClear())
                ++s.avgCount_;
            s.avgTotal_.Value = RoundToRaw(Scaled(f.AsFloat()) + s.avgTotal_.Value - s.oldContribution_.Value);
        } else {
            if (!s.oldValue_.IsClear())
                --s.avgCount_;
            s.avgTotal_.Value = AddRaw(s.avgTotal_.Value, -s.oldContribution_.Value);
        }
        s.sumValue_ = Average(s.avgTotal_, s.avgCount_);
    }
    // The record now contributes its posted value; a later post without an edit changes nothing.
    s.oldContribution_ = null ? Currency() : Currency::FromRaw(RoundToRaw(Scaled(f.AsFloat())));
    s.oldValue_ = null ? Variant::Null() : f.Value();
}

void TDBSumListProducer::DataSetAfterScroll(TDataSet& ds)
{
    if (!active_ || recalculating_)
        return;
    if ((ds.Filtered() && ds.Filter() != savedFilter_) || ds.Filtered() != savedFiltered_)
        RecalcAll();
}

void TDBSumListProducer::DataSetBeforeDelete(TDataSet& ds)
{
    if (!active_)
        return;
    // A record deleted in the middle of an edit leaves with what it contributed when posted,
    // not with the unposted values of the edit.
    const bool editing = ds.State() == dsEdit;
    for (int i = 0; i < sumCollection_.Count(); ++i) {
        TDBSum& s = *sumCollection_.GetItem(i);
        if (!TakesPart(s))
            continue;
        if (s.groupOperation_ == goCount) {
            const bool skip = !editing && CountSkipsRecord(ds, s.fieldName_);
            Step(s, [&] {
                s.sumValue_.Value =
                    AddRaw(s.sumValue_.Value, editing ? -s.oldContribution_.Value : skip ? 0 : -Currency::Scale);
            });
            continue;
        }
        TField* f = ds.FieldByName(s.fieldName_);
        const bool null = editing ? s.oldValue_.IsClear() : f->IsNull();
        Step(s, [&] {
            Currency& total = s.groupOperation_ == goSum ? s.sumValue_ : s.avgTotal_;
            if (editing)
                total.Value = AddRaw(total.Value, -s.oldContribution_.Value);
            else if (!null)
                total.Value = RoundToRaw(total.Value - Scaled(f->AsFloat()));
            if (s.groupOperation_ == goAvg) {
                if (!null)
                    --s.avgCount_;
                s.sumValue_ = Average(s.avgTotal_, s.avgCount_);
            }
        });
    }
    if (UsesBookmarks()) {
        const int index = FindBookmarkIndex(ds.GetBookmark());
        if (index >= 0)
            bookmarks_.erase(bookmarks_.begin() + index);
    }
    recalcAfterDelete_ = AnyOverflow();
    DoSumListChanged();
    ReportOverflows();
}

void TDBSumListProducer::DataSetAfterDelete(TDataSet& ds)
{
    if (!std::exchange(recalcAfterDelete_, false) || !active_ || recalculating_)
        return;
    RecalcAfterOverflow(ds);
}

void TDBSumListProducer::MasterAfterScroll(TDataSet& /*ds*/)
{
    if (active_ && !recalculating_)
        RecalcAll();
}

// ================================================================================================
// Record numbers through the bookmark list

int TDBSumListProducer::FindBookmarkIndex(const TBookmark& bookmark) const
{
    if (currentIndex_ == -1)
        currentIndex_ = 0;
    const int n = int(bookmarks_.size());
    if (n == 0)
        return -1;
    if (currentIndex_ >= n)
        currentIndex_ = 0;
    const TDataSet* ds = dataSet_;
    auto compare = [ds](const TBookmark& a, const TBookmark& b) {
        return ds ? ds->CompareBookmarks(a, b) : (a == b ? 0 : (a.Id < b.Id ? -1 : 1));
    };
    int c = compare(bookmarks_[currentIndex_], bookmark);
    if (c > 0) {
        while (c != 0) {
            if (--currentIndex_ < 0)
                return -1;
            c = compare(bookmarks_[currentIndex_], bookmark);
        }
    } else if (c < 0) {
        while (c != 0) {
            if (++currentIndex_ >= n)
                return -1;
            c = compare(bookmarks_[currentIndex_], bookmark);
        }
    }
    return currentIndex_;
}

void TDBSumListProducer::InsertBookmarkOrdered(const TBookmark& bookmark)
{
    if (bookmark.IsNull())
        return;
    const int n = int(bookmarks_.size());
    int i = currentIndex_ < 0 || currentIndex_ >= n ? 0 : currentIndex_;
    TDataSet& ds = *dataSet_;
    while (i > 0 && ds.CompareBookmarks(bookmarks_[i - 1], bookmark) > 0)
        --i;
    while (i < n && ds.CompareBookmarks(bookmarks_[i], bookmark) < 0)
        ++i;
    bookmarks_.insert(bookmarks_.begin() + i, bookmark);
}

int TDBSumListProducer::GetRecNo() const
{
    if (!dataSet_ || !dataSet_->Active())
        return 0;
    if (UsesBookmarks())
        return FindBookmarkIndex(dataSet_->GetBookmark()) + 1;
    return dataSet_->RecNo();
}

void TDBSumListProducer::SetRecNo(int value)
{
    if (!dataSet_)
        return;
    if (UsesBookmarks()) {
        if (value < 1 || value > int(bookmarks_.size()))
            throw EListError(QString("List index out of bounds (%1)").arg(value - 1));
        dataSet_->GotoBookmark(bookmarks_[value - 1]);
        return;
    }
    dataSet_->SetRecNo(value);
}

int TDBSumListProducer::GetRecordCount() const
{
    if (!dataSet_)
        return 0;
    if (UsesBookmarks())
        return int(bookmarks_.size());
    return dataSet_->Active() ? dataSet_->RecordCount() : 0;
}

bool TDBSumListProducer::IsSequenced() const
{
    if (!dataSet_)
        return false;
    if (dataSet_->IsSequenced())
        return true;
    if (!virtualRecords_ || !active_)
        return false;
    return !bookmarks_.empty() || (dataSet_->Bof() && dataSet_->Eof());
}
