// The sign-in back-off and the per-minute limits on a clock the test sets.

#include "limits/LoginThrottle.h"
#include "limits/RateLimit.h"

#include <QtTest>

namespace {
// "a" is an address of its own; "v6:N" the Nth /64 of one /56 inside one /48.
ClientKeys keys(const QString &who)
{
    if (!who.startsWith(QLatin1String("v6:")))
        return {{who, 1}};
    return {{who, 1}, {QStringLiteral("/56"), 4}, {QStringLiteral("/48"), 16}};
}
} // namespace

class ServerThrottleTest : public QObject {
    Q_OBJECT

private slots:
    void backOffDoublesUpToTheCap()
    {
        LoginThrottle t({3, 1000, 5000, 8});
        qint64 now = 0;
        // The wait after each failure, each tried once its wait is over.
        for (const qint64 wait : {0, 0, 1000, 2000, 4000, 5000, 5000}) {
            QCOMPARE(t.retryAfterMs(keys("a"), QStringLiteral("x"), now), 0);
            t.begin(keys("a"), QStringLiteral("x"), now);
            t.end(keys("a"), QStringLiteral("x"), false, now);
            QCOMPARE(t.retryAfterMs(keys("a"), QStringLiteral("x"), now), wait);
            QCOMPARE(t.retryAfterMs(keys("a"), QStringLiteral("y"), now + wait / 2), wait - wait / 2);
            now += wait;
        }
        t.prune(now - 1);
        QCOMPARE(t.size(), 2);
        t.prune(now);  // no failure for the longest back-off: forgotten
        QCOMPARE(t.size(), 0);
    }

    // Each row: attempts "who name outcome at" ("-" failed, "+" signed in,
    // "?" still being checked), then the wait one more attempt gets.
    void signInRule_data()
    {
        QTest::addColumn<QStringList>("attempts");
        QTest::addColumn<QString>("asking");  // "who name at"
        QTest::addColumn<qint64>("wait");
        const QStringList guessing{"a x - 0", "a x - 0", "a x - 0", "a x - 0"};  // locked 4 s
        QTest::newRow("the guesser waits in full") << guessing << "a x 0" << qint64(4000);
        QTest::newRow("and for any name") << guessing << "a y 2000" << qint64(2000);
        QTest::newRow("a stranger at most the first back-off") << guessing << "b x 0" << qint64(1000);
        QTest::newRow("after it, not at all") << guessing << "b x 1000" << qint64(0);
        QTest::newRow("a stranger once many addresses guess")
            << QStringList{"a x - 0", "a x - 0", "b x - 0", "c x - 0"} << "d x 0" << qint64(4000);
        QTest::newRow("few addresses are not many")
            << QStringList{"a x - 0", "a x - 0", "a x - 0", "c x - 0"} << "d x 0" << qint64(1000);
        QTest::newRow("a success clears the name") << (guessing + QStringList{"a x + 4000"}) << "b x 4000" << qint64(0);
        QTest::newRow("not the address") << QStringList{"a x - 0", "a y + 0", "a z - 0"} << "a w 0" << qint64(1000);
        QTest::newRow("checks in flight count") << QStringList{"a x ? 0", "a y ? 0"} << "a z 0" << qint64(1000);
        QTest::newRow("a /64 has its own allowance") << QStringList{"v6:1 p - 0", "v6:1 q - 0"} << "v6:2 r 0" << qint64(0);
        QTest::newRow("its /56 four of them")
            << QStringList{"v6:1 p - 0", "v6:1 q - 0", "v6:2 r - 0", "v6:2 s - 0", "v6:3 t - 0", "v6:3 u - 0",
                           "v6:4 v - 0", "v6:4 w - 0"}
            << "v6:5 y 0" << qint64(1000);
    }

    void signInRule()
    {
        QFETCH(QStringList, attempts);
        QFETCH(QString, asking);
        QFETCH(qint64, wait);
        LoginThrottle t({2, 1000, 8000, 3});
        for (const QString &attempt : attempts) {
            const QStringList p = attempt.split(QLatin1Char(' '));
            t.begin(keys(p[0]), p[1], p[3].toLongLong());
            if (p[2] != QLatin1String("?"))
                t.end(keys(p[0]), p[1], p[2] == QLatin1String("+"), p[3].toLongLong());
        }
        const QStringList a = asking.split(QLatin1Char(' '));
        QCOMPARE(t.retryAfterMs(keys(a[0]), a[1], a[2].toLongLong()), wait);
    }

    void perMinuteLimitSlides()
    {
        RateLimit r(2);
        r.record(keys("a"), 0);
        QCOMPARE(r.retryAfterMs(keys("a"), 0), 0);
        r.record(keys("a"), 10000);
        QCOMPARE(r.retryAfterMs(keys("a"), 10000), 50000);
        QCOMPARE(r.retryAfterMs(keys("b"), 10000), 0);
        QCOMPARE(r.retryAfterMs(keys("a"), 60000), 0);  // the first left the window
        r.record(keys("a"), 60000);
        QCOMPARE(r.retryAfterMs(keys("a"), 60000), 10000);
        r.record(keys("b"), 0);
        r.prune(60000);
        QCOMPARE(r.size(), 1);  // only "a" acted within the minute
    }

    // A full table makes room from its quiet keys and never forgets one that
    // holds someone back; with no room a newcomer goes unlimited, not refused.
    void fullTables()
    {
        RateLimit r(2, 2);
        r.record(keys("a"), 0);
        r.record(keys("a"), 0);  // at its limit
        r.record(keys("b"), 0);  // below it: quiet
        r.record(keys("c"), 0);
        r.record(keys("c"), 0);
        QVERIFY(r.retryAfterMs(keys("a"), 0) > 0 && r.retryAfterMs(keys("c"), 0) > 0);
        for (int i = 0; i < 3; ++i)
            r.record(keys("d"), 0);
        QCOMPARE(r.retryAfterMs(keys("d"), 0), 0);
        QVERIFY(r.retryAfterMs(keys("a"), 0) > 0);

        LoginThrottle t({1, 1000, 8000, 8}, 2);
        for (const char *who : {"a", "b", "c"}) {
            t.begin(keys(who), QStringLiteral("x"), 0);
            t.end(keys(who), QStringLiteral("x"), false, 0);
        }
        QVERIFY(t.retryAfterMs(keys("a"), QStringLiteral("y"), 0) > 0);  // locked, so kept
        QCOMPARE(t.retryAfterMs(keys("c"), QStringLiteral("y"), 0), 0);  // no room: let through
    }
};

QTEST_GUILESS_MAIN(ServerThrottleTest)
#include "tst_server_throttle.moc"
