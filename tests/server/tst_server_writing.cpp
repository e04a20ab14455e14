// Comments, likes, accounts and hostile input against the real papelo-server:
// every refused request leaves the store as it was, and what was accepted
// survives a restart of the process.

#include "ServerTestKit.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>

using namespace papelo;
using kit::get;
using kit::refusal;

namespace {
constexpr qint64 articleId = 10;
const QString readerName = QStringLiteral("读者_01");
const QString readerPassword = QStringLiteral("secret-密码12");
} // namespace

class ServerWritingTest : public QObject {
    Q_OBJECT
    ServerProcess m_server;
    std::shared_ptr<APIClient> m_client;
    QString m_token;  // of readerName, issued at registration

    qint64 likes(qint64 id) { return get(m_client->fetchArticleDetail(id)).likes; }
    QList<Comment> comments(qint64 id) { return get(m_client->fetchComments(id)); }
    QString like(std::optional<qint64> comment, std::optional<QString> token, qint64 article = articleId)
    {
        return refusal(m_client->like(LikeTarget(article, comment), token));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_client = APIClient::create(m_server.baseUrl());
    }

    void cleanupTestCase() { QVERIFY2(m_server.stop(), qPrintable(m_server.errorString())); }

    void registerThenOwnPage()
    {
        const LoginResponse reg = get(m_client->registerUser(readerName, QStringLiteral("r@example.com"), readerPassword));
        QVERIFY(reg.user.username == readerName && !reg.user.role.isEmpty() && !reg.user.bio);
        QCOMPARE(reg.token.size(), 64);  // 256 random bits in hex
        m_token = reg.token;
        const MeResponse me = get(m_client->fetchMe(m_token));
        QVERIFY(me.user.id == reg.user.id && me.stats.total == 0 && me.articles.isEmpty());
        for (const QString &name : {QStringLiteral("张三丰"), QString(32, QLatin1Char('z'))})  // the shortest CJK, the longest
            QCOMPARE(get(m_client->registerUser(name, QStringLiteral("x@example.com"), QStringLiteral("123456"))).user.username, name);
    }

    // Signing out revokes the token that was sent, and only that one.
    void logoutRevokesTheToken()
    {
        const QString token = get(m_client->login(readerName, readerPassword)).token;
        const QByteArray bearer = "Authorization: Bearer " + token.toLatin1() + "\r\n";
        const kit::Reply out = kit::request(m_server.port(), "POST /api/logout", {}, bearer);
        QVERIFY2(out.status == 200 && out.body == R"({"ok":true})", out.body.constData());
        QVERIFY(refusal(m_client->fetchMe(token)).startsWith(QStringLiteral("401")));
        QCOMPARE(kit::request(m_server.port(), "POST /api/logout", {}, bearer).status, 401);
        QCOMPARE(get(m_client->fetchMe(m_token)).user.username, readerName);
    }

    // An article whose comments could pass the ceiling takes none more; what it has stays.
    void commentsStopAtTheCeiling()
    {
        const qint64 article = 11;
        kit::sql(m_server, {QStringLiteral("UPDATE articles SET comment_bytes = 8388608 - 200 WHERE id = %1").arg(article)});
        const qsizetype before = comments(article).size();
        QVERIFY(get(m_client->postComment(article, QStringLiteral("还有位置"), std::nullopt)).ok);
        QCOMPARE(refusal(m_client->postComment(article, QStringLiteral("满了"), std::nullopt)),
                 QStringLiteral("403 这篇文章的评论已满，不能再发表评论"));
        QCOMPARE(comments(article).size(), before + 1);
        QCOMPARE(get(m_client->fetchArticleDetail(article)).comments, before + 1);
        QVERIFY(get(m_client->postComment(articleId, QStringLiteral("别处照常"), std::nullopt)).ok);
    }

