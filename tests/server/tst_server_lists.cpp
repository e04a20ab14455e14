// Article lists carry likes and comments, so a reader's start asks for no
// article detail (each would count a view); --bare-lists keeps the older
// shape, which the reader completes from details.
#include "ServerTestKit.h"

#include <QProcess>
#include <QTemporaryDir>

using namespace papelo;

class ServerListsTest : public QObject {
    Q_OBJECT

private slots:
    void readerStartOpensNoArticle_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("counted");
        QTest::newRow("lists with counts") << QStringList() << true;
        QTest::newRow("--bare-lists") << QStringList{QStringLiteral("--bare-lists")} << false;
    }
    void readerStartOpensNoArticle()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, counted);
        ServerProcess server({.extraArguments = arguments});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const auto client = APIClient::create(server.baseUrl());
        const QList<Article> all = kit::get(client->fetchArticles({}, {}, {}, {})).items;
        for (const Article &a : all + kit::get(client->fetchHot()) + kit::get(client->fetchLatest())
                                     + kit::get(client->fetchRandom()) + kit::get(client->fetchAuthor(1)).articles)
            QCOMPARE(a.likes.has_value() && a.comments.has_value(), counted);
        const ArticleDetail detail = kit::get(client->fetchArticleDetail(all.at(3).id));
        QVERIFY(!counted || (all.at(3).likes == detail.likes && all.at(3).comments == detail.comments));

        // Every detail request counts a view: the sum of views shows whether any was made
        // (a list read first has the server write the views it still holds).
        const auto views = [&] {
            kit::get(client->fetchLatest());
            return kit::sql(server, {QStringLiteral("SELECT sum(views) FROM articles")}).toLongLong();
        };
        const qint64 before = views();
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());  // inherited by the reader
        qputenv("XDG_CACHE_HOME", home.path().toUtf8());
        QProcess reader;
        reader.start(QStringLiteral(PAPELO_BINARY), {"--server", server.baseUrl(), "--screenshot", home.filePath("s.png")});
        QVERIFY(reader.waitForFinished(60000) && reader.exitCode() == 0);
        QCOMPARE(views() == before, counted);
    }
};

QTEST_GUILESS_MAIN(ServerListsTest)
#include "tst_server_lists.moc"
