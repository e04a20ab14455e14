// Account tab state against a scripted loopback server (the real server's
// side of each call has its own tests): the submit rule, sign-in and
// registration on the wire, failures, the tab being shown, the signature,
// sign-out, and answers that arrive after the account changed.
#include "ConsoleCapture.h"
#include "ArticleFixtures.h"
#include "ServedTest.h"
#include "account/ProfileScreen.h"
#include "core/APIClient.h"
#include "core/AuthManager.h"
#include "core/Envelopes.h"

#include <QCoroTask>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

namespace {
Author user(qint64 id, const QString &name, std::optional<QString> bio = std::nullopt) { return Author{id, name, QStringLiteral("author"), bio}; }
FakeServer::Response me(const Author &who, qint64 published, qint64 pending, const QList<Article> &articles, int ms = 0)
{
    return FakeServer::delayed(fixtures::reply(MeResponse{who, UserStats{published + pending, published, pending}, articles}), ms);
}

FakeServer::Response signedIn(const QString &token, const Author &who, int ms = 0) { return FakeServer::delayed(fixtures::reply(LoginResponse{token, who}), ms); }
FakeServer::Response bioSaved(bool ok, const QString &bio, int ms = 0) { return FakeServer::delayed(fixtures::reply(BioResponse{ok, bio}), ms); }

struct Form {
    bool login;
    QString username, password, email;
    bool canSubmit;
};

// One account tab over a settings file of its own; relaunch() is a new process.
struct Tab {
    explicit Tab(QString url) : baseUrl(std::move(url)) { relaunch(); }
    QString settingsPath() const { return dir.filePath(QStringLiteral("papelo.ini")); }
    void relaunch()
    {
        screen.reset();
        auth = std::make_unique<AuthManager>(settingsPath());
        auth->setServer(baseUrl);
        screen = std::make_unique<ProfileScreen>();
        screen->setBaseUrl(baseUrl);
        screen->setAuth(auth.get());
    }
    void fill(bool login, const QString &name, const QString &password, const QString &email)
    {
        screen->setLoginMode(login);
        screen->setUsername(name);
        screen->setPassword(password);
        screen->setEmail(email);
    }
    void submit(const QString &name, const QString &password, const QString &email = {})
    {
        fill(email.isEmpty(), name, password, email);
        QCoro::waitFor(screen->handleAuthTask());
    }
    QString storedBio() const
    {
        AuthManager later(settingsPath());
        later.setServer(baseUrl);
        later.loadFromStorage();
        return QTest::qWaitFor([&] { return later.isLoggedIn(); }, 3000) ? later.userBio() : QStringLiteral("<signed out>");
    }

    QTemporaryDir dir;
    QString baseUrl;
    std::unique_ptr<AuthManager> auth;
    std::unique_ptr<ProfileScreen> screen;
};
} // namespace

class ProfileTest : public ServedTest {
    Q_OBJECT

    // alice signs in with token tok-alice and owns three articles.
    void serveAlice(const QString &bio = QStringLiteral("hello"))
    {
        server().on("POST", "/api/login", signedIn(QStringLiteral("tok-alice"), user(7, QStringLiteral("alice"), bio)));
        server().on("GET", "/api/me", me(user(7, QStringLiteral("alice"), bio), 2, 1, fixtures::articles(11, 3)));
    }
    std::unique_ptr<Tab> aliceSignedIn(const QString &bio = QStringLiteral("hello"))
    {
        serveAlice(bio);
        auto tab = std::make_unique<Tab>(server().baseUrl());
        tab->submit(QStringLiteral("alice"), QStringLiteral("secret"));
        return tab;
    }

private slots:
    // Return submits exactly when the button could be pressed.
    void submitRule_data()
    {
        QTest::addColumn<Form>("form");
        QTest::newRow("nothing typed") << Form{true, "", "", "", false};
        QTest::newRow("no password") << Form{true, "bob", "", "", false};
        QTest::newRow("signing in needs no e-mail") << Form{true, "bob", "pw", "", true};
        QTest::newRow("registering needs an e-mail") << Form{false, "bob", "pw", "", false};
        QTest::newRow("a space is text") << Form{false, "bob", "pw", " ", true};
        QTest::newRow("spaces only") << Form{true, "   ", " ", "", true};
    }
    void submitRule()
    {
        QFETCH(Form, form);
        Tab tab(server().baseUrl());
        tab.fill(form.login, form.username, form.password, form.email);
        QCOMPARE(tab.screen->canSubmit(), form.canSubmit);
        tab.screen->submitFromKeyboard();
        QCOMPARE(tab.screen->isLoading(), form.canSubmit);
        QTRY_VERIFY(!tab.screen->isLoading());
        QCOMPARE(server().count(form.login ? "/api/login" : "/api/register"), form.canSubmit ? 1 : 0);
    }

