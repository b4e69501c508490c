#pragma once

#include "support/OVFault.h"

#include <QList>
#include <QSet>
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

    void Add(Pointer item, const QString &key = QString())
    {
        QString folded;
        if (!key.isEmpty()) {
            folded = fold(key);
            if (m_index.contains(folded))
                raiseFault(FaultDuplicateKey);
            m_index.insert(folded);
        }
        m_items.append(Entry {std::move(item), key, folded});
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
        const int at = indexOf(key);
        return at ? m_items[at - 1].item : Pointer();
    }
    bool Contains(const QString &key) const { return indexOf(key) != 0; }

    // The 1-based position of the entry with that key, 0 when there is none.
    int indexOf(const QString &key) const
    {
        if (key.isEmpty())
            return 0;
        const QString folded = fold(key);
        if (!m_index.contains(folded))
            return 0;
        for (int i = 0; i < Count(); ++i) {
            if (m_items[i].foldedKey == folded)
                return i + 1;
        }
        return 0;
    }

    void Remove(int index)
    {
        if (index < 1 || index > Count())
            raiseFault(FaultIndexOutOfRange);
        const Entry &entry = m_items[index - 1];
        if (!entry.foldedKey.isEmpty())
            m_index.remove(entry.foldedKey);
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
        for (int i = Count(); i >= 1; --i)
            Remove(i);
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
        QString foldedKey;
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

    static QString fold(const QString &key) { return key.toCaseFolded(); }

    QList<Entry> m_items;
    QSet<QString> m_index; // folded keys, for a quick miss
};

} // namespace orvane
