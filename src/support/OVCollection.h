#pragma once

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

    void Add(Pointer item, const QString &key = QString())
    {
        if (!key.isEmpty()) {
            const QString folded = fold(key);
            if (m_index.contains(folded))
                raiseFault(FaultDuplicateKey);
            m_index.insert(folded, Keyed {m_nextSerial, item});
        }
        m_items.append(Entry {std::move(item), key, m_nextSerial++});
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

    // No object for an index outside the range or an unknown key.
    Pointer ItemOrNull(int index) const { return index >= 1 && index <= Count() ? m_items[index - 1].item : Pointer(); }
    Pointer Find(const QString &key) const
    {
        if (key.isEmpty())
            return Pointer();
        const auto it = m_index.constFind(fold(key));
        return it == m_index.constEnd() ? Pointer() : it->item;
    }
    bool Contains(const QString &key) const { return !key.isEmpty() && m_index.contains(fold(key)); }

    // The 1-based position of the entry with that key, 0 when there is none.
    int indexOf(const QString &key) const
    {
        if (key.isEmpty())
            return 0;
        const auto it = m_index.constFind(fold(key));
        if (it == m_index.constEnd())
            return 0;
        // By entry, not by object: one object may be held under two keys.
        for (int i = 0; i < Count(); ++i) {
            if (m_items[i].serial == it->serial)
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
            m_index.remove(fold(entry.key));
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

    QString KeyAt(int index) const { return Item(index) ? m_items[index - 1].key : QString(); }

    // Range-for over the objects in order.
    auto begin() const { return ItemIterator {m_items.cbegin()}; }
    auto end() const { return ItemIterator {m_items.cend()}; }

private:
    struct Entry
    {
        Pointer item;
        QString key;
        quint64 serial;
    };
    struct Keyed
    {
        quint64 serial;
        Pointer item;
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
    QHash<QString, Keyed> m_index;
    quint64 m_nextSerial = 1;
};

} // namespace orvane
