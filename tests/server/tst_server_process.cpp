// The server process itself: command line, start-up refusals, the store it
// will not touch, upgrades, and seeding for performance work.

#include "ServerTestKit.h"

using namespace papelo;
using kit::get;

class ServerProcessTest : public QObject {
    Q_OBJECT
private slots:
    void badFlagsAreRefused_data() { data::table<QString>(QStringLiteral("server/bad-flags.tsv")); }
    void badFlagsAreRefused()
    {
        QFETCH(QString, arguments);
        ServerProcess server({.extraArguments = arguments.split(QLatin1Char(' '))});
        QVERIFY(!server.start(10000) && !server.standardOutput().contains("listening"));
        QVERIFY2(server.errorString().contains(arguments.section(QLatin1Char(' '), 0, 0).mid(2)), qPrintable(server.errorString()));
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

    // A store of the first schema is upgraded at start, the hash at the next sign-in.
    void olderStoresAreUpgraded()
    {
        KIT_STARTED(server);
        const qint64 likes = get(APIClient::create(server.baseUrl())->fetchArticleDetail(10)).likes;
        QVERIFY(server.stop());
        kit::sqlFile(server, QStringLiteral("server/first-schema.sql"));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const auto client = APIClient::create(server.baseUrl());
        QCOMPARE(get(client->fetchArticleDetail(10)).likes, likes + 2);  // two addresses of one /64 are one liker
        QCOMPARE(get(client->login(QStringLiteral("demo"), QStringLiteral("demo1234"))).user.username, QStringLiteral("demo"));
        QVERIFY(server.stop());
        // Schema 2, the full iteration count, one liker per /64, comment bytes wherever there are comments.
        QCOMPARE(kit::sqlFile(server, QStringLiteral("server/upgraded-store.sql")).toString(),
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
