#include "core/Activity.h"
#include "core/ArticleCountsStore.h"
#include "ArticleFixtures.h"
#include "articles/DiscoverScreen.h"

#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {

// Every article of the fake site carries both counts unless a test wants enrichment.
QList<Article> counted(QList<Article> list) { return fixtures::withCounts(std::move(list), 2, 3); }

struct Site {
    FakeServer server;
    QList<Article> hot = counted(fixtures::articles(1, 6));
    QList<Article> latest = counted(fixtures::articles(11, 6));
    QList<Article> random = counted(fixtures::articles(21, 4));
    int delayMs = 0;
    Site()
    {
        server.listen();
        server.on("GET", "/api/articles/hot", [this](const FakeServer::Request &) {
            return FakeServer::delayed(fixtures::section("hot", hot), delayMs);
        });
        server.on("GET", "/api/articles/latest", [this](const FakeServer::Request &) {
            return FakeServer::delayed(fixtures::section("latest", latest), delayMs);
        });
        server.on("GET", "/api/articles/random", [this](const FakeServer::Request &) {
            return FakeServer::delayed(fixtures::section("random", random), delayMs);
        });
    }
    std::unique_ptr<DiscoverScreen> screen()
    {
        auto s = std::make_unique<DiscoverScreen>();
        s->setBaseUrl(server.baseUrl());
        ClientLimits limits;
        limits.idle = std::chrono::milliseconds(60000); // only cancellation may end a stalled request
        limits.whole = std::chrono::milliseconds(60000);
        s->setClientLimits(limits);
        return s;
    }
};

QList<qint64> ids(ArticleListModel *model)
{
    QList<qint64> out;
    for (const auto &a : model->articles())
        out << a.id;
    return out;
}

bool settled(DiscoverScreen &s) { return !s.isLoading() && Activity::shared().count() == 0; }


} // namespace

class DiscoverScreenTest : public QObject {
    Q_OBJECT
private slots:
    void threeSectionsLoadConcurrently()
    {
        Site site;
        site.delayMs = 250;
        auto screen = site.screen();
        QVERIFY(screen->isLoading()); // the skeleton is the first thing shown
        QSignalSpy loading(screen.get(), &DiscoverScreen::isLoadingChanged);

        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);
        QCOMPARE(loading.size(), 1); // true -> false, nothing in between
        QVERIFY(site.server.maxInFlight() >= 3);
        for (const char *path : {"/api/articles/hot", "/api/articles/latest", "/api/articles/random"}) {
            const auto requests = site.server.requestsTo(path);
            QCOMPARE(requests.size(), 1);
            QCOMPARE(requests.first().queryKeys(), QStringList{"limit"});
            QCOMPARE(requests.first().queryItem("limit"), QStringLiteral("6"));
        }
        QCOMPARE(ids(screen->hotArticles()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(ids(screen->latestArticles()), (QList<qint64>{11, 12, 13, 14, 15, 16}));
        QCOMPARE(ids(screen->randomArticles()), (QList<qint64>{21, 22, 23, 24}));
        QCOMPARE(site.server.count("/api/article/1"), 0); // all counted: no enrichment

        // Every appearance reloads, skeleton first, the old sections kept underneath.
        site.random = counted(fixtures::articles(31, 2));
        screen->disappear();
        screen->appear();
        QVERIFY(screen->isLoading());
        QCOMPARE(screen->randomArticles()->count(), 4);
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);
        QCOMPARE(ids(screen->randomArticles()), (QList<qint64>{31, 32}));
        QCOMPARE(site.server.count("/api/articles/hot"), 2);
    }

    void oneFailingSectionKeepsThePreviousLists()
    {
        Site site;
        auto screen = site.screen();
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);

        site.hot = counted(fixtures::articles(41, 2));
        site.random = counted(fixtures::articles(51, 2));
        site.server.on("GET", "/api/articles/latest", fixtures::serverError(QStringLiteral("最新列表出错")));
        QStringList lines;
        {
            ConsoleCapture capture;
            screen->disappear();
            screen->appear();
            QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);
            lines = capture.release();
        }
        QCOMPARE(lines, QStringList{QStringLiteral("发现页加载失败：最新列表出错")});
        QCOMPARE(ids(screen->hotArticles()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(ids(screen->latestArticles()).size(), 6);
        QCOMPARE(ids(screen->randomArticles()), (QList<qint64>{21, 22, 23, 24}));
    }

    void firstFailureCancelsTheRest()
    {
        Site site;
        FakeServer::Response hotError = fixtures::serverError(QStringLiteral("热门出错"));
        hotError.delayMs = 150; // the other two are on the wire by then
        site.server.on("GET", "/api/articles/hot", hotError);
        site.server.on("GET", "/api/articles/latest", FakeServer::stalled());
        site.server.on("GET", "/api/articles/random", FakeServer::stalled());
        auto screen = site.screen();
        QStringList lines;
        {
            ConsoleCapture capture;
            screen->appear();
            QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);
            lines = capture.release();
        }
        QCOMPARE(lines, QStringList{QStringLiteral("发现页加载失败：热门出错")});
        QCOMPARE(site.server.count("/api/articles/latest"), 1);
        QCOMPARE(site.server.count("/api/articles/random"), 1);
        QCOMPARE(screen->hotArticles()->count(), 0);
        QCOMPARE(screen->latestArticles()->count(), 0);
    }

    void duplicatesAreEnrichedTwice()
    {
        Site site;
        const auto a = fixtures::article(8001);
        const auto b = fixtures::article(8002);
        const auto c = fixtures::article(8003);
        site.hot = {a, b};
        site.latest = {b, c};
        site.random = {a};
        for (qint64 id : {8001, 8002, 8003})
            site.server.on("GET", "/api/article/" + QByteArray::number(id), fixtures::detail(id, id - 8000, 1, 150));
        auto screen = site.screen();
        screen->appear();
        // Activity does not cover decoding, so wait for the store itself.
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen) && ArticleCountsStore::shared().lookup(8001)
                                     && ArticleCountsStore::shared().lookup(8002)
                                     && ArticleCountsStore::shared().lookup(8003),
                                 10000);
        // Five candidates, five workers, all asking before any answer is in.
        QCOMPARE(site.server.count("/api/article/8001"), 2);
        QCOMPARE(site.server.count("/api/article/8002"), 2);
        QCOMPARE(site.server.count("/api/article/8003"), 1);
        QCOMPARE(ArticleCountsStore::shared().lookup(8002)->likes, 2);
        // Both cards of the article shown twice read the same entry.
        QCOMPARE(screen->hotArticles()->data(screen->hotArticles()->index(1), ArticleListModel::LikeCountRole).toLongLong(), 2);
        QCOMPARE(screen->latestArticles()->data(screen->latestArticles()->index(0), ArticleListModel::LikeCountRole).toLongLong(), 2);
    }

};

QTEST_GUILESS_MAIN(DiscoverScreenTest)
#include "tst_discover.moc"
