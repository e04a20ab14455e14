// Account tab state against a scripted loopback server: the form's submit
// rule, sign-in and registration on the wire, failures, and restoring the
// sign-in when the tab is shown.
#include "ProfileFixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace papelo;
using namespace profiletest;

class ProfileTest : public QObject {
    Q_OBJECT
private slots:
    void submitRuleFollowsModeAndTreatsSpacesAsText()
    {
        ProfileScreen screen;
        QVERIFY(screen.isLoginMode());
        QCOMPARE(screen.submitLabel(), QString("登录"));
        QVERIFY(!screen.canSubmit());
        screen.setUsername("bob");
        QVERIFY(!screen.canSubmit());
        screen.setPassword("pw");
        QVERIFY2(screen.canSubmit(), "login needs no e-mail");

        QSignalSpy formSpy(&screen, &ProfileScreen::formChanged);
        screen.setLoginMode(false);
        QCOMPARE(formSpy.count(), 1);
        QCOMPARE(screen.submitLabel(), QString("注册"));
        QVERIFY2(!screen.canSubmit(), "registering needs an e-mail");
        screen.setEmail(" ");
        QVERIFY2(screen.canSubmit(), "a space is not empty");
        screen.setEmail("");
        screen.setLoginMode(true);
        QVERIFY(screen.canSubmit());

        screen.setUsername("   ");
        screen.setPassword(" ");
        QVERIFY(screen.canSubmit());
        screen.setPassword("");
        QVERIFY(!screen.canSubmit());
    }

