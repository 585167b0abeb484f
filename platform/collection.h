// Ordered collections of owned items that tell their collection when an item changes: the model
// for the lists of sub-objects that a component publishes (grid columns, footers, summary items).
#pragma once

#include <QString>
#include <memory>
#include <vector>

class TCollection;

class TCollectionItem {
public:
    TCollectionItem() = default;
    virtual ~TCollectionItem();
    TCollectionItem(const TCollectionItem&) = delete;
    TCollectionItem& operator=(const TCollectionItem&) = delete;

    TCollection* Collection() const { return collection_; }
    // Position in the collection; -1 when the item belongs to none.
    int Index() const;
    virtual void SetIndex(int index);
    // Unique within the collection for the collection's lifetime; never reused.
    int ID() const { return id_; }
    virtual QString DisplayName() const { return QString(); }
    // Copies the published state of another item; the base knows no state and refuses.
    virtual void Assign(const TCollectionItem& source);

protected:
    // Tells the collection that this item (or, with allItems, the whole list) changed.
    void Changed(bool allItems);

private:
    friend class TCollection;
    TCollection* collection_ = nullptr;
    int id_ = -1;
};

class TCollection {
public:
    TCollection() = default;
    virtual ~TCollection();
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;

    int Count() const { return int(items_.size()); }
    // Raises EListError for an index out of range.
    TCollectionItem* Item(int index) const;
    TCollectionItem* Add();
    TCollectionItem* Insert(int index);
    void Delete(int index);
    void Clear();
    TCollectionItem* FindItemID(int id) const;

    // Changes inside an update are reported once, as a change of everything, by the last EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // Replaces the items by copies of the source's items (each copied with its Assign).
    virtual void Assign(const TCollection& source);

protected:
    enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

    virtual std::unique_ptr<TCollectionItem> CreateItem() = 0;
    // One item changed, or everything (nullptr). Not called inside an update.
    virtual void Update(TCollectionItem* /*item*/) {}
    virtual void Notify(TCollectionItem* /*item*/, TCollectionNotification /*action*/) {}
    void Changed();

private:
    friend class TCollectionItem;
    void MoveItem(int from, int to);

    std::vector<std::unique_ptr<TCollectionItem>> items_;
    int updateCount_ = 0;
    int nextId_ = 0;
};

// A collection whose items are all of one class.
template <class TItem>
class TTypedCollection : public TCollection {
public:
    TItem* Items(int index) const { return static_cast<TItem*>(Item(index)); }
    TItem* Add() { return static_cast<TItem*>(TCollection::Add()); }
    TItem* Insert(int index) { return static_cast<TItem*>(TCollection::Insert(index)); }

protected:
    std::unique_ptr<TCollectionItem> CreateItem() override { return std::make_unique<TItem>(); }
};
