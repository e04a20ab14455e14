// The store's own rules, in process: what a sign-in check costs whatever the
// name, and the most bytes a comment can take in an answer.

#include "store/Auth.h"
#include "store/CommentCost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPasswordDigestor>
#include <QtTest>

class ServerStoreTest : public QObject {
    Q_OBJECT

private slots:
    // Every failed check runs the full count of rounds, so none is quicker for
    // a name that does not exist or an account with an older hash.
    void checksCostTheSame_data()
    {
        QTest::addColumn<int>("stored");  // rounds of the stored hash; 0: no hash (unknown name)
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("upgradedTo");
        QTest::newRow("unknown name") << 0 << "secret" << false << 0;
        QTest::newRow("wrong password") << 1000 << "guess" << false << 0;
        QTest::newRow("right password") << 1000 << "secret" << true << 0;
        QTest::newRow("older hash, wrong password") << 200 << "guess" << false << 0;
        QTest::newRow("older hash, right password") << 200 << "secret" << true << 1000;
    }
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
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("ascii") << "hello" << qint64(5);
        QTest::newRow("quotes and backslash") << "\"\\" << qint64(4);
        QTest::newRow("cjk") << "评论" << qint64(6);
        QTest::newRow("latin") << "é" << qint64(2);
        QTest::newRow("controls") << "\n\x01" << qint64(12);
        QTest::newRow("emoji") << "😀" << qint64(12);
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

QTEST_GUILESS_MAIN(ServerStoreTest)
#include "tst_server_store.moc"
