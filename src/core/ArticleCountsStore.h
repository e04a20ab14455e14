#pragma once

#include <QHash>
#include <QObject>

#include <optional>

namespace papelo {

// The latest known like and comment counts per article id, for the whole run
// against one server. UI thread only: nothing locks it. Entries are replaced
// whole, and only removed all at once when the server changes (ids belong
// to a server).
class ArticleCountsStore : public QObject {
    Q_OBJECT
public:
    struct Counts {
        qint64 likes = 0;
        qint64 comments = 0;
        bool operator==(const Counts &) const = default;
    };

    static ArticleCountsStore &shared();

    const QHash<qint64, Counts> &counts() const { return m_counts; }
    std::optional<Counts> lookup(qint64 id) const;
    // Replaces the entry for `id` (also with equal values) and notifies.
    void set(qint64 likes, qint64 comments, qint64 id);
    // Forgets every entry. Work that read the store before (an enrichment)
    // compares generation() to know its counts are of another server.
    void clear();
    quint64 generation() const { return m_generation; }

signals:
    void aboutToChange(qint64 id);
    void changed(qint64 id);
    void cleared();

private:
    explicit ArticleCountsStore(QObject *parent = nullptr) : QObject(parent) {}
    QHash<qint64, Counts> m_counts;
    quint64 m_generation = 0;
};

} // namespace papelo
