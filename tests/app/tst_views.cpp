// Each screen's view on a tab's stack against the fake server: wired to its
// state object (the states themselves are tested in C++), driven by keyboard
// and taps, server text shown as text, and any QML warning a failure.
#include "ArticleFixtures.h"
#include "BodyPage.h"
#include "DataTable.h"
#include "QmlHarness.h"
#include "account/ProfileScreen.h"
#include "core/AuthManager.h"
#include "core/ServerConfig.h"
#include "reading/ArticleDetailScreen.h"

#include <QFontMetricsF>
#include <QPointer>
#include <QtTest>

using namespace papelo;
using namespace qmltest;

namespace {
// A label draws its text as typed: its natural width is that of the raw
// characters. Markup taken as rich text would shrink it to the visible words.
bool drawnLiterally(QQuickItem *label)
{
    const QFontMetricsF metrics(label ? label->property("font").value<QFont>() : QFont());
    return label && std::abs(label->implicitWidth() - metrics.horizontalAdvance(label->property("text").toString())) < 2.0;
}

QList<int> distinct(const QList<QQuickItem *> &items, bool xAxis)
{
    QList<int> values;
    for (QQuickItem *i : items)
        values << qRound(xAxis ? i->mapToScene(QPointF()).x() : i->mapToScene(QPointF()).y());
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

bool inSearchField(QQuickWindow &window) { return window.activeFocusItem() && window.activeFocusItem()->inherits("QQuickTextInput"); }
} // namespace

class ViewsTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    FakeServer m_server;
    QList<Article> m_list = fixtures::withCounts(fixtures::articles(1, 8), 3, 1);
    FakeServer::Response m_stats = fixtures::stats(128);

private slots:
    void initTestCase()
    {
        collectWarnings();
        QVERIFY(m_server.listen());
        ServerConfig::setBaseUrl(m_server.baseUrl());
        m_server.on("GET", "/api/stats", [this](const FakeServer::Request &) { return m_stats; });
        m_server.on("GET", "/api/articles", [this](const FakeServer::Request &) { return fixtures::page(m_list); });
        for (const QStringList &route : data::rows(QStringLiteral("app/views/routes.tsv")).mid(1))
            m_server.on(route.value(1).toUtf8(), route.value(0).toUtf8(),
                        FakeServer::delayed(FakeServer::Response::raw(route.value(2).toInt(), data::bytes("app/views/" + route.value(4))), route.value(3).toInt()));
    }
    void cleanup()
    {
        QCOMPARE(m_server.count("/leak.png"), 0);
        QVERIFY_NO_WARNINGS();
    }

