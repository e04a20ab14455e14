#pragma once

#include <QHash>
#include <QString>

#include <iterator>
#include <list>
#include <utility>

// Entries per key, oldest-touched first, at most maxKeys of them. A new key
// in a full table takes the place of the oldest entry that is quiet (limits
// no one); an entry that still limits someone is never dropped for room. If
// none of the oldest few is quiet the new key goes untracked: its request is
// let through rather than refused, so a full table never locks everyone out.
template <typename Entry> class KeyTable {
public:
    // Entries looked at for a quiet one before a new key goes untracked.
    static constexpr int scanLimit = 64;

    explicit KeyTable(int maxKeys) : m_maxKeys(maxKeys) {}

    const Entry *find(const QString &key) const
    {
        const auto it = m_index.constFind(key);
        return it == m_index.cend() ? nullptr : &(*it)->second;
    }
    // The key's entry, created if need be and made the newest; nullptr when
    // there is no room (see above).
    template <typename Quiet> Entry *touch(const QString &key, Quiet &&quiet)
    {
        if (const auto it = m_index.constFind(key); it != m_index.cend()) {
            m_order.splice(m_order.end(), m_order, *it);
            return &(*it)->second;
        }
        if (int(m_index.size()) >= m_maxKeys && !makeRoom(quiet))
            return nullptr;
        m_order.emplace_back(key, Entry());
        m_index.insert(key, std::prev(m_order.end()));
        return &m_order.back().second;
    }
    void erase(const QString &key)
    {
        if (const auto it = m_index.constFind(key); it != m_index.cend()) {
            m_order.erase(*it);
            m_index.erase(it);
        }
    }
    template <typename Quiet> void eraseIf(Quiet &&quiet)
    {
        for (auto it = m_order.begin(); it != m_order.end();) {
            if (quiet(it->second)) {
                m_index.remove(it->first);
                it = m_order.erase(it);
            } else {
                ++it;
            }
        }
    }
    int size() const { return int(m_index.size()); }

private:
    using Order = std::list<std::pair<QString, Entry>>;

    template <typename Quiet> bool makeRoom(Quiet &quiet)
    {
        int looked = 0;
        for (auto it = m_order.begin(); it != m_order.end() && looked < scanLimit; ++it, ++looked) {
            if (quiet(it->second)) {
                m_index.remove(it->first);
                m_order.erase(it);
                return true;
            }
        }
        return false;
    }

    int m_maxKeys;
    Order m_order;
    QHash<QString, typename Order::iterator> m_index;
};
