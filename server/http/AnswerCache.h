#pragma once

#include <QByteArray>
#include <QCache>
#include <QString>

#include <optional>

// Bodies of answers that many readers ask for alike (lists, details,
// comments), kept while nothing they show has changed, least recently used
// first out beyond a budget in bytes. Every write that changes what answers
// show says so here: contentChanged() for comments, likes, accounts and
// signatures, viewed() for a view counted. Main thread only.
class AnswerCache {
public:
    enum class Follows { Content, ContentAndViews };
    struct Stamp {
        quint64 content = 0;
        quint64 views = 0;
    };

    explicit AnswerCache(qint64 budgetBytes) : m_entries(budgetBytes) {}

    std::optional<QByteArray> find(const QString &key);
    // Keeps a body built from the store as it was at `builtAt`; one built
    // across a write is already out of date and is not kept.
    void insert(const QString &key, const QByteArray &body, Follows follows, Stamp builtAt);
    Stamp stamp() const { return {m_content, m_views}; }
    void contentChanged() { ++m_content; }
    void viewed() { ++m_views; }

private:
    struct Entry {
        QByteArray body;
        Follows follows;
        Stamp builtAt;
    };
    bool current(const Entry &entry) const
    {
        return entry.builtAt.content == m_content && (entry.follows == Follows::Content || entry.builtAt.views == m_views);
    }

    QCache<QString, Entry> m_entries;
    quint64 m_content = 0;
    quint64 m_views = 0;
};
