// The server process itself: command line, start-up refusals, the store it
// will not touch, upgrades, and seeding for performance work.

#include "ServerTestKit.h"

#include <QPasswordDigestor>

using namespace papelo;
using kit::get;

class ServerProcessTest : public QObject {
    Q_OBJECT
private slots:
    void badFlagsAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        for (const char *args : {"--port 70000", "--latency -5", "--host not-an-address", "--articles many", "--frobnicate",
                                 "--login-attempts 0", "--request-timeout x", "--token-days 0", "--max-connections 0"})
            QTest::newRow(args) << QString::fromLatin1(args).split(QLatin1Char(' '));
    }

    void badFlagsAreRefused()
    {
        QFETCH(QStringList, arguments);
        ServerProcess server({.extraArguments = arguments});
        QVERIFY(!server.start(10000) && !server.standardOutput().contains("listening"));
        QVERIFY2(server.errorString().contains(arguments.first().mid(2)), qPrintable(server.errorString()));
    }

    void newerStoreIsLeftAlone()
    {
        ServerProcess server;
        kit::sql(server, {QStringLiteral("CREATE TABLE keep (v TEXT)"), QStringLiteral("INSERT INTO keep VALUES ('precious')"),
                        QStringLiteral("PRAGMA user_version = 99")});
        QVERIFY(!server.start(10000));
        QVERIFY2(server.errorString().contains(QStringLiteral("schema version")), qPrintable(server.errorString()));
        // Neither seeded nor migrated: no articles table, the old row kept.
        QCOMPARE(kit::sql(server, {QStringLiteral("SELECT (SELECT count(*) FROM sqlite_master WHERE name = 'articles') || ' ' || v FROM keep")}).toString(),
                 QStringLiteral("0 precious"));
    }

    // A store of the first schema: no comment bytes, anonymous likes per address, hashes at 120,000
    // rounds (Qt's digestor). It is upgraded at start and the hash at the next sign-in.
    void olderStoresAreUpgraded()
    {
        KIT_STARTED(server);
        const qint64 likes = get(APIClient::create(server.baseUrl())->fetchArticleDetail(10)).likes;
        QVERIFY(server.stop());
        const QByteArray salt = "0123456789abcdef";
        const QByteArray hash = QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, "demo1234", salt, 120000, 32);
        kit::sql(server, {QStringLiteral("ALTER TABLE articles DROP COLUMN comment_bytes"),
                          QStringLiteral("INSERT INTO article_likes VALUES (10, 'a:2001:db8::1'), (10, 'a:2001:db8::2'), (10, 'a:192.0.2.1')"),
                          QStringLiteral("UPDATE articles SET like_count = like_count + 3 WHERE id = 10"),
                          QStringLiteral("UPDATE users SET salt = X'%1', password_hash = X'%2', iterations = 120000 WHERE username = 'demo'")
                              .arg(QString::fromLatin1(salt.toHex()), QString::fromLatin1(hash.toHex())),
                          QStringLiteral("PRAGMA user_version = 1")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const auto client = APIClient::create(server.baseUrl());
        QCOMPARE(get(client->fetchArticleDetail(10)).likes, likes + 2);  // two addresses of one /64 are one liker
        QCOMPARE(get(client->login(QStringLiteral("demo"), QStringLiteral("demo1234"))).user.username, QStringLiteral("demo"));
        QVERIFY(server.stop());
        QCOMPARE(kit::sql(server, {QStringLiteral(
                     "SELECT (SELECT user_version FROM pragma_user_version) || ' ' || (SELECT iterations FROM users WHERE username = 'demo')"
                     " || ' ' || (SELECT group_concat(liker, ' ') FROM (SELECT liker FROM article_likes WHERE liker LIKE 'a:%' ORDER BY liker))"
                     " || ' ' || (SELECT count(*) FROM articles WHERE (comment_bytes > 0) != (comment_count > 0))")}).toString(),
                 QStringLiteral("2 600000 a:192.0.2.1 a:2001:db8::/64 0"));
    }

    void bulkSeedingAndTheUnpagedCap()
    {
        KIT_STARTED(server, {.articles = 1500});
        const auto client = APIClient::create(server.baseUrl());
        const StatsResponse stats = get(client->fetchStats());
        QVERIFY(stats.totalArticles == 1500 && stats.dbArticles == 1500);
        const ArticlesResponse all = get(client->fetchArticles({}, {}, {}, {}));
        QVERIFY(all.total == 1500 && all.items.size() == 1000);  // an unpaged list is capped, the total is not
        const ArticlesResponse last = get(client->fetchArticles({}, {}, 15, 100));
        QVERIFY(last.items.size() == 100 && last.items.last().id == 1);  // the oldest
        // The bulk store has the demo account too, so account screens work against it.
        QCOMPARE(get(client->login(QStringLiteral("demo"), QStringLiteral("demo1234"))).user.username, QStringLiteral("demo"));
        QVERIFY(server.stop());
    }

    void demoNeverSeedsOverExistingAccounts()
    {
        KIT_STARTED(server, {.demo = false});
        const qint64 id = get(APIClient::create(server.baseUrl())->registerUser(QStringLiteral("first_user"), QStringLiteral("f@example.com"), QStringLiteral("password1"))).user.id;
        QVERIFY(id > 0 && server.stop());
        server.setOptions(ServerProcess::Options());  // --demo this time
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const auto client = APIClient::create(server.baseUrl());
        QCOMPARE(get(client->fetchStats()).dbArticles, 0);
        QCOMPARE(get(client->login(QStringLiteral("first_user"), QStringLiteral("password1"))).user.id, id);
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(ServerProcessTest)
#include "tst_server_process.moc"
