#include "store/CommentAnswers.h"

#include "core/Records.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

using namespace papelo;

namespace {

// Runs on the pool's one thread, which keeps its connection for good.
QByteArray build(const QString &path, const QString &connection, qint64 articleId)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.isValid()) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db.isOpen() && !db.open())
        return {};
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT c.id, c.name, c.content, c.like_count, c.time, u.id, u.username, u.role, u.bio"
                             " FROM comments c LEFT JOIN users u ON u.id = c.user_id WHERE c.article_id = ? ORDER BY c.id"));
    q.addBindValue(articleId);
    if (!q.exec())
        return {};
    QJsonArray list;
    while (q.next()) {
        Comment c;
        c.id = q.value(0).toLongLong();
        c.name = q.value(1).toString();
        c.content = q.value(2).toString();
        c.likes = q.value(3).toLongLong();
        c.time = q.value(4).toString();
        if (!q.value(5).isNull()) {
            Author u;
            u.id = q.value(5).toLongLong();
            u.username = q.value(6).toString();
            u.role = q.value(7).toString();
            if (!q.value(8).isNull())
                u.bio = q.value(8).toString();
            c.user = u;
        }
        list.append(c.toJson());
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

} // namespace

CommentAnswers::CommentAnswers(QString storePath)
    : m_path(std::move(storePath)), m_connection(QUuid::createUuid().toString())
{
}

CommentAnswers::~CommentAnswers() { close(); }

void CommentAnswers::close()
{
    const QString connection = m_connection;
    m_builds.pool().start([connection] { QSqlDatabase::database(connection, false).close(); });
    m_builds.pool().waitForDone();
    QSqlDatabase::removeDatabase(m_connection);
}

QFuture<QByteArray> CommentAnswers::answer(qint64 articleId, quint64 version)
{
    return m_builds.ask({articleId, version}, [path = m_path, connection = m_connection, articleId] {
        return build(path, connection, articleId);
    });
}
