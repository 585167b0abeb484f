#include "platform/stringlist.h"

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/text.h"

#include <algorithm>

TStringList::TStringList(const QStringList& strings)
{
    AddStrings(strings);
}

TStringList::TStringList(const TStringList& other)
    : items_(other.items_),
      sorted_(other.sorted_),
      caseSensitive_(other.caseSensitive_),
      duplicates_(other.duplicates_),
      nameValueSeparator_(other.nameValueSeparator_)
{
}

TStringList& TStringList::operator=(const TStringList& other)
{
    if (this != &other) {
        Changing();
        items_ = other.items_;
        sorted_ = other.sorted_;
        caseSensitive_ = other.caseSensitive_;
        duplicates_ = other.duplicates_;
        nameValueSeparator_ = other.nameValueSeparator_;
        Changed();
    }
    return *this;
}

TStringList::~TStringList() = default;

void TStringList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count()) {
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    }
}

void TStringList::Changing()
{
    if (updateCount_ == 0 && OnChanging) {
        OnChanging();
    }
}

void TStringList::Changed()
{
    if (updateCount_ > 0) {
        changedDuringUpdate_ = true;
        return;
    }
    if (OnChange) {
        OnChange();
    }
}

void TStringList::BeginUpdate()
{
    if (updateCount_ == 0) {
        changedDuringUpdate_ = false;
    }
    ++updateCount_;
}

void TStringList::EndUpdate()
{
    if (updateCount_ == 0) {
        return;
    }
    if (--updateCount_ == 0 && changedDuringUpdate_) {
        changedDuringUpdate_ = false;
        if (OnChange) {
            OnChange();
        }
    }
}

