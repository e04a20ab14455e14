#include "core/ArticleCountsStore.h"
#include "ArticleFixtures.h"
#include "articles/DiscoverScreen.h"

#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {

// Every article of the fake site carries both counts unless a test wants enrichment.
QList<Article> counted(QList<Article> list) { return fixtures::withCounts(std::move(list), 2, 3); }

struct Site : fixtures::ScreenSite<DiscoverScreen> {
    QList<Article> hot = counted(fixtures::articles(1, 6));
    QList<Article> latest = counted(fixtures::articles(11, 6));
    QList<Article> random = counted(fixtures::articles(21, 4));
    int delayMs = 0;
    Site()
    {
        for (const char *name : {"hot", "latest", "random"})
            server.on("GET", QByteArray("/api/articles/") + name, [this, name](const FakeServer::Request &) {
                const QList<Article> &list = name[0] == 'h' ? hot : name[0] == 'l' ? latest : random;
                return FakeServer::delayed(fixtures::section(QString::fromLatin1(name), list), delayMs);
            });
    }
};

QList<qint64> ids(ArticleListModel *model)
{
    QList<qint64> out;
    for (const auto &a : model->articles())
        out << a.id;
    return out;
}
} // namespace

class DiscoverScreenTest : public QObject {
    Q_OBJECT
private slots:
    // Three sections at once, every appearance a reload that keeps the lists
    // it has until all three are in.
    void threeSectionsLoadConcurrently()
    {
        Site site;
        site.delayMs = 250;
        auto screen = site.screen();
        QVERIFY(screen->isLoading()); // the skeleton is the first thing shown
        QSignalSpy loading(screen.get(), &DiscoverScreen::isLoadingChanged);

        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000);
        QCOMPARE(loading.size(), 1); // true -> false, nothing in between
        QVERIFY(site.server.maxInFlight() >= 3);
        QStringList targets;
        for (const FakeServer::Request &r : site.server.requests())
            targets << QString::fromLatin1(r.target);
        targets.sort();
        QCOMPARE(targets, (QStringList{"/api/articles/hot?limit=6", "/api/articles/latest?limit=6", "/api/articles/random?limit=6"}));
        QCOMPARE(ids(screen->hotArticles()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(ids(screen->latestArticles()), (QList<qint64>{11, 12, 13, 14, 15, 16}));
        QCOMPARE(ids(screen->randomArticles()), (QList<qint64>{21, 22, 23, 24}));

        // Every appearance reloads, skeleton first, the old sections kept underneath.
        site.random = counted(fixtures::articles(31, 2));
        screen->disappear();
        screen->appear();
        QVERIFY(screen->isLoading() && screen->randomArticles()->count() == 4);
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000);
        QCOMPARE(ids(screen->randomArticles()), (QList<qint64>{31, 32}));
        QCOMPARE(site.server.count("/api/articles/hot"), 2);

        // One failing section keeps all the previous lists.
        site.hot = counted(fixtures::articles(41, 2));
        site.server.on("GET", "/api/articles/latest", fixtures::serverError(QStringLiteral("最新列表出错")));
        ConsoleCapture capture;
        screen->disappear();
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000);
        QCOMPARE(capture.release(), QStringList{QStringLiteral("发现页加载失败：最新列表出错")});
        QCOMPARE(ids(screen->hotArticles()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(ids(screen->latestArticles()).size(), 6);
        QCOMPARE(ids(screen->randomArticles()), (QList<qint64>{31, 32}));
    }

    void firstFailureCancelsTheRest()
    {
        Site site;
        // The other two are on the wire by the time this fails.
        site.server.on("GET", "/api/articles/hot", FakeServer::delayed(fixtures::serverError(QStringLiteral("热门出错")), 150));
        site.server.on("GET", "/api/articles/latest", FakeServer::stalled());
        site.server.on("GET", "/api/articles/random", FakeServer::stalled());
        auto screen = site.screen();
        ConsoleCapture capture;
        screen->appear();
        // Only cancelled requests let the load end before the limits.
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000);
        QCOMPARE(capture.release(), QStringList{QStringLiteral("发现页加载失败：热门出错")});
        QCOMPARE(site.server.requests().size(), 3);
        QVERIFY(screen->hotArticles()->count() == 0 && screen->latestArticles()->count() == 0);
    }

    void duplicatesAreEnrichedTwice()
    {
        Site site;
        const auto a = fixtures::article(8001), b = fixtures::article(8002), c = fixtures::article(8003);
        site.hot = {a, b};
        site.latest = {b, c};
        site.random = {a};
        for (qint64 id : {8001, 8002, 8003})
            site.server.on("GET", "/api/article/" + QByteArray::number(id), fixtures::detail(id, id - 8000, 1, 150));
        auto screen = site.screen();
        screen->appear();
        // Activity does not cover decoding, so wait for the store itself.
        const auto &store = ArticleCountsStore::shared();
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen) && store.lookup(8001) && store.lookup(8002) && store.lookup(8003), 10000);
        // Five candidates, five workers, all asking before any answer is in
        // (that the cards read the store is the list model's to prove).
        QCOMPARE((QList<int>{site.server.count("/api/article/8001"), site.server.count("/api/article/8002"),
                             site.server.count("/api/article/8003")}), (QList<int>{2, 2, 1}));
    }
};

QTEST_GUILESS_MAIN(DiscoverScreenTest)
#include "tst_discover.moc"
