#include "core/Activity.h"
#include "core/ArticleCountsStore.h"
#include "ArticleFixtures.h"
#include "articles/HomeScreen.h"

#include <QPointer>
#include <QSemaphore>
#include <QThreadPool>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {

const QList<Tag> kTags{Tag{7, QStringLiteral("Qt")}, Tag{12, QStringLiteral("C++")}};

// Writes one line per observable change of the screen, so tests compare whole
// state sequences rather than end states.
class Recorder : public QObject {
public:
    explicit Recorder(HomeScreen *screen) : m_screen(screen)
    {
        connect(screen, &HomeScreen::statusChanged, this, &Recorder::snap);
        connect(screen, &HomeScreen::animateCardsChanged, this, &Recorder::snap);
    }
    QStringList lines;
    void snap()
    {
        const QString line = QStringLiteral("loading=%1 view=%2 animate=%3 cards=%4")
                                 .arg(int(m_screen->isLoading()))
                                 .arg(m_screen->showSkeleton() ? "skeleton"
                                      : m_screen->showError()  ? "error"
                                                               : "grid")
                                 .arg(int(m_screen->animateCards()))
                                 .arg(m_screen->articleList().count());
        if (lines.isEmpty() || lines.last() != line)
            lines << line;
    }

private:
    HomeScreen *m_screen;
};

ClientLimits shortLimits()
{
    ClientLimits limits;
    limits.idle = std::chrono::milliseconds(60000); // cancellation, not a timeout, must end stalled requests
    limits.whole = std::chrono::milliseconds(60000);
    return limits;
}

// Every article of the fake site carries both counts unless a test wants enrichment.
QList<Article> counted(QList<Article> list) { return fixtures::withCounts(std::move(list), 1, 1); }

struct Site {
    FakeServer server;
    QList<Article> list = counted(fixtures::articles(1, 3));
    Site()
    {
        server.listen();
        server.on("GET", "/api/stats", fixtures::stats(128));
        server.on("GET", "/api/tags", fixtures::tags(kTags));
        server.on("GET", "/api/articles", [this](const FakeServer::Request &) { return fixtures::page(list); });
    }
    std::unique_ptr<HomeScreen> screen()
    {
        auto s = std::make_unique<HomeScreen>();
        s->setBaseUrl(server.baseUrl());
        s->setClientLimits(shortLimits());
        return s;
    }
};

bool settled(HomeScreen &s) { return !s.isLoading() && Activity::shared().count() == 0; }

} // namespace

class HomeScreenTest : public QObject {
    Q_OBJECT
private slots:
    void firstAppearanceLoadsListStatsAndTags()
    {
        Site site;
        auto screen = site.screen();
        Recorder rec(screen.get());
        QCOMPARE(screen->countText(), QStringLiteral("0 篇文章"));
        QCOMPARE(screen->showTags(), false);

        screen->appear();
        QVERIFY(screen->showSkeleton());
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);
        QTRY_COMPARE(screen->tags().size(), 2);

        QCOMPARE(rec.lines, (QStringList{
                                 "loading=1 view=skeleton animate=0 cards=0",
                                 "loading=1 view=grid animate=0 cards=3",
                                 "loading=1 view=grid animate=1 cards=3",
                                 "loading=0 view=grid animate=1 cards=3",
                             }));
        QCOMPARE(screen->totalArticles(), 128);
        QCOMPARE(screen->countText(), QStringLiteral("128 篇文章"));
        QCOMPARE(screen->articleList().articles().at(2).id, 3);

        // Exactly one of each request; the list without any query item.
        QCOMPARE(site.server.count("/api/stats"), 1);
        QCOMPARE(site.server.count("/api/tags"), 1);
        const auto lists = site.server.requestsTo("/api/articles");
        QCOMPARE(lists.size(), 1);
        QVERIFY(!lists.first().hasQuery);
        QCOMPARE(lists.first().method, QByteArray("GET"));