    void registrationSignsInAndLoadsStatistics()
    {
        server().on("POST", "/api/register", fixtures::serverError("taken", 409));
        server().on("GET", "/api/me", me(user(3, QStringLiteral("新人")), 4, 2, fixtures::articles(21, 2)));
        Tab tab(server().baseUrl());
        ProfileScreen *screen = tab.screen.get();
        tab.fill(false, QStringLiteral(" 新人 "), QStringLiteral("p@ss word"), QStringLiteral("new@example.org"));
        QCoro::waitFor(screen->handleAuthTask());
        QVERIFY(screen->hasErrorMessage());
        // The next submission clears the earlier outcome at once.
        server().on("POST", "/api/register", signedIn(QStringLiteral("tok-new"), user(3, QStringLiteral("新人"), QStringLiteral("初来乍到"))));
        QList<QPair<bool, bool>> loadingAndSuccess;
        connect(screen, &ProfileScreen::submissionChanged, this, [&] { loadingAndSuccess.append({screen->isLoading(), screen->showSuccess()}); });
        bool articlesBeforeSuccess = false;
        connect(screen, &ProfileScreen::articlesChanged, this, [&] { articlesBeforeSuccess = screen->isLoading() && !screen->showSuccess(); });
        screen->handleAuth();
        QVERIFY(screen->isLoading() && !screen->hasErrorMessage());
        QVERIFY2(screen->canSubmit(), "a running submission does not disable the button");
        QTRY_VERIFY_WITH_TIMEOUT(!screen->isLoading(), 10000);

        // What was typed is sent untouched; the new token reads the own page.
        QCOMPARE(server().requestsTo("/api/register").value(1).jsonBody(),
                 (QJsonObject{{"username", " 新人 "}, {"email", "new@example.org"}, {"password", "p@ss word"}}));
        QCOMPARE(server().requestsTo("/api/me").value(0).header("Authorization"), QByteArray("Bearer tok-new"));

        QVERIFY(screen->isLoggedIn() && !screen->canSaveBio() && !screen->hasErrorMessage());
        QCOMPARE(tab.auth->token().value_or(QString()), QStringLiteral("tok-new"));
        QCOMPARE((QStringList{screen->displayName(), screen->initial(), screen->displayRole(), screen->displayBio(), screen->bioText(),
                              screen->statsPublished(), screen->statsPending(), screen->statsTotal(), screen->articlesHeading()}),
                 (QStringList{"新人", "新", "author", "初来乍到", "初来乍到", "4", "2", "6", "我的文章 (2)"}));
        QCOMPARE(screen->myArticles(), (QVariantList{QVariantMap{{"id", qint64(21)}, {"title", QStringLiteral("文章 21")}, {"views", qint64(210)}},
                                                    QVariantMap{{"id", qint64(22)}, {"title", QStringLiteral("文章 22")}, {"views", qint64(220)}}}));
        // Loading first, success only after the articles arrived.
        QVERIFY(articlesBeforeSuccess);
        QCOMPARE(loadingAndSuccess.first(), qMakePair(true, false));
        QCOMPARE(loadingAndSuccess.last(), qMakePair(false, true));
    }

    // Any failure (the client proves which answers are failures) shows its reason and keeps the inputs.
    void failedSubmissionShowsReasonAndKeepsInputs()
    {
        server().on("POST", "/api/login", fixtures::serverError("用户名或密码错误", 401));
        Tab tab(server().baseUrl());
        tab.fill(true, QStringLiteral("alice"), QStringLiteral("wrong"), QStringLiteral("kept@example.org"));
        QCoro::waitFor(tab.screen->handleAuthTask());
        QCOMPARE(tab.screen->errorMessage(), QStringLiteral("操作失败：用户名或密码错误"));
        QVERIFY(!tab.screen->isLoading() && !tab.screen->showSuccess() && !tab.auth->isLoggedIn());
        QCOMPARE((QStringList{tab.screen->username(), tab.screen->password(), tab.screen->email()}),
                 (QStringList{"alice", "wrong", "kept@example.org"}));
        QCOMPARE(server().count("/api/me"), 0);
    }

