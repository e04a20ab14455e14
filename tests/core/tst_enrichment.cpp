#include "core/APIClient.h"
#include "core/ArticleCountsStore.h"
#include "FakeServer.h"
#include "TestJson.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {
// The store is process-wide: every case draws ids from its own range.
qint64 nextBase()
{
    static qint64 base = 1000;
    base += 1000;
    return base;
}

QList<Article> articlesWithoutCounts(qint64 firstId, int n)
{
    QList<Article> list;
    for (int i = 0; i < n; ++i) {
        Article a;
        a.id = firstId + i;
        a.title = QStringLiteral("a");
        list.append(a);
    }
    return list;
}

qint64 idOf(const FakeServer::Request &r)
{
    return r.path.mid(qsizetype(strlen("/api/article/"))).toLongLong();
}

// Detail whose counts are derived from the id, so every stored value is checkable.
FakeServer::Response detailFor(qint64 id, int delayMs)
{
    FakeServer::Response r = FakeServer::Response::json(testjson::detail(id, id * 10, id + 1));
    r.delayMs = delayMs;
    return r;
}

struct DetailServer {
    FakeServer server;
    int delayMs = 0;
    QSet<qint64> missing;        // answered 404
    QHash<qint64, qint64> idSwap; // detail reports another id

    DetailServer()
    {
        server.setFallback([this](const FakeServer::Request &r) {
            const qint64 id = idOf(r);
            if (!r.path.startsWith("/api/article/") || missing.contains(id)) {
                FakeServer::Response nf = FakeServer::Response::raw(404, R"({"error":"文章不存在"})");
                nf.delayMs = delayMs;
                return nf;
            }
            FakeServer::Response ok = detailFor(id, delayMs);
            if (idSwap.contains(id)) {
                QJsonObject d = testjson::detail(idSwap.value(id), id * 10, id + 1);
                ok.body = testjson::bytes(d);
            }
            return ok;
        });
    }
};
} // namespace

class EnrichmentTest : public QObject {
    Q_OBJECT
private slots:
    // ---- the store -----------------------------------------------------------
    void storeSemantics()
    {
        ArticleCountsStore &store = ArticleCountsStore::shared();
        QCOMPARE(&store, &ArticleCountsStore::shared());
        const qint64 id = nextBase();
        QVERIFY(!store.lookup(id).has_value());
        QVERIFY(!store.counts().contains(id));

        QStringList order;
        connect(&store, &ArticleCountsStore::aboutToChange, this, [&](qint64 changed) {
            order << QStringLiteral("before %1 has=%2").arg(changed - id).arg(store.lookup(changed).has_value());
        });
        connect(&store, &ArticleCountsStore::changed, this, [&](qint64 changed) {
            order << QStringLiteral("after %1 has=%2").arg(changed - id).arg(store.lookup(changed).has_value());
        });

        store.set(0, 0, id); // zero is a value, not "no entry"
        QVERIFY(store.lookup(id).has_value());
        QCOMPARE(store.lookup(id)->likes, 0);
        QCOMPARE(store.lookup(id)->comments, 0);
        store.set(5, 7, id);
        store.set(1, 0, id); // replaced whole: no field of the earlier entry survives
        QCOMPARE(*store.lookup(id), (ArticleCountsStore::Counts{1, 0}));
        store.set(1, 0, id); // equal values still notify
        QCOMPARE(order, (QStringList{"before 0 has=0", "after 0 has=1", "before 0 has=1", "after 0 has=1",
                                     "before 0 has=1", "after 0 has=1", "before 0 has=1", "after 0 has=1"}));
        QVERIFY(!store.lookup(id + 1).has_value());
        disconnect(&store, nullptr, this, nullptr);
    }

