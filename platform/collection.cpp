#include "platform/collection.h"

#include "platform/exceptions.h"

#include <algorithm>

TCollectionItem::~TCollectionItem() = default;

int TCollectionItem::Index() const
{
    if (!collection_)
        return -1;
    const auto& items = collection_->items_;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].get() == this)
            return int(i);
    return -1;
}

void TCollectionItem::SetIndex(int index)
{
    const int current = Index();
    if (current < 0 || index == current)
        return;
    index = std::clamp(index, 0, collection_->Count() - 1);
    collection_->MoveItem(current, index);
    Changed(true);
}

void TCollectionItem::Assign(const TCollectionItem& /*source*/)
{
    throw EConvertError(QStringLiteral("Нельзя присвоить элемент коллекции другого вида"));
}

void TCollectionItem::Changed(bool allItems)
{
    if (collection_ && collection_->updateCount_ == 0)
        collection_->Update(allItems ? nullptr : this);
}

TCollection::~TCollection()
{
    // Items go without notifications: the owner is being torn down.
    updateCount_ = 1;
    items_.clear();
}

TCollectionItem* TCollection::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QString("List index out of bounds (%1)").arg(index));
    return items_[index].get();
}

TCollectionItem* TCollection::Add()
{
    return Insert(Count());
}

TCollectionItem* TCollection::Insert(int index)
{
    if (index < 0 || index > Count())
        throw EListError(QString("List index out of bounds (%1)").arg(index));
    std::unique_ptr<TCollectionItem> item = CreateItem();
    TCollectionItem* raw = item.get();
    raw->collection_ = this;
    raw->id_ = nextId_++;
    items_.insert(items_.begin() + index, std::move(item));
    Notify(raw, cnAdded);
    Changed();
    return raw;
}

void TCollection::Delete(int index)
{
    TCollectionItem* item = Item(index);
    Notify(item, cnDeleting);
    // Take it out before it dies so that nothing finds a half-destroyed item in the list.
    std::unique_ptr<TCollectionItem> owned = std::move(items_[index]);
    items_.erase(items_.begin() + index);
    owned.reset();
    Changed();
}

void TCollection::Clear()
{
    if (items_.empty())
        return;
    BeginUpdate();
    try {
        while (!items_.empty())
            Delete(Count() - 1);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

TCollectionItem* TCollection::FindItemID(int id) const
{
    for (const auto& item : items_)
        if (item->id_ == id)
            return item.get();
    return nullptr;
}

void TCollection::BeginUpdate()
{
    ++updateCount_;
}

void TCollection::EndUpdate()
{
    if (updateCount_ == 0)
        return;
    if (--updateCount_ == 0)
        Changed();
}

void TCollection::Changed()
{
    if (updateCount_ == 0)
        Update(nullptr);
}

void TCollection::Assign(const TCollection& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    try {
        Clear();
        for (const auto& item : source.items_)
            Add()->Assign(*item);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TCollection::MoveItem(int from, int to)
{
    std::unique_ptr<TCollectionItem> item = std::move(items_[from]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
}
