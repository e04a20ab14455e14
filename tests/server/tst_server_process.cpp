// The server process itself: command line, start-up refusals, the store it
// will not touch, seeding for performance work, and signal shutdown.

#include "core/APIClient.h"
#include "ServerProcess.h"

#include <QCoroTask>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>

using namespace papelo;

class ServerProcessTest : public QObject {
    Q_OBJECT
private slots:
    void badFlagsAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("port") << QStringList{QStringLiteral("--port"), QStringLiteral("70000")} << QStringLiteral("--port");
        QTest::newRow("latency") << QStringList{QStringLiteral("--latency"), QStringLiteral("-5")} << QStringLiteral("--latency");
        QTest::newRow("host") << QStringList{QStringLiteral("--host"), QStringLiteral("not an address")} << QStringLiteral("--host");
        QTest::newRow("articles") << QStringList{QStringLiteral("--articles"), QStringLiteral("many")} << QStringLiteral("--articles");
        QTest::newRow("unknown") << QStringList{QStringLiteral("--frobnicate")} << QStringLiteral("frobnicate");
    }

    void badFlagsAreRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        ServerProcess::Options options;
        options.extraArguments = arguments;
        ServerProcess server(options);
        QVERIFY(!server.start(10000));
        QVERIFY2(server.errorString().contains(message), qPrintable(server.errorString()));
        QVERIFY(!server.standardOutput().contains("listening"));
    }

    void newerStoreIsLeftAlone()
    {
        ServerProcess server;
        const QString path = QDir(server.dataDir()).absoluteFilePath(QStringLiteral("papelo.sqlite"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("future"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE keep (v TEXT)")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO keep VALUES ('precious')")));
            QVERIFY(q.exec(QStringLiteral("PRAGMA user_version = 99")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("future"));

        QVERIFY(!server.start(10000));
        QVERIFY2(server.errorString().contains(QStringLiteral("schema version")), qPrintable(server.errorString()));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'articles'")) && q.next());
            QCOMPARE(q.value(0).toInt(), 0);  // not seeded, not migrated
            QVERIFY(q.exec(QStringLiteral("SELECT v FROM keep")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("precious"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
    }

    void bulkSeedingAndTheUnpagedCap()
    {
        ServerProcess::Options options;
        options.articles = 1500;
        ServerProcess server(options);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const auto client = APIClient::create(server.baseUrl());
        const Result<StatsResponse> stats = QCoro::waitFor(client->fetchStats());
        QVERIFY(stats.ok());
        QCOMPARE(stats->totalArticles, 1500);
        QCOMPARE(stats->dbArticles, 1500);
        const Result<ArticlesResponse> all = QCoro::waitFor(client->fetchArticles({}, {}, {}, {}));
        QVERIFY(all.ok());
        QCOMPARE(all->total, 1500);
        QCOMPARE(all->items.size(), 1000);  // an unpaged list is capped, the total is not
        const Result<ArticlesResponse> last = QCoro::waitFor(client->fetchArticles({}, {}, 15, 100));
        QVERIFY(last.ok());
        QCOMPARE(last->items.size(), 100);
        QCOMPARE(last->items.last().id, 1);  // oldest
        // The bulk store has the demo account too, so account screens work against it.
        QVERIFY(QCoro::waitFor(client->login(QStringLiteral("demo"), QStringLiteral("demo1234"))).ok());
        QVERIFY(server.stop());
    }

    void demoNeverSeedsOverExistingAccounts()
    {
        ServerProcess::Options plain;
        plain.demo = false;
        ServerProcess server(plain);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const Result<LoginResponse> reg = QCoro::waitFor(APIClient::create(server.baseUrl())
                                                             ->registerUser(QStringLiteral("first_user"),
                                                                            QStringLiteral("f@example.com"),
                                                                            QStringLiteral("password1")));
        QVERIFY(reg.ok());
        QVERIFY(server.stop());

        server.setOptions(ServerProcess::Options());  // --demo this time
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const auto client = APIClient::create(server.baseUrl());
        const Result<StatsResponse> stats = QCoro::waitFor(client->fetchStats());
        QVERIFY(stats.ok());
        QCOMPARE(stats->dbArticles, 0);
        const Result<LoginResponse> login =
            QCoro::waitFor(client->login(QStringLiteral("first_user"), QStringLiteral("password1")));
        QVERIFY(login.ok());
        QCOMPARE(login->user.id, reg->user.id);
        QVERIFY(server.stop());
    }

    void interruptShutsDownCleanly()
    {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.processId() > 0);
        QCOMPARE(::kill(pid_t(server.processId()), SIGINT), 0);
        QVERIFY2(server.waitForExit(), server.standardError().constData());
        // Closing checkpoints the journal into the main file.
        const QFileInfo wal(QDir(server.dataDir()).absoluteFilePath(QStringLiteral("papelo.sqlite-wal")));
        QVERIFY(!wal.exists() || wal.size() == 0);
        // Started again, it finds the store as it was left.
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const Result<StatsResponse> stats = QCoro::waitFor(APIClient::create(server.baseUrl())->fetchStats());
        QVERIFY(stats.ok());
        QCOMPARE(stats->dbArticles, 126);
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(ServerProcessTest)
#include "tst_server_process.moc"
