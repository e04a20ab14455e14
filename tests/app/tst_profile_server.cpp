// Account tab against the real papelo-server: register, own page,
// signature, sign-out and sign-in again, with the sign-in kept in a real
// settings file across simulated restarts.
#include "core/AuthManager.h"
#include "account/ProfileScreen.h"
#include "ServerProcess.h"

#include <QCoroTask>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace papelo;

class ProfileServerTest : public QObject {
    Q_OBJECT

    ServerProcess m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<AuthManager> m_auth;
    std::unique_ptr<ProfileScreen> m_screen;

    QString settingsPath() const { return m_dir.filePath("papelo.ini"); }
    void relaunch()
    {
        m_screen.reset();
        m_auth = std::make_unique<AuthManager>(settingsPath());
        m_screen = std::make_unique<ProfileScreen>();
        m_screen->setBaseUrl(m_server.baseUrl());
        m_screen->setAuth(m_auth.get());
    }
    void submit(const QString &username, const QString &password, const QString &email = {})
    {
        m_screen->setLoginMode(email.isEmpty());
        m_screen->setUsername(username);
        m_screen->setPassword(password);
        m_screen->setEmail(email);
        QVERIFY(m_screen->canSubmit());
        QCoro::waitFor(m_screen->handleAuthTask());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        relaunch();
    }

    void registerSaveBioSignOutSignIn()
    {
        submit("reader_one", "pass1234", "reader@example.org");
        QVERIFY2(!m_screen->hasErrorMessage(), qPrintable(m_screen->errorMessage()));
        QVERIFY(m_screen->showSuccess());
        QVERIFY(m_screen->isLoggedIn());
        QCOMPARE(m_screen->displayName(), QString("reader_one"));
        QCOMPARE(m_screen->initial(), QString("r"));
        QVERIFY(!m_screen->displayRole().isEmpty());
        // A new account owns nothing yet.
        QVERIFY(m_screen->hasUserStats());
        QCOMPARE(m_screen->statsTotal(), QString("0"));
        QCOMPARE(m_screen->statsPublished(), QString("0"));
        QCOMPARE(m_screen->statsPending(), QString("0"));
        QCOMPARE(m_screen->myArticleCount(), 0);
        QCOMPARE(m_screen->bioText(), QString());
        QVERIFY(!m_screen->canSaveBio());

        m_screen->setBioText("每天读一点");
        QVERIFY(m_screen->canSaveBio());
        QCoro::waitFor(m_screen->saveBioTask());
        QVERIFY2(!m_screen->hasBioError(), qPrintable(m_screen->bioError()));
        QCOMPARE(m_screen->displayBio(), QString("每天读一点"));
        QVERIFY(!m_screen->canSaveBio());

        // Restart: the stored sign-in carries the saved signature.
        relaunch();
        QVERIFY(!m_screen->isLoggedIn());
        m_screen->appear();
        QVERIFY(m_screen->isLoggedIn());
        QCOMPARE(m_screen->bioText(), QString("每天读一点"));
        QTRY_VERIFY_WITH_TIMEOUT(m_screen->hasUserStats(), 10000);

        m_screen->requestLogout();
        m_screen->confirmLogout();
        QVERIFY(!m_screen->isLoggedIn());
        QCOMPARE(m_screen->bioText(), QString());

        // The server's own message, behind the fixed prefix; inputs stay.
        submit("reader_one", "wrong-password");
        QCOMPARE(m_screen->errorMessage(), QString("操作失败：用户名或密码错误"));
        QVERIFY(!m_screen->isLoggedIn());
        QCOMPARE(m_screen->username(), QString("reader_one"));
        QCOMPARE(m_screen->password(), QString("wrong-password"));

        // Signing in again brings back what the server stored.
        submit("reader_one", "pass1234");
        QVERIFY(!m_screen->hasErrorMessage());
        QVERIFY(m_screen->isLoggedIn());
        QCOMPARE(m_screen->bioText(), QString("每天读一点"));
        QCOMPARE(m_screen->displayBio(), QString("每天读一点"));

        // A rejected signature keeps the old one everywhere.
        m_screen->setBioText(QString(300, QChar('x')));
        QCoro::waitFor(m_screen->saveBioTask());
        QVERIFY(m_screen->hasBioError());
        QVERIFY(!m_screen->bioError().startsWith("操作失败"));
        QCOMPARE(m_screen->displayBio(), QString("每天读一点"));
        m_screen->confirmLogout();
    }

    void takenNameIsRefusedWithServerMessage()
    {
        submit("reader_one", "another1", "other@example.org");
        QVERIFY(m_screen->errorMessage().startsWith("操作失败："));
        QVERIFY(m_screen->errorMessage().size() > QString("操作失败：").size());
        QVERIFY(!m_screen->isLoggedIn());
        QVERIFY(!m_screen->isLoading());
    }

    void demoAccountShowsItsArticlesAndCounts()
    {
        submit("demo", "demo1234");
        QVERIFY2(m_screen->isLoggedIn(), qPrintable(m_screen->errorMessage()));
        QVERIFY(m_screen->hasUserStats());
        const int published = m_screen->statsPublished().toInt();
        const int pending = m_screen->statsPending().toInt();
        QCOMPARE(m_screen->statsTotal().toInt(), published + pending);
        QVERIFY(pending > 0);
        QCOMPARE(m_screen->myArticleCount(), published + pending);
        QCOMPARE(m_screen->articlesHeading(), QString("我的文章 (%1)").arg(published + pending));
        for (const QVariant &row : m_screen->myArticles()) {
            QVERIFY(row.toMap()["id"].toLongLong() > 0);
            QVERIFY(!row.toMap()["title"].toString().isEmpty());
        }
        m_screen->confirmLogout();
    }

    void cleanupTestCase()
    {
        m_screen.reset();
        QVERIFY(m_server.stop());
    }
};

QTEST_GUILESS_MAIN(ProfileServerTest)
#include "tst_profile_server.moc"
