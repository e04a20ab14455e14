#include "store/Database.h"

#include "limits/ClientKey.h"
#include "store/CommentCost.h"

#include <QDir>
#include <QHash>
#include <QSqlError>
#include <QUuid>

namespace {
// The first schema. A new store runs it and then every upgrade, so a new
// store and an upgraded one are alike.
const char *const firstSchema[] = {
    "CREATE TABLE users (id INTEGER PRIMARY KEY, username TEXT NOT NULL UNIQUE, email TEXT,"
    " role TEXT NOT NULL, bio TEXT, salt BLOB, password_hash BLOB, iterations INTEGER,"
    " created_at TEXT NOT NULL)",
    "CREATE TABLE tokens (token_hash BLOB PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id)"
    " ON DELETE CASCADE, created_at TEXT NOT NULL)",
    "CREATE TABLE tags (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    // image_mode: 0 none, 1 absolute URLs, 2 server-relative paths, 3 empty thumb
    "CREATE TABLE articles (id INTEGER PRIMARY KEY, title TEXT NOT NULL, filename TEXT NOT NULL,"
    " body TEXT NOT NULL, date TEXT NOT NULL, views INTEGER NOT NULL DEFAULT 0,"
    " author_id INTEGER NOT NULL REFERENCES users(id), status TEXT NOT NULL,"
    " image_mode INTEGER NOT NULL DEFAULT 0, like_count INTEGER NOT NULL DEFAULT 0,"
    " comment_count INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX articles_status_date ON articles(status, date DESC, id DESC)",
    "CREATE INDEX articles_author ON articles(author_id)",
    "CREATE TABLE article_tags (article_id INTEGER NOT NULL REFERENCES articles(id) ON DELETE CASCADE,"
    " tag_id INTEGER NOT NULL REFERENCES tags(id), PRIMARY KEY (article_id, tag_id))",
    "CREATE INDEX article_tags_tag ON article_tags(tag_id, article_id)",
    "CREATE TABLE comments (id INTEGER PRIMARY KEY, article_id INTEGER NOT NULL REFERENCES articles(id)"
    " ON DELETE CASCADE, user_id INTEGER REFERENCES users(id), name TEXT NOT NULL, content TEXT NOT NULL,"
    " time TEXT NOT NULL, like_count INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX comments_article ON comments(article_id, id)",
    // liker: "u:<user id>" for a signed-in reader, "a:<address>" for an anonymous one
    "CREATE TABLE article_likes (article_id INTEGER NOT NULL REFERENCES articles(id) ON DELETE CASCADE,"
    " liker TEXT NOT NULL, PRIMARY KEY (article_id, liker))",
    "CREATE TABLE comment_likes (comment_id INTEGER NOT NULL REFERENCES comments(id) ON DELETE CASCADE,"
    " liker TEXT NOT NULL, PRIMARY KEY (comment_id, liker))",
};
} // namespace

Database::~Database() { close(); }

QSqlDatabase Database::handle() const { return QSqlDatabase::database(m_connection, false); }

