// Accounts against the real papelo-server: registration rules, tokens,
// signature, signed-in likes and comments, and everything surviving a
// restart of the server process. Also inspects the SQLite file it leaves.

#include "core/APIClient.h"
#include "RawHttp.h"
#include "ServerProcess.h"

#include <QCoroTask>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

using namespace papelo;

namespace {
template <typename T> QByteArray why(const Result<T> &r)
{
    return r.ok() ? QByteArray() : r.error().description().toUtf8();
}
const QString readerName = QStringLiteral("读者_01");
const QString readerPassword = QStringLiteral("secret-密码12");
} // namespace

class ServerAccountsTest : public QObject {
    Q_OBJECT
    ServerProcess m_server;
    std::shared_ptr<APIClient> m_client;
    QString m_token;  // of readerName, issued at registration

    void reconnect() { m_client = APIClient::create(m_server.baseUrl()); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        reconnect();
    }

    void cleanupTestCase() { QVERIFY2(m_server.stop(), qPrintable(m_server.errorString())); }

    void registerThenOwnPage()
    {
        const Result<LoginResponse> reg = QCoro::waitFor(
            m_client->registerUser(readerName, QStringLiteral("reader@example.com"), readerPassword));
        QVERIFY2(reg.ok(), why(reg).constData());
        QCOMPARE(reg->user.username, readerName);
        QVERIFY(!reg->user.role.isEmpty());
        QVERIFY(!reg->user.bio);
        QCOMPARE(reg->token.size(), 64);  // 256 random bits in hex
        m_token = reg->token;

        const Result<MeResponse> me = QCoro::waitFor(m_client->fetchMe(m_token));
        QVERIFY2(me.ok(), why(me).constData());
        QCOMPARE(me->user.id, reg->user.id);
        QCOMPARE(me->stats.total, 0);
        QVERIFY(me->articles.isEmpty());
    }

