// Running aggregates (sums, averages, counts) of dataset fields for grid footers. One full pass
// when the dataset opens or its filter changes; afterwards every edit, insert, post and delete
// adjusts the totals by the one record it touched, without walking the dataset again.
#pragma once

#include "platform/collection.h"
#include "platform/currency.h"
#include "platform/dataset.h"
#include "platform/variant.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

enum TGroupOperation : std::uint8_t { goSum = 0, goAvg = 1, goCount = 2 };

class TDBSumListProducer;
class TDBSumCollection;

// One aggregate. A count is held times 10000 like every other value (3 records read as 3.0).
class TDBSum : public TCollectionItem {
public:
    TDBSum() = default;

    const QString& FieldName() const { return fieldName_; }
    void SetFieldName(const QString& name);
    TGroupOperation GroupOperation() const { return groupOperation_; }
    void SetGroupOperation(TGroupOperation op);

    Currency SumValue() const { return sumValue_; }
    // The aggregate went beyond what Currency holds (or met a value that is no number): SumValue
    // is 0 and means nothing until the next full recalculation.
    bool Overflow() const { return overflow_; }
    // For programs that compute the aggregates themselves (ExternalRecalc).
    void SetSumValue(Currency value) { sumValue_ = value; }

    void Assign(const TCollectionItem& source) override;

private:
    friend class TDBSumListProducer;

    QString fieldName_;
    TGroupOperation groupOperation_ = goSum;
    Currency oldContribution_;   // what the record under edit contributed before the edit
    int avgCount_ = 0;           // goAvg: records whose field is not null
    Currency avgTotal_;          // goAvg: total over all records
    Variant oldValue_;           // goAvg: value before the edit (Null after an insert)
    Currency sumValue_;
    bool overflow_ = false;
    bool overflowReported_ = false;
};

class TDBSumCollection : public TCollection {
public:
    explicit TDBSumCollection(TDBSumListProducer* producer) : producer_(producer) {}

    TDBSumListProducer* Owner() const { return producer_; }
    TDBSum* GetItem(int index) const { return static_cast<TDBSum*>(Item(index)); }
    TDBSum* Add() { return static_cast<TDBSum*>(TCollection::Add()); }
    // First item of that operation on that field (names compared ignoring case); nullptr when none.
    TDBSum* FindSum(TGroupOperation op, const QString& fieldName) const;

protected:
    std::unique_ptr<TCollectionItem> CreateItem() override { return std::make_unique<TDBSum>(); }
    void Update(TCollectionItem* item) override;

private:
    TDBSumListProducer* producer_;
};

class TDBSumListProducer {
public:
    using TNotify = std::function<void(TDBSumListProducer&)>;

    explicit TDBSumListProducer(QObject* owner = nullptr);
    virtual ~TDBSumListProducer();
    TDBSumListProducer(const TDBSumListProducer&) = delete;
    TDBSumListProducer& operator=(const TDBSumListProducer&) = delete;

    virtual void Assign(const TDBSumListProducer& source);

    QObject* Owner() const { return owner_; }
    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* value);
    TDBSumCollection& SumCollection() { return sumCollection_; }
    const TDBSumCollection& SumCollection() const { return sumCollection_; }

    bool Active() const { return active_; }
    void SetActive(bool value);
    bool ExternalRecalc() const { return externalRecalc_; }
    void SetExternalRecalc(bool value);
    bool VirtualRecords() const { return virtualRecords_; }
    void SetVirtualRecords(bool value);

    // The owner is being read from its layout: nothing is hooked or computed until Loaded().
    void SetLoading(bool loading) { loading_ = loading; }
    bool Loading() const { return loading_; }
    void Loaded();
    // The owner is going away: changes of the items no longer recalculate.
    void SetOwnerDestroying() { ownerDestroying_ = true; }

    TNotify OnRecalcAll;        // start of every full recalculation
    TNotify OnAfterRecalcAll;   // after the internal full pass (not with ExternalRecalc)
    TNotify SumListChanged;     // after any SumValue changed

    // Record numbers and count; for unsequenced datasets with VirtualRecords from the bookmark list.
    virtual int GetRecNo() const;
    virtual void SetRecNo(int value);
    virtual int GetRecordCount() const;
    virtual bool IsSequenced() const;
    virtual int FindBookmarkIndex(const TBookmark& bookmark) const;

    virtual void ClearSumValues();
    virtual void RecalcAll();

    bool Hooked() const { return hooked_; }
    TDataSet* MasterDataSet() const { return masterDataSet_; }

protected:
    virtual void DataSetAfterCancel(TDataSet& ds);
    virtual void DataSetAfterClose(TDataSet& ds);
    virtual void DataSetAfterEdit(TDataSet& ds);
    virtual void DataSetAfterInsert(TDataSet& ds);
    virtual void DataSetAfterOpen(TDataSet& ds);
    virtual void DataSetAfterPost(TDataSet& ds);
    virtual void DataSetAfterScroll(TDataSet& ds);
    virtual void DataSetBeforeDelete(TDataSet& ds);
    virtual void MasterAfterScroll(TDataSet& ds);
    // A subclass that overrides these must unhook itself in its own destructor.
    virtual void UnhookDataSetEvents();
    virtual void HookDataSetEvents();

private:
    friend class TDBSumCollection;

    void Activate(bool recalc);
    void Deactivate(bool clear);
    void ItemsChanged();
    void DoSumListChanged();
    void MarkOverflow(TDBSum& s);
    template <class F>
    void Step(TDBSum& s, F&& step);
    void PostStep(TDBSum& s, TField& field, bool null);
    void ReportOverflows();
    bool AnyOverflow() const;
    // The totals without the report of those beyond range.
    void RecalcTotals();
    void RecalcAfterOverflow(TDataSet& ds);
    void DataSetAfterDelete(TDataSet& ds);
    bool UsesBookmarks() const;
    static bool TakesPart(const TDBSum& sum);
    void InsertBookmarkOrdered(const TBookmark& bookmark);
    void ClearBookmarks() { bookmarks_.clear(); }
    void WatchDestroy(TDataSet* ds);
    void DataSetDestroying(TDataSet& ds);
    void MasterDestroying(TDataSet& ds);

    bool virtualRecords_ = false;
    bool recalculating_ = false;
    bool active_ = false;
    bool hooked_ = false;
    bool externalRecalc_ = false;
    bool loading_ = false;
    bool ownerDestroying_ = false;
    QString savedFilter_;
    bool savedFiltered_ = false;
    TDataSet* dataSet_ = nullptr;
    TDataSet* masterDataSet_ = nullptr;
    mutable int currentIndex_ = -1;
    QObject* owner_;
    TDBSumCollection sumCollection_;
    bool pendingBookmark_ = false;
    // A total was beyond range when a record was deleted: recalculated once it is gone.
    bool recalcAfterDelete_ = false;
    std::vector<TBookmark> bookmarks_;

    // Handler ids in the dataset's ordered event lists while hooked.
    struct Hook {
        TDataSetNotifyEvent* list;
        int id;
    };
    std::vector<Hook> hooks_;
    Hook destroyHook_{nullptr, 0};
    Hook masterDestroyHook_{nullptr, 0};
};