template <class Fill>
void TStringList::InUpdate(Fill fill)
{
    BeginUpdate();
    try {
        fill();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

template <class Fill>
void TStringList::Refill(Fill fill)
{
    Changing();
    InUpdate([&] {
        items_.clear();
        changedDuringUpdate_ = true;
        fill();
    });
}

const QString& TStringList::Strings(int index) const
{
    CheckIndex(index);
    return items_[std::size_t(index)].s;
}

void TStringList::SetString(int index, const QString& s)
{
    CheckIndex(index);
    if (sorted_) {
        // Replacing in place could break the order: remove and add at the sorted place.
        void* object = items_[std::size_t(index)].object;
        Changing();
        items_.erase(items_.begin() + index);
        int at = 0;
        Find(s, at);
        items_.insert(items_.begin() + at, Item{s, object});
        Changed();
        return;
    }
    Changing();
    items_[std::size_t(index)].s = s;
    Changed();
}

void* TStringList::Objects(int index) const
{
    CheckIndex(index);
    return items_[std::size_t(index)].object;
}

void TStringList::SetObject(int index, void* object)
{
    CheckIndex(index);
    Changing();
    items_[std::size_t(index)].object = object;
    Changed();
}

void TStringList::InsertItem(int index, const QString& s, void* object)
{
    Changing();
    items_.insert(items_.begin() + index, Item{s, object});
    Changed();
}

int TStringList::Add(const QString& s)
{
    return AddObject(s, nullptr);
}

int TStringList::AddObject(const QString& s, void* object)
{
    int index = Count();
    if (sorted_) {
        if (Find(s, index)) {
            switch (duplicates_) {
            case dupIgnore:
                return index;
            case dupError:
                throw EListError(QStringLiteral("Список строк не допускает повторов"));
            case dupAccept:
                break;
            }
        }
    }
    InsertItem(index, s, object);
    return index;
}

void TStringList::AddStrings(const TStringList& strings)
{
    InUpdate([&] {
        for (int i = 0; i < strings.Count(); ++i) {
            AddObject(strings.items_[std::size_t(i)].s, strings.items_[std::size_t(i)].object);
        }
    });
}

void TStringList::AddStrings(const QStringList& strings)
{
    InUpdate([&] {
        for (const QString& s : strings) {
            Add(s);
        }
    });
}

void TStringList::Insert(int index, const QString& s)
{
    InsertObject(index, s, nullptr);
}

void TStringList::InsertObject(int index, const QString& s, void* object)
{
    if (sorted_) {
        throw EListError(QStringLiteral("Операция недопустима для сортированного списка"));
    }
    if (index < 0 || index > Count()) {
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    }
    InsertItem(index, s, object);
}

void TStringList::Delete(int index)
{
    CheckIndex(index);
    Changing();
    items_.erase(items_.begin() + index);
    Changed();
}

void TStringList::Exchange(int index1, int index2)
{
    CheckIndex(index1);
    CheckIndex(index2);
    if (sorted_) {
        throw EListError(QStringLiteral("Операция недопустима для сортированного списка"));
    }
    Changing();
    std::swap(items_[std::size_t(index1)], items_[std::size_t(index2)]);
    Changed();
}

void TStringList::Move(int curIndex, int newIndex)
{
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    if (curIndex == newIndex) {
        return;
    }
    if (sorted_) {
        throw EListError(QStringLiteral("Операция недопустима для сортированного списка"));
    }
    Changing();
    Item item = items_[std::size_t(curIndex)];
    items_.erase(items_.begin() + curIndex);
    items_.insert(items_.begin() + newIndex, item);
    Changed();
}

void TStringList::Clear()
{
    if (items_.empty()) {
        return;
    }
    Changing();
    items_.clear();
    Changed();
}

void TStringList::Assign(const TStringList& source)
{
    if (&source == this) {
        return;
    }
    Refill([&] { AddStrings(source); });
}

int TStringList::CompareStrings(const QString& a, const QString& b) const
{
    if (caseSensitive_) {
        const int r = a.compare(b, Qt::CaseSensitive);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    return CompareText(a, b);
}

int TStringList::IndexOf(const QString& s) const
{
    if (sorted_) {
        int index = 0;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i) {
        if (CompareStrings(items_[std::size_t(i)].s, s) == 0) {
            return i;
        }
    }
    return -1;
}

int TStringList::IndexOfName(const QString& name) const
{
    for (int i = 0; i < Count(); ++i) {
        const QString& s = items_[std::size_t(i)].s;
        const int p = int(s.indexOf(nameValueSeparator_));
        if (p >= 0 && CompareStrings(s.left(p), name) == 0) {
            return i;
        }
    }
    return -1;
}

int TStringList::IndexOfObject(const void* object) const
{
    for (int i = 0; i < Count(); ++i) {
        if (items_[std::size_t(i)].object == object) {
            return i;
        }
    }
    return -1;
}

bool TStringList::Find(const QString& s, int& index) const
{
    if (!sorted_) {
        for (int i = 0; i < Count(); ++i) {
            if (CompareStrings(items_[std::size_t(i)].s, s) == 0) {
                index = i;
                return true;
            }
        }
        index = Count();
        return false;
    }
    // Lower bound; with duplicates accepted, the first of equal items is found.
    int lo = 0;
    int hi = Count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (CompareStrings(items_[std::size_t(mid)].s, s) < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    index = lo;
    return lo < Count() && CompareStrings(items_[std::size_t(lo)].s, s) == 0;
}

void TStringList::SortItems()
{
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const Item& a, const Item& b) { return CompareStrings(a.s, b.s) < 0; });
}

void TStringList::Sort()
{
    Changing();
    SortItems();
    Changed();
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& compare)
{
    if (sorted_ || Count() < 2) {
        return;
    }
    Changing();
    // Sort a permutation so that the comparer sees the list as it was.
    std::vector<int> order(items_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = int(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
    std::vector<Item> sortedItems;
    sortedItems.reserve(items_.size());
    for (int i : order) {
        sortedItems.push_back(items_[std::size_t(i)]);
    }
    items_ = std::move(sortedItems);
    Changed();
}

void TStringList::SetSorted(bool sorted)
{
    if (sorted_ == sorted) {
        return;
    }
    if (sorted) {
        Sort();
    }
    sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive)
{
    if (caseSensitive_ == caseSensitive) {
        return;
    }
    caseSensitive_ = caseSensitive;
    if (sorted_) {
        Sort();
    }
}

QString TStringList::Text() const
{
    QString out;
    for (const Item& item : items_) {
        out += item.s;
        out += QStringLiteral("\r\n");
    }
    return out;
}

void TStringList::SetText(const QString& text)
{
    Refill([&] {
        int start = 0;
        const int n = int(text.size());
        int i = 0;
        while (i < n) {
            const QChar c = text[i];
            if (c == '\r' || c == '\n') {
                Add(text.mid(start, i - start));
                if (c == '\r' && i + 1 < n && text[i + 1] == '\n') {
                    ++i;
                }
                ++i;
                start = i;
            } else {
                ++i;
            }
        }
        if (start < n) {
            Add(text.mid(start));
        }
    });
}

QString TStringList::DelimitedText(QChar delimiter, QChar quote) const
{
    QString out;
    for (int i = 0; i < Count(); ++i) {
        const QString& s = items_[std::size_t(i)].s;
        if (i > 0) {
            out += delimiter;
        }
        bool needsQuote = s.isEmpty() && Count() == 1;
        for (const QChar c : s) {
            if (c.unicode() <= ' ' || c == delimiter || c == quote) {
                needsQuote = true;
                break;
            }
        }
        out += needsQuote ? QuotedStr(s, quote) : s;
    }
    return out;
}

void TStringList::SetDelimitedText(const QString& text, QChar delimiter, QChar quote)
{
    Refill([&] {
        const int n = int(text.size());
        int i = 0;
        auto skipBlanks = [&] {
            while (i < n && text[i].unicode() <= ' ' && text[i] != delimiter) {
                ++i;
            }
        };
        skipBlanks();
        while (i < n) {
            QString item;
            if (text[i] == quote) {
                item = ReadQuotedItem(text, i, quote);
            } else {
                while (i < n && text[i] != delimiter && text[i].unicode() > ' ') {
                    item += text[i++];
                }
            }
            Add(item);
            skipBlanks();
            if (i < n && text[i] == delimiter) {
                ++i;
                skipBlanks();
                if (i >= n) {
                    Add(QString());   // a trailing delimiter ends with an empty item
                }
            }
        }
    });
}

QString TStringList::CommaText() const
{
    return DelimitedText(',', '"');
}

void TStringList::SetCommaText(const QString& text)
{
    SetDelimitedText(text, ',', '"');
}

QString TStringList::Names(int index) const
{
    const QString& s = Strings(index);
    const int p = int(s.indexOf(nameValueSeparator_));
    return p >= 0 ? s.left(p) : QString();
}

QString TStringList::ValueFromIndex(int index) const
{
    const QString& s = Strings(index);
    const int p = int(s.indexOf(nameValueSeparator_));
    return p >= 0 ? s.mid(p + 1) : QString();
}

QString TStringList::Values(const QString& name) const
{
    const int i = IndexOfName(name);
    return i >= 0 ? ValueFromIndex(i) : QString();
}

void TStringList::SetValue(const QString& name, const QString& value)
{
    const int i = IndexOfName(name);
    if (value.isEmpty()) {
        if (i >= 0) {
            Delete(i);
        }
        return;
    }
    const QString line = name + nameValueSeparator_ + value;
    if (i >= 0) {
        SetString(i, line);
    } else {
        Add(line);
    }
}

void TStringList::LoadFromStream(TStream& stream)
{
    SetText(FromCp1251(stream.ReadBytes()));
}

void TStringList::SaveToStream(TStream& stream) const
{
    stream.WriteBuffer(ToCp1251(Text()));
}

void TStringList::LoadFromFile(const QString& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TStringList::SaveToFile(const QString& fileName) const
{
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}

QStringList TStringList::ToQStringList() const
{
    QStringList out;
    out.reserve(qsizetype(items_.size()));
    for (const Item& item : items_) {
        out << item.s;
    }
    return out;
}

bool TStringList::Equals(const TStringList& other) const
{
    if (Count() != other.Count()) {
        return false;
    }
    for (int i = 0; i < Count(); ++i) {
        if (items_[std::size_t(i)].s != other.items_[std::size_t(i)].s) {
            return false;
        }
    }
    return true;
}
