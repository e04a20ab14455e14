// Account tab state against a scripted loopback server: the form's submit
// rule, sign-in and registration on the wire, restoring from the settings
// file, the signature editor, sign-out, and the failure paths.
#include "AuthManager.h"
#include "FakeServer.h"
#include "ProfileScreen.h"
#include "StdoutCapture.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace papelo;

namespace {

QJsonObject userJson(qint64 id, const QString &name, const QString &role, const QString &bio = QString())
{
    QJsonObject o{{"id", id}, {"username", name}, {"role", role}};
    if (!bio.isNull())
        o.insert("bio", bio);
    return o;
}

QJsonObject articleJson(qint64 id, const QString &title, qint64 views)
{
    return QJsonObject{{"id", id},       {"title", title}, {"date", "2026-01-02 10:00:00"},
                       {"views", views}, {"url", QString("/a/%1").arg(id)}};
}

QJsonObject meJson(const QJsonObject &user, int published, int pending, const QJsonArray &articles)
{
    return QJsonObject{{"user", user},
                       {"stats", QJsonObject{{"total", published + pending}, {"published", published}, {"pending", pending}}},
                       {"articles", articles}};
}

QJsonObject loginJson(const QString &token, const QJsonObject &user)
{
    return QJsonObject{{"token", token}, {"user", user}};
}

QByteArray errorBody(const QString &message)
{
    return QJsonDocument(QJsonObject{{"error", message}}).toJson();
}

QByteArray bioBody(const QString &bio)
{
    return QJsonDocument(QJsonObject{{"ok", true}, {"bio", bio}}).toJson();
}

QStringList sortedKeys(const QJsonObject &o)
{
    QStringList keys = o.keys();
    keys.sort();
    return keys;
}

// One account tab: a fresh AuthManager over a settings file in a temporary
// directory and a screen pointed at the fake server.
struct Fixture {
    QTemporaryDir dir;
    FakeServer server;
    std::unique_ptr<AuthManager> auth;
    std::unique_ptr<ProfileScreen> screen;

    Fixture()
    {
        if (!server.listen())
            qFatal("fake server did not listen");
        relaunch();
    }
    QString settingsPath() const { return dir.filePath("papelo.ini"); }
    // A new process: new sign-in state and screen over the same settings file.
    void relaunch()
    {
        screen.reset();
        auth = std::make_unique<AuthManager>(settingsPath());
        screen = std::make_unique<ProfileScreen>();
        screen->setBaseUrl(server.baseUrl());
        screen->setAuth(auth.get());
    }
    void serveAlice(const QString &bio = "hello")
    {
        server.on("POST", "/api/login", FakeServer::Response::json(loginJson("tok-alice", userJson(7, "alice", "author", bio))));
        server.on("GET", "/api/me",
                  FakeServer::Response::json(meJson(userJson(7, "alice", "author", bio), 2, 1,
                                                    QJsonArray{articleJson(11, "First", 5), articleJson(12, "Second", 9),
                                                               articleJson(13, "Third", 0)})));
    }
    bool signInAlice()
    {
        screen->setUsername("alice");
        screen->setPassword("secret");
        QCoro::waitFor(screen->handleAuthTask());
        return auth->isLoggedIn();
    }
};

} // namespace

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
        f.screen->appear();
        QTRY_COMPARE_WITH_TIMEOUT(f.server.count("/api/me"), 2, 10000);
        f.screen->requestLogout();
        f.screen->confirmLogout();
        QTest::qWait(800);
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
        f.screen->saveBio();
        QTRY_COMPARE_WITH_TIMEOUT(f.server.count("/api/me/bio"), 1, 10000);
        f.screen->confirmLogout();
        f.server.on("POST", "/api/login", FakeServer::Response::json(loginJson("tok-bob", userJson(8, "bob", "user", "bob's"))));
        f.screen->setUsername("bob");
        QCoro::waitFor(f.screen->handleAuthTask());
        QVERIFY(f.auth->isLoggedIn());
        QTest::qWait(800);
        QCOMPARE(f.auth->user()->username, QString("bob"));
        QCOMPARE(f.screen->displayBio(), QString("bob's"));
        AuthManager later(f.settingsPath());
        later.loadFromStorage();
        QCOMPARE(later.user()->bio, std::optional<QString>("bob's"));
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