        // The chips: "全部" selected first, then the tags in server order.
        const QVariantList chips = screen->tagChips();
        QCOMPARE(chips.size(), 3);
        QCOMPARE(chips.at(0).toMap().value("title").toString(), QStringLiteral("全部"));
        QCOMPARE(chips.at(0).toMap().value("selected").toBool(), true);
        QCOMPARE(chips.at(2).toMap().value("title").toString(), QStringLiteral("C++"));
        QCOMPARE(chips.at(2).toMap().value("selected").toBool(), false);

        // Shown again with a list and tags: nothing is loaded.
        screen->appear();
        QVERIFY(!screen->isLoading()); // a load would have set this before its first request
        QTest::qWait(50);
        QCOMPARE(site.server.count("/api/articles"), 1);
        QCOMPARE(site.server.count("/api/tags"), 1);
    }

    void triggersSendTheirFilters()
    {
        Site site;
        auto screen = site.screen();
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen) && screen->showTags(), 10000);
        site.server.clear();

        auto last = [&]() { return site.server.requestsTo("/api/articles").last(); };
        auto loadDone = [&](int n) {
            return site.server.count("/api/articles") == n && settled(*screen);
        };

        // A tag chip filters by the tag's id in decimal, not its name.
        QCOMPARE(screen->selectedChip(), 0);
        QSignalSpy chipListChanges(screen.get(), &HomeScreen::tagListChanged);
        QSignalSpy selectionChanges(screen.get(), &HomeScreen::tagsChanged);
        screen->activateChip(2);
        QCOMPARE(screen->selectedChip(), 2);
        QCOMPARE(selectionChanges.count(), 1);
        QCOMPARE(chipListChanges.count(), 0); // the chips themselves stay
        QTRY_VERIFY_WITH_TIMEOUT(loadDone(1), 10000);
        QCOMPARE(last().queryKeys(), QStringList{"tag"});
        QCOMPARE(last().queryItem("tag"), QStringLiteral("12"));
        QCOMPARE(screen->selectedTag(), std::optional<qint64>(12));
        QCOMPARE(screen->tagChips().at(0).toMap().value("selected").toBool(), false);
        QCOMPARE(screen->tagChips().at(2).toMap().value("selected").toBool(), true);

        // Typing alone loads nothing; submitting sends tag and text.
        screen->setSearchText(QStringLiteral("a&b =c"));
        QVERIFY(screen->showClearButton());
        QVERIFY(!screen->isLoading());
        QTest::qWait(30);
        QCOMPARE(site.server.count("/api/articles"), 1);
        screen->submitSearch();
        QTRY_VERIFY_WITH_TIMEOUT(loadDone(2), 10000);
        QCOMPARE(last().queryItem("tag"), QStringLiteral("12"));
        QCOMPARE(last().queryItem("q"), QStringLiteral("a&b =c"));
        QCOMPARE(last().queryKeys().size(), 2);

        // The clear button empties the text and keeps the tag.
        screen->clearSearch();
        QCOMPARE(screen->searchText(), QString());
        QVERIFY(!screen->showClearButton());
        QTRY_VERIFY_WITH_TIMEOUT(loadDone(3), 10000);
        QCOMPARE(last().queryKeys(), QStringList{"tag"});

        // Submitting an empty field drops q, keeps the tag.
        screen->submitSearch();
        QTRY_VERIFY_WITH_TIMEOUT(loadDone(4), 10000);
        QCOMPARE(last().queryKeys(), QStringList{"tag"});

        // Selecting the same tag again still loads.
        screen->selectTag(12);
        QTRY_VERIFY_WITH_TIMEOUT(loadDone(5), 10000);
        QCOMPARE(last().queryItem("tag"), QStringLiteral("12"));

        // "全部" keeps the search text.
        screen->setSearchText(QStringLiteral("词"));
        screen->activateChip(0);
        QVERIFY(!screen->selectedTag().has_value());
        QTRY_VERIFY_WITH_TIMEOUT(loadDone(6), 10000);
        QCOMPARE(last().queryKeys(), QStringList{"q"});
        QCOMPARE(last().queryItem("q"), QStringLiteral("词"));

        // Refresh uses the current tag and text.
        screen->selectTag(7);
        QTRY_VERIFY_WITH_TIMEOUT(loadDone(7), 10000);
        screen->refresh();
        QTRY_VERIFY_WITH_TIMEOUT(loadDone(8), 10000);
        QCOMPARE(last().queryItem("tag"), QStringLiteral("7"));
        QCOMPARE(last().queryItem("q"), QStringLiteral("词"));

        // Retry drops both but leaves chip and field as they are.
        screen->retry();
        QTRY_VERIFY_WITH_TIMEOUT(loadDone(9), 10000);
        QVERIFY(!last().hasQuery);
        QCOMPARE(screen->selectedTag(), std::optional<qint64>(7));
        QCOMPARE(screen->searchText(), QStringLiteral("词"));

        // Every load asked for the stats too, never for a page or limit, and never reloaded the tags.
        QCOMPARE(site.server.count("/api/stats"), 9);
        QCOMPARE(site.server.count("/api/tags"), 0);
        for (const auto &r : site.server.requestsTo("/api/articles")) {
            QVERIFY(!r.queryKeys().contains("page"));
            QVERIFY(!r.queryKeys().contains("limit"));
        }

        // Out-of-range chips do nothing.
        screen->activateChip(3);
        screen->activateChip(-1);
        QVERIFY(!screen->isLoading());
        QCOMPARE(screen->selectedTag(), std::optional<qint64>(7));
        QTest::qWait(30);
        QCOMPARE(site.server.count("/api/articles"), 9);
    }

    void failingStatsFailTheLoadAndCancelTheList()
    {
        Site site;
        // The error comes late enough that the list request is surely on the wire.
        FakeServer::Response statsError = fixtures::serverError(QStringLiteral("统计暂不可用"));
        statsError.delayMs = 200;
        site.server.on("GET", "/api/stats", statsError);
        FakeServer::Response stalled = fixtures::page(site.list);
        stalled.stall = true;
        site.server.on("GET", "/api/articles", stalled);
        auto screen = site.screen();
        Recorder rec(screen.get());

        screen->appear();
        // Only a cancelled list request lets the load end before the 60 s limits.
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);
        QCOMPARE(site.server.count("/api/articles"), 1);
        QCOMPARE(screen->errorMessage(), QStringLiteral("加载失败：统计暂不可用"));
        QVERIFY(screen->showError());
        QCOMPARE(screen->totalArticles(), 0);
        QCOMPARE(rec.lines, (QStringList{
                                 "loading=1 view=skeleton animate=0 cards=0",
                                 "loading=0 view=error animate=0 cards=0",
                             }));
    }

    void failedReloadKeepsCardsAndRetryShowsSkeleton()
    {
        Site site;
        auto screen = site.screen();
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);

        // A list that is not the expected shape fails the reload; the cards stay.
        site.server.on("GET", "/api/articles", FakeServer::Response::raw(200, "{\"total\": 1, \"items\": [{"));
        site.server.on("GET", "/api/stats", fixtures::stats(999));
        screen->refresh();
        QVERIFY(screen->isLoading());
        QVERIFY(screen->showGrid()); // no skeleton over existing cards
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);
        QVERIFY(screen->errorMessage().startsWith(QStringLiteral("加载失败：")));
        QVERIFY(screen->errorMessage().size() > 5);
        QVERIFY(screen->hasError());
        QVERIFY(screen->showGrid());
        QVERIFY(!screen->showError());
        QCOMPARE(screen->articleList().count(), 3);
        QCOMPARE(screen->totalArticles(), 128); // not the failed load's count

        // The next load clears the message as it starts.
        site.server.on("GET", "/api/articles", [&site](const FakeServer::Request &) { return fixtures::page(site.list); });
        screen->refresh();
        QVERIFY(!screen->hasError());
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);
        QCOMPARE(screen->totalArticles(), 999);
    }

    void tagFailureWritesConsoleLineAndRetriesOnNextAppearance()
    {
        Site site;
        site.server.on("GET", "/api/tags", fixtures::serverError(QStringLiteral("标签服务故障"), 503));
        auto screen = site.screen();
        QStringList lines;
        {
            ConsoleCapture capture;
            screen->appear();
            QTRY_VERIFY_WITH_TIMEOUT(site.server.count("/api/tags") == 1 && settled(*screen), 10000);
            lines = capture.release();
        }
        QCOMPARE(lines, QStringList{QStringLiteral("标签加载失败：标签服务故障")});
        QVERIFY(!screen->showTags());
        QVERIFY(!screen->hasError()); // nothing on screen

        // Neither refresh nor retry reload the tags; the next appearance does.
        screen->refresh();
        QTRY_VERIFY_WITH_TIMEOUT(site.server.count("/api/articles") == 2 && settled(*screen), 10000);
        screen->retry();
        QTRY_VERIFY_WITH_TIMEOUT(site.server.count("/api/articles") == 3 && settled(*screen), 10000);
        QCOMPARE(site.server.count("/api/tags"), 1);

        site.server.on("GET", "/api/tags", fixtures::tags(kTags));
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(screen->showTags(), 10000);
        QCOMPARE(site.server.count("/api/tags"), 2);
        QCOMPARE(site.server.count("/api/articles"), 3); // the list was not empty
    }

    // A superseded load ends without a trace, whether its requests were
    // cancelled (and fail) or had already been answered when the newer load
    // started (then only the screen's own currency check stops them).
    void newestTriggerDecides_data()
    {
        QTest::addColumn<bool>("olderAnswered");
        QTest::newRow("older cancelled, fails") << false;
        QTest::newRow("older answered, not yet decoded") << true;
    }
    void newestTriggerDecides()
    {
        QFETCH(bool, olderAnswered);
        Site site;
        const auto newerList = counted(fixtures::articles(41, 2));
        FakeServer::Response older = olderAnswered ? fixtures::page(site.list) : fixtures::serverError(QStringLiteral("旧的"));
        older.delayMs = olderAnswered ? 0 : 600;
        site.server.on("GET", "/api/articles", [&](const FakeServer::Request &r) {
            return r.queryItem("tag") == QStringLiteral("7") ? older : fixtures::page(newerList, olderAnswered ? 0 : 2000);
        });
        auto screen = site.screen();
        Recorder rec(screen.get());
        // Decoding waits for the pool, so answers can be in while their loads have not seen them.
        QSemaphore gate;
        for (int i = olderAnswered ? QThreadPool::globalInstance()->maxThreadCount() : 0; i > 0; --i)
            QThreadPool::globalInstance()->start([&gate] { gate.acquire(); });
        screen->selectTag(7);
        QTRY_COMPARE_WITH_TIMEOUT(site.server.count("/api/articles"), 1, 10000);
        QTest::qWait(300);
        screen->selectAll();
        QTest::qWait(600); // the older answer has come (and gone); the newer is still on its way
        gate.release(QThreadPool::globalInstance()->maxThreadCount());
        QVERIFY(screen->isLoading());
        QTRY_VERIFY_WITH_TIMEOUT(settled(*screen), 10000);
        QCOMPARE(rec.lines, (QStringList{
                                 "loading=1 view=skeleton animate=0 cards=0",
                                 "loading=1 view=grid animate=0 cards=2",
                                 "loading=1 view=grid animate=1 cards=2",
                                 "loading=0 view=grid animate=1 cards=2",
                             }));
        QCOMPARE(screen->articleList().articles().first().id, 41);
    }
};

QTEST_GUILESS_MAIN(HomeScreenTest)
#include "tst_home.moc"
