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
    void signInRule_data() { data::table<QStringList, QStringList, QString, qint64>(QStringLiteral("server/sign-in-rule.tsv")); }
    void signInRule()
    {
        QFETCH(QStringList, policy);
        QFETCH(QStringList, attempts);
        QFETCH(QString, asking);
        QFETCH(qint64, wait);
        LoginThrottle t({policy[0].toInt(), policy[1].toLongLong(), policy[2].toLongLong(), policy[3].toInt()}, policy[4].toInt());
        for (const QString &attempt : attempts) {
            const QStringList p = attempt.split(QLatin1Char(' '));
            t.begin(keys(p[0]), p[1], p[3].toLongLong());
            if (p[2] != QLatin1String("?"))
                t.end(keys(p[0]), p[1], p[2] == QLatin1String("+"), p[3].toLongLong());
        }
        const QStringList a = asking.split(QLatin1Char(' '));
        QCOMPARE(t.retryAfterMs(keys(a[0]), a[1], a[2].toLongLong()), wait);
    }

    // The rows: tests/data/server/per-minute-limit.tsv.
    void perMinuteLimit_data() { data::table<int, QStringList, QString, qint64, int>(QStringLiteral("server/per-minute-limit.tsv")); }
    void perMinuteLimit()
    {
        QFETCH(int, room);
        QFETCH(QStringList, records);
        QFETCH(QString, asking);
        QFETCH(qint64, wait);
        QFETCH(int, kept);
        RateLimit r(2, room);
        for (const QString &record : records)
            r.record(keys(record.section(QLatin1Char(' '), 0, 0)), record.section(QLatin1Char(' '), 1).toLongLong());
        const qint64 at = asking.section(QLatin1Char(' '), 1).toLongLong();
        QCOMPARE(r.retryAfterMs(keys(asking.section(QLatin1Char(' '), 0, 0)), at), wait);
        r.prune(at);
        QCOMPARE(r.size(), kept);
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
