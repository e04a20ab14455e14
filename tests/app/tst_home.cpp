#include "ArticleFixtures.h"
#include "DataTable.h"
#include "articles/HomeScreen.h"

#include <QSemaphore>
#include <QThreadPool>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {

const QList<Tag> kTags{Tag{7, QStringLiteral("Qt")}, Tag{12, QStringLiteral("C++")}};

// One line per observable change of the screen, so tests compare whole state
// sequences rather than end states.
struct Recorder {
    QObject context;
    QStringList lines;
    explicit Recorder(HomeScreen *s)
    {
        const auto snap = [this, s] {
            const QString line = QStringLiteral("loading=%1 view=%2 animate=%3 cards=%4")
                                     .arg(int(s->isLoading()))
                                     .arg(s->showSkeleton() ? "skeleton" : s->showError() ? "error" : "grid")
                                     .arg(int(s->animateCards()))
                                     .arg(s->articleList().count());
            if (lines.isEmpty() || lines.last() != line)
                lines << line;
        };
        QObject::connect(s, &HomeScreen::statusChanged, &context, snap);
        QObject::connect(s, &HomeScreen::animateCardsChanged, &context, snap);
    }
};

// A first load that ends with `cards` cards: skeleton, cards, their animation, done.
QStringList firstLoad(int cards)
{
    const QString grid = QStringLiteral("view=grid animate=%1 cards=%2");
    return {"loading=1 view=skeleton animate=0 cards=0", "loading=1 " + grid.arg(0).arg(cards), "loading=1 " + grid.arg(1).arg(cards),
            "loading=0 " + grid.arg(1).arg(cards)};
}

// Every article of the fake site carries both counts unless a test wants enrichment.
QList<Article> counted(QList<Article> list) { return fixtures::withCounts(std::move(list), 1, 1); }

struct Site : fixtures::ScreenSite<HomeScreen> {
    QList<Article> list = counted(fixtures::articles(1, 3));
    Site()
    {
        server.on("GET", "/api/stats", fixtures::stats(128));
        server.on("GET", "/api/tags", fixtures::tags(kTags));
        server.on("GET", "/api/articles", [this](const FakeServer::Request &) { return fixtures::page(list); });
    }
};

} // namespace

