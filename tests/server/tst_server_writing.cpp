// Comments, likes and hostile input against the real papelo-server. Every
// refused request must leave the store exactly as it was.

#include "core/APIClient.h"
#include "RawHttp.h"
#include "ServerProcess.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QtTest>

using namespace papelo;

namespace {
template <typename T> QByteArray why(const Result<T> &r)
{
    return r.ok() ? QByteArray() : r.error().description().toUtf8();
}
constexpr qint64 articleId = 10;
} // namespace

class ServerWritingTest : public QObject {
    Q_OBJECT
    ServerProcess m_server;
    std::shared_ptr<APIClient> m_client;

    ArticleDetail detail(qint64 id)
    {
        const Result<ArticleDetail> r = QCoro::waitFor(m_client->fetchArticleDetail(id));
        return r.ok() ? r.value() : ArticleDetail();
    }
    QList<Comment> comments(qint64 id)
    {
        const Result<QList<Comment>> r = QCoro::waitFor(m_client->fetchComments(id));
        return r.ok() ? r.value() : QList<Comment>();
    }
    QString url(const QString &path) const { return m_server.baseUrl() + path; }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_client = APIClient::create(m_server.baseUrl());
    }

    void cleanupTestCase() { QVERIFY2(m_server.stop(), qPrintable(m_server.errorString())); }

    void commentRoundTrip()
    {
        const qint64 before = detail(articleId).comments;
        const QString tricky = QStringLiteral("'); DROP TABLE comments; -- <b>粗体</b> 😀 \"引号\"");
        const Result<CommentPostResponse> guest = QCoro::waitFor(m_client->postComment(articleId, tricky, std::nullopt));
        QVERIFY2(guest.ok(), why(guest).constData());
        QVERIFY(guest->ok);
        const Result<CommentPostResponse> named =
            QCoro::waitFor(m_client->postComment(articleId, QStringLiteral("第二条"), QStringLiteral("小明")));
        QVERIFY(named.ok());
        const Result<CommentPostResponse> emptyName =
            QCoro::waitFor(m_client->postComment(articleId, QStringLiteral("第三条"), QString()));
        QVERIFY(emptyName.ok());
        QVERIFY(guest->id < named->id && named->id < emptyName->id);

        const QList<Comment> list = comments(articleId);
        QVERIFY(list.size() >= 3);
        const Comment &a = list.at(list.size() - 3);
        const Comment &b = list.at(list.size() - 2);
        const Comment &c = list.last();
        QCOMPARE(a.id, guest->id);
        QCOMPARE(a.content, tricky);  // stored verbatim, not escaped or executed
        QCOMPARE(a.name, QStringLiteral("游客"));
        QVERIFY(!a.user);
        QCOMPARE(a.likes, 0);
        QCOMPARE(a.time.size(), 19);
        QCOMPARE(b.name, QStringLiteral("小明"));
        QCOMPARE(c.name, QStringLiteral("游客"));
        QCOMPARE(detail(articleId).comments, before + 3);
        QCOMPARE(detail(articleId).comments, comments(articleId).size());
    }

    void refusedCommentsStoreNothing_data()
    {
        QTest::addColumn<qint64>("article");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("status");
        QTest::newRow("empty") << articleId << QString() << QString() << 400;
        QTest::newRow("blank") << articleId << QStringLiteral("  \n\t ") << QString() << 400;
        QTest::newRow("too long") << articleId << QString(2001, QChar(0x5b57)) << QString() << 400;
        QTest::newRow("long name") << articleId << QStringLiteral("好") << QString(33, QLatin1Char('n')) << 400;
        QTest::newRow("unknown article") << qint64(987654) << QStringLiteral("好") << QString() << 404;
        QTest::newRow("pending article") << qint64(121) << QStringLiteral("好") << QString() << 404;
        QTest::newRow("negative id") << qint64(-1) << QStringLiteral("好") << QString() << 400;
        QTest::newRow("body over 64 KiB") << articleId << QString(40000, QChar(0x5b57)) << QString() << 413;
    }

    void refusedCommentsStoreNothing()
    {
        QFETCH(qint64, article);
        QFETCH(QString, content);
        QFETCH(QString, name);
        QFETCH(int, status);
        const qint64 before = comments(articleId).size();
        const Result<CommentPostResponse> r = QCoro::waitFor(
            m_client->postComment(article, content, name.isEmpty() ? std::nullopt : std::optional<QString>(name)));
        QVERIFY(!r.ok());
        QCOMPARE(r.error().kind(), RequestError::Kind::Server);
        QCOMPARE(r.error().httpStatus(), status);
        QVERIFY(!r.error().description().isEmpty());
        QCOMPARE(comments(articleId).size(), before);
    }

    void malformedBodies_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");
        const QByteArray json = "application/json";
        QTest::newRow("truncated") << QByteArray("/api/comment") << QByteArray("{\"article_id\": 10,") << json;
        QTest::newRow("array") << QByteArray("/api/comment") << QByteArray("[10, \"x\"]") << json;
        QTest::newRow("string") << QByteArray("/api/comment") << QByteArray("\"hello\"") << json;
        QTest::newRow("empty") << QByteArray("/api/comment") << QByteArray() << json;
        QTest::newRow("id as string") << QByteArray("/api/comment") << QByteArray(R"({"article_id":"10","content":"x"})") << json;
        QTest::newRow("id fraction") << QByteArray("/api/comment") << QByteArray(R"({"article_id":10.5,"content":"x"})") << json;
        QTest::newRow("id huge") << QByteArray("/api/comment") << QByteArray(R"({"article_id":1e300,"content":"x"})") << json;
        QTest::newRow("id 2^63") << QByteArray("/api/comment") << QByteArray(R"({"article_id":9223372036854775808,"content":"x"})") << json;
        QTest::newRow("id bool") << QByteArray("/api/comment") << QByteArray(R"({"article_id":true,"content":"x"})") << json;
        QTest::newRow("content number") << QByteArray("/api/comment") << QByteArray(R"({"article_id":10,"content":5})") << json;
        QTest::newRow("content null") << QByteArray("/api/comment") << QByteArray(R"({"article_id":10,"content":null})") << json;
        QTest::newRow("name object") << QByteArray("/api/comment") << QByteArray(R"({"article_id":10,"content":"x","name":{}})") << json;
        QTest::newRow("invalid utf-8") << QByteArray("/api/comment") << QByteArray("{\"article_id\":10,\"content\":\"\xff\xfe\xc3\"}") << json;
        QTest::newRow("not json type") << QByteArray("/api/comment") << QByteArray(R"({"article_id":10,"content":"x"})") << QByteArray("text/plain");
        QTest::newRow("like id string") << QByteArray("/api/like") << QByteArray(R"({"article_id":"10"})") << json;
        QTest::newRow("like comment id negative") << QByteArray("/api/like") << QByteArray(R"({"article_id":10,"comment_id":-4})") << json;
        QTest::newRow("like missing id") << QByteArray("/api/like") << QByteArray(R"({"comment_id":1})") << json;
        QTest::newRow("like nested garbage") << QByteArray("/api/like") << QByteArray(R"({"article_id":[[[[10]]]]})") << json;
    }

    void malformedBodies()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        const qint64 commentsBefore = comments(articleId).size();
        const qint64 likesBefore = detail(articleId).likes;
        const rawhttp::Reply r = rawhttp::send(url(QString::fromLatin1(path)), "POST", body, {{"Content-Type", contentType}});
        QCOMPARE(r.status, 400);
        QVERIFY2(!r.error().isEmpty(), r.body.constData());
        QCOMPARE(comments(articleId).size(), commentsBefore);
        QCOMPARE(detail(articleId).likes, likesBefore);
    }

    void hugeUploadIsCutOffAndServerStaysUp()
    {
        const qint64 before = comments(articleId).size();
        // Half of an announced 3 MiB body: only a server that stops buffering
        // early answers before the rest arrives (which it never does here).
        QByteArray request = "POST /api/comment HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                             "Content-Length: 3145728\r\n\r\n{\"article_id\":10,\"content\":\"";
        request += QByteArray(3 * 512 * 1024, 'a');
        const QByteArray answer = rawhttp::exchange(m_server.port(), request);
        QVERIFY2(answer.startsWith("HTTP/1.1 413"), answer.left(80).constData());
        QVERIFY(m_server.isRunning());
        const Result<StatsResponse> stats = QCoro::waitFor(m_client->fetchStats());
        QVERIFY(stats.ok());
        QCOMPARE(comments(articleId).size(), before);
    }

    void garbageRequestLineDoesNotHurt()
    {
        const QByteArray answer = rawhttp::exchange(
            m_server.port(), QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 not http\r\n\r\n", 31), 500);
        // Dropped or refused, never served as if it were a request.
        QVERIFY2(answer.isEmpty() || answer.startsWith("HTTP/1.1 4"), answer.left(80).constData());
        QVERIFY(m_server.isRunning());
        QVERIFY(QCoro::waitFor(m_client->fetchStats()).ok());
    }

    void anonymousLikeToggles()
    {
        const qint64 before = detail(articleId).likes;
        const Result<bool> on = QCoro::waitFor(m_client->like(LikeTarget(articleId, std::nullopt), std::nullopt));
        QVERIFY2(on.ok(), why(on).constData());
        QVERIFY(on.value());
        QCOMPARE(detail(articleId).likes, before + 1);
        const Result<bool> off = QCoro::waitFor(m_client->like(LikeTarget(articleId, std::nullopt), std::nullopt));
        QVERIFY(off.ok() && off.value());
        QCOMPARE(detail(articleId).likes, before);
    }

    void commentLikeToggles()
    {
        const Result<CommentPostResponse> posted =
            QCoro::waitFor(m_client->postComment(articleId, QStringLiteral("点赞我"), std::nullopt));
        QVERIFY(posted.ok());
        const qint64 commentId = posted->id;
        const qint64 articleLikes = detail(articleId).likes;
        QVERIFY(QCoro::waitFor(m_client->like(LikeTarget(articleId, commentId), std::nullopt)).ok());
        QCOMPARE(comments(articleId).last().likes, 1);
        QCOMPARE(detail(articleId).likes, articleLikes);  // the article itself is untouched
        QVERIFY(QCoro::waitFor(m_client->like(LikeTarget(articleId, commentId), std::nullopt)).ok());
        QCOMPARE(comments(articleId).last().likes, 0);

        // A comment named under the wrong article, or one that does not exist, is refused.
        const Result<bool> wrongArticle = QCoro::waitFor(m_client->like(LikeTarget(articleId + 1, commentId), std::nullopt));
        QVERIFY(!wrongArticle.ok());
        QCOMPARE(wrongArticle.error().httpStatus(), 404);
        const Result<bool> noComment = QCoro::waitFor(m_client->like(LikeTarget(articleId, 99999999), std::nullopt));
        QVERIFY(!noComment.ok());
        QCOMPARE(noComment.error().httpStatus(), 404);
        QCOMPARE(comments(articleId).last().likes, 0);
    }

    void likeFailures()
    {
        const qint64 before = detail(articleId).likes;
        const Result<bool> unknown = QCoro::waitFor(m_client->like(LikeTarget(987654, std::nullopt), std::nullopt));
        QVERIFY(!unknown.ok());
        QCOMPARE(unknown.error().httpStatus(), 404);
        // A token that is sent must be valid; it never silently becomes an anonymous like.
        for (const QString &token : {QStringLiteral("not-a-token"), QString()}) {
            const Result<bool> r = QCoro::waitFor(m_client->like(LikeTarget(articleId, std::nullopt), token));
            QVERIFY(!r.ok());
            QCOMPARE(r.error().httpStatus(), 401);
            QVERIFY(!r.error().description().isEmpty());
        }
        QCOMPARE(detail(articleId).likes, before);
    }

    void latencyDelaysEveryAnswer()
    {
        ServerProcess::Options options;
        options.latencyMs = 400;
        ServerProcess slow(options);
        QVERIFY2(slow.start(), qPrintable(slow.errorString()));
        const auto client = APIClient::create(slow.baseUrl());
        QElapsedTimer timer;
        timer.start();
        QVERIFY(QCoro::waitFor(client->fetchStats()).ok());
        const qint64 ok = timer.restart();
        const rawhttp::Reply missing = rawhttp::send(slow.baseUrl() + QStringLiteral("/api/missing"), "GET");
        const qint64 failed = timer.elapsed();
        QCOMPARE(missing.status, 404);
        // Only the lower bound is certain; the delay must apply to errors too.
        QVERIFY2(ok >= 390 && failed >= 390, qPrintable(QStringLiteral("%1 / %2 ms").arg(ok).arg(failed)));
        QVERIFY(slow.stop());
    }
};

QTEST_GUILESS_MAIN(ServerWritingTest)
#include "tst_server_writing.moc"
