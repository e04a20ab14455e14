// The server's own rules in process: its limits on a clock the test sets,
// what a sign-in check costs whatever the name, and the most bytes a comment
// can take in an answer.

#include "DataTable.h"
#include "limits/LoginThrottle.h"
#include "limits/RateLimit.h"
#include "store/Auth.h"
#include "store/CommentCost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPasswordDigestor>
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

class ServerRulesTest : public QObject {
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

    // The rows: tests/data/server/sign-in-rule.tsv.
    void signInRule_data() { data::table<QStringList, QString, qint64>(QStringLiteral("server/sign-in-rule.tsv")); }
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

    // Every failed check runs the full count of rounds, so none is quicker for
    // a name that does not exist or an account with an older hash.
    void checksCostTheSame_data() { data::table<int, QString, bool, int>(QStringLiteral("server/password-checks.tsv")); }
    void checksCostTheSame()
    {
        QFETCH(int, stored);
        QFETCH(QString, password);
        QFETCH(bool, ok);
        QFETCH(int, upgradedTo);
        Database unopened;
        Auth auth(unopened, {1000, 30, 1, 4});
        // As an older server stored it (Qt's digestor), to show those hashes keep working.
        const QByteArray salt = stored ? QByteArray("0123456789abcdef") : QByteArray();
        const QByteArray hash = stored ? QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, "secret", salt, stored, 32)
                                       : QByteArray();
        QFuture<Auth::Check> check = auth.verifyLater(password, salt, hash, stored);
        QTRY_VERIFY(check.isFinished());
        QCOMPARE(check.result().ok, ok);
        QCOMPARE(check.result().iterations, 1000);
        QCOMPARE(check.result().upgraded.value_or(Auth::Hashed()).iterations, upgradedTo);
        if (upgradedTo) {
            const Auth::Hashed h = *check.result().upgraded;
            QCOMPARE(QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, "secret", h.salt, upgradedTo, 32), h.hash);
        }
    }

    void commentBytesAreAnUpperBound_data()
    {
        data::table<QString, qint64>(QStringLiteral("server/comment-text-bytes.tsv"));
        QTest::newRow("controls") << "\n\x01" << qint64(12);  // escaped as \u0001
        QTest::newRow("lone surrogate") << QString(QChar(0xd800)) << qint64(6);
    }
    void commentBytesAreAnUpperBound()
    {
        QFETCH(QString, text);
        QFETCH(qint64, bytes);
        QCOMPARE(commentCost::jsonTextBytes(text), bytes);
        // The whole record, at its longest counts and with a user of the longest signature, fits its cost.
        QJsonObject user{{"id", 1LL << 62}, {"username", QString(32, QChar(0x5b57))}, {"role", "普通用户"},
                         {"bio", QString(200, QChar(1))}};
        QJsonObject comment{{"id", -(1LL << 62)}, {"name", text}, {"content", text}, {"likes", 1LL << 62},
                            {"time", "2024-01-01 00:00:00"}, {"user", user}};
        const qint64 answer = QJsonDocument(QJsonArray{comment, comment}).toJson(QJsonDocument::Compact).size();
        QVERIFY2(answer <= 2 * commentCost::of(text, text, true) + 2, qPrintable(QString::number(answer)));
    }
};

QTEST_GUILESS_MAIN(ServerRulesTest)
#include "tst_server_rules.moc"