class HomeScreenTest : public QObject {
    Q_OBJECT
private slots:
    void firstAppearanceLoadsListStatsAndTags()
    {
        Site site;
        auto screen = site.screen();
        Recorder rec(screen.get());
        QVERIFY(screen->countText() == QStringLiteral("0 篇文章") && !screen->showTags());
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen) && screen->showTags(), 10000);
        QCOMPARE(rec.lines, firstLoad(3));
        QCOMPARE(screen->countText(), QStringLiteral("128 篇文章"));
        // One of each request, the list without any query item; the chips: "全部" selected, then the tags in server order.
        QCOMPARE(site.server.requests().size(), 3);
        QCOMPARE((QList<int>{site.server.count("/api/stats"), site.server.count("/api/tags")}), (QList<int>{1, 1}));
        QVERIFY(!site.server.requestsTo("/api/articles").first().hasQuery);
        QStringList chips;
        for (const QVariant &chip : screen->tagChips())
            chips << chip.toMap().value("title").toString() + (chip.toMap().value("selected").toBool() ? "*" : "");
        QCOMPARE(chips, (QStringList{"全部*", "Qt", "C++"}));

        // Shown again with a list and tags: nothing is loaded.
        screen->appear();
        QVERIFY(!screen->isLoading()); // a load would have set this before its first request
        QTest::qWait(50);
        QCOMPARE(site.server.requests().size(), 3);
    }

    void triggersSendTheirFilters_data() { data::table<QString, int, QString, QString, int>(QStringLiteral("app/home/triggers.tsv")); }
    void triggersSendTheirFilters()
    {
        QFETCH(QString, actions);
        QFETCH(int, loads);
        Site site;
        auto screen = site.screen();
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen) && screen->showTags(), 10000);
        QSignalSpy chipListChanges(screen.get(), &HomeScreen::tagListChanged);
        for (const QString &action : actions.split(QLatin1Char('|'))) {
            const QString verb = action.section(QLatin1Char(':'), 0, 0), arg = action.section(QLatin1Char(':'), 1);
            if (verb == "chip") screen->activateChip(arg.toInt());
            if (verb == "tag") screen->selectTag(arg.toLongLong());
            if (verb == "type") screen->setSearchText(arg);
            if (verb == "submit") screen->submitSearch();
            if (verb == "clear") screen->clearSearch();
            if (verb == "refresh") screen->refresh();
            if (verb == "retry") screen->retry();
            QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000); // a load is loading from its start
        }
        QCOMPARE(site.server.count("/api/articles"), 1 + loads);
        const FakeServer::Request last = site.server.requestsTo("/api/articles").last();
        QStringList query;
        for (const QString &key : last.queryKeys())
            query << key + "=" + last.queryItem(key);
        QTEST(query.join("&"), "query");
        QTEST(screen->searchText(), "field");
        QTEST(screen->selectedChip(), "chip");
        // The whole query above: never a page. The chips stay; the selected one says so. Every load asks for the count, not for the tags.
        QCOMPARE(chipListChanges.count(), 0);
        QVERIFY(screen->tagChips().at(screen->selectedChip()).toMap().value("selected").toBool());
        QCOMPARE(screen->showClearButton(), !screen->searchText().isEmpty());
        QCOMPARE(site.server.count("/api/stats"), 1 + loads);
        QCOMPARE(site.server.count("/api/tags"), 1);
    }

    void failingStatsFailTheLoadAndCancelTheList()
    {
        Site site;
        // The error comes late enough that the list request is surely on the wire.
        site.server.on("GET", "/api/stats", FakeServer::delayed(fixtures::serverError(QStringLiteral("统计暂不可用")), 200));
        site.server.on("GET", "/api/articles", FakeServer::stalled());
        auto screen = site.screen();
        Recorder rec(screen.get());
        screen->appear();
        // Only a cancelled list request lets the load end before the 60 s limits.
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000);
        QCOMPARE(site.server.count("/api/articles"), 1);
        QCOMPARE(screen->errorMessage(), QStringLiteral("加载失败：统计暂不可用"));
        QCOMPARE(rec.lines, (QStringList{"loading=1 view=skeleton animate=0 cards=0", "loading=0 view=error animate=0 cards=0"}));
    }

    void failedReloadKeepsCards()
    {
        Site site;
        auto screen = site.screen();
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000);
        // A list that is not the expected shape fails the reload; the cards stay, with no skeleton over them.
        site.server.on("GET", "/api/articles", FakeServer::Response::raw(200, "{\"total\": 1, \"items\": [{"));
        site.server.on("GET", "/api/stats", fixtures::stats(999));
        screen->refresh();
        QVERIFY(screen->isLoading() && screen->showGrid());
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000);
        QVERIFY2(screen->errorMessage().startsWith(QStringLiteral("加载失败：")) && screen->errorMessage().size() > 5,
                 qPrintable(screen->errorMessage()));
        QVERIFY(screen->showGrid() && !screen->showError() && screen->articleList().count() == 3);
        QCOMPARE(screen->totalArticles(), 128); // not the failed load's count
        // The next load clears the message as it starts.
        site.server.on("GET", "/api/articles", [&site](const FakeServer::Request &) { return fixtures::page(site.list); });
        screen->refresh();
        QVERIFY(!screen->hasError());
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000);
        QCOMPARE(screen->totalArticles(), 999);
    }

    // Not on screen, only on the console; the next appearance (not a reload) asks again.
    void tagFailureWritesConsoleLineAndRetriesOnNextAppearance()
    {
        Site site;
        site.server.on("GET", "/api/tags", fixtures::serverError(QStringLiteral("标签服务故障"), 503));
        auto screen = site.screen();
        ConsoleCapture capture;
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(site.server.count("/api/tags") == 1 && site.settled(*screen), 10000);
        QCOMPARE(capture.release(), QStringList{QStringLiteral("标签加载失败：标签服务故障")});
        QVERIFY(!screen->showTags() && !screen->hasError());
        site.server.on("GET", "/api/tags", fixtures::tags(kTags));
        screen->appear();
        QTRY_VERIFY_WITH_TIMEOUT(screen->showTags(), 10000);
        QCOMPARE(site.server.count("/api/articles"), 1); // the list was not empty
    }

    // A superseded load ends without a trace, whether its requests were
    // cancelled (and fail) or had already been answered when the newer load
    // started (then only the screen's own currency check stops them).
    void newestTriggerDecides_data() { data::table<bool>(QStringLiteral("app/home/superseded.tsv")); }
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
        QTRY_VERIFY_WITH_TIMEOUT(site.settled(*screen), 10000);
        QCOMPARE(rec.lines, firstLoad(2));
        QCOMPARE(screen->articleList().articles().first().id, 41);
    }
};

QTEST_GUILESS_MAIN(HomeScreenTest)
#include "tst_home.moc"
