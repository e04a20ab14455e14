// Account tab state against a scripted loopback server (the real server's
// side of each call has its own tests): the submit rule, sign-in and
// registration on the wire, failures, the tab being shown, the signature,
// sign-out, and answers that arrive after the account changed.
#include "ArticleFixtures.h"
#include "ConsoleCapture.h"
#include "DataTable.h"
#include "ServedTest.h"
#include "account/ProfileScreen.h"
#include "core/AuthManager.h"

#include <QCoroTask>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

namespace {
Author alice(const QString &bio) { return Author{7, QStringLiteral("alice"), QStringLiteral("author"), bio}; }

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

    // Every answer the scenario names.
    void serve(const QString &scenario)
    {
        for (const QStringList &route : data::rows(QStringLiteral("app/profile/routes.tsv")).mid(1)) {
            if (route.value(0) == scenario)
                server().on(route.value(1).toUtf8(), route.value(2).toUtf8(),
                            FakeServer::delayed(FakeServer::Response::raw(route.value(3).toInt(), route.value(5).toUtf8()), route.value(4).toInt()));
        }
    }
    std::unique_ptr<Tab> aliceSignedIn()
    {
        serve(QStringLiteral("alice"));
        auto tab = std::make_unique<Tab>(server().baseUrl());
        tab->submit(QStringLiteral("alice"), QStringLiteral("secret"));
        return tab;
    }

private slots:
    // Return submits exactly when the button could be pressed.
    void submitRule_data() { data::table<bool, QString, QString, QString, bool>(QStringLiteral("app/profile-submit.tsv")); }
    void submitRule()
    {
        QFETCH(bool, login);
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(QString, email);
        QFETCH(bool, canSubmit);
        Tab tab(server().baseUrl());
        tab.fill(login, username, password, email);
        QCOMPARE(tab.screen->canSubmit(), canSubmit);
        tab.screen->submitFromKeyboard();
        QCOMPARE(tab.screen->isLoading(), canSubmit);
        QTRY_VERIFY(!tab.screen->isLoading());
        QCOMPARE(server().count(login ? "/api/login" : "/api/register"), canSubmit ? 1 : 0);
    }

    // A failure (the client proves which answers are failures) shows its
    // reason and keeps the inputs; the next submission clears it at once.
    void registrationSignsInAndLoadsStatistics()
    {
        serve(QStringLiteral("newcomer refused"));
        Tab tab(server().baseUrl());
        ProfileScreen *screen = tab.screen.get();
        tab.submit(QStringLiteral(" 新人 "), QStringLiteral("p@ss word"), QStringLiteral("new@example.org"));
        QCOMPARE(screen->errorMessage(), QStringLiteral("操作失败：用户名已存在"));
        QVERIFY(!screen->isLoading() && !screen->showSuccess() && !tab.auth->isLoggedIn() && server().count("/api/me") == 0);
        QCOMPARE((QStringList{screen->username(), screen->password(), screen->email()}), (QStringList{" 新人 ", "p@ss word", "new@example.org"}));
        // The next submission clears the earlier outcome at once.
        serve(QStringLiteral("newcomer"));
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

    // Nothing is read before the tab is shown; showing it restores the stored sign-in and loads.
    void showingTheTabRestoresTheStoredSignIn()
    {
        serve(QStringLiteral("alice stored"));
        Tab tab(server().baseUrl());
        tab.screen->appear(); // nothing stored: nothing sent
        QTest::qWait(100);
        QVERIFY(!tab.screen->isLoggedIn() && server().requests().isEmpty());

        tab.auth->login(QStringLiteral("tok-stored"), alice(QStringLiteral("stored bio")));
        tab.relaunch();
        QCOMPARE((QStringList{tab.screen->displayName(), tab.screen->initial()}), (QStringList{"用户", "?"}));
        tab.screen->appear();
        QTRY_VERIFY(tab.screen->isLoggedIn());
        QCOMPARE((QStringList{tab.screen->displayName(), tab.screen->bioText()}), (QStringList{"alice", "stored bio"}));
        QTRY_COMPARE_WITH_TIMEOUT(tab.screen->myArticleCount(), 3, 10000);
        QCOMPARE(server().requestsTo("/api/me").first().header("Authorization"), QByteArray("Bearer tok-stored"));
    }

    // The server's answer is what counts; a refusal shows its bare reason and keeps the old signature.
    void signatureSave_data() { data::table<int, QByteArray, QString, QString>(QStringLiteral("app/profile-signature.tsv")); }
    void signatureSave()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        QFETCH(QString, error);
        auto tab = aliceSignedIn();
        server().on("POST", "/api/me/bio", FakeServer::Response::raw(status, answer));
        tab->screen->setBioText(QStringLiteral("new words"));
        QCoro::waitFor(tab->screen->saveBioTask());
        QCOMPARE(server().requestsTo("/api/me/bio").value(0).header("Authorization"), QByteArray("Bearer tok-alice"));
        QCOMPARE((QStringList{tab->screen->displayBio(), tab->screen->bioError(), tab->screen->bioText()}),
                 (QStringList{shown, error, "new words"}));
        QCOMPARE(tab->screen->canSaveBio(), shown != QStringLiteral("new words"));
        QCOMPARE(tab->storedBio(), shown);

        // The next attempt clears an old error before it is answered.
        serve(QStringLiteral("signature again"));
        tab->screen->saveBio();
        QVERIFY(!tab->screen->hasBioError());
        QTRY_COMPARE_WITH_TIMEOUT(tab->screen->displayBio(), QStringLiteral("again"), 10000);
    }

