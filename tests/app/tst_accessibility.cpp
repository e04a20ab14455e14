// What a screen reader meets in each view of the real window, offscreen
// through Qt's accessibility interfaces: the Tab order (every stop, in view,
// back where it started, the same backwards), roles, names and the checked,
// disabled and busy states; the menus from the keyboard. The bus itself,
// events and the body: tst_accessibility_bus.py.
#include "ArticleFixtures.h"
#include "QmlHarness.h"
#include "core/ServerConfig.h"

#include <QtTest>

using namespace papelo;
using namespace qmltest;

namespace {
// The shown accessible objects as "role name", with "|checked", "|disabled" or "|busy".
QStringList shown(QQuickWindow &window)
{
    QStringList lines;
    for (QAccessibleInterface *i : shownTree(QAccessible::queryAccessibleInterface(&window))) {
        const QAccessible::State s = i->state();
        lines << describe(i) + QLatin1String(s.checked ? "|checked" : s.disabled ? "|disabled" : s.busy ? "|busy" : "");
    }
    return lines;
}

const QString kCard1 = QStringLiteral("Button 文章 6，作者6，2026-03-07，60 次阅读，1 条评论，2 个赞");
const QString kCard2 = QStringLiteral("Button 文章 7，作者7，2026-03-08，70 次阅读，1 条评论，2 个赞");
} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
    FakeServer m_server;
    QString m_failing;  // the path that answers with an error

    // The real window on `tab`, 560 high (pages overflow it), an article (and its picture) opened at start-up
    // (until the caller resets the start pages).
    std::unique_ptr<MainWindow> open(int tab, qint64 article = 0, int picture = 0)
    {
        App::shared()->setStartPages(article, 0);
        App::shared()->setStartPicture(picture);
        auto main = std::make_unique<MainWindow>(tab);
        main->window->resize(1200, 560);
        [&] { QTRY_VERIFY(focusedAccessible(*main->window)); }();
        return main;
    }