    // ---- candidates ----------------------------------------------------------
    void noCandidatesNoRequests()
    {
        DetailServer ds;
        QVERIFY(ds.server.listen());
        auto client = APIClient::create(ds.server.baseUrl());
        QSignalSpy spy(&ArticleCountsStore::shared(), &ArticleCountsStore::changed);

        QCoro::waitFor(client->enrichCounts({}));
        QList<Article> complete = articlesWithoutCounts(nextBase(), 3);
        for (Article &a : complete) {
            a.likes = 0;
            a.comments = 2;
        }
        QCoro::waitFor(client->enrichCounts(complete));
        QCOMPARE(ds.server.requests().size(), 0);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!ArticleCountsStore::shared().lookup(complete.first().id)); // not fetched, not written
    }

    void partialCountsAreCandidatesAndDetailWins()
    {
        DetailServer ds;
        QVERIFY(ds.server.listen());
        const qint64 base = nextBase();
        QList<Article> list = articlesWithoutCounts(base, 3);
        list[0].likes = 999; // comments missing: still a candidate
        list[1].comments = 999;
        list[2].likes = 1;
        list[2].comments = 1; // complete: left alone
        auto client = APIClient::create(ds.server.baseUrl());
        QCoro::waitFor(client->enrichCounts(list));
        QCOMPARE(ds.server.requests().size(), 2);
        for (const FakeServer::Request &r : ds.server.requests()) {
            QCOMPARE(r.method, QByteArray("GET"));
            QVERIFY(!r.hasHeader("Authorization"));
        }
        // Both counts come from the detail, not from the listed record.
        QCOMPARE(*ArticleCountsStore::shared().lookup(base), (ArticleCountsStore::Counts{base * 10, base + 1}));
        QCOMPARE(*ArticleCountsStore::shared().lookup(base + 1),
                 (ArticleCountsStore::Counts{(base + 1) * 10, base + 2}));
        QVERIFY(!ArticleCountsStore::shared().lookup(base + 2));
    }

    // ---- division of work, observed on the server ----------------------------
    void workerSlices_data()
    {
        QTest::addColumn<int>("candidates");
        QTest::addColumn<QList<int>>("sliceLengths");
        QTest::newRow("1") << 1 << QList<int>{1};
        QTest::newRow("3") << 3 << QList<int>{1, 1, 1};
        QTest::newRow("6") << 6 << QList<int>{2, 2, 2};
        QTest::newRow("7") << 7 << QList<int>{2, 2, 2, 1};
        QTest::newRow("12") << 12 << QList<int>{3, 3, 3, 3};
        QTest::newRow("20") << 20 << QList<int>{4, 4, 4, 4, 4};
    }
    void workerSlices()
    {
        QFETCH(int, candidates);
        QFETCH(QList<int>, sliceLengths);
        DetailServer ds;
        ds.delayMs = 400; // every worker's first request arrives before any answer
        QVERIFY(ds.server.listen());
        const qint64 base = nextBase();
        auto client = APIClient::create(ds.server.baseUrl());
        QCoro::waitFor(client->enrichCounts(articlesWithoutCounts(base, candidates)));

        // Completion means every worker is done: all entries are there at once.
        for (int i = 0; i < candidates; ++i) {
            const auto c = ArticleCountsStore::shared().lookup(base + i);
            QVERIFY2(c.has_value(), qPrintable(QString::number(i)));
            QCOMPARE(c->likes, (base + i) * 10);
        }
        const QList<FakeServer::Request> requests = ds.server.requests();
        QCOMPARE(requests.size(), candidates);
        QCOMPARE(ds.server.maxInFlight(), int(sliceLengths.size()));
        QVERIFY(ds.server.maxInFlight() <= 5);

        // The first wave holds exactly the first article of every slice.
        QSet<qint64> firstWave;
        for (int i = 0; i < int(sliceLengths.size()); ++i)
            firstWave.insert(idOf(requests.at(i)) - base);
        QSet<qint64> starts;
        qint64 start = 0;
        QList<QPair<qint64, qint64>> slices;
        for (int len : sliceLengths) {
            starts.insert(start);
            slices.append({start, start + len});
            start += len;
        }
        QCOMPARE(firstWave, starts);

        // Within a slice, requests arrive one after another in list order,
        // each only after the previous one was answered.
        for (const auto &slice : slices) {
            qint64 expected = slice.first;
            qint64 previousAt = -1;
            for (const FakeServer::Request &r : requests) {
                const qint64 index = idOf(r) - base;
                if (index < slice.first || index >= slice.second)
                    continue;
                QCOMPARE(index, expected);
                if (previousAt >= 0)
                    QVERIFY2(r.receivedAtMs - previousAt >= ds.delayMs - 20,
                             qPrintable(QStringLiteral("%1 after %2 ms").arg(index).arg(r.receivedAtMs - previousAt)));
                previousAt = r.receivedAtMs;
                ++expected;
            }
            QCOMPARE(expected, slice.second);
        }
    }

    // ---- skips, failures, duplicates, keys -----------------------------------
    void knownIdsCostNoRequest()
    {
        DetailServer ds;
        QVERIFY(ds.server.listen());
        const qint64 base = nextBase();
        ArticleCountsStore::shared().set(3, 4, base + 1);
        auto client = APIClient::create(ds.server.baseUrl());
        QCoro::waitFor(client->enrichCounts(articlesWithoutCounts(base, 3)));
        QCOMPARE(ds.server.requests().size(), 2);
        QCOMPARE(ds.server.count(QByteArray("/api/article/") + QByteArray::number(base + 1)), 0);
        QCOMPARE(*ArticleCountsStore::shared().lookup(base + 1), (ArticleCountsStore::Counts{3, 4}));
    }

    void failedDetailLeavesNoEntryAndSliceGoesOn()
    {
        DetailServer ds;
        QVERIFY(ds.server.listen());
        const qint64 base = nextBase();
        // Six candidates: slices {0,1} {2,3} {4,5}; 0 fails, 1 is in the same slice.
        ds.missing = {base, base + 4};
        auto client = APIClient::create(ds.server.baseUrl());
        QCoro::waitFor(client->enrichCounts(articlesWithoutCounts(base, 6)));
        QCOMPARE(ds.server.requests().size(), 6);
        QVERIFY(!ArticleCountsStore::shared().lookup(base));
        QVERIFY(!ArticleCountsStore::shared().lookup(base + 4));
        for (qint64 i : {1, 2, 3, 5})
            QVERIFY(ArticleCountsStore::shared().lookup(base + i));

        // A later enrichment tries the failed ones again, and only those.
        ds.missing.clear();
        ds.server.clear();
        QCoro::waitFor(client->enrichCounts(articlesWithoutCounts(base, 6)));
        QCOMPARE(ds.server.requests().size(), 2);
        QVERIFY(ArticleCountsStore::shared().lookup(base));
    }

    void deadServerWritesNothing()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        const qint64 base = nextBase();
        auto client = APIClient::create(QStringLiteral("http://127.0.0.1:%1").arg(port));
        QCoro::waitFor(client->enrichCounts(articlesWithoutCounts(base, 7)));
        for (int i = 0; i < 7; ++i)
            QVERIFY(!ArticleCountsStore::shared().lookup(base + i));
    }

    void duplicates()
    {
        DetailServer ds;
        ds.delayMs = 60;
        QVERIFY(ds.server.listen());
        auto client = APIClient::create(ds.server.baseUrl());

        // Same slice: the second occurrence finds the first one's entry.
        const qint64 a = nextBase();
        QList<Article> sameSlice = articlesWithoutCounts(a, 6);
        sameSlice[1] = sameSlice[0];
        QCoro::waitFor(client->enrichCounts(sameSlice));
        QCOMPARE(ds.server.count(QByteArray("/api/article/") + QByteArray::number(a)), 1);
        QCOMPARE(ds.server.requests().size(), 5);

        // Different slices running at once: both ask, the store ends with the value.
        ds.server.clear();
        const qint64 b = nextBase();
        QList<Article> twoSlices = articlesWithoutCounts(b, 2);
        twoSlices[1] = twoSlices[0];
        QCoro::waitFor(client->enrichCounts(twoSlices));
        QCOMPARE(ds.server.count(QByteArray("/api/article/") + QByteArray::number(b)), 2);
        QCOMPARE(*ArticleCountsStore::shared().lookup(b), (ArticleCountsStore::Counts{b * 10, b + 1}));
    }

    void keyedByListedId()
    {
        DetailServer ds;
        QVERIFY(ds.server.listen());
        const qint64 base = nextBase();
        const qint64 reported = nextBase();
        ds.idSwap.insert(base, reported);
        auto client = APIClient::create(ds.server.baseUrl());
        QCoro::waitFor(client->enrichCounts(articlesWithoutCounts(base, 1)));
        QCOMPARE(*ArticleCountsStore::shared().lookup(base), (ArticleCountsStore::Counts{base * 10, base + 1}));
        QVERIFY(!ArticleCountsStore::shared().lookup(reported));
    }

    void runsOnAfterCallerIsGone()
    {
        DetailServer ds;
        ds.delayMs = 80;
        QVERIFY(ds.server.listen());
        const qint64 base = nextBase();
        {
            // The screen drops its client and the task right away (fire and forget).
            auto client = APIClient::create(ds.server.baseUrl());
            client->enrichCounts(articlesWithoutCounts(base, 8));
        }
        QTRY_COMPARE_WITH_TIMEOUT(ds.server.requests().size(), 8, 10000);
        for (int i = 0; i < 8; ++i)
            QTRY_VERIFY_WITH_TIMEOUT(ArticleCountsStore::shared().lookup(base + i).has_value(), 10000);
    }
};

QTEST_GUILESS_MAIN(EnrichmentTest)
#include "tst_enrichment.moc"