    // Sign-out clears the account and keeps the form and the earlier errors (that
    // nothing stays stored is the persistence tests' concern).
    void signOut()
    {
        serve(QStringLiteral("sign-out"));
        Tab tab(server().baseUrl());
        ProfileScreen *screen = tab.screen.get();
        tab.submit(QStringLiteral("alice"), QStringLiteral("typo"));
        screen->setEmail(QStringLiteral("typed@example.org"));
        // Signed in by another path (a stored sign-in); a signature save fails.
        tab.auth->login(QStringLiteral("tok-alice"), alice(QStringLiteral("hello")));
        screen->appear();
        QTRY_COMPARE_WITH_TIMEOUT(screen->myArticleCount(), 3, 10000);
        screen->setBioText(QStringLiteral("x"));
        QCoro::waitFor(screen->saveBioTask());

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
        QCOMPARE((QStringList{screen->username(), screen->password(), screen->email(), screen->errorMessage(), screen->bioError()}),
                 (QStringList{"alice", "typo", "typed@example.org", "操作失败：用户名或密码错误", "签名保存失败"}));
    }

    // A failed reload writes a console line and keeps the lists, unless the
    // server no longer knows the token: then the sign-in ends and is removed.
    void articleReloadFails_data() { data::table<int, QString, bool, QString>(QStringLiteral("app/profile-reload-failures.tsv")); }
    void articleReloadFails()
    {
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(bool, kept);
        auto tab = aliceSignedIn();
        server().on("GET", "/api/me", fixtures::serverError(message, status));
        QSignalSpy articles(tab->screen.get(), &ProfileScreen::articlesChanged);
        ConsoleCapture console;
        QCoro::waitFor(tab->screen->loadMyArticlesTask());
        QCOMPARE(console.release(), QStringList{QStringLiteral("加载我的文章失败：") + message});
        QTEST(tab->screen->errorMessage(), "error");
        QVERIFY(articles.isEmpty() == kept && tab->screen->hasUserStats() == kept && tab->auth->isLoggedIn() == kept);
        QCOMPARE(QSettings(tab->settingsPath(), QSettings::IniFormat).contains(QStringLiteral("authToken")), kept);
    }

    // The answer for an account signed out meanwhile changes nothing. Held as
    // a task, so the test waits for the late answer itself.
    void lateArticlesOfASignedOutAccountAreDropped()
    {
        auto tab = aliceSignedIn();
        serve(QStringLiteral("late articles"));
        auto load = tab->screen->loadMyArticlesTask();
        QTRY_COMPARE_WITH_TIMEOUT(server().count("/api/me"), 2, 10000);
        tab->screen->confirmLogout();
        QSignalSpy articles(tab->screen.get(), &ProfileScreen::articlesChanged);
        QCoro::waitFor(std::move(load));
        QVERIFY(articles.isEmpty() && !tab->screen->hasUserStats());
    }

    void lateAnswersOfAnotherAccountAreDropped()
    {
        auto tab = aliceSignedIn();
        serve(QStringLiteral("late signature"));
        tab->screen->setBioText(QStringLiteral("alice's words"));
        auto save = tab->screen->saveBioTask();
        QTRY_COMPARE_WITH_TIMEOUT(server().count("/api/me/bio"), 1, 10000);
        tab->screen->confirmLogout();
        serve(QStringLiteral("bob"));
        tab->submit(QStringLiteral("bob"), QStringLiteral("pw"));
        QCoro::waitFor(std::move(save));
        QCOMPARE((QStringList{tab->auth->userName(), tab->screen->displayBio(), tab->storedBio()}), (QStringList{"bob", "bob's", "bob's"}));

        // A tab closed before its sign-in is answered signs nobody in.
        serve(QStringLiteral("carol late"));
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