    void commentsAreStoredVerbatim()
    {
        const qsizetype before = comments(articleId).size();
        const QString tricky = QStringLiteral("'); DROP TABLE comments; -- <b>粗体</b> 😀 \"引号\"");
        const qint64 guest = get(m_client->postComment(articleId, tricky, std::nullopt)).id;
        const qint64 named = get(m_client->postComment(articleId, QStringLiteral("第二条"), QStringLiteral("小明"))).id;
        const qint64 blank = get(m_client->postComment(articleId, QStringLiteral("第三条"), QString())).id;
        QVERIFY(guest < named && named < blank);
        const QList<Comment> list = comments(articleId);
        QCOMPARE(list.size(), before + 3);
        const Comment &a = list.at(list.size() - 3);
        QCOMPARE(a.content, tricky);  // stored verbatim, not escaped or executed
        QVERIFY(a.id == guest && a.name == QStringLiteral("游客") && !a.user && a.likes == 0 && a.time.size() == 19);
        QVERIFY(list.at(list.size() - 2).name == QStringLiteral("小明") && list.last().name == QStringLiteral("游客"));

        // A bearer makes the comment the user's own, whatever name it sends.
        QCOMPARE(kit::request(m_server.port(), "POST /api/comment", R"({"article_id":10,"content":"署名","name":"x"})",
                              "Content-Type: application/json\r\nAuthorization: Bearer " + m_token.toLatin1() + "\r\n").status, 200);
        const Comment mine = comments(articleId).last();
        QVERIFY(mine.content == QStringLiteral("署名") && mine.user && mine.user->username == readerName);
        QCOMPARE(mine.name, readerName);
    }

    void likesToggleByLiker()
    {
        const qint64 before = likes(articleId);
        // The anonymous reader and a signed-in one at the same address are two likers, each toggling its own like.
        for (const auto &[token, change] : {std::pair<std::optional<QString>, int>{{}, 1}, {m_token, 2}, {{}, 1}, {m_token, 0}}) {
            QCOMPARE(like({}, token), QStringLiteral("ok"));
            QCOMPARE(likes(articleId), before + change);
        }

        const qint64 comment = comments(articleId).last().id;
        QCOMPARE(like(comment, {}), QStringLiteral("ok"));
        QCOMPARE(comments(articleId).last().likes, 1);
        QCOMPARE(likes(articleId), before);  // the article itself is untouched
        QVERIFY(like(comment, {}, articleId + 1).startsWith("404"));  // a comment named under the wrong article
        QCOMPARE(like(comment, {}), QStringLiteral("ok"));
        QCOMPARE(comments(articleId).last().likes, 0);
    }

    void bioAndTheDemoAccount()
    {
        const QString bio = QStringLiteral("在路上 ✍️ 'quotes' \"and\" <tags>");
        const qint64 before = comments(articleId).size();  // kept by the server until something changes
        QCOMPARE(get(m_client->updateBio(m_token, bio)), bio);
        QCOMPARE(get(m_client->fetchMe(m_token)).user.bio.value_or(QString()), bio);
        const QList<Comment> after = comments(articleId);
        QVERIFY(after.size() == before && std::any_of(after.cbegin(), after.cend(), [&](const Comment &c) {
            return c.user && c.user->username == readerName && c.user->bio == bio;
        }));

        const MeResponse demo = get(m_client->fetchMe(get(m_client->login(QStringLiteral("demo"), QStringLiteral("demo1234"))).token));
        QVERIFY(demo.stats.published == 3 && demo.stats.pending == 2 && demo.stats.total == 5 && demo.articles.size() == 5);
        for (const Article &a : demo.articles)
            QCOMPARE(*a.author_id, demo.user.id);
    }

    void refusedRequestsChangeNothing_data()
    {
        data::table<QByteArray, QByteArray, QByteArray, QString>(QStringLiteral("server/refused-requests.tsv"));
        // Rows too long to write out, or not UTF-8.
        const auto comment = [](const char *name, const QByteArray &text, const char *outcome) {
            QTest::newRow(name) << QByteArray("POST /api/comment") << "{\"article_id\":10,\"content\":\"" + text + "\"}" << QByteArray()
                                << QString::fromLatin1(outcome);
        };
        comment("2001 characters", QString(2001, QChar(0x5b57)).toUtf8(), "400");
        // 64 KiB exactly is read (and refused for its length), one byte more is not; 30 bytes are not the text.
        comment("64 KiB", QByteArray(64 * 1024 - 30, 'x'), "400");
        comment("64 KiB + 1", QByteArray(64 * 1024 - 29, 'x'), "413");
        comment("invalid UTF-8", "\xff\xfe\xc3", "400");
    }

