// What a screen reader meets in the real window, through Qt's accessibility
// interfaces offscreen: the Tab order of every view (each control reached, in
// view, back where it started, backwards the same), roles, names and states,
// focus events, announcements, and the article body's own tree.
#include "ArticleFixtures.h"
#include "QmlHarness.h"
#include "common/FocusReveal.h"
#include "core/ServerConfig.h"

#include <QtTest>

using namespace papelo;
using namespace qmltest;

namespace {
QString statesOf(QAccessibleInterface *iface)
{
    const QAccessible::State s = iface->state();
    QStringList out;
    for (auto [set, name] : {std::pair{bool(s.checked), "checked"}, {bool(s.disabled), "disabled"}, {bool(s.busy), "busy"}})
        if (set)
            out << QLatin1String(name);
    return out.join(QLatin1Char(' '));
}

QAccessibleInterface *shown(QQuickWindow &window, const QString &description)
{
    for (QAccessibleInterface *iface : shownTree(QAccessible::queryAccessibleInterface(&window)))
        if (describe(iface) == description)
            return iface;
    return nullptr;
}

const QString kCard1 = QStringLiteral("Button 文章 6，作者6，2026-03-07，60 次阅读，1 条评论，2 个赞");
const QString kCard2 = QStringLiteral("Button 文章 7，作者7，2026-03-08，70 次阅读，1 条评论，2 个赞");
} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
    FakeServer m_server;
    bool m_homeFails = false;

    // The real window on `tab`, 560 high (pages overflow it), with an article
    // opened at start-up on the home tab; once something has the focus.
    std::unique_ptr<MainWindow> open(int tab, qint64 article = 0)
    {
        App::shared()->setStartPages(article, 0);
        auto main = std::make_unique<MainWindow>(tab);
        main->window->resize(1200, 560);
        [&] { QTRY_VERIFY(focusedAccessible(*main->window)); }();
        App::shared()->setStartPages(0, 0);
        return main;
    }

