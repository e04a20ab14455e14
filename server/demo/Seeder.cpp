#include "demo/Seeder.h"

#include "demo/DemoContent.h"
#include "store/CommentCost.h"

#include <QDateTime>
#include <QSqlError>

namespace {

constexpr quint32 demoSeed = 20240501;
const QDateTime firstDate(QDate(2023, 1, 3), QTime(8, 0));

// Roughly half absolute URLs, a quarter server-relative, a quarter letter
// tiles, and every twelfth a present-but-empty thumb.
int imageModeFor(int index)
{
    if (index % 12 == 5)
        return 3;
    switch (index % 4) {
    case 0: return 0;
    case 1: return 2;
    default: return 1;
    }
}

} // namespace

struct Seeder::Prepared {
    QSqlQuery article, search, articleTag, comment, articleLike;
    explicit Prepared(const Database &db)
        : article(db.prepare(QStringLiteral(
              "INSERT INTO articles (id, title, filename, body, date, views, author_id, status, image_mode, like_count,"
              " comment_count) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))),
          search(db.prepare(QStringLiteral("INSERT INTO article_search (rowid, title, body_text) VALUES (?, ?, ?)"))),
          articleTag(db.prepare(QStringLiteral("INSERT OR IGNORE INTO article_tags (article_id, tag_id) VALUES (?, ?)"))),
          comment(db.prepare(QStringLiteral(
              "INSERT INTO comments (article_id, user_id, name, content, time, like_count) VALUES (?, ?, ?, ?, ?, ?)"))),
          articleLike(db.prepare(QStringLiteral("INSERT INTO article_likes (article_id, liker) VALUES (?, ?)")))
    {
    }
};

namespace {
bool run(QSqlQuery &q, const QVariantList &values, QString &error)
{
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    if (q.exec())
        return true;
    error = q.lastError().text();
    return false;
}
} // namespace

bool Seeder::isEmpty() const
{
    // Any user counts: seeding uses fixed ids and must never meet a registered account.
    return m_db.scalar(QStringLiteral("SELECT count(*) FROM articles")).toLongLong() == 0
        && m_db.scalar(QStringLiteral("SELECT count(*) FROM users")).toLongLong() == 0;
}

bool Seeder::seedDemo() { return seed(120, true); }

bool Seeder::seedArticles(int count) { return seed(count, false); }

bool Seeder::seed(int articleCount, bool demo)
{
    Transaction tx(m_db);
    QRandomGenerator rng(demoSeed);
    const QString created = QStringLiteral("2023-01-01 00:00:00");

    const QStringList &authors = DemoContent::authorNames();
    for (int i = 0; i < authors.size(); ++i) {
        const QVariant bio = i % 3 == 2 ? QVariant(QMetaType::fromType<QString>())
                                        : QVariant(QStringLiteral("%1，写字的人。").arg(DemoContent::tagNames().at(i)));
        if (!m_db.exec(QStringLiteral("INSERT INTO users (id, username, role, bio, created_at) VALUES (?, ?, ?, ?, ?)"),
                       {i + 1, authors.at(i), i == 0 ? QStringLiteral("编辑") : QStringLiteral("作者"), bio, created})) {
            m_error = m_db.errorString();
            return false;
        }
    }
    const qint64 demoId = authors.size() + 1;
    const Auth::Hashed hashed = m_auth.hashPassword(QString::fromLatin1(demoPassword));
    if (!m_db.exec(QStringLiteral("INSERT INTO users (id, username, email, role, bio, salt, password_hash, iterations,"
                                  " created_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                   {demoId, QString::fromLatin1(demoUser), QStringLiteral("demo@papelo.example"),
                    QStringLiteral("普通用户"), QStringLiteral("喜欢在周末读长文。"), hashed.salt, hashed.hash,
                    hashed.iterations, created})) {
        m_error = m_db.errorString();
        return false;
    }
    const QStringList &tags = DemoContent::tagNames();
    for (int i = 0; i < tags.size(); ++i) {
        if (!m_db.exec(QStringLiteral("INSERT INTO tags (id, name) VALUES (?, ?)"), {i + 1, tags.at(i)})) {
            m_error = m_db.errorString();
            return false;
        }
    }

    Prepared q(m_db);
    // The demo account owns a few articles, two of them still awaiting review.
    const int pendingCount = demo ? 6 : 0;
    const int total = articleCount + pendingCount;
    // Dates spread over about two years whatever the count, newest last.
    const qint64 step = qMax<qint64>(60, qint64(2 * 365 * 86400) / qMax(1, total));
    for (int i = 0; i < total; ++i) {
        const qint64 id = i + 1;
        const bool pending = i >= articleCount;
        const bool byDemo = demo && (i % 40 == 7 || i >= total - 2);
        const qint64 authorId = byDemo ? demoId : qint64(i % authors.size()) + 1;
        const QString title = DemoContent::title(rng);
        const int paragraphs = demo ? 3 + int(rng.bounded(10)) : 2;
        const DemoContent::Body body = DemoContent::body(rng, id, paragraphs, demo);
        const QString date = firstDate.addSecs(qint64(i) * step + rng.bounded(qMin<int>(int(step), 3600 * 6)))
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        const int commentCount = demo && !pending ? int(rng.bounded(7)) : 0;
        const int likeCount = demo && !pending ? int(rng.bounded(40)) : 0;
        const bool ok = run(q.article,
                            {id, title, QStringLiteral("%1-%2.html").arg(date.left(10)).arg(id), body.html, date,
                             pending ? 0 : 20 + rng.bounded(5000), authorId,
                             pending ? QStringLiteral("pending") : QStringLiteral("published"), imageModeFor(i),
                             likeCount, commentCount},
                            m_error)
            && run(q.search, {id, title, body.text}, m_error);
        if (!ok)
            return false;
        for (int t = 0; t < 1 + (i % 3); ++t) {
            if (!run(q.articleTag, {id, qint64(rng.bounded(quint32(tags.size()))) + 1}, m_error))
                return false;
        }
        for (int l = 0; l < likeCount; ++l) {
            if (!run(q.articleLike, {id, QStringLiteral("seed:%1").arg(l)}, m_error))
                return false;
        }
        qint64 commentBytes = 0;
        for (int c = 0; c < commentCount; ++c) {
            // Every third comment is a signed-in author's, the rest are guests.
            const bool byUser = c % 3 == 0;
            const qint64 userId = qint64(rng.bounded(quint32(authors.size()))) + 1;
            const QString name = byUser ? authors.at(int(userId - 1))
                                        : (c % 3 == 1 ? DemoContent::guestNames().at(c % 4) : QStringLiteral("游客"));
            const QString time = firstDate.addSecs(qint64(i) * step + 3600 * 7 + 3600 * (c + 2)).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            const QString text = DemoContent::commentText(rng);
            commentBytes += commentCost::of(name, text, byUser);
            if (!run(q.comment, {id, byUser ? QVariant(userId) : QVariant(QMetaType::fromType<qint64>()), name, text, time, 0},
                     m_error))
                return false;
        }
        if (commentBytes > 0 && !m_db.exec(QStringLiteral("UPDATE articles SET comment_bytes = ? WHERE id = ?"), {commentBytes, id})) {
            m_error = m_db.errorString();
            return false;
        }
    }
    if (!tx.commit()) {
        m_error = QStringLiteral("commit failed");
        return false;
    }
    return true;
}
