// Account tab state while signed in, against a scripted loopback server:
// the signature editor and its persistence, sign-out, the article load's
// console line, and answers that arrive after the account changed.
#include "ProfileFixture.h"
#include "StdoutCapture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace papelo;
using namespace profiletest;

class ProfileAccountTest : public QObject {
    Q_OBJECT
private slots:
    void signOutClearsAccountButKeepsForm()
    {
        Fixture f;
        f.serveAlice("hello");
        QVERIFY(f.signInAlice());
        f.screen->setEmail("typed@example.org");
        QVERIFY(f.screen->showSuccess());

        f.screen->requestLogout();
        QVERIFY(f.screen->showLogoutConfirm());
        f.screen->cancelLogout();
        QVERIFY(!f.screen->showLogoutConfirm());
        QVERIFY(f.auth->isLoggedIn());
        QCOMPARE(f.screen->myArticleCount(), 3);
        QVERIFY(f.screen->hasUserStats());
        QCOMPARE(f.screen->bioText(), QString("hello"));

        f.screen->requestLogout();
        f.screen->confirmLogout();
        QVERIFY(!f.screen->showLogoutConfirm());
        QVERIFY(!f.auth->isLoggedIn());
        QVERIFY(!f.screen->isLoggedIn());
        QCOMPARE(f.screen->myArticleCount(), 0);
        QVERIFY(!f.screen->hasUserStats());
        QCOMPARE(f.screen->bioText(), QString());
        QCOMPARE(f.screen->username(), QString("alice"));
        QCOMPARE(f.screen->password(), QString("secret"));
        QCOMPARE(f.screen->email(), QString("typed@example.org"));
        QVERIFY(f.screen->isLoginMode());
        QVERIFY2(f.screen->showSuccess(), "the earlier outcome stays until the next submission");
        QVERIFY(!f.screen->hasErrorMessage());

        // Nothing comes back on the next launch.
        f.relaunch();
        f.screen->appear();
        QVERIFY(!f.screen->isLoggedIn());
    }

    void signOutKeepsEarlierErrors()
    {
        Fixture f;
        f.server.on("POST", "/api/login", FakeServer::Response::raw(401, errorBody("用户名或密码错误")));
        f.screen->setUsername("alice");
        f.screen->setPassword("typo");
        QCoro::waitFor(f.screen->handleAuthTask());
        QCOMPARE(f.screen->errorMessage(), QString("操作失败：用户名或密码错误"));

        // Signed in by another path (a stored sign-in); a signature save fails.
        Author user;
        user.id = 7;
        user.username = "alice";
        user.role = "author";
        f.auth->login("tok-alice", user);
        f.server.on("POST", "/api/me/bio", FakeServer::Response::raw(500, errorBody("签名保存失败")));
        f.screen->setBioText("x");
        QCoro::waitFor(f.screen->saveBioTask());
        QCOMPARE(f.screen->bioError(), QString("签名保存失败"));

        f.screen->requestLogout();
        f.screen->confirmLogout();
        QVERIFY(!f.screen->isLoggedIn());
        QCOMPARE(f.screen->errorMessage(), QString("操作失败：用户名或密码错误"));
        QCOMPARE(f.screen->bioError(), QString("签名保存失败"));
        QVERIFY(!f.screen->showSuccess());
        QCOMPARE(f.screen->password(), QString("typo"));
    }

    void bioSaveEnablingRule()
    {
        Fixture f;
        f.serveAlice(QString()); // no bio at all
        QVERIFY(f.signInAlice());
        QVERIFY(!f.auth->user()->bio.has_value());
        QCOMPARE(f.screen->bioText(), QString());
        QVERIFY2(!f.screen->canSaveBio(), "absent bio equals an empty field");
        QVERIFY(!f.screen->showBio());
        f.screen->setBioText("x");
        QVERIFY(f.screen->canSaveBio());
        f.screen->setBioText("");
        QVERIFY(!f.screen->canSaveBio());

        // Signed in without a user record: header falls back, compares with "".
        f.auth->setUser(std::nullopt);
        QVERIFY(f.screen->isLoggedIn());
        QCOMPARE(f.screen->initial(), QString("?"));
        QCOMPARE(f.screen->displayName(), QString("用户"));
        QCOMPARE(f.screen->displayRole(), QString("普通用户"));
        QVERIFY(!f.screen->canSaveBio());
        f.screen->setBioText(" ");
        QVERIFY(f.screen->canSaveBio());
    }