    // Nothing is read before the tab is shown; showing it restores the stored sign-in and loads.
    void showingTheTabRestoresTheStoredSignIn()
    {
        serveAlice(QStringLiteral("stored bio"));
        Tab tab(server().baseUrl());
        tab.screen->appear(); // nothing stored: nothing sent
        QTest::qWait(100);
        QVERIFY(!tab.screen->isLoggedIn() && server().requests().isEmpty());

        tab.auth->login(QStringLiteral("tok-stored"), user(7, QStringLiteral("alice"), QStringLiteral("stored bio")));
        tab.relaunch();
        QCOMPARE((QStringList{tab.screen->displayName(), tab.screen->initial()}), (QStringList{"用户", "?"}));
        tab.screen->appear();
        QTRY_VERIFY(tab.screen->isLoggedIn());
        QCOMPARE((QStringList{tab.screen->displayName(), tab.screen->bioText()}), (QStringList{"alice", "stored bio"}));
        QTRY_COMPARE_WITH_TIMEOUT(tab.screen->myArticleCount(), 3, 10000);
        QCOMPARE(server().requestsTo("/api/me").first().header("Authorization"), QByteArray("Bearer tok-stored"));

        // Shown again: an unsaved signature edit goes, the articles are read afresh.
        tab.screen->setBioText(QStringLiteral("half-typed"));
        server().on("GET", "/api/me", me(user(7, QStringLiteral("alice"), QStringLiteral("stored bio")), 3, 1, fixtures::articles(11, 4)));
        tab.screen->appear();
        QTRY_VERIFY(tab.screen->bioText() == QStringLiteral("stored bio") && !tab.screen->canSaveBio());
        QTRY_COMPARE_WITH_TIMEOUT(tab.screen->articlesHeading(), QStringLiteral("我的文章 (4)"), 10000);
    }

    // The server's answer is what counts; a refusal shows its bare reason and keeps the old signature.
    void signatureSave_data()
    {
        QTest::addColumn<FakeServer::Response>("answer");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("error");
        QTest::newRow("saved") << bioSaved(true, "new words") << "new words" << "";
        QTest::newRow("not ok, the server's text still counts") << bioSaved(false, "kept by server") << "kept by server" << "";
        QTest::newRow("refused") << fixtures::serverError("签名太长", 413) << "hello" << "签名太长";
    }
    void signatureSave()
    {
        QFETCH(FakeServer::Response, answer);
        QFETCH(QString, shown);
        QFETCH(QString, error);
        auto tab = aliceSignedIn();
        server().on("POST", "/api/me/bio", answer);
        tab->screen->setBioText(QStringLiteral("new words"));
        QCoro::waitFor(tab->screen->saveBioTask());
        QCOMPARE(server().requestsTo("/api/me/bio").value(0).header("Authorization"), QByteArray("Bearer tok-alice"));
        QCOMPARE((QStringList{tab->screen->displayBio(), tab->screen->bioError(), tab->screen->bioText()}),
                 (QStringList{shown, error, "new words"}));
        QCOMPARE(tab->screen->canSaveBio(), shown != QStringLiteral("new words"));
        QCOMPARE(tab->storedBio(), shown);

        // The next attempt clears an old error before it is answered.
        server().on("POST", "/api/me/bio", bioSaved(true, QStringLiteral("again"), 300));
        tab->screen->saveBio();
        QVERIFY(!tab->screen->hasBioError());
        QTRY_COMPARE_WITH_TIMEOUT(tab->screen->displayBio(), QStringLiteral("again"), 10000);
    }

    // Sign-out clears the account and keeps the form and the earlier errors (that
    // nothing stays stored is the persistence tests' concern).
    void signOut()
    {
        serveAlice();
        server().on("POST", "/api/login", fixtures::serverError("用户名或密码错误", 401));
        server().on("POST", "/api/me/bio", fixtures::serverError("签名保存失败", 500));
        Tab tab(server().baseUrl());
        ProfileScreen *screen = tab.screen.get();
        tab.submit(QStringLiteral("alice"), QStringLiteral("typo"));
        screen->setEmail(QStringLiteral("typed@example.org"));
        // Signed in by another path (a stored sign-in); a signature save fails.
        tab.auth->login(QStringLiteral("tok-alice"), user(7, QStringLiteral("alice"), QStringLiteral("hello")));
        screen->appear();
        QTRY_COMPARE_WITH_TIMEOUT(screen->myArticleCount(), 3, 10000);
        screen->setBioText(QStringLiteral("x"));
        QCoro::waitFor(screen->saveBioTask());

        server().on("POST", "/api/logout", fixtures::serverError("注销失败", 500));
        screen->requestLogout();
        ConsoleCapture console;
        screen->confirmLogout();
        QVERIFY(!screen->showLogoutConfirm() && !tab.auth->isLoggedIn() && !screen->isLoggedIn());
        // The issuing server is asked to revoke the token; its refusal keeps nobody signed in.
        QTRY_COMPARE(server().count("/api/logout"), 1);
        QCOMPARE(server().requestsTo("/api/logout").constFirst().header("Authorization"), QByteArray("Bearer tok-alice"));
        QTRY_VERIFY(!console.lines().isEmpty());
        QCOMPARE(console.release(), QStringList{QStringLiteral("退出登录时未能注销服务器上的登录状态：注销失败")});
        QVERIFY(screen->myArticleCount() == 0 && !screen->hasUserStats() && screen->bioText().isEmpty());
        QVERIFY(screen->isLoginMode());
        QCOMPARE((QStringList{screen->username(), screen->password(), screen->email(), screen->errorMessage(), screen->bioError()}),
                 (QStringList{"alice", "typo", "typed@example.org", "操作失败：用户名或密码错误", "签名保存失败"}));
    }

