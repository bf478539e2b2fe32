// Object lists of the zip library: a list that may own its items, and a sorted list over it.
//
// The archive directory is a sorted list of entry records that owns them; the sorted view of the
// unzip component is a second sorted list over the same records that does not. Index errors raise
// EListError with the class library's texts, so callers see the same messages everywhere.
#pragma once

#include "zip/ZipClassRegistry.h"
#include "zip/ZipErrors.h"

#include <memory>
#include <typeinfo>
#include <utility>
#include <vector>

namespace qv {

template <class T> class TObjectList
{
public:
    explicit TObjectList(bool ownsObjects = true) : m_ownsObjects(ownsObjects) {}
    virtual ~TObjectList() { FreeAll(); }
    TObjectList(const TObjectList &) = delete;
    TObjectList &operator=(const TObjectList &) = delete;

    bool OwnsObjects() const { return m_ownsObjects; }
    void SetOwnsObjects(bool owns) { m_ownsObjects = owns; }
    int Count() const { return static_cast<int>(m_items.size()); }
    int Capacity() const { return m_capacity; }

    virtual int Add(T *item)
    {
        if (Count() == m_capacity) {
            Grow();
        }
        m_items.push_back(item);
        return Count() - 1;
    }

    virtual void Insert(int index, T *item)
    {
        if (index < 0 || index > Count()) {
            Error(ziptext::kListIndexOutOfBounds, index);
        }
        if (Count() == m_capacity) {
            Grow();
        }
        m_items.insert(m_items.begin() + index, item);
    }

    T *Get(int index) const
    {
        if (index < 0 || index >= Count()) {
            Error(ziptext::kListIndexOutOfBounds, index);
        }
        return m_items[static_cast<std::size_t>(index)];
    }
    T *operator[](int index) const { return Get(index); }

    virtual void Put(int index, T *item)
    {
        if (index < 0 || index >= Count()) {
            Error(ziptext::kListIndexOutOfBounds, index);
        }
        m_items[static_cast<std::size_t>(index)] = item;
    }

    virtual int IndexOf(const T *item) const
    {
        for (int i = 0; i < Count(); ++i) {
            if (m_items[static_cast<std::size_t>(i)] == item) {
                return i;
            }
        }
        return -1;
    }

    T *First() const { return Get(0); }
    T *Last() const { return Get(Count() - 1); }

    // The item after (forward) or before the given one; none past either end. For no item,
    // First (forward) or Last (backward); an item not in the list raises.
    T *Neighbour(const T *item, bool forward) const
    {
        if (item == nullptr) {
            if (Count() == 0) {
                return nullptr;
            }
            return forward ? First() : Last();
        }
        const int i = TObjectList::IndexOf(item);
        if (i < 0) {
            throw EListError(formatNameText(ziptext::kNotInItemList, zipClassName(typeid(*item))));
        }
        const int j = forward ? i + 1 : i - 1;
        return j >= 0 && j < Count() ? m_items[static_cast<std::size_t>(j)] : nullptr;
    }

    void SetCapacity(int n)
    {
        if (n < Count() || n >= 0x1FFFFFFF) {
            Error(ziptext::kListIndexOutOfBounds, n);
        }
        m_capacity = n;
        m_items.reserve(static_cast<std::size_t>(n));
    }

    void SetCount(int n)
    {
        if (n < 0 || n >= 0x1FFFFFFF) {
            Error(ziptext::kListIndexOutOfBounds, n);
        }
        while (m_capacity < n) {
            Grow();
        }
        m_items.resize(static_cast<std::size_t>(n), nullptr);
    }

    // Forgets every item without freeing it.
    virtual void Clear()
    {
        m_items.clear();
        m_capacity = 0;
    }

    // Frees every item when the list owns them, then clears.
    void FreeAll()
    {
        for (T *item : m_items) {
            FreeObject(item);
        }
        Clear();
    }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    // Streaming. The layout: the owns-objects byte, the count (signed 32, little-endian), then per
    // item its class name (a length byte and at most 63 characters) and what the class's
    // registered write function writes.
    virtual void WriteData(TStream &s) const
    {
        writeListByte(s, m_ownsObjects ? 1 : 0);
        writeListInt32(s, Count());
        for (const T *item : m_items) {
            if (item == nullptr) {
                throw EClassNotFound(ziptext::kNilSourceClass);
            }
            std::string name;
            tRegisterRec<T> rec;
            if (!TClassRegistry<T>::instance().FindFor(*item, name, rec)) {
                throw EClassNotFound(formatNameText(ziptext::kSourceClassNotRegistered, zipClassName(typeid(*item))));
            }
            writeListName(s, name);
            rec.write(*item, s);
        }
    }

    // Reads what WriteData wrote; the items read replace the list's items. On an error the items
    // read so far stay in the list and the one being read is freed.
    virtual void ReadData(TStream &s)
    {
        FreeAll();
        m_ownsObjects = readListByte(s) != 0;
        const std::int32_t count = readListInt32(s);
        if (count < 0) {
            Error(ziptext::kListIndexOutOfBounds, count);
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const std::string name = readListName(s);
            tRegisterRec<T> rec;
            if (!TClassRegistry<T>::instance().Find(name, rec)) {
                throw EClassNotFound(formatNameText(ziptext::kClassNotRegistered, name));
            }
            std::unique_ptr<T> item(rec.create());
            rec.read(*item, s);
            T *raw = item.release();
            if (!m_ownsObjects) {
                // A list that does not own its items still must not leak what it created.
                m_readItems.emplace_back(raw);
            }
            try {
                Add(raw);
            } catch (...) {
                if (m_ownsObjects) {
                    delete raw;
                }
                throw;
            }
        }
    }

    // Declares the streamed property "ObjectContainer", stored when the list holds an item.
    void DefineProperties(TFiler &filer)
    {
        filer.DefineBinaryProperty(
            "ObjectContainer", [this](TStream &s) { ReadData(s); }, [this](TStream &s) { WriteData(s); },
            Count() >= 1);
    }

protected:
    [[noreturn]] virtual void Error(const char *text, long long value) const
    {
        throw EListError(formatIndexText(text, value));
    }

    virtual void Grow()
    {
        m_capacity += m_capacity <= 4 ? 4 : m_capacity <= 8 ? 8 : 16;
        if (m_capacity > 64) {
            // Beyond the class library's steps, grow geometrically so that a directory of a
            // million entries does not take quadratic time.
            m_capacity = m_capacity + m_capacity / 2;
        }
        m_items.reserve(static_cast<std::size_t>(m_capacity));
    }

    virtual void FreeObject(T *item)
    {
        if (m_ownsObjects) {
            delete item;
        }
    }

    std::vector<T *> m_items;

private:
    bool m_ownsObjects;
    int m_capacity = 0;
    std::vector<std::unique_ptr<T>> m_readItems; // created by ReadData for a list not owning them
};

enum TDuplicates : unsigned char { dupIgnore = 0, dupAccept = 1, dupError = 2 };

template <class T> class TSortedObjectList : public TObjectList<T>
{
public:
    explicit TSortedObjectList(TDuplicates duplicates, bool ownsObjects = true)
        : TObjectList<T>(ownsObjects), m_duplicates(duplicates)
    {
    }

    TDuplicates Duplicates() const { return m_duplicates; }

    virtual const T *KeyOf(const T *item) const { return item; }
    // Negative when key1 sorts first.
    virtual int Compare(const T *key1, const T *key2) const = 0;

    // Bisection: true when an item with the key exists; `index` is its position or, when absent,
    // where the key belongs (with duplicates accepted, before the first equal item).
    bool Find(const T *key, int &index) const
    {
        int lo = 0;
        int hi = this->Count() - 1;
        bool found = false;
        while (lo <= hi) {
            const int mid = lo + (hi - lo) / 2;
            const int c = Compare(KeyOf(this->m_items[static_cast<std::size_t>(mid)]), key);
            if (c < 0) {
                lo = mid + 1;
            } else {
                hi = mid - 1;
                if (c == 0) {
                    found = true;
                    if (m_duplicates != dupAccept) {
                        lo = mid;
                        break;
                    }
                }
            }
        }
        index = lo;
        return found;
    }

    // The position comes from the key; `index` is ignored. An existing key is skipped (and the
    // item freed when the list owns it), accepted, or raises, by the duplicates mode.
    void Insert(int /*index*/, T *item) override { insertSorted(item); }

    int Add(T *item) override { return insertSorted(item); }

    int IndexOf(const T *item) const override
    {
        int index = 0;
        if (!Find(KeyOf(item), index)) {
            return -1;
        }
        // Equal keys may stand side by side; the identity decides.
        for (int i = index; i < this->Count() && Compare(KeyOf(this->m_items[i]), KeyOf(item)) == 0; ++i) {
            if (this->m_items[static_cast<std::size_t>(i)] == item) {
                return i;
            }
        }
        return TObjectList<T>::IndexOf(item);
    }

    void Put(int, T *) override { throw EListError(ziptext::kPutInSortedList); }

    // The sorted list's layout is its duplicates byte, then the list's own.
    void WriteData(TStream &s) const override
    {
        writeListByte(s, static_cast<std::uint8_t>(m_duplicates));
        TObjectList<T>::WriteData(s);
    }

    void ReadData(TStream &s) override
    {
        const std::uint8_t mode = readListByte(s);
        if (mode > dupError) {
            throw EStreamError("Invalid duplicates mode in list stream");
        }
        m_duplicates = static_cast<TDuplicates>(mode);
        TObjectList<T>::ReadData(s);
    }

    // Appends an item the caller knows to sort after every item already held: bulk loading in
    // linear time, where one Add per item would move the tail on every insert.
    void AppendInOrder(T *item) { TObjectList<T>::Insert(this->Count(), item); }

private:
    int insertSorted(T *item)
    {
        int index = 0;
        if (Find(KeyOf(item), index)) {
            if (m_duplicates == dupIgnore) {
                this->FreeObject(item);
                return -1;
            }
            if (m_duplicates == dupError) {
                throw EListError(ziptext::kDuplicateObject);
            }
        }
        TObjectList<T>::Insert(index, item);
        return index;
    }

    TDuplicates m_duplicates;
};

} // namespace qv
