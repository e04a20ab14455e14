// The sign-in back-off and the per-minute limit on a clock the test sets.

#include "limits/LoginThrottle.h"
#include "limits/RateLimit.h"

#include <QtTest>

class ServerThrottleTest : public QObject {
    Q_OBJECT
    static void fail(LoginThrottle &t, const QString &key, qint64 now, bool clearOnSuccess = true)
    {
        t.begin(key);
        t.end(key, false, clearOnSuccess, now);
    }

private slots:
    void backOffDoublesUpToTheCap()
    {
        LoginThrottle t({3, 1000, 5000});
        qint64 now = 0;
        // The wait after each failure, each tried once its wait is over.
        for (const qint64 wait : {0, 0, 1000, 2000, 4000, 5000, 5000}) {
            QCOMPARE(t.retryAfterMs(QStringLiteral("k"), now), 0);
            fail(t, QStringLiteral("k"), now);
            QCOMPARE(t.retryAfterMs(QStringLiteral("k"), now), wait);
            QCOMPARE(t.retryAfterMs(QStringLiteral("k"), now + wait / 2), wait - wait / 2);
            now += wait;
        }
        QCOMPARE(t.retryAfterMs(QStringLiteral("other"), now), 0);
    }

    void attemptsInFlightCountAndOnlyNamesForgetOnSuccess()
    {
        LoginThrottle t({2, 1000, 5000});
        t.begin(QStringLiteral("name"));
        t.begin(QStringLiteral("name"));
        // Two attempts still being checked use up the free ones: a third waits for them.
        QCOMPARE(t.retryAfterMs(QStringLiteral("name"), 0), 1000);
        t.end(QStringLiteral("name"), false, true, 0);
        t.end(QStringLiteral("name"), true, true, 0);
        QCOMPARE(t.retryAfterMs(QStringLiteral("name"), 0), 0);
        QCOMPARE(t.size(), 0);
        // An address keeps its failures through a success.
        fail(t, QStringLiteral("address"), 0, false);
        t.begin(QStringLiteral("address"));
        t.end(QStringLiteral("address"), true, false, 0);
        fail(t, QStringLiteral("address"), 0, false);
        QCOMPARE(t.retryAfterMs(QStringLiteral("address"), 0), 1000);
    }

    void quietKeysAreForgotten()
    {
        LoginThrottle t({1, 1000, 5000});
        fail(t, QStringLiteral("k"), 100);
        t.prune(5099);
        QCOMPARE(t.size(), 1);
        t.prune(5100);
        QCOMPARE(t.size(), 0);
        QCOMPARE(t.retryAfterMs(QStringLiteral("k"), 5100), 0);
    }

    void perMinuteLimitSlides()
    {
        RateLimit r(2);
        r.record(QStringLiteral("k"), 0);
        QCOMPARE(r.retryAfterMs(QStringLiteral("k"), 0), 0);
        r.record(QStringLiteral("k"), 10000);
        QCOMPARE(r.retryAfterMs(QStringLiteral("k"), 10000), 50000);
        QCOMPARE(r.retryAfterMs(QStringLiteral("other"), 10000), 0);
        QCOMPARE(r.retryAfterMs(QStringLiteral("k"), 60000), 0);  // the first left the window
        r.record(QStringLiteral("k"), 60000);
        QCOMPARE(r.retryAfterMs(QStringLiteral("k"), 60000), 10000);
    }
};

QTEST_GUILESS_MAIN(ServerThrottleTest)
#include "tst_server_throttle.moc"