    // Titles, names, tags and server messages are data, not markup: shown
    // character for character, and an image tag in them fetches nothing.
    // Then the home view from the keyboard.
    void homeView()
    {
        const QString leak = QStringLiteral("<img src=\"%1/leak.png\">").arg(m_server.baseUrl());
        m_list[0].title = QStringLiteral("<b>粗</b>") + leak;
        m_list[0].author = QStringLiteral("<i>斜体</i>");
        const QString failure = QStringLiteral("加载失败：<b>统计</b>坏了") + leak;
        m_stats = FakeServer::Response::json(QJsonObject{{"error", failure.mid(5)}}, 500);
        Host host(QSize(1200, 1100));
        host.push(QStringLiteral("HomeView"));
        QTRY_VERIFY_WITH_TIMEOUT(drawnLiterally(withText(host.root(), failure)), 10000);
        QVERIFY(ofType(host.root(), "ArticleCard").isEmpty());

        // Retry: the skeleton replaces the error view while it runs.
        m_stats = fixtures::stats(128, 400);
        click(host.window, withText(host.root(), QStringLiteral("重试")));
        QTRY_VERIFY_WITH_TIMEOUT(!ofType(host.root(), "SkeletonGrid").isEmpty(), 10000);
        QVERIFY(!withText(host.root(), QStringLiteral("重试")));
        QTRY_VERIFY_WITH_TIMEOUT(ofType(host.root(), "ArticleCard").size() == 8 && ofType(host.root(), "SkeletonGrid").isEmpty(), 10000);
        // The cards come in one after another: the last is still on its way.
        QVERIFY(ofType(host.root(), "StaggerAppear").last()->property("progress").toReal() < 1.0);
        for (const QString &text : {m_list[0].title, QStringLiteral("<i>斜体</i>"), QStringLiteral("<u>下划线</u>")})
            QVERIFY2(drawnLiterally(withText(host.root(), text)), qPrintable(text));
        for (const char *text : {"128 篇文章", "文章 8", "全部", "Qt"})
            QVERIFY2(withText(host.root(), QString::fromUtf8(text)), text);

        // Three columns in a lane of at most 1100 centred in the width less 2 x 16.
        const auto cards = ofType(host.root(), "ArticleCard");
        QTRY_COMPARE(distinct(cards, true), (QList<int>{50, 50 + 356 + 16, 50 + 2 * (356 + 16)}));
        QTRY_COMPARE(distinct(cards, false), (QList<int>{distinct(cards, false).value(0), distinct(cards, false).value(0) + 248,
                                                         distinct(cards, false).value(0) + 2 * 248})); // rows of 232 and 16 between
        QCOMPARE(qRound(cards.first()->width()), 356);

        // The menu's refresh command reaches the screen.
        auto *screen = host.state();
        const int loads = m_server.count("/api/articles");
        App::shared()->commands()->postRefreshArticles();
        QTRY_VERIFY_WITH_TIMEOUT(m_server.count("/api/articles") == loads + 1 && !screen->property("isLoading").toBool(), 10000);

        // From the last chip (the whole order: tst_accessibility) Tab reaches the cards.
        QPointer<QQuickItem> cppChip = findItem(host.page(), [](QQuickItem *i) { return i->property("modelData").toMap().value("title") == "C++"; });
        findItem(host.page(), [](QQuickItem *i) { return i->property("modelData").toMap().value("title") == "<u>下划线</u>"; })->forceActiveFocus();
        QTest::keyClick(&host.window, Qt::Key_Tab);
        // Arrows move between the cards; Return opens one.
        QTest::keyClick(&host.window, Qt::Key_Right);
        QTest::keyClick(&host.window, Qt::Key_Down);
        QTest::keyClick(&host.window, Qt::Key_Return);
        QTRY_VERIFY(host.depth() == 2 && host.page()->property("articleId") == 5);
        host.back();
        QTRY_VERIFY(host.depth() == 1 && !host.stack->property("stack").value<QObject *>()->property("busy").toBool());
        QTRY_VERIFY_WITH_TIMEOUT(!screen->property("isLoading").toBool(), 10000); // the reload on coming back

        // With text in the field, Tab reaches its clear button; Space clears and hands the focus back.
        QTest::keyClick(&host.window, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(inSearchField(host.window));
        QTest::keyClick(&host.window, Qt::Key_X);
        QTest::keyClick(&host.window, Qt::Key_Tab);
        QTest::keyClick(&host.window, Qt::Key_Space);
        QVERIFY(screen->property("searchText").toString().isEmpty() && inSearchField(host.window));
        QTRY_VERIFY_WITH_TIMEOUT(!screen->property("isLoading").toBool(), 10000);

        // A chip chosen from the keyboard (Return, as Space) loads its tag by id, stays, keeps the focus and opens nothing.
        cppChip->forceActiveFocus(Qt::TabFocusReason);
        QTest::keyClick(&host.window, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestsTo("/api/articles").last().queryItem("tag"), QStringLiteral("12"), 10000);
        QVERIFY2(cppChip, "the chip was rebuilt");
        QVERIFY(host.window.activeFocusItem() == cppChip && cppChip->property("selected").toBool() && host.depth() == 1);
    }

    // Empty sections are left out; a tap opens the card; coming back loads again.
    void discoverView()
    {
        Host host;
        host.push(QStringLiteral("DiscoverView"));
        QTRY_COMPARE_WITH_TIMEOUT(ofType(host.root(), "ArticleCard").size(), 8, 10000);
        QCOMPARE(m_server.count("/api/articles/hot"), 1);
        QVERIFY(withText(host.root(), QStringLiteral("热门文章")) && withText(host.root(), QStringLiteral("随机推荐")));
        QVERIFY(!withText(host.root(), QStringLiteral("最新发布")));
        QCOMPARE(distinct(ofType(host.root(), "ArticleCard"), true).size(), 3);
        click(host.window, withText(host.root(), QStringLiteral("文章 82")));
        QTRY_COMPARE(host.depth(), 2);
        QCOMPARE(host.page()->property("articleId").toLongLong(), 82);
        host.back();
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/articles/hot"), 2, 10000);
    }
    // Wired to their screens, server text as text, the find bar, a comment sent
    // with Return, the author link there and back.
    void articleAndAuthorViews()
    {
        Host host(QSize(1000, 800));
        QQuickItem *page = host.push(QStringLiteral("ArticleDetailView"), {{"articleId", 7}});
        auto *article = host.state<ArticleDetailScreen>();
        QTRY_VERIFY_WITH_TIMEOUT(article->mainBlock() == QStringLiteral("article") && !article->webViewLoading(), 20000);
        for (const char *text : {"<b>不是粗体</b>", "<img src=x>第一条", "#随笔", "评论 2"})
            QVERIFY2(withText(page, QString::fromUtf8(text)), text);

        // The find bar: typing finds in the body and the comments (Esc: tst_accessibility).
        QVERIFY(QMetaObject::invokeMethod(page, "openFind"));
        QTRY_VERIFY(inSearchField(host.window));
        const auto type = [&](const QString &text) {  // as an input method commits it
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QGuiApplication::sendEvent(host.window.activeFocusItem(), &commit);
        };
        type(QStringLiteral("段落"));
        QTRY_COMPARE_WITH_TIMEOUT(named(page, QStringLiteral("findStatus"))->property("text").toString(), QStringLiteral("第 1 / 1 处"), 10000);
        QVERIFY(QMetaObject::invokeMethod(page, "openFind"));  // again: the field's text selected, replaced by typing
        type(article->comments()->rows().value(0).comment.content);
        QTRY_COMPARE_WITH_TIMEOUT(ofType(page, "CommentSection").value(0)->property("findRow").toInt(), 0, 10000);
        QCOMPARE(named(page, QStringLiteral("findStatus"))->property("text").toString(), QStringLiteral("第 1 / 1 处"));

        // Typing and Return in the comment field send one comment (a second send while posting: tst_articledetail).
        QQuickItem *field = findItem(page, [](QQuickItem *i) { return i->property("placeholderText") == QStringLiteral("说点什么..."); });
        field->forceActiveFocus();
        for (char c : QByteArray("hello"))
            QTest::keyClick(&host.window, c);
        QTRY_COMPARE(article->newComment(), QStringLiteral("hello"));
        QTest::keyClick(&host.window, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!article->isPosting() && field->property("text").toString().isEmpty(), 10000);
        QCOMPARE(m_server.requestsTo("/api/comment").size(), 1);

        // The author's name opens the author page; coming back loads the article again.
        click(host.window, withText(page, QStringLiteral("江一帆")));
        QTRY_VERIFY_WITH_TIMEOUT(host.page() != page, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(withText(host.page(), QStringLiteral("暂无文章")) && withText(host.page(), QStringLiteral("写字的人")), 10000);
        QVERIFY_ALL_NAMED(host.page());
        host.back();
        QTRY_VERIFY_WITH_TIMEOUT(host.page() == page && m_server.count("/api/article/7") == 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(article->mainBlock(), QStringLiteral("article"), 10000);
    }
    // A failing comment list leaves the article; its retry in the section
    // loads the list. Then the picture viewer over the next article page: a
    // click on a body picture opens it, its keys come first (Esc closes it and
    // leaves the page alone), its controls are named, and the keyboard is back
    // in the body.
    void commentRetryThenPictureViewer()
    {
        m_server.on("GET", "/api/comments", FakeServer::Response::json(QJsonObject{{"error", QStringLiteral("评论服务不可用")}}, 500));
        Host host(QSize(1000, 800));
        QQuickItem *first = host.push(QStringLiteral("ArticleDetailView"), {{"articleId", 8}});
        QTRY_VERIFY_WITH_TIMEOUT(withText(first, QStringLiteral("评论加载失败：评论服务不可用")), 20000);
        // From the keyboard: while it runs the message is away (to be read out again) and the button keeps the
        // focus; once the list is there the focus goes on to its first comment.
        QQuickItem *retry = named(first, QStringLiteral("commentsRetry"));
        retry->forceActiveFocus(Qt::TabFocusReason);
        m_server.on("GET", "/api/comments", FakeServer::stalled());
        QTest::keyClick(&host.window, Qt::Key_Space);
        QTRY_VERIFY(!withText(first, QStringLiteral("评论加载失败：评论服务不可用")));
        QVERIFY(retry->hasActiveFocus());
        m_server.on("GET", "/api/comments", fixtures::replyList(QList<Comment>{fixtures::comment(3)}));
        QTest::keyClick(&host.window, Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(withText(first, QStringLiteral("评论 1")), 10000);
        QTRY_COMPARE(QAccessible::queryAccessibleInterface(host.window.activeFocusItem())->text(QAccessible::Name), QStringLiteral("赞 访客的评论，0"));

        const QByteArray bytes = bodypage::pngBytes(Qt::darkCyan, QSize(300, 200));
        m_server.on("GET", "/one.png", FakeServer::Response::raw(200, bytes, "image/png"));
        // The second picture fails in the viewer (the body's own request is the first).
        m_server.on("GET", "/two.png", [bytes, n = 0](const FakeServer::Request &) mutable { return FakeServer::Response::raw(n++ ? 404 : 200, bytes, "image/png"); });
        ArticleDetail article = fixtures::detail(9);
        article.body = QStringLiteral("<img src='%1/one.png' alt='第一张'><img src='%1/two.png'>").arg(m_server.baseUrl());
        m_server.on("GET", "/api/article/9", fixtures::reply(article));
        QQuickItem *page = host.push(QStringLiteral("ArticleDetailView"), {{"articleId", 9}});
        QTRY_VERIFY_WITH_TIMEOUT(!host.state<ArticleDetailScreen>()->webViewLoading() && m_server.count("/two.png") == 1, 20000);
        QQuickItem *body = ofType(page, "ArticleBody").value(0);
        QVERIFY(body);
        clickAt(host.window, body, QPointF(body->width() / 2, 16 + 8 + 100));
        QPointer<QObject> popup;  // goes with the page, should the page go
        QTRY_VERIFY_WITH_TIMEOUT((popup = body->property("pictureViewer").value<QObject *>()) && popup->property("opened").toBool(), 10000);
        QObject *viewer = popup->property("viewer").value<QObject *>();
        QTRY_COMPARE_WITH_TIMEOUT(viewer->property("status").toInt(), 2, 10000);  // shown: the first
        QTest::keyClick(&host.window, Qt::Key_Right);
        QTRY_COMPARE_WITH_TIMEOUT(viewer->property("status").toInt(), 3, 10000);  // the second failed, and read out
        QQuickItem *error = withText(popup->property("contentItem").value<QQuickItem *>(), viewer->property("errorText").toString());
        QCOMPARE(QAccessible::queryAccessibleInterface(error)->role(), QAccessible::Notification);
        QTest::keyClick(&host.window, Qt::Key_Escape);
        QTRY_VERIFY(popup && !popup->property("opened").toBool());
        QCOMPARE(host.depth(), 2);
        QTRY_VERIFY(body->property("view").value<QQuickItem *>()->hasActiveFocus());
        QTest::keyClick(&host.window, Qt::Key_Escape);  // now the page's own
        QTRY_COMPARE(host.depth(), 1);
    }

    // The reading position: kept a moment after a scroll, the progress line
    // shows it, and the article opened again returns to the same paragraph,
    // which the title's focus and the first Tab leave in place.
    void readingPositionReturns()
    {
        Host host(QSize(800, 600));
        host.push(QStringLiteral("ArticleDetailView"), {{"articleId", 8}});
        qreal paragraph = 0;
        for (const bool again : {false, true}) {
            QQuickItem *page = host.push(QStringLiteral("ArticleDetailView"), {{"articleId", 11}});
            QTRY_VERIFY_WITH_TIMEOUT(!host.state<ArticleDetailScreen>()->webViewLoading(), 20000);
            QTRY_VERIFY_WITH_TIMEOUT(page->property("placeRestored").toBool(), 10000);
            auto *flick = page->property("flickable").value<QQuickItem *>();
            QQuickItem *line = named(page, QStringLiteral("readingProgress"));
            if (!again) {
                QVERIFY(!line->isVisible());
                flick->setProperty("contentY", 1500);
                QTRY_VERIFY_WITH_TIMEOUT(App::shared()->readingPositions()->progressOf(11) > 0, 5000);
                paragraph = flick->property("contentY").toReal();
                host.back();
                QTRY_COMPARE(host.depth(), 1);
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(std::abs(flick->property("contentY").toReal() - paragraph) < 40, 10000);
                QVERIFY(line->isVisible() && line->width() > 0);
                // The title has the focus; Tab from it goes on at the place, not back up to the author.
                QTRY_COMPARE(describe(focusedAccessible(host.window)), QStringLiteral("Heading 文章详情"));
                QTest::keyClick(&host.window, Qt::Key_Tab);
                QTRY_VERIFY(page->property("articleBody").value<QQuickItem *>()->property("view").value<QQuickItem *>()->hasActiveFocus());
                QVERIFY(std::abs(flick->property("contentY").toReal() - paragraph) < 40);
            }
        }
    }

    // Next and previous in the list the article came from: the end of the
    // body names them, one replaces the other, back still goes to the list.
    void nextAndPreviousInTheList()
    {
        Host host(QSize(900, 700));
        host.push(QStringLiteral("ArticleDetailView"), {{"articleId", 8}});
        const QVariantList list = data::json(QStringLiteral("app/views/reading-list.json")).toArray().toVariantList();
        QQuickItem *page = host.push(QStringLiteral("ArticleDetailView"), {{"articleId", 7}, {"readingList", list}});
        QQuickItem *next = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((next = named(page, QStringLiteral("nextArticle"))) && next->isVisible() && next->width() > 0, 10000);
        clickAt(host.window, next, QPointF(4, 4));
        QTRY_COMPARE(host.page()->property("articleId").toInt(), 8);
        QVERIFY(!host.page()->property("hasNext").toBool() && host.depth() == 2);
        QMetaObject::invokeMethod(host.page(), "openPrevious");
        QTRY_COMPARE(host.page()->property("articleId").toInt(), 7);
        host.back();
        QTRY_COMPARE(host.depth(), 1);
    }

    // The e-mail row follows the mode, typing and the button reach the state,
    // the signed-in face opens its articles and drives sign-out.
    void profileView()
    {
        AuthManager auth(m_dir.filePath(QStringLiteral("form.ini")));
        Host host(QSize(800, 900));
        QQuickItem *page = host.push(QStringLiteral("ProfileView"), {{"auth", QVariant::fromValue(&auth)}});
        auto *state = host.state<ProfileScreen>("state");
        QQuickItem *emailRow = nullptr;
        QTRY_VERIFY((emailRow = named(page, QStringLiteral("emailRow"))));
        QVERIFY(!emailRow->isVisible());
        QQuickItem *cleartext = named(page, QStringLiteral("cleartextWarning"));
        QVERIFY(!cleartext->isVisible());  // the loopback test server
        const QString loopback = state->baseUrl();
        state->setBaseUrl(QStringLiteral("http://news.example:4000"));
        QTRY_VERIFY(cleartext->isVisible());
        // Read with the password field too.
        QQuickItem *password = findItem(named(page, QStringLiteral("passwordRow")), [](QQuickItem *i) { return i->inherits("QQuickTextField"); });
        QCOMPARE(QAccessible::queryAccessibleInterface(password)->text(QAccessible::Description), cleartext->property("text").toString());
        state->setBaseUrl(loopback);
        state->setLoginMode(false);
        QTRY_VERIFY(emailRow->isVisible());
        QTRY_VERIFY(emailRow->mapToScene({}).y() < named(page, QStringLiteral("passwordRow"))->mapToScene({}).y()); // between the name and the password
        state->setLoginMode(true);
        findItem(named(page, QStringLiteral("usernameRow")), [](QQuickItem *i) { return i->inherits("QQuickTextField"); })
            ->forceActiveFocus();
        for (char c : QByteArray("alice"))
            QTest::keyClick(&host.window, c);
        QCOMPARE(state->username(), QStringLiteral("alice"));
        QQuickItem *submit = named(page, QStringLiteral("submitButton"));
        QVERIFY(!submit->isEnabled());
        state->setPassword(QStringLiteral("pw"));
        QVERIFY(QMetaObject::invokeMethod(submit, "clicked"));
        QTRY_VERIFY_WITH_TIMEOUT(state->isLoggedIn() && !state->isLoading(), 10000);

        QQuickItem *name = nullptr;
        QTRY_VERIFY((name = named(page, QStringLiteral("displayName"))));
        QCOMPARE(name->property("text").toString(), QStringLiteral("alice"));
        QVERIFY(named(page, QStringLiteral("statsRow"))->isVisible() && !named(page, QStringLiteral("emailRow")));
        QVERIFY(QMetaObject::invokeMethod(named(page, QStringLiteral("articleRow")), "clicked"));
        QTRY_COMPARE(host.depth(), 2);
        QCOMPARE(host.page()->property("articleId").toLongLong(), 101);
        host.back();
        QTRY_COMPARE(host.depth(), 1);
        // The sign-out dialog follows the state; its buttons drive it.
        for (const QString &button : {QStringLiteral("cancelLogout"), QStringLiteral("confirmLogout")}) {
            QVERIFY(QMetaObject::invokeMethod(named(page, QStringLiteral("logoutButton")), "clicked"));
            QQuickItem *item = nullptr;
            QTRY_VERIFY(state->showLogoutConfirm() && (item = named(host.root(), button)) && item->isVisible());
            QVERIFY(QMetaObject::invokeMethod(item, "clicked"));
            QVERIFY(!state->showLogoutConfirm());
            QCOMPARE(state->isLoggedIn(), button == QStringLiteral("cancelLogout"));
        }
        QTRY_VERIFY(named(page, QStringLiteral("usernameRow")));
    }

    // Only the tab being shown restores the sign-in, once; pushes and pops inside it do not.
    void showingTheTabRestoresAndReloads_data() { data::table<bool>(QStringLiteral("app/views/tab-shown.tsv")); }
    void showingTheTabRestoresAndReloads()
    {
        QFETCH(bool, shownAtCreation);
        m_server.clear();
        const QString stored = m_dir.filePath(QStringLiteral("%1.ini").arg(shownAtCreation));
        AuthManager(stored).login(QStringLiteral("tok-stored"), Author{7, QStringLiteral("alice"), QStringLiteral("author"), QStringLiteral("hello")});
        AuthManager auth(stored);
        Host host(QSize(800, 900), shownAtCreation ? "current: true" : "current: false");
        QVERIFY(host.push(QStringLiteral("ProfileView"), {{"auth", QVariant::fromValue(&auth)}}));
        auto *state = host.state<ProfileScreen>("state");
        QTest::qWait(50);
        QCOMPARE(auth.isLoggedIn(), shownAtCreation);
        host.stack->setProperty("current", true);
        QVERIFY(auth.isLoggedIn());
        QTRY_COMPARE_WITH_TIMEOUT(state->myArticleCount(), 5, 10000);

        host.push(QStringLiteral("SettingsView"));
        QTRY_COMPARE(host.depth(), 2);
        host.back();
        QTRY_COMPARE(host.depth(), 1);
        QTest::qWait(300);
        QCOMPARE(m_server.count("/api/me"), 1);

        // Switching away and back is the tab being shown.
        host.stack->setProperty("current", false);
        host.stack->setProperty("current", true);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/me"), 2, 10000);
    }
};

QML_TEST_MAIN(ViewsTest)
#include "tst_views.moc"
