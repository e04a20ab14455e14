#pragma once

#include "store/Database.h"
#include "core/Envelopes.h"
#include "core/Records.h"

#include <QHash>
#include <QTimer>

#include <optional>

// Read side of the content: turns rows into the shared records. List entries
// carry likes/comments, so a reader's list needs no detail request (which
// would count a view); `bareLists` leaves them out, the older shape readers
// complete from the detail. Details always carry them. Image and body URLs
// are made absolute with the origin of the request, so they follow whatever
// address reached us.
class ArticleStore {
public:
    static constexpr qint64 defaultCommentCeiling = 8 * 1024 * 1024;

    // commentCeiling: the most bytes an article's comments answer may ever
    // reach (commentCost), below the reader's 32 MiB.
    explicit ArticleStore(const Database &db, bool bareLists = false, qint64 commentCeiling = defaultCommentCeiling);

    struct Filter {
        std::optional<qint64> tagId;
        QString q;
        qint64 limit = 20;
        qint64 offset = 0;
    };
    enum class Section { Hot, Latest, Random };

    papelo::StatsResponse stats() const;
    QList<papelo::Tag> tags() const;
    papelo::ArticlesResponse page(const Filter &filter, const QString &origin) const;
    QList<papelo::Article> section(Section section, qint64 limit, const QString &origin) const;
    // Counts a view of a published article; its views now, or nullopt when
    // there is no such article. Views are kept here and written at most a
    // second later in one transaction, before any list that shows them is
    // read, and by flushViews() at the end: one commit per view cost more
    // than everything else an article's answer needs.
    std::optional<qint64> countView(qint64 id) const;
    void flushViews() const;
    // nullopt when the article does not exist or is not published.
    std::optional<papelo::ArticleDetail> detail(qint64 id, const QString &origin) const;
    std::optional<papelo::Author> author(qint64 id) const;
    QList<papelo::Article> articlesBy(qint64 authorId, bool publishedOnly, const QString &origin) const;
    papelo::UserStats userStats(qint64 authorId) const;
    bool isPublished(qint64 articleId) const;
    enum class Posting { Stored, Full, Failed };
    // Stores a comment with the article's count, unless it would take the
    // article past the ceiling; *id is the new comment's.
    Posting addComment(qint64 articleId, std::optional<qint64> userId, const QString &name, const QString &content,
                       const QString &time, qint64 *id) const;
    // The article a comment belongs to, if the comment exists.
    std::optional<qint64> articleOfComment(qint64 commentId) const;

private:
    QList<papelo::Article> articles(QSqlQuery &query, const QString &origin) const;

    const Database &m_db;
    bool m_bareLists = false;
    qint64 m_commentCeiling;
    mutable QHash<qint64, qint64> m_views;  // views of the articles viewed since the last write
    mutable QTimer m_viewsDue;
};
