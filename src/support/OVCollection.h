#pragma once

#include "support/CaseInsensitiveKey.h"
#include "support/OVFault.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

namespace orvane {

// An ordered, 1-based collection of shared objects with optional text keys
// compared without regard to case. A duplicate key is fault 457, an index
// outside 1..Count() fault 9, an unknown key fault 5.
template <typename T>
class OVCollection
{
public:
    using Pointer = std::shared_ptr<T>;

    int Count() const noexcept { return int(m_items.size()); }
    bool isEmpty() const noexcept { return m_items.isEmpty(); }

    // Room for n entries, so that a large catalogue is built without
    // rehashing.
    void reserve(qsizetype n)
    {
        m_items.reserve(n);
        m_index.reserve(n);
    }

    void Add(Pointer item, const QString &key = QString())
    {
        if (!key.isEmpty()) {
            // One look-up: a key already there leaves the size as it was.
            const qsizetype before = m_index.size();
            Pointer &slot = m_index[CaseInsensitiveKey(key)];
            if (m_index.size() == before)
                raiseFault(FaultDuplicateKey);
            slot = item;
        }
        m_items.append(Entry {std::move(item), key});
    }

    const Pointer &Item(int index) const
    {
        if (index < 1 || index > Count())
            raiseFault(FaultIndexOutOfRange);
        return m_items[index - 1].item;
    }

    const Pointer &Item(const QString &key) const
    {
        const int at = indexOf(key);
        if (at == 0)
            raiseFault(FaultInvalidCall);
        return m_items[at - 1].item;
    }

    // No object for an unknown key.
    Pointer Find(const QString &key) const
    {
        return key.isEmpty() ? Pointer() : m_index.value(CaseInsensitiveKey(key));
    }
    bool Contains(const QString &key) const { return !key.isEmpty() && m_index.contains(CaseInsensitiveKey(key)); }

    // The 1-based position of the entry with that key, 0 when there is none.
    int indexOf(const QString &key) const
    {
        if (key.isEmpty())
            return 0;
        const CaseInsensitiveKey wanted(key);
        const auto found = m_index.constFind(wanted);
        if (found == m_index.cend())
            return 0;
        for (int i = 0; i < Count(); ++i) {
            if (m_items[i].item == *found && CaseInsensitiveKey(m_items[i].key) == wanted)
                return i + 1;
        }
        return 0;
    }

    void Remove(int index)
    {
        if (index < 1 || index > Count())
            raiseFault(FaultIndexOutOfRange);
        const Entry &entry = m_items[index - 1];
        if (!entry.key.isEmpty())
            m_index.remove(CaseInsensitiveKey(entry.key));
        m_items.removeAt(index - 1);
    }

    void Remove(const QString &key)
    {
        const int at = indexOf(key);
        if (at == 0)
            raiseFault(FaultInvalidCall);
        Remove(at);
    }

    // Empties from the last entry to the first.
    void Clear()
    {
        m_index.clear();
        while (!m_items.isEmpty())
            m_items.removeLast();
    }

    QString KeyAt(int index) const
    {
        Item(index);
        return m_items[index - 1].key;
    }

    // Range-for over the objects in order.
    auto begin() const { return ItemIterator {m_items.cbegin()}; }
    auto end() const { return ItemIterator {m_items.cend()}; }

private:
    struct Entry
    {
        Pointer item;
        QString key;
    };

    struct ItemIterator
    {
        typename QList<Entry>::const_iterator it;
        const Pointer &operator*() const { return it->item; }
        ItemIterator &operator++()
        {
            ++it;
            return *this;
        }
        bool operator!=(const ItemIterator &other) const { return it != other.it; }
    };

    QList<Entry> m_items;
    QHash<CaseInsensitiveKey, Pointer> m_index;
};

} // namespace orvane
