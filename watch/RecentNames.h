#pragma once

#include <QByteArray>
#include <QHash>

#include <deque>
#include <utility>

namespace pw {

// A set of keys that forgets its oldest keys beyond a bound: what the watcher remembers about
// files between their events, kept small whatever the traffic.
class TRecentNames {
public:
    explicit TRecentNames(qsizetype bound)
        : m_bound(bound) {}

    void insert(const QByteArray& key) {
        m_entries.insert(key, ++m_stamp);
        m_order.emplace_back(key, m_stamp);
        while (m_entries.size() > m_bound || m_order.size() > 2 * size_t(m_bound))
            dropOldest();
    }
    bool contains(const QByteArray& key) const { return m_entries.contains(key); }
    // Removes key; returns whether it was there.
    bool take(const QByteArray& key) { return m_entries.remove(key); }

private:
    void dropOldest() {
        const auto& [key, stamp] = m_order.front();
        if (m_entries.value(key) == stamp) m_entries.remove(key);
        m_order.pop_front();
    }

    qsizetype m_bound;
    quint64 m_stamp = 0;
    QHash<QByteArray, quint64> m_entries;
    std::deque<std::pair<QByteArray, quint64>> m_order;
};

} // namespace pw
