#include "core/APIClient.h"
#include "core/ArticleCountsStore.h"
#include "DataTable.h"
#include "Fixtures.h"
#include "ServedTest.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;
using Counts = ArticleCountsStore::Counts;
using Response = FakeServer::Response;

namespace {
ArticleCountsStore &store() { return ArticleCountsStore::shared(); }

qint64 idOf(const FakeServer::Request &r) { return r.path.mid(qsizetype(strlen("/api/article/"))).toLongLong(); }

// What the detail of article `id` reports.
std::optional<Counts> countsOf(qint64 id) { return Counts{id * 10, id + 1}; }
} // namespace

class EnrichmentTest : public ServedTest {
    Q_OBJECT
    int m_delayMs = 0;
    QSet<qint64> m_missing; // answered 404
    qint64 m_base = 0;      // the store lives for the process: every case draws ids from its own range

    std::shared_ptr<APIClient> client() { return APIClient::create(server().baseUrl()); }

private slots:
    void init()
    {
        ServedTest::init();
        m_delayMs = 0;
        m_missing.clear();
        m_base += 1000;
        // A detail reports another id than the one asked for: entries are
        // keyed by the listed id, never by what the detail says.
        server().setFallback([this](const FakeServer::Request &r) {
            const qint64 id = idOf(r);
            const Response answer = m_missing.contains(id)
                                        ? Response::raw(404, R"({"error":"文章不存在"})")
                                        : fixtures::reply(fixtures::detail(-id, countsOf(id)->likes, countsOf(id)->comments));
            return FakeServer::delayed(answer, m_delayMs);
        });
    }

    void storeSemantics()
    {
        QStringList order;
        connect(&store(), &ArticleCountsStore::aboutToChange, this,
                [&](qint64 changed) { order << QStringLiteral("before %1").arg(store().lookup(changed).has_value()); });
        connect(&store(), &ArticleCountsStore::changed, this,
                [&](qint64 changed) { order << QStringLiteral("after %1").arg(store().lookup(changed).has_value()); });
        store().set(0, 0, m_base); // zero is a value, not "no entry"
        QCOMPARE(store().lookup(m_base), std::optional(Counts{0, 0}));
        store().set(5, 7, m_base);
        store().set(1, 0, m_base); // replaced whole
        store().set(1, 0, m_base); // equal values still notify
        disconnect(&store(), nullptr, this, nullptr);
        QCOMPARE(store().lookup(m_base), std::optional(Counts{1, 0}));
        QCOMPARE(order, (QStringList{"before 0", "after 1", "before 1", "after 1", "before 1", "after 1", "before 1",
                                     "after 1"}));
        QVERIFY(!store().lookup(m_base + 1) && !store().counts().contains(m_base + 1));
    }

    // An article lacking either count is a candidate; one in the store costs
    // no request, looked up before every request (the duplicate finds the
    // entry its twin just made); the detail's counts win over listed ones.
    void candidates()
    {
        QList<Article> list = fixtures::articles(m_base, 7); // candidates 0 0 1 2 4 5 6: slices of two
        list.insert(1, list[0]);
        list[2].likes = 999;
        list[3].comments = 999;
        list[4].likes = list[4].comments = 1;
        store().set(3, 4, m_base + 4);
        QSignalSpy changed(&store(), &ArticleCountsStore::changed);
        QCoro::waitFor(client()->enrichCounts({}));
        QCoro::waitFor(client()->enrichCounts(list));
        QCOMPARE(server().requests().size(), 5);
        QCOMPARE(changed.size(), 5);
        for (qint64 id : {m_base, m_base + 1, m_base + 2, m_base + 5, m_base + 6})
            QVERIFY(store().lookup(id) == countsOf(id) && !store().lookup(-id));
        QVERIFY(!store().lookup(m_base + 3));
        QCOMPARE(store().lookup(m_base + 4), std::optional(Counts{3, 4}));
    }

    // At most five workers, each taking the next slice of ceil(n / 5)
    // candidates and walking it in list order, one request at a time.
    void workerSlices_data() { data::table<int, QStringList>("core/worker-slices.tsv"); }
    void workerSlices()
    {
        QFETCH(int, candidates);
        QFETCH(QStringList, sliceLengths);
        m_delayMs = 300; // every worker's first request arrives before any answer
        QCoro::waitFor(client()->enrichCounts(fixtures::articles(m_base, candidates)));
        for (qint64 id = m_base; id < m_base + candidates; ++id) // done means every worker is done
            QCOMPARE(store().lookup(id), countsOf(id));
        QCOMPARE(server().requests().size(), candidates);
        QCOMPARE(server().maxInFlight(), int(sliceLengths.size()));
        // The first wave is every slice's first article; then each slice goes on in order.
        const int length = sliceLengths.first().toInt();
        QList<qint64> next(sliceLengths.size());
        for (qsizetype i = 0; i < next.size(); ++i)
            next[i] = i * length;
        for (qsizetype i = 0; i < candidates; ++i) {
            const qint64 offset = idOf(server().requests().at(i)) - m_base;
            QCOMPARE(offset % length == 0, i < next.size());
            QCOMPARE(offset, next[offset / length]++);
        }
    }

    void failedDetailLeavesNoEntryAndSliceGoesOn()
    {
        m_missing = {m_base, m_base + 4}; // slices {0,1} {2,3} {4,5}
        QCoro::waitFor(client()->enrichCounts(fixtures::articles(m_base, 6)));
        QCOMPARE(server().requests().size(), 6);
        for (qint64 i = 0; i < 6; ++i)
            QCOMPARE(store().lookup(m_base + i).has_value(), i != 0 && i != 4);
        // A later enrichment asks again for the failed ones, and only for those.
        m_missing.clear();
        server().clear();
        QCoro::waitFor(client()->enrichCounts(fixtures::articles(m_base, 6)));
        QCOMPARE(server().requests().size(), 2);
        QCOMPARE(store().lookup(m_base), countsOf(m_base));
    }

    void runsOnAfterCallerIsGone()
    {
        m_delayMs = 50;
        client()->enrichCounts(fixtures::articles(m_base, 8)); // client and task dropped at once
        for (qint64 id = m_base; id < m_base + 8; ++id)
            QTRY_VERIFY_WITH_TIMEOUT(store().lookup(id).has_value(), 10000);
    }

    // Emptied for another server while it runs: the old server's counts are
    // not written, and it asks the old server nothing more.
    void stopsWhenTheStoreIsEmptied()
    {
        m_delayMs = 100;
        auto c = client();
        auto running = c->enrichCounts(fixtures::articles(m_base, 10)); // slices of two
        QTRY_COMPARE(server().requests().size(), 5);
        store().clear();
        QCoro::waitFor(std::move(running));
        QCOMPARE(server().requests().size(), 5);
        for (qint64 id = m_base; id < m_base + 10; ++id)
            QVERIFY(!store().lookup(id));
    }
};

QTEST_GUILESS_MAIN(EnrichmentTest)
#include "tst_enrichment.moc"
