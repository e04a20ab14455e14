#include "store/ArticleStore.h"

#include "store/CommentCost.h"

#include <QSqlRecord>

using namespace papelo;

namespace {

const char *const articleColumns =
    "SELECT a.id, a.title, a.filename, a.date, a.views, u.username, a.author_id, a.image_mode,"
    " a.like_count, a.comment_count"
    " FROM articles a JOIN users u ON u.id = a.author_id";

struct Images {
    std::optional<QString> thumb;
    std::optional<QString> cover;
};

// image_mode: 0 letter tile (no image), 1 absolute, 2 server-relative,
// 3 a present but empty thumb (readers must treat it as no image).
Images imagesFor(qint64 id, int mode, const QString &origin)
{
    const QString thumb = QStringLiteral("/images/thumb/%1.jpg").arg(id);
    const QString cover = QStringLiteral("/images/cover/%1.jpg").arg(id);
    switch (mode) {
    case 1: return {origin + thumb, origin + cover};
    case 2: return {thumb, cover};
    case 3: return {QString(), std::nullopt};
    default: return {};
    }
}

QString likePattern(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

} // namespace

ArticleStore::ArticleStore(const Database &db, bool bareLists, qint64 commentCeiling)
    : m_db(db), m_bareLists(bareLists), m_commentCeiling(commentCeiling)
{
    m_viewsDue.setSingleShot(true);
    m_viewsDue.setInterval(1000);
    QObject::connect(&m_viewsDue, &QTimer::timeout, [this] { flushViews(); });
}

QList<Article> ArticleStore::articles(QSqlQuery &query, const QString &origin) const
{
    flushViews();
    QList<Article> list;
    if (!query.exec())
        return list;
    while (query.next()) {
        Article a;
        a.id = query.value(0).toLongLong();
        a.title = query.value(1).toString();
        a.filename = query.value(2).toString();
        a.date = query.value(3).toString();
        a.views = query.value(4).toLongLong();
        a.author = query.value(5).toString();
        a.author_id = query.value(6).toLongLong();
        a.url = origin + QStringLiteral("/posts/") + *a.filename;
        const Images images = imagesFor(a.id, query.value(7).toInt(), origin);
        a.thumb = images.thumb;
        a.cover = images.cover;
        if (!m_bareLists) {
            a.likes = query.value(8).toLongLong();
            a.comments = query.value(9).toLongLong();
        }
        list.append(a);
    }
    return list;
}

StatsResponse ArticleStore::stats() const
{
    StatsResponse s;
    s.totalArticles = m_db.scalar(QStringLiteral("SELECT count(*) FROM articles WHERE status = 'published'")).toLongLong();
    s.dbArticles = m_db.scalar(QStringLiteral("SELECT count(*) FROM articles")).toLongLong();
    s.apiVersion = QStringLiteral("1.0");
    return s;
}

QList<Tag> ArticleStore::tags() const
{
    QList<Tag> list;
    QSqlQuery q = m_db.prepare(QStringLiteral("SELECT id, name FROM tags ORDER BY id"));
    if (q.exec()) {
        while (q.next())
            list.append(Tag{q.value(0).toLongLong(), q.value(1).toString()});
    }
    return list;
}

ArticlesResponse ArticleStore::page(const Filter &filter, const QString &origin) const
{
    QString where = QStringLiteral(" WHERE a.status = 'published'");
    QVariantList values;
    if (filter.tagId) {
        where += QStringLiteral(" AND a.id IN (SELECT article_id FROM article_tags WHERE tag_id = ?)");
        values << *filter.tagId;
    }
    if (!filter.q.isEmpty()) {
        // Trigram matching needs three characters; shorter texts scan with LIKE.
        if (m_db.hasFullTextSearch() && filter.q.size() >= 3) {
            where += QStringLiteral(" AND a.id IN (SELECT rowid FROM article_search WHERE article_search MATCH ?)");
            QString phrase = filter.q;
            values << QLatin1Char('"') + phrase.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        } else {
            where += QStringLiteral(" AND a.id IN (SELECT rowid FROM article_search"
                                    " WHERE title LIKE ? ESCAPE '\\' OR body_text LIKE ? ESCAPE '\\')");
            values << likePattern(filter.q) << likePattern(filter.q);
        }
    }

    ArticlesResponse response;
    response.total = m_db.scalar(QStringLiteral("SELECT count(*) FROM articles a") + where, values).toLongLong();
    QSqlQuery q = m_db.prepare(QString::fromLatin1(articleColumns) + where
                               + QStringLiteral(" ORDER BY a.date DESC, a.id DESC LIMIT ? OFFSET ?"));
    for (const QVariant &v : values)
        q.addBindValue(v);
    q.addBindValue(filter.limit);
    q.addBindValue(filter.offset);
    response.items = articles(q, origin);
    return response;
}

QList<Article> ArticleStore::section(Section section, qint64 limit, const QString &origin) const
{
    QString order;
    switch (section) {
    case Section::Hot: order = QStringLiteral("a.views + 10 * a.like_count + 5 * a.comment_count DESC, a.id DESC"); break;
    case Section::Latest: order = QStringLiteral("a.date DESC, a.id DESC"); break;
    case Section::Random: order = QStringLiteral("random()"); break;
    }
    QSqlQuery q = m_db.prepare(QString::fromLatin1(articleColumns)
                               + QStringLiteral(" WHERE a.status = 'published' ORDER BY ") + order
                               + QStringLiteral(" LIMIT ?"));
    q.addBindValue(limit);
    return articles(q, origin);
}

std::optional<qint64> ArticleStore::countView(qint64 id) const
{
    auto it = m_views.find(id);
    if (it == m_views.end()) {
        const QVariant stored = m_db.scalar(QStringLiteral("SELECT views FROM articles WHERE id = ? AND status = 'published'"), {id});
        if (!stored.isValid())
            return std::nullopt;
        it = m_views.insert(id, stored.toLongLong());
    }
    if (!m_viewsDue.isActive())
        m_viewsDue.start();
    return ++*it;
}

void ArticleStore::flushViews() const
{
    if (m_views.isEmpty())
        return;
    Transaction tx(m_db);
    for (auto it = m_views.cbegin(); it != m_views.cend(); ++it)
        m_db.exec(QStringLiteral("UPDATE articles SET views = ? WHERE id = ?"), {it.value(), it.key()});
    if (tx.commit()) {
        m_views.clear();
        m_viewsDue.stop();
    }
}

std::optional<ArticleDetail> ArticleStore::detail(qint64 id, const QString &origin) const
{
    QSqlQuery q = m_db.prepare(QStringLiteral(
        "SELECT a.id, a.title, a.filename, a.views, a.like_count, a.comment_count, a.date, a.image_mode, a.body,"
        " a.author_id FROM articles a WHERE a.id = ? AND a.status = 'published'"));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    ArticleDetail d;
    d.id = q.value(0).toLongLong();
    d.title = q.value(1).toString();
    d.filename = q.value(2).toString();
    d.views = q.value(3).toLongLong();
    d.likes = q.value(4).toLongLong();
    d.comments = q.value(5).toLongLong();
    d.date = q.value(6).toString();
    d.cover = imagesFor(d.id, q.value(7).toInt(), origin).cover;
    d.body = q.value(8).toString().replace(QStringLiteral("{{origin}}"), origin);
    const std::optional<Author> writer = author(q.value(9).toLongLong());
    if (!writer)
        return std::nullopt;
    d.author = *writer;

    QList<Tag> tags;
    QSqlQuery t = m_db.prepare(QStringLiteral(
        "SELECT t.id, t.name FROM article_tags x JOIN tags t ON t.id = x.tag_id WHERE x.article_id = ? ORDER BY t.id"));
    t.addBindValue(id);
    if (t.exec()) {
        while (t.next())
            tags.append(Tag{t.value(0).toLongLong(), t.value(1).toString()});
    }
    d.tags = tags;
    return d;
}

std::optional<Author> ArticleStore::author(qint64 id) const
{
    QSqlQuery q = m_db.prepare(QStringLiteral("SELECT id, username, role, bio FROM users WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    Author a;
    a.id = q.value(0).toLongLong();
    a.username = q.value(1).toString();
    a.role = q.value(2).toString();
    if (!q.value(3).isNull())
        a.bio = q.value(3).toString();
    return a;
}

QList<Article> ArticleStore::articlesBy(qint64 authorId, bool publishedOnly, const QString &origin) const
{
    QSqlQuery q = m_db.prepare(QString::fromLatin1(articleColumns) + QStringLiteral(" WHERE a.author_id = ?")
                               + (publishedOnly ? QStringLiteral(" AND a.status = 'published'") : QString())
                               + QStringLiteral(" ORDER BY a.date DESC, a.id DESC"));
    q.addBindValue(authorId);
    return articles(q, origin);
}

UserStats ArticleStore::userStats(qint64 authorId) const
{
    UserStats s;
    QSqlQuery q = m_db.prepare(QStringLiteral(
        "SELECT count(*), coalesce(sum(status = 'published'), 0), coalesce(sum(status = 'pending'), 0)"
        " FROM articles WHERE author_id = ?"));
    q.addBindValue(authorId);
    if (q.exec() && q.next()) {
        s.total = q.value(0).toLongLong();
        s.published = q.value(1).toLongLong();
        s.pending = q.value(2).toLongLong();
    }
    return s;
}

bool ArticleStore::isPublished(qint64 articleId) const
{
    return m_db.scalar(QStringLiteral("SELECT 1 FROM articles WHERE id = ? AND status = 'published'"), {articleId}).isValid();
}

ArticleStore::Posting ArticleStore::addComment(qint64 articleId, std::optional<qint64> userId, const QString &name,
                                               const QString &content, const QString &time, qint64 *id) const
{
    Transaction tx(m_db);
    const qint64 cost = commentCost::of(name, content, userId.has_value());
    QSqlQuery count = m_db.prepare(QStringLiteral(
        "UPDATE articles SET comment_count = comment_count + 1, comment_bytes = comment_bytes + ?"
        " WHERE id = ? AND comment_bytes + ? <= ?"));
    for (const QVariant &v : {QVariant(cost), QVariant(articleId), QVariant(cost), QVariant(m_commentCeiling)})
        count.addBindValue(v);
    if (!count.exec())
        return Posting::Failed;
    if (count.numRowsAffected() == 0)
        return Posting::Full;
    QSqlQuery insert = m_db.prepare(QStringLiteral(
        "INSERT INTO comments (article_id, user_id, name, content, time) VALUES (?, ?, ?, ?, ?)"));
    insert.addBindValue(articleId);
    insert.addBindValue(userId ? QVariant(*userId) : QVariant(QMetaType::fromType<qint64>()));
    insert.addBindValue(name);
    insert.addBindValue(content);
    insert.addBindValue(time);
    if (!insert.exec() || !tx.commit())
        return Posting::Failed;
    *id = insert.lastInsertId().toLongLong();
    return Posting::Stored;
}

std::optional<qint64> ArticleStore::articleOfComment(qint64 commentId) const
{
    const QVariant v = m_db.scalar(QStringLiteral("SELECT article_id FROM comments WHERE id = ?"), {commentId});
    if (!v.isValid())
        return std::nullopt;
    return v.toLongLong();
}