    void refusedRequestsChangeNothing()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, header);
        QFETCH(QString, outcome);
        header.replace("$TOKEN", m_token.toLatin1());
        const qsizetype commentsBefore = comments(articleId).size();
        const qint64 likesBefore = likes(articleId);
        const QByteArray json = header.startsWith("Content-Type") ? QByteArray() : "Content-Type: application/json\r\n";
        const kit::Reply r = kit::request(m_server.port(), request, body, json + header + (header.isEmpty() ? "" : "\r\n"));
        // Every failure has the same {"error": ...} shape.
        QVERIFY2(QStringLiteral("%1 %2").arg(r.status).arg(r.error()).startsWith(outcome) && !r.error().isEmpty(), r.body.constData());
        QCOMPARE(r.header("Allow").isEmpty(), r.status != 405);
        QCOMPARE(comments(articleId).size(), commentsBefore);
        QCOMPARE(likes(articleId), likesBefore);
        QVERIFY(get(m_client->fetchMe(m_token)).user.bio.value_or(QString()).startsWith(QStringLiteral("在路上")));
        const QJsonObject sent = QJsonDocument::fromJson(body).object();
        if (request == "POST /api/register" && r.status == 400)  // a refused name never becomes an account
            QVERIFY(refusal(m_client->login(sent[QStringLiteral("username")].toString(), sent[QStringLiteral("password")].toString())).startsWith("401"));
    }

    // What is not HTTP at all: tst_server_limits.
    void unfinishedUploadIsRefusedEarly()
    {
        // Half of an announced 3 MiB body: only a server that stops buffering
        // early answers before the rest arrives (which it never does here).
        const QByteArray upload = "POST /api/comment HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                                  "Content-Length: 3145728\r\n\r\n{\"article_id\":10,\"content\":\"" + QByteArray(3 * 512 * 1024, 'a');
        const QByteArray answer = kit::exchange(m_server.port(), upload);
        QVERIFY2(answer.startsWith("HTTP/1.1 413"), answer.left(80).constData());
        QVERIFY(m_server.isRunning() && get(m_client->fetchStats()).dbArticles == 126);
    }

    void everythingSurvivesAnInterruptAndRestart()
    {
        const qint64 article = 30;
        QVERIFY(get(m_client->postComment(article, QStringLiteral("重启前的评论"), QStringLiteral("旧友"))).ok);
        QCOMPARE(like({}, m_token, article), QStringLiteral("ok"));
        const ArticleDetail before = get(m_client->fetchArticleDetail(article));

        // SIGINT closes the store cleanly, the journal folded into the main file.
        QCOMPARE(::kill(pid_t(m_server.processId()), SIGINT), 0);
        QVERIFY2(m_server.waitForExit(), m_server.standardError().constData());
        const QString file = m_server.dataDir() + QStringLiteral("/papelo.sqlite");
        QVERIFY(!QFileInfo::exists(file + QStringLiteral("-wal")) || QFileInfo(file + QStringLiteral("-wal")).size() == 0);
        QFile raw(file);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        QVERIFY(!bytes.contains(readerPassword.toUtf8()) && !bytes.contains(m_token.toLatin1()));
        // Schema version, journal mode, salt and hash sizes with the iteration count, tokens as their SHA-256 only.
        QCOMPARE(kit::sqlFile(m_server, QStringLiteral("server/stored-secrets.sql")).toString(),
                 QStringLiteral("2 wal 16 32 600000 1"));

        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));  // same store, --demo again
        m_client = APIClient::create(m_server.baseUrl());
        QCOMPARE(get(m_client->fetchStats()).dbArticles, 126);  // a non-empty store is never seeded twice
        const ArticleDetail after = get(m_client->fetchArticleDetail(article));
        QVERIFY(after.likes == before.likes && after.comments == before.comments && after.views == before.views + 1);
        const Comment last = comments(article).last();
        QVERIFY(last.content == QStringLiteral("重启前的评论") && last.name == QStringLiteral("旧友"));
        // The earlier token still works and the bio is kept; a fresh sign-in gets a new token, and
        // liking again with it toggles the stored like off.
        QVERIFY(get(m_client->fetchMe(m_token)).user.bio.value_or(QString()).startsWith(QStringLiteral("在路上")));
        const QString token = get(m_client->login(readerName, readerPassword)).token;
        QVERIFY(!token.isEmpty() && token != m_token);
        QCOMPARE(like({}, token, article), QStringLiteral("ok"));
        QCOMPARE(likes(article), before.likes - 1);
    }
};

QTEST_GUILESS_MAIN(ServerWritingTest)
#include "tst_server_writing.moc"