    void bioSaveUpdatesHeaderAndSurvivesRestart()
    {
        Fixture f;
        f.serveAlice("hello");
        QVERIFY(f.signInAlice());
        // The server stores a normalised text; its answer is what counts.
        f.server.on("POST", "/api/me/bio", FakeServer::Response::json(QJsonObject{{"ok", true}, {"bio", "new words"}}));
        f.screen->setBioText("new words");
        QVERIFY(f.screen->canSaveBio());
        QCoro::waitFor(f.screen->saveBioTask());

        const auto sent = f.server.requestsTo("/api/me/bio");
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].method, QByteArray("POST"));
        QCOMPARE(sent[0].header("Authorization"), QByteArray("Bearer tok-alice"));
        QCOMPARE(sortedKeys(sent[0].jsonBody()), QStringList{"bio"});
        QCOMPARE(sent[0].jsonBody()["bio"].toString(), QString("new words"));
        QVERIFY(!f.screen->hasBioError());
        QCOMPARE(f.screen->displayBio(), QString("new words"));
        QVERIFY(f.screen->showBio());
        QVERIFY(!f.screen->canSaveBio());

        // Next visit of the tab re-reads storage: the saved bio stays.
        f.screen->appear();
        QCOMPARE(f.screen->bioText(), QString("new words"));
        // And so after a restart.
        f.relaunch();
        f.screen->appear();
        QVERIFY(f.screen->isLoggedIn());
        QCOMPARE(f.screen->displayBio(), QString("new words"));
        QCOMPARE(f.screen->bioText(), QString("new words"));
        QCOMPARE(*f.auth->token(), QString("tok-alice"));
    }

    void bioSaveTakesServerTextEvenWhenNotOk()
    {
        Fixture f;
        f.serveAlice("hello");
        QVERIFY(f.signInAlice());
        f.server.on("POST", "/api/me/bio", FakeServer::Response::json(QJsonObject{{"ok", false}, {"bio", "kept by server"}}));
        f.screen->setBioText("typed");
        QCoro::waitFor(f.screen->saveBioTask());
        QCOMPARE(f.screen->displayBio(), QString("kept by server"));
        QCOMPARE(f.screen->bioText(), QString("typed"));
        QVERIFY(f.screen->canSaveBio());
    }

    void bioSaveFailureShowsBareReason()
    {
        Fixture f;
        f.serveAlice("hello");
        QVERIFY(f.signInAlice());
        f.server.on("POST", "/api/me/bio", FakeServer::Response::raw(413, errorBody("签名太长")));
        f.screen->setBioText("too long");
        QCoro::waitFor(f.screen->saveBioTask());
        QCOMPARE(f.screen->bioError(), QString("签名太长"));
        QCOMPARE(f.screen->bioText(), QString("too long"));
        QCOMPARE(f.screen->displayBio(), QString("hello"));
        AuthManager later(f.settingsPath());
        later.loadFromStorage();
        QCOMPARE(later.user()->bio, std::optional<QString>("hello"));

        // The next attempt clears the old error before it is answered.
        f.server.on("POST", "/api/me/bio",
                    FakeServer::Response{200, bioBody("too long"), {}, 300});
        f.screen->saveBio();
        QVERIFY(!f.screen->hasBioError());
        QTRY_COMPARE_WITH_TIMEOUT(f.screen->displayBio(), QString("too long"), 10000);
        QVERIFY(!f.screen->hasBioError());
    }

    void withoutTokenNothingIsSent()
    {
        Fixture f;
        f.auth->setLoggedIn(true); // flag without a token: nothing to authorise with
        f.screen->setBioText("words");
        QCoro::waitFor(f.screen->saveBioTask());
        QCoro::waitFor(f.screen->loadMyArticlesTask());
        f.screen->saveBio();
        f.screen->loadMyArticles();
        QTest::qWait(100);
        QCOMPARE(f.server.requests().size(), 0);
        QVERIFY(!f.screen->hasBioError());
        QCOMPARE(f.screen->bioText(), QString("words"));
        QCOMPARE(f.screen->myArticleCount(), 0);
        QVERIFY(!f.screen->hasUserStats());
    }

    void articleLoadFailureWritesConsoleLineAndKeepsLists()
    {
        Fixture f;
        f.serveAlice("hello");
        QVERIFY(f.signInAlice());
        QCOMPARE(f.screen->myArticleCount(), 3);
        f.server.on("GET", "/api/me", FakeServer::Response::raw(500, errorBody("数据库不可用")));
        QSignalSpy articlesSpy(f.screen.get(), &ProfileScreen::articlesChanged);

        QString out;
        {
            StdoutCapture capture;
            QCoro::waitFor(f.screen->loadMyArticlesTask());
            out = capture.text();
        }

        QCOMPARE(out, QString("加载我的文章失败：数据库不可用\n"));
        QCOMPARE(articlesSpy.count(), 0);
        QCOMPARE(f.screen->myArticleCount(), 3);
        QCOMPARE(f.screen->statsTotal(), QString("3"));
        QVERIFY(!f.screen->hasErrorMessage());
    }

    void lateArticlesOfSignedOutAccountAreDropped()
    {
        Fixture f;
        f.serveAlice("hello");
        QVERIFY(f.signInAlice());
        f.server.on("GET", "/api/me",
                    FakeServer::Response{200,
                                         QJsonDocument(meJson(userJson(7, "alice", "author"), 9, 9, QJsonArray{})).toJson(),
                                         {}, 400});
        // Held as a task so the test waits for the late answer itself, not a guess at its arrival.
        auto load = f.screen->loadMyArticlesTask();
        QTRY_COMPARE_WITH_TIMEOUT(f.server.count("/api/me"), 2, 10000);
        f.screen->requestLogout();
        f.screen->confirmLogout();
        QSignalSpy articlesSpy(f.screen.get(), &ProfileScreen::articlesChanged);
        QCoro::waitFor(std::move(load));
        QCOMPARE(f.server.inFlight(), 0);
        QCOMPARE(articlesSpy.count(), 0);
        QVERIFY(!f.screen->hasUserStats());
        QCOMPARE(f.screen->myArticleCount(), 0);
    }

    void lateBioAnswerDoesNotTouchAnotherAccount()
    {
        Fixture f;
        f.serveAlice("hello");
        QVERIFY(f.signInAlice());
        f.server.on("POST", "/api/me/bio", FakeServer::Response{200, bioBody("alice's words"), {}, 400});
        f.screen->setBioText("alice's words");
        auto save = f.screen->saveBioTask();
        QTRY_COMPARE_WITH_TIMEOUT(f.server.count("/api/me/bio"), 1, 10000);
        f.screen->confirmLogout();
        f.server.on("POST", "/api/login", FakeServer::Response::json(loginJson("tok-bob", userJson(8, "bob", "user", "bob's"))));
        f.screen->setUsername("bob");
        QCoro::waitFor(f.screen->handleAuthTask());
        QVERIFY(f.auth->isLoggedIn());
        QCoro::waitFor(std::move(save)); // alice's answer has now been handled
        QCOMPARE(f.server.inFlight(), 0);
        QCOMPARE(f.auth->user()->username, QString("bob"));
        QCOMPARE(f.screen->displayBio(), QString("bob's"));
        AuthManager later(f.settingsPath());
        later.loadFromStorage();
        QCOMPARE(later.user()->bio, std::optional<QString>("bob's"));
    }
};

QTEST_GUILESS_MAIN(ProfileAccountTest)
#include "tst_profile_account.moc"