bool Database::open(const QString &dir)
{
    if (!QDir().mkpath(dir)) {
        m_error = QStringLiteral("cannot create data directory %1").arg(dir);
        return false;
    }
    m_path = QDir(dir).absoluteFilePath(QStringLiteral("papelo.sqlite"));
    m_connection = QUuid::createUuid().toString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    if (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !exec(QStringLiteral("PRAGMA foreign_keys=ON"))
        || !exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        return false;
    return migrate();
}

void Database::close()
{
    if (m_connection.isEmpty())
        return;
    m_reused.clear();
    {
        QSqlDatabase db = handle();
        if (db.isOpen()) {
            // Folds the WAL back into the main file so a copied store is complete.
            QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

QSqlQuery Database::prepare(const QString &sql) const
{
    QSqlQuery q(handle());
    q.setForwardOnly(true);
    q.prepare(sql);
    return q;
}

QSqlQuery &Database::reused(const QString &sql) const
{
    auto it = m_reused.find(sql);
    if (it == m_reused.end())
        it = m_reused.insert(sql, prepare(sql));
    return *it;
}

bool Database::exec(const QString &sql, const QVariantList &values) const
{
    if (values.isEmpty()) {
        QSqlQuery q(handle());
        if (!q.exec(sql)) {
            m_error = q.lastError().text();
            return false;
        }
        return true;
    }
    QSqlQuery &q = reused(sql);
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    const bool ok = q.exec();
    if (!ok)
        m_error = q.lastError().text();
    q.finish();
    return ok;
}

QVariant Database::scalar(const QString &sql, const QVariantList &values) const
{
    QSqlQuery &q = reused(sql);
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    const QVariant value = q.exec() && q.next() ? q.value(0) : QVariant();
    q.finish();
    return value;
}

bool Database::migrate()
{
    const int version = scalar(QStringLiteral("PRAGMA user_version")).toInt();
    if (version > schemaVersion) {
        m_error = QStringLiteral("store %1 has schema version %2, newer than this server (%3)")
                      .arg(m_path).arg(version).arg(schemaVersion);
        return false;
    }
    if (version < schemaVersion) {
        Transaction tx(*this);
        if ((version == 0 && !createSchema()) || (version <= 1 && !upgradeTo2())
            || !exec(QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion)) || !tx.commit()) {
            m_error = QStringLiteral("cannot bring the store to schema version %1: %2").arg(schemaVersion).arg(m_error);
            return false;
        }
    }
    m_fts = scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'article_search' AND sql LIKE '%fts5%'"))
                .toInt() > 0;
    return true;
}

bool Database::createSchema()
{
    for (const char *statement : firstSchema) {
        if (!exec(QString::fromLatin1(statement)))
            return false;
    }
    // Trigram FTS finds Chinese substrings; without FTS5 a plain table keeps
    // the same columns so searches fall back to LIKE.
    const bool fts = exec(QStringLiteral(
        "CREATE VIRTUAL TABLE article_search USING fts5(title, body_text, tokenize='trigram')"));
    return fts || exec(QStringLiteral("CREATE TABLE article_search (rowid INTEGER PRIMARY KEY, title TEXT, body_text TEXT)"));
}

// Version 2: each article's comment_bytes (the most its comments can take in
// an answer), and anonymous likers keyed by client bucket, not by address.
bool Database::upgradeTo2()
{
    if (!exec(QStringLiteral("ALTER TABLE articles ADD COLUMN comment_bytes INTEGER NOT NULL DEFAULT 0")))
        return false;
    QHash<qint64, qint64> bytes;
    QSqlQuery comments = prepare(QStringLiteral("SELECT article_id, name, content, user_id IS NOT NULL FROM comments"));
    if (!comments.exec())
        return false;
    while (comments.next()) {
        bytes[comments.value(0).toLongLong()] += commentCost::of(comments.value(1).toString(), comments.value(2).toString(),
                                                                 comments.value(3).toBool());
    }
    for (auto it = bytes.cbegin(); it != bytes.cend(); ++it) {
        if (!exec(QStringLiteral("UPDATE articles SET comment_bytes = ? WHERE id = ?"), {it.value(), it.key()}))
            return false;
    }
    // Two addresses of one bucket that liked the same thing become one like.
    const auto rekey = [this](const QString &likes, const QString &column, const QString &counts) {
        QSqlQuery anonymous = prepare(QStringLiteral("SELECT %1, liker FROM %2 WHERE liker LIKE 'a:%'").arg(column, likes));
        if (!anonymous.exec())
            return false;
        QList<QPair<qint64, QString>> rows;
        while (anonymous.next())
            rows.append({anonymous.value(0).toLongLong(), anonymous.value(1).toString()});
        for (const auto &[id, liker] : std::as_const(rows)) {
            const QHostAddress address(liker.mid(2));
            const QString bucket = address.isNull() ? liker : QStringLiteral("a:") + clientKey(address);
            if (bucket == liker)
                continue;
            QSqlQuery insert = prepare(QStringLiteral("INSERT OR IGNORE INTO %1 (%2, liker) VALUES (?, ?)").arg(likes, column));
            insert.addBindValue(id);
            insert.addBindValue(bucket);
            if (!insert.exec())
                return false;
            const bool merged = insert.numRowsAffected() == 0;
            if (!exec(QStringLiteral("DELETE FROM %1 WHERE %2 = ? AND liker = ?").arg(likes, column), {id, liker})
                || (merged && !exec(QStringLiteral("UPDATE %1 SET like_count = max(like_count - 1, 0) WHERE id = ?").arg(counts), {id})))
                return false;
        }
        return true;
    };
    return rekey(QStringLiteral("article_likes"), QStringLiteral("article_id"), QStringLiteral("articles"))
        && rekey(QStringLiteral("comment_likes"), QStringLiteral("comment_id"), QStringLiteral("comments"));
}

Transaction::Transaction(const Database &db) : m_db(db.handle()) { m_active = m_db.transaction(); }

Transaction::~Transaction()
{
    if (m_active)
        m_db.rollback();
}

bool Transaction::commit()
{
    if (!m_active)
        return false;
    m_active = false;
    return m_db.commit();
}