    void registrationRules_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        const QString mail = QStringLiteral("x@example.com");
        const QString pw = QStringLiteral("123456");
        QTest::newRow("too short") << QStringLiteral("ab") << mail << pw << 400;
        QTest::newRow("two CJK characters") << QStringLiteral("张三") << mail << pw << 400;
        QTest::newRow("too long") << QString(33, QLatin1Char('a')) << mail << pw << 400;
        QTest::newRow("space") << QStringLiteral("bad name") << mail << pw << 400;
        QTest::newRow("sql") << QStringLiteral("x'--") << mail << pw << 400;
        QTest::newRow("emoji") << QStringLiteral("abc😀") << mail << pw << 400;
        QTest::newRow("bad email") << QStringLiteral("goodname") << QStringLiteral("nope") << pw << 400;
        QTest::newRow("email without domain dot") << QStringLiteral("goodname") << QStringLiteral("a@b") << pw << 400;
        QTest::newRow("short password") << QStringLiteral("goodname") << mail << QStringLiteral("12345") << 400;
        QTest::newRow("taken demo") << QStringLiteral("demo") << mail << pw << 409;
        QTest::newRow("taken reader") << readerName << mail << pw << 409;
        QTest::newRow("CJK name accepted") << QStringLiteral("张三丰") << mail << pw << 200;
        QTest::newRow("32 characters accepted") << QString(32, QLatin1Char('z')) << mail << pw << 200;
    }

    void registrationRules()
    {
        QFETCH(QString, username);
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(int, status);
        const Result<LoginResponse> r = QCoro::waitFor(m_client->registerUser(username, email, password));
        if (status == 200) {
            QVERIFY2(r.ok(), why(r).constData());
            QCOMPARE(r->user.username, username);
            return;
        }
        QVERIFY(!r.ok());
        QCOMPARE(r.error().kind(), RequestError::Kind::Server);
        QCOMPARE(r.error().httpStatus(), status);
        if (status == 409)
            QCOMPARE(r.error().description(), QStringLiteral("用户名已被占用"));
        // A refused name never becomes an account.
        const Result<LoginResponse> login = QCoro::waitFor(m_client->login(username, password));
        QVERIFY(!login.ok() || username == QLatin1String("demo") || username == readerName);
    }

    void loginFailures()
    {
        const Result<LoginResponse> wrong = QCoro::waitFor(m_client->login(readerName, QStringLiteral("wrong-password")));
        QVERIFY(!wrong.ok());
        QCOMPARE(wrong.error().httpStatus(), 401);
        QCOMPARE(wrong.error().description(), QStringLiteral("用户名或密码错误"));
        const Result<LoginResponse> unknown = QCoro::waitFor(m_client->login(QStringLiteral("nobody_here"), readerPassword));
        QVERIFY(!unknown.ok());
        QCOMPARE(unknown.error().description(), wrong.error().description());
        // Seeded authors have no password at all and cannot be signed into.
        const Result<LoginResponse> author = QCoro::waitFor(m_client->login(QStringLiteral("陈墨"), QString()));
        QVERIFY(!author.ok());
        QCOMPARE(author.error().httpStatus(), 401);
        const rawhttp::Reply missing = rawhttp::postJson(m_server.baseUrl() + QStringLiteral("/api/login"), R"({"username":"demo"})");
        QCOMPARE(missing.status, 400);
    }

    void tokensAreRequired()
    {
        for (const QString &token : {QString(), QStringLiteral("garbage"), QString(64, QLatin1Char('0'))}) {
            const Result<MeResponse> me = QCoro::waitFor(m_client->fetchMe(token));
            QVERIFY(!me.ok());
            QCOMPARE(me.error().httpStatus(), 401);
            const Result<QString> bio = QCoro::waitFor(m_client->updateBio(token, QStringLiteral("x")));
            QVERIFY(!bio.ok());
            QCOMPARE(bio.error().httpStatus(), 401);
        }
        const rawhttp::Reply bare = rawhttp::send(m_server.baseUrl() + QStringLiteral("/api/me"), "GET");
        QCOMPARE(bare.status, 401);
        QVERIFY(!bare.error().isEmpty());
        const rawhttp::Reply basic = rawhttp::send(m_server.baseUrl() + QStringLiteral("/api/me"), "GET", {},
                                                   {{"Authorization", "Basic " + m_token.toLatin1()}});
        QCOMPARE(basic.status, 401);
    }

    void bioUpdates()
    {
        const QString bio = QStringLiteral("在路上 ✍️ 'quotes' \"and\" <tags>");
        const Result<QString> saved = QCoro::waitFor(m_client->updateBio(m_token, bio));
        QVERIFY2(saved.ok(), why(saved).constData());
        QCOMPARE(saved.value(), bio);
        const Result<QString> tooLong = QCoro::waitFor(m_client->updateBio(m_token, QString(201, QChar(0x5b57))));
        QVERIFY(!tooLong.ok());
        QCOMPARE(tooLong.error().httpStatus(), 400);
        const Result<MeResponse> me = QCoro::waitFor(m_client->fetchMe(m_token));
        QVERIFY(me.ok());
        QCOMPARE(me->user.bio.value_or(QString()), bio);  // the refused update changed nothing
    }

    void signedInLikesAndComments()
    {
        const qint64 article = 20;
        const auto likes = [this](qint64 id) {
            const Result<ArticleDetail> d = QCoro::waitFor(m_client->fetchArticleDetail(id));
            return d.ok() ? d->likes : -1;
        };
        const qint64 before = likes(article);
        QVERIFY(QCoro::waitFor(m_client->like(LikeTarget(article, std::nullopt), m_token)).ok());
        QCOMPARE(likes(article), before + 1);
        // The anonymous reader at the same address is a different liker.
        QVERIFY(QCoro::waitFor(m_client->like(LikeTarget(article, std::nullopt), std::nullopt)).ok());
        QCOMPARE(likes(article), before + 2);
        QVERIFY(QCoro::waitFor(m_client->like(LikeTarget(article, std::nullopt), m_token)).ok());
        QCOMPARE(likes(article), before + 1);

        // A bearer on a comment makes it the user's own.
        const rawhttp::Reply posted = rawhttp::postJson(m_server.baseUrl() + QStringLiteral("/api/comment"),
                                                        R"({"article_id":20,"content":"署名评论","name":"ignored"})",
                                                        {{"Authorization", "Bearer " + m_token.toLatin1()}});
        QCOMPARE(posted.status, 200);
        const Result<QList<Comment>> list = QCoro::waitFor(m_client->fetchComments(article));
        QVERIFY(list.ok() && !list->isEmpty());
        QCOMPARE(list->last().content, QStringLiteral("署名评论"));
        QVERIFY(list->last().user);
        QCOMPARE(list->last().user->username, readerName);
        QCOMPARE(list->last().name, readerName);
    }

    void demoAccountSeesPublishedAndPending()
    {
        const Result<LoginResponse> login = QCoro::waitFor(m_client->login(QStringLiteral("demo"), QStringLiteral("demo1234")));
        QVERIFY2(login.ok(), why(login).constData());
        const Result<MeResponse> me = QCoro::waitFor(m_client->fetchMe(login->token));
        QVERIFY(me.ok());
        QCOMPARE(me->stats.published, 3);
        QCOMPARE(me->stats.pending, 2);
        QCOMPARE(me->stats.total, 5);
        QCOMPARE(me->articles.size(), 5);
        for (const Article &a : me->articles)
            QCOMPARE(*a.author_id, me->user.id);
    }

    void everythingSurvivesARestart()
    {
        const qint64 article = 30;
        QVERIFY(QCoro::waitFor(m_client->postComment(article, QStringLiteral("重启前的评论"), QStringLiteral("旧友"))).ok());
        QVERIFY(QCoro::waitFor(m_client->like(LikeTarget(article, std::nullopt), m_token)).ok());
        const Result<ArticleDetail> before = QCoro::waitFor(m_client->fetchArticleDetail(article));
        QVERIFY(before.ok());

        QVERIFY2(m_server.restart(), qPrintable(m_server.errorString()));  // same store, --demo again
        reconnect();

        const Result<StatsResponse> stats = QCoro::waitFor(m_client->fetchStats());
        QVERIFY(stats.ok());
        QCOMPARE(stats->dbArticles, 126);  // a non-empty store is never seeded twice
        const Result<ArticleDetail> after = QCoro::waitFor(m_client->fetchArticleDetail(article));
        QVERIFY(after.ok());
        QCOMPARE(after->likes, before->likes);
        QCOMPARE(after->comments, before->comments);
        QCOMPARE(after->views, before->views + 1);
        const Result<QList<Comment>> list = QCoro::waitFor(m_client->fetchComments(article));
        QVERIFY(list.ok());
        QCOMPARE(list->last().content, QStringLiteral("重启前的评论"));
        QCOMPARE(list->last().name, QStringLiteral("旧友"));

        // The earlier token still works, a fresh login gets a new one, and the bio is kept.
        QVERIFY(QCoro::waitFor(m_client->fetchMe(m_token)).ok());
        const Result<LoginResponse> login = QCoro::waitFor(m_client->login(readerName, readerPassword));
        QVERIFY2(login.ok(), why(login).constData());
        QVERIFY(login->token != m_token);
        const Result<MeResponse> me = QCoro::waitFor(m_client->fetchMe(login->token));
        QVERIFY(me.ok());
        QVERIFY(me->user.bio && me->user.bio->startsWith(QStringLiteral("在路上")));
        // Liking again after the restart toggles the stored like off.
        QVERIFY(QCoro::waitFor(m_client->like(LikeTarget(article, std::nullopt), login->token)).ok());
        const Result<ArticleDetail> unliked = QCoro::waitFor(m_client->fetchArticleDetail(article));
        QVERIFY(unliked.ok());
        QCOMPARE(unliked->likes, before->likes - 1);
    }

    void storeKeepsNoSecrets()
    {
        QVERIFY(m_server.stop());
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
            db.setDatabaseName(QDir(m_server.dataDir()).absoluteFilePath(QStringLiteral("papelo.sqlite")));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA user_version")) && q.next());
            QCOMPARE(q.value(0).toInt(), 1);
            QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));

            QVERIFY(q.exec(QStringLiteral("SELECT salt, password_hash, iterations FROM users WHERE username = '读者_01'")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toByteArray().size(), 16);
            QCOMPARE(q.value(1).toByteArray().size(), 32);
            QVERIFY(q.value(2).toInt() >= 100000);
            QVERIFY(!q.value(1).toByteArray().contains(readerPassword.toUtf8()));

            QVERIFY(q.exec(QStringLiteral("SELECT token_hash FROM tokens")));
            int tokens = 0;
            while (q.next()) {
                ++tokens;
                QCOMPARE(q.value(0).toByteArray().size(), 32);  // SHA-256, never the token itself
                QVERIFY(q.value(0).toByteArray() != m_token.toLatin1());
            }
            QVERIFY(tokens >= 3);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
        QFile file(QDir(m_server.dataDir()).absoluteFilePath(QStringLiteral("papelo.sqlite")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        QVERIFY(!raw.contains(readerPassword.toUtf8()));
        QVERIFY(!raw.contains(m_token.toLatin1()));
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));  // cleanupTestCase stops it
    }
};

QTEST_GUILESS_MAIN(ServerAccountsTest)
#include "tst_server_accounts.moc"