private slots:
    void initTestCase()
    {
        collectWarnings();
        QVERIFY(m_server.listen());
        ServerConfig::setBaseUrl(m_server.baseUrl());
        m_server.on("GET", "/api/stats", [this](const FakeServer::Request &) {
            return m_failing == "/api/stats" ? fixtures::serverError(QStringLiteral("维护中")) : fixtures::stats(2);
        });
        m_server.on("GET", "/api/tags", fixtures::tags({{7, "Qt"}}));
        const QList<Article> list = fixtures::withCounts(fixtures::articles(6, 2), 2, 1);
        m_server.on("GET", "/api/articles", fixtures::page(list));
        m_server.on("GET", "/api/articles/hot", fixtures::section("hot", list));
        m_server.on("GET", "/api/articles/latest", fixtures::section("latest", {}));
        m_server.on("GET", "/api/articles/random", fixtures::section("random", list.mid(1)));
        ArticleDetail article = fixtures::detail(7, 3, 2);
        article.body = QStringLiteral("<p>正文<a href='https://x.example/'>链接</a>。</p>");
        m_server.on("GET", "/api/article/7", fixtures::reply(article));
        m_server.on("GET", "/api/article/8", FakeServer::stalled());
        ArticleDetail pictured = fixtures::detail(9, 3, 2);
        pictured.body = QStringLiteral("<img alt='江边' style='width:200px;height:100px' src='data:image/png;base64,"
                                       "iVBORw0KGgoAAAANSUhEUgAAAAQAAAACCAIAAADwyuo0AAAAEElEQVR4nGPgr86BIwZkDgBhIgexNJ9y7QAAAABJRU5ErkJggg=='>");
        m_server.on("GET", "/api/article/9", fixtures::reply(pictured));
        Comment first = fixtures::comment(1);
        first.name = QStringLiteral("林晓舟");
        first.user = fixtures::author(3, first.name);
        m_server.on("GET", "/api/comments", [this, list = fixtures::replyList(QList<Comment>{first, fixtures::comment(2)})](const FakeServer::Request &) {
            return m_failing == "/api/comments" ? fixtures::serverError(QStringLiteral("评论服务不可用")) : list; });
    }
    void cleanup() { QVERIFY_NO_WARNINGS(); }

    void views_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<qint64>("article");
        QTest::addColumn<int>("picture");
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QStringList>("stops");  // from where the focus is once the view is ready
        QTest::addColumn<QStringList>("shown");  // "description|states"
        const QStringList bar{"PageTab Papelo", "PageTab 发现", "PageTab 我的", "PageTab 设置"};
        const QStringList top{"EditableText 搜索文章", "RadioButton 全部", "RadioButton Qt"};
        QTest::newRow("home") << 0 << qint64(0) << 0 << "" << bar.mid(1) + top + QStringList{kCard1}
                              << QStringList{"Grouping 标签", "RadioButton 全部|checked", "List 文章"};
        QTest::newRow("home failed") << 0 << qint64(0) << 0 << "/api/stats" << bar.mid(1) + top + QStringList{"Button 重试"}
                                     << QStringList{"Notification 加载失败：维护中"};
        QTest::newRow("discover") << 1 << qint64(0) << 0 << "" << bar.mid(2) + QStringList{kCard1, kCard2} + bar.mid(0, 1)
                                  << QStringList{"Heading 热门文章", "Heading 随机推荐", "List 随机推荐"};
        QTest::newRow("article") << 0 << qint64(7) << 0 << ""
                                 << QStringList{"Button 林", "WebDocument ", "CheckBox 赞，3", "EditableText 说点什么...", "EditableText 游客昵称（可选）",
                                                "CheckBox 赞 林晓舟的评论，0", "CheckBox 赞 访客的评论，0"} + bar + QStringList{"Button 返回"}
                                 << QStringList{"Heading 文章详情", "Heading 文章 7", "StaticText 70 次阅读", "StaticText 2 条评论", "Heading 评论 2",
                                                "Button 发送|disabled", "Client 评论列表，共 2 条", "StaticText 注册用户：author"};
        QTest::newRow("article, comments failed") << 0 << qint64(7) << 0 << "/api/comments"
                                                  << QStringList{"Button 林", "WebDocument ", "CheckBox 赞，3", "EditableText 说点什么...",
                                                                 "EditableText 游客昵称（可选）", "Button 重试加载评论"} + bar + QStringList{"Button 返回"}
                                                  << QStringList{"Notification 评论加载失败：评论服务不可用"};
        QTest::newRow("picture viewer") << 0 << qint64(9) << 1 << "" << QStringList{"Button 放大", "Button 关闭"}
                                        << QStringList{"Dialog 图片查看器", "Graphic 江边", "StaticText 缩放 100%", "StaticText 第 1 / 1 张"};
        QTest::newRow("article loading") << 0 << qint64(8) << 0 << "" << QStringList{} << QStringList{"ProgressBar 加载中...|busy"};
        QTest::newRow("account") << 2 << qint64(0) << 0 << ""
                                 << bar.mid(3) + QStringList{"RadioButton 登录", "RadioButton 注册", "EditableText 用户名", "EditableText 密码"} + bar.mid(0, 2)
                                 << QStringList{"Heading Papelo", "Grouping 模式", "RadioButton 登录|checked", "Button 登录|disabled"};
        QTest::newRow("settings") << 3 << qint64(0) << 0 << ""
                                  << QStringList{"RadioButton 跟随系统", "RadioButton 浅色", "RadioButton 深色", "Slider 文字大小", "Button 清除图片缓存", "EditableText 服务器地址", "Button 应用服务器地址"} + bar.mid(0, 3)
                                  << QStringList{"Heading 外观", "Grouping 外观", "RadioButton 跟随系统|checked", "Heading 存储"};
    }
    void views()
    {
        QFETCH(int, tab);
        QFETCH(qint64, article);
        QFETCH(int, picture);
        QFETCH(QStringList, stops);
        QFETCH(QStringList, shown);
        QFETCH(QString, failing);
        m_failing = failing;
        const auto main = open(tab, article, picture);
        QQuickWindow &window = *main->window;
        for (const QString &line : shown)
            QTRY_VERIFY2_WITH_TIMEOUT(::shown(window).contains(line), qPrintable(line), 20000);
        // Ready: every stop there (a checked one too), and a body loaded (its stop is the web view's).
        const auto ready = [&](const QStringList &now) {
            return !now.contains("ProgressBar 正文加载中...|busy") && std::all_of(stops.cbegin(), stops.cend(), [&](const QString &stop) {
                return stop.startsWith("Web") || now.contains(stop) || now.contains(stop + "|checked");
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(ready(::shown(window)), 20000);
        App::shared()->setStartPages(0, 0);
        QVERIFY_ALL_NAMED(window.contentItem());
        if (stops.isEmpty())
            return;
        QCOMPARE(focusWalk(window, Qt::Key_Tab).join(QLatin1String(" | ")), stops.join(QLatin1String(" | ")));
        if (stops.first() == describe(focusedAccessible(window)))
            stops.removeFirst();
        std::reverse(stops.begin(), stops.end());
        QCOMPARE(focusWalk(window, Qt::Key_Backtab).join(QLatin1String(" | ")), stops.join(QLatin1String(" | ")));
    }

    // The reading-comfort controls on an article opened from a list: from a stop, a key (then typed text) puts
    // the focus on the first of `expected`, the rest shown; Esc closes what opened and the focus is back at the
    // stop; nothing left the article (Esc is the find bar's, "]" in a field is text).
    void comfortControls_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        const QString body = "WebDocument ", previous = "Link 上一篇：前一篇", next = "Link 下一篇：后一篇", field = "EditableText 在文章中查找";
        QTest::newRow("previous") << next << QKeySequence(Qt::ShiftModifier | Qt::Key_Backtab) << "" << QStringList{previous};
        QTest::newRow("next") << previous << QKeySequence(Qt::Key_Tab) << "" << QStringList{next};
        QTest::newRow("find, none") << "Heading 文章详情" << QKeySequence(QKeySequence::Find) << "]" << QStringList{field, "ToolBar 在文章中查找", "Notification 无匹配"};
        QTest::newRow("find, one") << next << QKeySequence(QKeySequence::Find) << "正文" << QStringList{field, "Notification 第 1 / 1 处"};
        QTest::newRow("shortcut sheet") << next << QKeySequence(Qt::Key_F1) << "" << QStringList{"Button 好", "Heading 快捷键"};
        QTest::newRow("body menu, Menu") << body << QKeySequence(Qt::Key_Menu) << "" << QStringList{"PopupMenu 正文", "MenuItem 复制", "MenuItem 全选"};
        QTest::newRow("body menu, Shift+F10") << body << QKeySequence(Qt::ShiftModifier | Qt::Key_F10) << "" << QStringList{"PopupMenu 正文"};
    }
    void comfortControls()
    {
        QFETCH(QString, from);
        QFETCH(QKeySequence, key);
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        const auto main = open(0);
        QQuickWindow &window = *main->window;
        QObject *stack = main->stacks().at(0)->property("stack").value<QObject *>();
        const QVariantList list{QVariantMap{{"id", 9}, {"title", "前一篇"}}, QVariantMap{{"id", 7}}, QVariantMap{{"id", 10}, {"title", "后一篇"}}};
        QMetaObject::invokeMethod(stack, "openArticle", Q_ARG(QVariant, 7), Q_ARG(QVariant, true), Q_ARG(QVariant, list));
        QTRY_VERIFY_WITH_TIMEOUT(::shown(window).contains("CheckBox 赞 访客的评论，0") && !::shown(window).contains("ProgressBar 正文加载中...|busy"), 20000);
        for (int press = 0; describe(focusedAccessible(window)) != from; ++press) {  // a web view takes some presses itself
            QVERIFY2(press < 20, qPrintable(from));
            const QQuickItem *was = window.activeFocusItem();
            QTest::keyClick(&window, Qt::Key_Tab);
            (void)QTest::qWaitFor([&] { return window.activeFocusItem() != was; }, 2000);
        }
        QTest::keySequence(&window, key);
        const QString focused = expected.takeFirst();
        QTRY_COMPARE_WITH_TIMEOUT(describe(focusedAccessible(window)), focused, 10000);
        if (typed == "]")
            QTest::keyClick(&window, ']');
        else if (!typed.isEmpty()) {  // as an input method commits it
            QInputMethodEvent commit;
            commit.setCommitString(typed);
            QGuiApplication::sendEvent(window.activeFocusItem(), &commit);
        }
        for (const QString &line : expected)
            QTRY_VERIFY2_WITH_TIMEOUT(::shown(window).contains(line), qPrintable(line), 10000);
        QVERIFY_ALL_NAMED(window.contentItem());
        if (!key.toString().contains("tab", Qt::CaseInsensitive)) {
            QTest::keyClick(&window, Qt::Key_Escape);
            QTRY_COMPARE(describe(focusedAccessible(window)), from);
        }
        QCOMPARE(stack->property("currentItem").value<QObject *>()->property("articleId").toInt(), 7);
    }

    // Named by their titles without the mnemonic marks.
    void menusOpenFromTheKeyboard()
    {
        for (auto [key, modifier, menu, name] : {std::tuple{Qt::Key_F10, Qt::NoModifier, "&Papelo", "Papelo"},
                                                 {Qt::Key_P, Qt::AltModifier, "&Papelo", "Papelo"}, {Qt::Key_R, Qt::AltModifier, "阅读(&R)", "阅读"},
                                                 {Qt::Key_H, Qt::AltModifier, "帮助(&H)", "帮助"}}) {
            const auto main = open(3);
            QTest::keyClick(main->window.get(), key, modifier);
            const auto all = main->window->findChildren<QObject *>();
            QTRY_VERIFY2(std::any_of(all.cbegin(), all.cend(), [&](QObject *o) {
                             return o->inherits("QQuickMenu") && o->property("opened").toBool() && o->property("title") == QString::fromUtf8(menu)
                                    && describe(QAccessible::queryAccessibleInterface(o->property("contentItem").value<QQuickItem *>()->parentItem()))
                                           == QStringLiteral("PopupMenu ") + QString::fromUtf8(name);
                         }), menu);
        }
    }
};

QML_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