private slots:
    void initTestCase()
    {
        collectWarnings();
        qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
        QAccessible::setActive(true);
        QVERIFY(m_server.listen());
        ServerConfig::setBaseUrl(m_server.baseUrl());
        m_server.on("GET", "/api/stats", [this](const FakeServer::Request &) {
            return m_homeFails ? fixtures::serverError(QStringLiteral("维护中")) : fixtures::stats(2);
        });
        m_server.on("GET", "/api/tags", fixtures::tags({{7, "Qt"}}));
        const QList<Article> list = fixtures::withCounts(fixtures::articles(6, 2), 2, 1);
        m_server.on("GET", "/api/articles", fixtures::page(list));
        m_server.on("GET", "/api/articles/hot", fixtures::section("hot", list));
        m_server.on("GET", "/api/articles/latest", fixtures::section("latest", {}));
        m_server.on("GET", "/api/articles/random", fixtures::section("random", list.mid(1)));
        ArticleDetail article = fixtures::detail(7, 3, 2);
        article.body = QStringLiteral("<h2>小标题</h2><p>正文<a href='https://x.example/'>链接</a>。</p>"
                                      "<figure><img alt='图一'><figcaption>图 1：说明</figcaption></figure>");
        m_server.on("GET", "/api/article/7", fixtures::reply(article));
        m_server.on("GET", "/api/article/8", FakeServer::stalled());
        Comment first = fixtures::comment(1);
        first.name = QStringLiteral("林晓舟");
        m_server.on("GET", "/api/comments", fixtures::replyList(QList<Comment>{first, fixtures::comment(2)}));
        m_server.on("POST", "/api/login", fixtures::serverError(QStringLiteral("用户名或密码错误"), 401));
        m_server.on("POST", "/api/like", FakeServer::Response::json(QJsonObject{{"ok", true}}));
    }
    void cleanup() { QVERIFY_NO_WARNINGS(); }

    void revealScrollsTheLeast_data()
    {
        QTest::addColumn<qreal>("itemTop");
        QTest::addColumn<qreal>("itemBottom");
        QTest::addColumn<qreal>("contentY");
        QTest::newRow("in view") << 100.0 << 140.0 << 300.0;
        QTest::newRow("below: bottom at the margin") << 500.0 << 540.0 << 300.0 + 540 - 484;
        QTest::newRow("above: top at the margin") << -60.0 << -20.0 << 300.0 - 76;
        QTest::newRow("past the end: at most the end") << 900.0 << 940.0 << 700.0;
        QTest::newRow("taller than the view: left alone") << -200.0 << 900.0 << 300.0;
    }
    void revealScrollsTheLeast()
    {
        QFETCH(qreal, itemTop);
        QFETCH(qreal, itemBottom);
        QFETCH(qreal, contentY);
        QCOMPARE(FocusReveal::revealedContentY(300, 500, 0, 700, itemTop, itemBottom, 16), contentY);
    }

    // From where the focus is when the view is ready: every stop, then back.
    void tabOrder_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<qint64>("article");
        QTest::addColumn<bool>("homeFails");
        QTest::addColumn<QStringList>("stops");
        const QStringList bar{"PageTab Papelo", "PageTab 发现", "PageTab 我的", "PageTab 设置"};
        const QStringList homeTop{"EditableText 搜索文章", "RadioButton 全部", "RadioButton Qt"};
        QTest::newRow("home") << 0 << qint64(0) << false << bar.mid(1) + homeTop + QStringList{kCard1};
        QTest::newRow("home failed") << 0 << qint64(0) << true << bar.mid(1) + homeTop + QStringList{"Button 重试"};
        QTest::newRow("discover") << 1 << qint64(0) << false
                                  << bar.mid(2) + QStringList{kCard1, kCard2} + bar.mid(0, 1);
        QTest::newRow("article") << 0 << qint64(7) << false
                                 << QStringList{"Button 林", "WebDocument ", "CheckBox 赞，3", "EditableText 说点什么...", "EditableText 游客昵称（可选）",
                                                "CheckBox 赞 林晓舟的评论，0", "CheckBox 赞 访客的评论，0"} + bar + QStringList{"Button 返回"};
        QTest::newRow("account") << 2 << qint64(0) << false
                                 << bar.mid(3) + QStringList{"RadioButton 登录", "RadioButton 注册", "EditableText 用户名", "EditableText 密码"} + bar.mid(0, 2);
        QTest::newRow("settings") << 3 << qint64(0) << false
                                  << QStringList{"RadioButton 跟随系统", "RadioButton 浅色", "RadioButton 深色", "Button 清除图片缓存"} + bar.mid(0, 3);
    }
    void tabOrder()
    {
        QFETCH(int, tab);
        QFETCH(qint64, article);
        QFETCH(bool, homeFails);
        QFETCH(QStringList, stops);
        m_homeFails = homeFails;
        const auto main = open(tab, article);
        QQuickWindow &window = *main->window;
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(stops.begin(), stops.end(), [&](const QString &s) { return s.startsWith("Web") || shown(window, s); })
                                     && !shown(window, QStringLiteral("ProgressBar 正文加载中...")), 20000);
        QCOMPARE(focusWalk(window, Qt::Key_Tab).join(QLatin1String(" | ")), stops.join(QLatin1String(" | ")));
        QStringList back = stops;
        if (back.first() == describe(focusedAccessible(window)))
            back.removeFirst();
        std::reverse(back.begin(), back.end());
        QCOMPARE(focusWalk(window, Qt::Key_Backtab).join(QLatin1String(" | ")), back.join(QLatin1String(" | ")));
    }

    // Each listed object shown, with exactly these of its checked, disabled and busy states.
    void rolesAndStates_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<qint64>("article");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("home") << 0 << qint64(0) << QStringList{"Grouping 标签", "RadioButton 全部|checked", "RadioButton Qt", kCard1, "List 文章"};
        QTest::newRow("discover") << 1 << qint64(0) << QStringList{"Heading 热门文章", "Heading 随机推荐", "List 热门文章", kCard2};
        QTest::newRow("article") << 0 << qint64(7)
                                 << QStringList{"Heading 文章详情", "Heading 文章 7", "CheckBox 赞，3", "StaticText 70 次阅读", "StaticText 2 条评论",
                                                "Heading 评论 2", "Button 发送|disabled", "CheckBox 赞 林晓舟的评论，0", "Client 评论列表，共 2 条"};
        QTest::newRow("article loading") << 0 << qint64(8) << QStringList{"ProgressBar 加载中...|busy", "Button 发送|disabled"};
        QTest::newRow("account") << 2 << qint64(0)
                                 << QStringList{"Heading Papelo", "Grouping 模式", "RadioButton 登录|checked", "RadioButton 注册", "EditableText 用户名",
                                                "EditableText 密码", "Button 登录|disabled"};
        QTest::newRow("settings") << 3 << qint64(0)
                                  << QStringList{"Heading 外观", "Heading 深色模式", "Grouping 外观", "RadioButton 跟随系统|checked", "RadioButton 深色",
                                                 "Heading 存储", "Button 清除图片缓存"};
    }
    void rolesAndStates()
    {
        QFETCH(int, tab);
        QFETCH(qint64, article);
        QFETCH(QStringList, expected);
        const auto main = open(tab, article);
        for (const QString &line : expected) {
            const QString description = line.section(QLatin1Char('|'), 0, 0);
            QTRY_VERIFY2_WITH_TIMEOUT(shown(*main->window, description), qPrintable(description), 10000);
            QCOMPARE(statesOf(shown(*main->window, description)), line.section(QLatin1Char('|'), 1));
        }
        QVERIFY_ALL_NAMED(main->window->contentItem());
    }

    // Arrows move the focus (what a screen reader is told has it) from card
    // to card; an opened page focuses its title without scrolling, going back
    // returns to the card; a like is a toggle; a failed sign-in is shown and
    // read with the password field, which gets the focus.
    void focusFollowsTheReader()
    {
        auto main = open(0);
        QQuickWindow &window = *main->window;
        QTRY_VERIFY(shown(window, kCard2));
        QTest::keyClick(&window, Qt::Key_Backtab, Qt::ShiftModifier);
        QTest::keyClick(&window, Qt::Key_Right);
        QCOMPARE(describe(focusedAccessible(window)), kCard2);
        QTest::keyClick(&window, Qt::Key_Enter);
        QTRY_COMPARE(describe(focusedAccessible(window)), QStringLiteral("Heading 文章详情"));
        QTRY_VERIFY_WITH_TIMEOUT(shown(window, QStringLiteral("CheckBox 赞，3")), 10000);
        const QObject *page = main->stacks().at(0)->property("stack").value<QObject *>()->property("currentItem").value<QObject *>();
        QCOMPARE(page->property("flickable").value<QObject *>()->property("contentY"), 0.0);
        QAccessibleInterface *like = shown(window, QStringLiteral("CheckBox 赞，3"));
        static_cast<QQuickItem *>(like->object())->forceActiveFocus(Qt::TabFocusReason);
        QTest::keyClick(&window, Qt::Key_Space);
        QTRY_COMPARE(describe(like), QStringLiteral("CheckBox 赞，4"));
        QCOMPARE(statesOf(like), QStringLiteral("checked"));
        QTest::keyClick(&window, Qt::Key_Escape);
        QTRY_COMPARE(describe(focusedAccessible(window)), kCard2);

        main = open(2);
        for (auto [field, text] : {std::pair{"用户名", "demo"}, {"密码", "wrong"}}) {
            static_cast<QQuickItem *>(shown(*main->window, QStringLiteral("EditableText ") + field)->object())->forceActiveFocus();
            for (const char *c = text; *c; ++c)
                QTest::keyClick(main->window.get(), *c);
        }
        QTest::keyClick(main->window.get(), Qt::Key_Return);
        const QString message = QStringLiteral("操作失败：用户名或密码错误");
        QTRY_VERIFY(shown(*main->window, QStringLiteral("Notification ") + message));
        QAccessibleInterface *focused = focusedAccessible(*main->window);
        QCOMPARE(describe(focused), QStringLiteral("EditableText 密码"));
        QCOMPARE(focused->text(QAccessible::Description), message);
        // The password itself is never handed out, as the value or as text.
        QCOMPARE(focused->text(QAccessible::Value), QString(5, QChar(0x2022)));
        QCOMPARE(focused->textInterface()->text(0, 5), QString(5, QChar(0x2022)));
    }

    void menusOpenFromTheKeyboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifier");
        QTest::addColumn<QString>("menu");
        QTest::newRow("F10") << int(Qt::Key_F10) << int(Qt::NoModifier) << "&Papelo";
        QTest::newRow("Alt+P") << int(Qt::Key_P) << int(Qt::AltModifier) << "&Papelo";
        QTest::newRow("Alt+H") << int(Qt::Key_H) << int(Qt::AltModifier) << "帮助(&H)";
    }
    void menusOpenFromTheKeyboard()
    {
        QFETCH(int, key);
        QFETCH(int, modifier);
        QFETCH(QString, menu);
        const auto main = open(3);
        QTest::keyClick(main->window.get(), Qt::Key(key), Qt::KeyboardModifiers(modifier));
        const auto opened = [&] {
            const auto all = main->window->findChildren<QObject *>();
            return std::any_of(all.cbegin(), all.cend(), [&](QObject *o) {
                return o->inherits("QQuickMenu") && o->property("opened").toBool() && o->property("title") == menu;
            });
        };
        QTRY_VERIFY(opened());
    }

    // The body's own tree: its heading, link and paragraphs; a figure caption
    // is text, not a nameless heading.
    void bodyIsExposed()
    {
        const auto main = open(0, 7);
        // Qt WebEngine builds the tree once asked by an active client: the offscreen
        // platform has none, so the view is told there is one.
        QTRY_VERIFY_WITH_TIMEOUT(shown(*main->window, QStringLiteral("WebDocument ")), 20000);
        QAccessible::setActive(true);
        QStringList body;
        const auto read = [&] {
            body.clear();
            for (QAccessibleInterface *iface : shownTree(shown(*main->window, QStringLiteral("WebDocument "))))
                body << describe(iface);
            return body.contains(QStringLiteral("Link 链接"));
        };
        QTRY_VERIFY_WITH_TIMEOUT(read(), 20000);
        for (const char *expected : {"Heading 小标题", "StaticText 图 1：说明", "Graphic 图一"})
            QVERIFY2(body.contains(QString::fromUtf8(expected)), qPrintable(body.join(QLatin1String(" | "))));

        QVERIFY2(!body.contains(QStringLiteral("Heading ")), qPrintable(body.join(QLatin1String(" | "))));
    }
};

QML_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