    // A failed reload writes a console line and keeps the lists; the answer
    // for an account signed out meanwhile changes nothing. Held as tasks, so
    // the tests here wait for the late answers themselves.
    void articleReloads()
    {
        auto tab = aliceSignedIn();
        server().on("GET", "/api/me", fixtures::serverError("数据库不可用", 500));
        QSignalSpy articles(tab->screen.get(), &ProfileScreen::articlesChanged);
        ConsoleCapture console;
        QCoro::waitFor(tab->screen->loadMyArticlesTask());
        QCOMPARE(console.release(), QStringList{QStringLiteral("加载我的文章失败：数据库不可用")});
        QVERIFY(articles.isEmpty() && !tab->screen->hasErrorMessage() && tab->auth->isLoggedIn());
        QCOMPARE(tab->screen->statsTotal(), QStringLiteral("3"));

        server().on("GET", "/api/me", me(user(7, QStringLiteral("alice")), 9, 9, {}, 400));
        auto load = tab->screen->loadMyArticlesTask();
        QTRY_COMPARE_WITH_TIMEOUT(server().count("/api/me"), 3, 10000);
        tab->screen->confirmLogout();
        articles.clear();
        QCoro::waitFor(std::move(load));
        QVERIFY(articles.isEmpty() && !tab->screen->hasUserStats());
    }

    // The server no longer knows the token: the sign-in ends and is removed.
    void refusedTokenSignsOut()
    {
        auto tab = aliceSignedIn();
        server().on("GET", "/api/me", fixtures::serverError("登录已过期", 401));
        ConsoleCapture console;
        QCoro::waitFor(tab->screen->loadMyArticlesTask());
        console.release();
        QVERIFY(!tab->auth->isLoggedIn() && !tab->screen->hasUserStats() && tab->screen->hasErrorMessage());
        QVERIFY(!QSettings(tab->settingsPath(), QSettings::IniFormat).contains(QStringLiteral("authToken")));
    }

    void lateAnswersOfAnotherAccountAreDropped()
    {
        auto tab = aliceSignedIn();
        server().on("POST", "/api/me/bio", bioSaved(true, QStringLiteral("alice's words"), 400));
        tab->screen->setBioText(QStringLiteral("alice's words"));
        auto save = tab->screen->saveBioTask();
        QTRY_COMPARE_WITH_TIMEOUT(server().count("/api/me/bio"), 1, 10000);
        tab->screen->confirmLogout();
        server().on("POST", "/api/login", signedIn(QStringLiteral("tok-bob"), user(8, QStringLiteral("bob"), QStringLiteral("bob's"))));
        tab->submit(QStringLiteral("bob"), QStringLiteral("pw"));
        QVERIFY(tab->auth->isLoggedIn());
        QCoro::waitFor(std::move(save));
        QCOMPARE((QStringList{tab->auth->userName(), tab->screen->displayBio(), tab->storedBio()}), (QStringList{"bob", "bob's", "bob's"}));

        // A tab closed before its sign-in is answered signs nobody in.
        server().on("POST", "/api/login", signedIn(QStringLiteral("t"), user(1, QStringLiteral("carol")), 300));
        tab->screen->handleAuth();
        QTRY_COMPARE_WITH_TIMEOUT(server().count("/api/login"), 2, 10000);
        tab->screen.reset();
        QTRY_COMPARE_WITH_TIMEOUT(server().inFlight(), 0, 5000);
        QTest::qWait(200);
        QCOMPARE(tab->auth->userName(), QStringLiteral("bob"));
    }
};

QTEST_GUILESS_MAIN(ProfileTest)
#include "tst_profile.moc"
