// A list of strings with an associated object pointer each, optionally kept sorted, with
// text, comma-text and name=value views, as the form and grid code use it.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class TStream;

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList {
public:
    TStringList() = default;
    explicit TStringList(const QStringList& strings);
    // Copies strings, objects and the sorting options; not the event handlers.
    TStringList(const TStringList& other);
    TStringList& operator=(const TStringList& other);
    TStringList(TStringList&&) = default;
    TStringList& operator=(TStringList&&) = default;
    virtual ~TStringList();

    int Count() const { return int(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }

    // Index errors raise EListError "List index out of bounds (%d)".
    const QString& Strings(int index) const;
    const QString& operator[](int index) const { return Strings(index); }
    void SetString(int index, const QString& s);
    void* Objects(int index) const;
    void SetObject(int index, void* object);

    // In a sorted list, Add inserts at the sorted place and honours Duplicates
    // (dupIgnore: returns the existing index; dupError: raises EListError
    // "String list does not allow duplicates").
    int Add(const QString& s);
    int AddObject(const QString& s, void* object);
    void Append(const QString& s) { Add(s); }
    void AddStrings(const TStringList& strings);
    void AddStrings(const QStringList& strings);
    // Raise EListError "Operation not allowed on sorted list" on a sorted list.
    void Insert(int index, const QString& s);
    void InsertObject(int index, const QString& s, void* object);
    void Delete(int index);
    void Exchange(int index1, int index2);
    void Move(int curIndex, int newIndex);
    void Clear();
    void Assign(const TStringList& source);

    // Comparison follows CaseSensitive; -1 when absent.
    int IndexOf(const QString& s) const;
    int IndexOfName(const QString& name) const;
    int IndexOfObject(const void* object) const;
    // Binary search of a sorted list (linear search otherwise); `index` gets the position of the
    // match or where it would be inserted.
    bool Find(const QString& s, int& index) const;

    void Sort();
    // compare(list, i, j) < 0 when item i goes before item j.
    void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates d) { duplicates_ = d; }
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool caseSensitive);
    int CompareStrings(const QString& a, const QString& b) const;

    // Lines joined with CR LF after each one; setting splits at CR LF, LF or CR.
    QString Text() const;
    void SetText(const QString& text);
    // Comma-separated; items with blanks, commas or quotes are double-quoted.
    QString CommaText() const;
    void SetCommaText(const QString& text);
    QString DelimitedText(QChar delimiter = ',', QChar quote = '"') const;
    void SetDelimitedText(const QString& text, QChar delimiter = ',', QChar quote = '"');

    // "name=value" items.
    QChar NameValueSeparator() const { return nameValueSeparator_; }
    void SetNameValueSeparator(QChar c) { nameValueSeparator_ = c; }
    QString Names(int index) const;
    QString ValueFromIndex(int index) const;
    QString Values(const QString& name) const;
    // An empty value deletes the item.
    void SetValue(const QString& name, const QString& value);

    // Text in code page 1251 with CR LF line ends.
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const;
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;

    QStringList ToQStringList() const;
    bool Equals(const TStringList& other) const;

    // Change notification; nested BeginUpdate/EndUpdate pairs fire OnChange once at the end
    // (only when something changed).
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    std::function<void()> OnChanging;
    std::function<void()> OnChange;

private:
    struct Item {
        QString s;
        void* object = nullptr;
    };

    void CheckIndex(int index) const;
    void InsertItem(int index, const QString& s, void* object);
    void Changing();
    void Changed();
    void SortItems();
    // Runs fill inside one update; the update ends however fill ends.
    template <class Fill>
    void InUpdate(Fill fill);
    // Empties the list and fills it again with what fill adds, as one change.
    template <class Fill>
    void Refill(Fill fill);

    std::vector<Item> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = dupIgnore;
    QChar nameValueSeparator_ = '=';
    int updateCount_ = 0;
    bool changedDuringUpdate_ = false;
};

// The abstract list of the class library was only ever used as a string list here.
using TStrings = TStringList;