    void registrationSignsInAndLoadsStatistics()
    {
        Fixture f;
        f.server.on("POST", "/api/register",
                    FakeServer::Response::json(loginJson("tok-new", userJson(3, "新人", "user", "初来乍到")), 201));
        f.server.on("GET", "/api/me",
                    FakeServer::Response::json(meJson(userJson(3, "新人", "user"), 4, 2,
                                                      QJsonArray{articleJson(21, "草稿一", 17), articleJson(22, "草稿二", 3)})));
        // The screen must not trim or touch what was typed.
        f.screen->setLoginMode(false);
        f.screen->setUsername(" 新人 ");
        f.screen->setEmail("new@example.org");
        f.screen->setPassword("p@ss word");

        QList<QPair<bool, bool>> loadingAndSuccess;
        connect(f.screen.get(), &ProfileScreen::submissionChanged, this,
                [&] { loadingAndSuccess.append({f.screen->isLoading(), f.screen->showSuccess()}); });
        bool articlesBeforeSuccess = false;
        connect(f.screen.get(), &ProfileScreen::articlesChanged, this,
                [&] { articlesBeforeSuccess = !f.screen->showSuccess() && f.screen->isLoading(); });

        f.screen->handleAuth();
        QVERIFY(f.screen->isLoading());
        QVERIFY2(f.screen->canSubmit(), "a running submission does not disable the button");
        QTRY_VERIFY_WITH_TIMEOUT(!f.screen->isLoading(), 10000);

        const auto reg = f.server.requestsTo("/api/register");
        QCOMPARE(reg.size(), 1);
        QCOMPARE(reg[0].method, QByteArray("POST"));
        QVERIFY(reg[0].header("Content-Type").startsWith("application/json"));
        QVERIFY(!reg[0].hasHeader("Authorization"));
        const QJsonObject body = reg[0].jsonBody();
        QCOMPARE(sortedKeys(body), (QStringList{"email", "password", "username"}));
        QCOMPARE(body["username"].toString(), QString(" 新人 "));
        QCOMPARE(body["email"].toString(), QString("new@example.org"));
        QCOMPARE(body["password"].toString(), QString("p@ss word"));
        QCOMPARE(f.server.count("/api/login"), 0);

        const auto me = f.server.requestsTo("/api/me");
        QCOMPARE(me.size(), 1);
        QCOMPARE(me[0].method, QByteArray("GET"));
        QCOMPARE(me[0].header("Authorization"), QByteArray("Bearer tok-new"));

        QVERIFY(f.auth->isLoggedIn());
        QVERIFY(f.screen->isLoggedIn());
        QCOMPARE(*f.auth->token(), QString("tok-new"));
        QCOMPARE(f.screen->displayName(), QString("新人"));
        QCOMPARE(f.screen->initial(), QString("新"));
        QCOMPARE(f.screen->displayRole(), QString("user"));
        QCOMPARE(f.screen->displayBio(), QString("初来乍到"));
        QCOMPARE(f.screen->bioText(), QString("初来乍到"));
        QVERIFY(!f.screen->canSaveBio());
        QVERIFY(f.screen->hasUserStats());
        QCOMPARE(f.screen->statsPublished(), QString("4"));
        QCOMPARE(f.screen->statsPending(), QString("2"));
        QCOMPARE(f.screen->statsTotal(), QString("6"));
        QCOMPARE(f.screen->articlesHeading(), QString("我的文章 (2)"));
        const QVariantList rows = f.screen->myArticles();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].toMap()["id"].toLongLong(), 21);
        QCOMPARE(rows[0].toMap()["title"].toString(), QString("草稿一"));
        QCOMPARE(rows[0].toMap()["views"].toLongLong(), 17);
        QCOMPARE(rows[1].toMap()["id"].toLongLong(), 22);

        // Loading first, success only after the articles arrived, then idle.
        QVERIFY(articlesBeforeSuccess);
        QCOMPARE(loadingAndSuccess.first(), qMakePair(true, false));
        QCOMPARE(loadingAndSuccess.last(), qMakePair(false, true));
        QVERIFY(f.screen->showSuccess());
        QVERIFY(!f.screen->hasErrorMessage());

        // Registration persisted the sign-in for the next launch.
        AuthManager later(f.settingsPath());
        later.loadFromStorage();
        QVERIFY(later.isLoggedIn());
        QCOMPARE(later.user()->username, QString("新人"));
    }

    void failedSubmissionShowsReasonAndKeepsInputs_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        QTest::newRow("wrong password") << 401 << errorBody("用户名或密码错误")
                                        << QString("操作失败：用户名或密码错误");
        QTest::newRow("user name taken") << 409 << errorBody("username taken")
                                         << QString("操作失败：username taken");
        QTest::newRow("2xx without token") << 200 << QJsonDocument(QJsonObject{{"user", userJson(1, "a", "r")}}).toJson()
                                           << QString();
        QTest::newRow("not json") << 200 << QByteArray("<html>oops</html>") << QString();
    }
    void failedSubmissionShowsReasonAndKeepsInputs()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        Fixture f;
        f.server.on("POST", "/api/login", FakeServer::Response::raw(status, body));
        f.screen->setUsername("alice");
        f.screen->setPassword("wrong");
        f.screen->setEmail("kept@example.org");
        QCoro::waitFor(f.screen->handleAuthTask());

        QVERIFY(f.screen->hasErrorMessage());
        if (!expected.isEmpty())
            QCOMPARE(f.screen->errorMessage(), expected);
        QVERIFY(f.screen->errorMessage().startsWith("操作失败："));
        QVERIFY(f.screen->errorMessage().size() > QString("操作失败：").size());
        QVERIFY(!f.screen->isLoading());
        QVERIFY(!f.screen->showSuccess());
        QVERIFY(!f.auth->isLoggedIn());
        QCOMPARE(f.screen->username(), QString("alice"));
        QCOMPARE(f.screen->password(), QString("wrong"));
        QCOMPARE(f.screen->email(), QString("kept@example.org"));
        QCOMPARE(f.server.count("/api/me"), 0);
        AuthManager later(f.settingsPath());
        later.loadFromStorage();
        QVERIFY(!later.isLoggedIn());
    }

    void unreachableServerFailsWithoutSigningIn()
    {
        Fixture f;
        f.screen->setBaseUrl("http://127.0.0.1:1"); // nothing listens there
        f.screen->setUsername("alice");
        f.screen->setPassword("pw");
        QCoro::waitFor(f.screen->handleAuthTask());
        QVERIFY(f.screen->errorMessage().startsWith("操作失败："));
        QVERIFY(!f.screen->isLoading());
        QVERIFY(!f.auth->isLoggedIn());
    }

    void nextSubmissionClearsEarlierOutcome()
    {
        Fixture f;
        f.server.on("POST", "/api/login", FakeServer::Response::raw(401, errorBody("nope")));
        f.screen->setUsername("alice");
        f.screen->setPassword("pw");
        QCoro::waitFor(f.screen->handleAuthTask());
        QCOMPARE(f.screen->errorMessage(), QString("操作失败：nope"));

        f.serveAlice();
        f.server.on("POST", "/api/login",
                    FakeServer::Response{200, QJsonDocument(loginJson("tok-alice", userJson(7, "alice", "author"))).toJson(),
                                         {}, 300});
        f.screen->handleAuth();
        QVERIFY(f.screen->isLoading());
        QVERIFY(!f.screen->hasErrorMessage());
        QVERIFY(!f.screen->showSuccess());
        QTRY_VERIFY_WITH_TIMEOUT(f.screen->showSuccess(), 10000);
        QVERIFY(!f.screen->hasErrorMessage());
    }

    void returnSubmitsOnlyWhatTheButtonWould()
    {
        Fixture f;
        f.serveAlice();
        f.screen->setUsername("alice");
        f.screen->submitFromKeyboard(); // no password yet
        f.screen->setPassword("pw");
        f.screen->setLoginMode(false);
        f.screen->submitFromKeyboard(); // registering without an e-mail
        QVERIFY(!f.screen->isLoading());
        f.screen->setLoginMode(true);
        f.screen->submitFromKeyboard();
        QVERIFY(f.screen->isLoading());
        QTRY_VERIFY_WITH_TIMEOUT(f.screen->showSuccess(), 10000);
        QCOMPARE(f.server.count("/api/login"), 1);
        QCOMPARE(f.server.count("/api/register"), 0);
    }

    void tabShowRestoresStoredSignIn()
    {
        Fixture f;
        {
            AuthManager earlier(f.settingsPath());
            Author user;
            user.id = 7;
            user.username = "alice";
            user.role = "author";
            user.bio = "stored bio";
            earlier.login("tok-stored", user);
        }
        f.relaunch();
        f.serveAlice("stored bio");
        // Nothing is read before the tab comes on screen.
        QVERIFY(!f.screen->isLoggedIn());
        QCOMPARE(f.screen->displayName(), QString("用户"));
        QCOMPARE(f.screen->initial(), QString("?"));
        QCOMPARE(f.server.requests().size(), 0);

        QSignalSpy headerSpy(f.screen.get(), &ProfileScreen::headerChanged);
        f.screen->appear();
        QVERIFY(headerSpy.count() > 0);
        QVERIFY(f.screen->isLoggedIn());
        QCOMPARE(f.screen->displayName(), QString("alice"));
        QCOMPARE(f.screen->bioText(), QString("stored bio"));
        QTRY_COMPARE_WITH_TIMEOUT(f.screen->myArticleCount(), 3, 10000);
        QCOMPARE(f.server.requestsTo("/api/me").first().header("Authorization"), QByteArray("Bearer tok-stored"));
        QCOMPARE(f.server.count("/api/login"), 0);
    }

    void tabShowWhileSignedOutWithNothingStoredSendsNothing()
    {
        Fixture f;
        f.screen->appear();
        QVERIFY(!f.screen->isLoggedIn());
        QCOMPARE(f.screen->bioText(), QString());
        QTest::qWait(100);
        QCOMPARE(f.server.requests().size(), 0);
    }

    void tabShowDropsUnsavedBioAndReloadsArticles()
    {
        Fixture f;
        f.serveAlice("hello");
        QVERIFY(f.signInAlice());
        QCOMPARE(f.server.count("/api/me"), 1);
        f.screen->setBioText("half-typed");
        QVERIFY(f.screen->canSaveBio());

        // The server now has one more article.
        f.server.on("GET", "/api/me",
                    FakeServer::Response::json(meJson(userJson(7, "alice", "author", "hello"), 3, 1,
                                                      QJsonArray{articleJson(11, "First", 5), articleJson(12, "Second", 9),
                                                                 articleJson(13, "Third", 0), articleJson(14, "Fourth", 1)})));
        f.screen->appear();
        QCOMPARE(f.screen->bioText(), QString("hello"));
        QVERIFY(!f.screen->canSaveBio());
        QTRY_COMPARE_WITH_TIMEOUT(f.screen->myArticleCount(), 4, 10000);
        QCOMPARE(f.server.count("/api/me"), 2);
        QCOMPARE(f.screen->statsPublished(), QString("3"));
        QCOMPARE(f.screen->articlesHeading(), QString("我的文章 (4)"));
    }

    void screenGoneBeforeAnswerIsHarmless()
    {
        Fixture f;
        f.server.on("POST", "/api/login",
                    FakeServer::Response{200, QJsonDocument(loginJson("t", userJson(1, "a", "r"))).toJson(), {}, 300});
        f.screen->setUsername("a");
        f.screen->setPassword("b");
        f.screen->handleAuth();
        QTRY_COMPARE_WITH_TIMEOUT(f.server.count("/api/login"), 1, 10000);
        f.screen.reset();
        QTest::qWait(700);
        QVERIFY2(!f.auth->isLoggedIn(), "a closed tab signs nobody in");
    }

    void initialIsFirstGrapheme()
    {
        Fixture f;
        Author user;
        user.username = QString::fromUtf8("e\u0301mile");
        user.role = "r";
        f.auth->setUser(user);
        QCOMPARE(f.screen->initial(), QString::fromUtf8("e\u0301"));
        user.username = QString::fromUtf8("\U0001F600 smile");
        f.auth->setUser(user);
        QCOMPARE(f.screen->initial(), QString::fromUtf8("\U0001F600"));
        user.username.clear();
        f.auth->setUser(user);
        QCOMPARE(f.screen->initial(), QString("?"));
        QCOMPARE(f.screen->displayName(), QString());
    }
};

QTEST_GUILESS_MAIN(ProfileTest)
#include "tst_profile.moc"
