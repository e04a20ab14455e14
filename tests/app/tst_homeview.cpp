// The home and discover views offscreen against the fake server: the grid's
// columns and cards, the chips, the error view, keyboard and card taps.
#include "AccessibleNames.h"
#include "ArticleFixtures.h"
#include "core/ServerConfig.h"

#include <QFontMetricsF>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtTest>

#include <set>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

using namespace papelo;

namespace {

const QList<Tag> kTags{Tag{7, QStringLiteral("Qt")}, Tag{12, QStringLiteral("C++")}};

bool isA(const QObject *o, const char *qmlType)
{
    return QString::fromLatin1(o->metaObject()->className()).startsWith(QLatin1String(qmlType) + QLatin1Char('_'));
}

QList<QQuickItem *> itemsOf(QQuickItem *root, const char *qmlType, bool visibleOnly = true)
{
    QList<QQuickItem *> out;
    if (isA(root, qmlType) && (!visibleOnly || root->isVisible()))
        out << root;
    for (QQuickItem *child : root->childItems())
        out << itemsOf(child, qmlType, visibleOnly);
    return out;
}

QQuickItem *labelWithText(QQuickItem *root, const QString &text)
{
    if (root->inherits("QQuickText") && root->property("text").toString() == text && root->isVisible())
        return root;
    for (QQuickItem *child : root->childItems()) {
        if (QQuickItem *found = labelWithText(child, text))
            return found;
    }
    return nullptr;
}

// A label draws its text as typed: its natural width is that of the raw
// characters. Markup taken as rich text would shrink it to the visible words.
bool drawnLiterally(QQuickItem *label)
{
    const QFontMetricsF metrics(label->property("font").value<QFont>());
    const QString text = label->property("text").toString();
    return std::abs(label->implicitWidth() - metrics.horizontalAdvance(text)) < 2.0;
}

QPoint centreOf(QQuickItem *item)
{
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

// A tab's stack with one page, as the shell builds it.
class Host {
public:
    Host(const QString &page, int width)
    {
        m_window.resize(width, 800);
        QQmlComponent component(&m_engine);
        component.setData(QStringLiteral("import QtQuick\nimport QtQuick.Controls\nimport Papelo\n"
                                         "StackView { property bool current: true; initialItem: %1 {}\n"
                                         "  function back() { pop() }\n"
                                         "  function refreshCommand() { App.commands.postRefreshArticles() }\n"
                                         "  Binding { target: App; property: \"windowWidth\"; value: %2 } }")
                              .arg(page)
                              .arg(width)
                              .toUtf8(),
                          QUrl(QStringLiteral("qrc:/Papelo/host.qml")));
        // StackView.pop() takes a JS argument list; the host wraps it for C++.
        m_stack.reset(qobject_cast<QQuickItem *>(component.create()));
        if (!m_stack)
            qWarning("%s", qPrintable(component.errorString()));
        else {
            m_stack->setParentItem(m_window.contentItem());
            m_stack->setSize(QSizeF(width, 800));
        }
        m_window.show();
    }
    ~Host() { m_stack.reset(); }
    QQuickItem *stack() const { return m_stack.get(); }
    QQuickItem *page() const { return m_stack->property("currentItem").value<QQuickItem *>(); }
    QQuickItem *root() const { return m_window.contentItem(); }
    QQuickWindow &window() { return m_window; }
    int depth() const { return m_stack->property("depth").toInt(); }

private:
    QQmlEngine m_engine;
    QQuickWindow m_window;
    std::unique_ptr<QQuickItem> m_stack;
};

std::set<int> distinct(const QList<QQuickItem *> &items, bool xAxis)
{
    std::set<int> values;
    for (QQuickItem *i : items) {
        const QPointF p = i->mapToScene(QPointF(0, 0));
        values.insert(qRound(xAxis ? p.x() : p.y()));
    }
    return values;
}

} // namespace

class HomeViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toUtf8());
        QVERIFY(m_server.listen());
        m_server.on("GET", "/api/stats", fixtures::stats(128));
        m_server.on("GET", "/api/tags", fixtures::tags(kTags));
        m_server.on("GET", "/api/articles", [this](const FakeServer::Request &) { return fixtures::page(m_list); });
        m_server.setFallback([](const FakeServer::Request &) { return fixtures::serverError("none", 404); });
        ServerConfig::setBaseUrl(m_server.baseUrl());
    }

    void wideWindowShowsThreeColumnsChipsAndCount()
    {
        m_list = fixtures::articles(1, 10);
        for (auto &a : m_list) {
            a.likes = 3;
            a.comments = 1;
        }
        m_server.clear();
        Host host(QStringLiteral("HomeView"), 1200);
        QVERIFY(host.stack());
        QVERIFY(QTest::qWaitForWindowExposed(&host.window()));
        QTRY_COMPARE_WITH_TIMEOUT(itemsOf(host.root(), "ArticleCard").size(), 10, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(labelWithText(host.root(), QStringLiteral("C++")), 10000);
        QCOMPARE(m_server.count("/api/articles"), 1); // one load for the one appearance
        QCOMPARE(m_server.count("/api/tags"), 1);

        // The entrance: the last card waits 9 × 50 ms, so it is still on its way; all arrive.
        const auto entrances = itemsOf(host.root(), "StaggerAppear");
        QCOMPARE(entrances.size(), 10);
        QVERIFY(entrances.last()->property("progress").toReal() < 1.0);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(entrances.begin(), entrances.end(),
                                             [](QQuickItem *e) { return e->property("progress").toReal() == 1.0; }),
                                 5000);

        const auto cards = itemsOf(host.root(), "ArticleCard");
        // Three columns in a 1100-wide lane centred in 1200 - 2 × 16, once the entrance is over.
        QTRY_COMPARE_WITH_TIMEOUT(distinct(cards, true), (std::set<int>{50, 50 + 356 + 16, 50 + 2 * (356 + 16)}), 5000);
        for (QQuickItem *card : cards) {
            QCOMPARE(qRound(card->width()), 356);
            QCOMPARE(qRound(card->height()), 232);
        }
        QTRY_COMPARE_WITH_TIMEOUT(int(distinct(cards, false).size()), 4, 5000); // 10 cards in rows of 3
        const auto ys = distinct(cards, false);
        QCOMPARE(*std::next(ys.begin()) - *ys.begin(), 232 + 16);

        QVERIFY(labelWithText(host.root(), QStringLiteral("128 篇文章")));
        QVERIFY(labelWithText(host.root(), QStringLiteral("文章 10")));
        QVERIFY(labelWithText(host.root(), QStringLiteral("全部")));
        QVERIFY(labelWithText(host.root(), QStringLiteral("Qt")));
        QVERIFY(itemsOf(host.root(), "SkeletonGrid").isEmpty());

        // Tapping a chip loads that tag by id.
        m_server.clear();
        QTest::mouseClick(&host.window(), Qt::LeftButton, {}, centreOf(labelWithText(host.root(), QStringLiteral("C++"))));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/articles"), 1, 10000);
        QCOMPARE(m_server.requestsTo("/api/articles").first().queryItem("tag"), QStringLiteral("12"));

        // The menu's refresh command reloads with the selected tag.
        QTRY_VERIFY_WITH_TIMEOUT(!host.page()->property("screen").value<QObject *>()->property("isLoading").toBool(), 10000);
        QMetaObject::invokeMethod(host.stack(), "refreshCommand");
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/articles"), 2, 10000);
        QCOMPARE(m_server.requestsTo("/api/articles").last().queryItem("tag"), QStringLiteral("12"));
    }

    void compactWindowShowsTwoColumns()
    {
        m_list = fixtures::articles(1, 5);
        Host host(QStringLiteral("HomeView"), 600);
        QVERIFY(QTest::qWaitForWindowExposed(&host.window()));
        QTRY_COMPARE_WITH_TIMEOUT(itemsOf(host.root(), "ArticleCard").size(), 5, 10000);
        const auto cards = itemsOf(host.root(), "ArticleCard");
        // 600 - 32 = 568 wide lane at x 16, two cards of (568 - 16) / 2.
        QTRY_COMPARE_WITH_TIMEOUT(distinct(cards, true), (std::set<int>{16, 16 + 276 + 16}), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(int(distinct(cards, false).size()), 3, 5000);
    }

    void onlyVisibleCardsAreBuilt()
    {
        m_list = fixtures::articles(1, 600);
        Host host(QStringLiteral("HomeView"), 1200);
        QVERIFY(QTest::qWaitForWindowExposed(&host.window()));
        QQuickItem *grid = host.page()->property("grid").value<QQuickItem *>();
        QVERIFY(grid);
        QTRY_COMPARE_WITH_TIMEOUT(grid->property("count").toInt(), 600, 10000);
        QTRY_VERIFY(!itemsOf(host.root(), "ArticleCard").isEmpty());
        const int built = int(itemsOf(host.root(), "ArticleCard", false).size());
        QVERIFY2(built <= 30, qPrintable(QString::number(built)));
        QObject *screen = host.page()->property("screen").value<QObject *>();
        QTRY_VERIFY(screen->property("animateCards").toBool());
        QMetaObject::invokeMethod(grid, "positionViewAtEnd");
        QTRY_VERIFY(labelWithText(host.root(), QStringLiteral("文章 600")));
        QVERIFY(int(itemsOf(host.root(), "ArticleCard", false).size()) <= 30);
        // Cards built on scrolling after the entrance show at once.
        for (QQuickItem *e : itemsOf(host.root(), "StaggerAppear"))
            QCOMPARE(e->property("progress").toReal(), 1.0);
    }

    void errorViewRetryAndSkeleton()
    {
        m_list = fixtures::articles(1, 2);
        m_server.on("GET", "/api/stats", fixtures::serverError(QStringLiteral("统计坏了")));
        Host host(QStringLiteral("HomeView"), 1200);
        QVERIFY(QTest::qWaitForWindowExposed(&host.window()));
        QTRY_VERIFY_WITH_TIMEOUT(labelWithText(host.root(), QStringLiteral("加载失败：统计坏了")), 10000);
        QVERIFY(labelWithText(host.root(), QStringLiteral("重试")));
        QVERIFY(itemsOf(host.root(), "ArticleCard").isEmpty());

        FakeServer::Response slow = fixtures::stats(2, 400);
        m_server.on("GET", "/api/stats", slow);
        QTest::mouseClick(&host.window(), Qt::LeftButton, {}, centreOf(labelWithText(host.root(), QStringLiteral("重试"))));
        // The skeleton replaces the error view while the retry runs.
        QTRY_VERIFY_WITH_TIMEOUT(!itemsOf(host.root(), "SkeletonGrid").isEmpty(), 10000);
        QVERIFY(!labelWithText(host.root(), QStringLiteral("重试")));
        QTRY_COMPARE_WITH_TIMEOUT(itemsOf(host.root(), "ArticleCard").size(), 2, 10000);
        QVERIFY(itemsOf(host.root(), "SkeletonGrid").isEmpty());
        m_server.on("GET", "/api/stats", fixtures::stats(128));
    }

    void keyboardAndTapOpenTheArticle()
    {
        m_list = fixtures::articles(71, 6);
        Host host(QStringLiteral("HomeView"), 1200);
        QVERIFY(QTest::qWaitForWindowExposed(&host.window()));
        QTRY_COMPARE_WITH_TIMEOUT(itemsOf(host.root(), "ArticleCard").size(), 6, 10000);
        QQuickItem *grid = host.page()->property("grid").value<QQuickItem *>();

        // Ctrl+F focuses the search field.
        QTest::keyClick(&host.window(), Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(host.window().activeFocusItem() && host.window().activeFocusItem()->inherits("QQuickTextInput"));

        grid->forceActiveFocus();
        QTest::keyClick(&host.window(), Qt::Key_Right);
        QTest::keyClick(&host.window(), Qt::Key_Down);
        QCOMPARE(grid->property("currentIndex").toInt(), 4);
        QTest::keyClick(&host.window(), Qt::Key_Return);
        QTRY_COMPARE(host.depth(), 2);
        QCOMPARE(host.page()->property("articleId").toLongLong(), 75);

        QMetaObject::invokeMethod(host.stack(), "back");
        QTRY_COMPARE(host.depth(), 1);
        QTRY_VERIFY(!host.stack()->property("busy").toBool()); // input is ignored during the transition
        QTRY_VERIFY(labelWithText(host.root(), QStringLiteral("文章 72")));
        QTest::mouseClick(&host.window(), Qt::LeftButton, {}, centreOf(labelWithText(host.root(), QStringLiteral("文章 72"))));
        QTRY_COMPARE(host.depth(), 2);
        QCOMPARE(host.page()->property("articleId").toLongLong(), 72);
    }

    void tabWalksSearchChipsAndGrid()
    {
        m_list = fixtures::articles(91, 3);
        Host host(QStringLiteral("HomeView"), 1200);
        QVERIFY(QTest::qWaitForWindowExposed(&host.window()));
        QTRY_COMPARE_WITH_TIMEOUT(itemsOf(host.root(), "ArticleCard").size(), 3, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(labelWithText(host.root(), QStringLiteral("C++")), 10000);
        QQuickItem *grid = host.page()->property("grid").value<QQuickItem *>();

        const QStringList unnamed = unnamedControls(host.page());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1String(", "))));

        QTest::keyClick(&host.window(), Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(host.window().activeFocusItem() && host.window().activeFocusItem()->inherits("QQuickTextInput"));
        // Forward from the search field: every chip in order, then the cards.
        QStringList walk;
        QPointer<QQuickItem> cppChip;
        for (int i = 0; i < 6 && walk.value(walk.size() - 1) != QStringLiteral("grid"); ++i) {
            QTest::keyClick(&host.window(), Qt::Key_Tab);
            QQuickItem *focused = host.window().activeFocusItem();
            QVERIFY(focused);
            if (focused == grid)
                walk << QStringLiteral("grid");
            else if (focused->inherits("QQuickTextInput"))
                walk << QStringLiteral("search");
            else
                walk << focused->property("modelData").toMap().value(QStringLiteral("title")).toString();
            if (walk.last() == QStringLiteral("C++"))
                cppChip = focused;
        }
        const QStringList expected{QStringLiteral("全部"), QStringLiteral("Qt"), QStringLiteral("C++"), QStringLiteral("grid")};
        QVERIFY2(walk == expected, qPrintable(walk.join(QLatin1Char(','))));
        // The grid itself holds the focus, so the arrows move between cards.
        QTest::keyClick(&host.window(), Qt::Key_Right);
        QCOMPARE(grid->property("currentIndex").toInt(), 1);

        // With text in the field, Tab reaches its clear button; Space clears and reloads.
        QTest::keyClick(&host.window(), Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(host.window().activeFocusItem() && host.window().activeFocusItem()->inherits("QQuickTextInput"));
        QTest::keyClick(&host.window(), Qt::Key_X);
        QObject *screen = host.page()->property("screen").value<QObject *>();
        QCOMPARE(screen->property("searchText").toString(), QStringLiteral("x"));
        QTest::keyClick(&host.window(), Qt::Key_Tab);
        QCOMPARE(host.window().activeFocusItem()->objectName(), QStringLiteral("clearSearchButton"));
        m_server.clear();
        QTest::keyClick(&host.window(), Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/articles"), 1, 10000);
        QVERIFY(!m_server.requestsTo("/api/articles").first().queryKeys().contains(QStringLiteral("q")));
        QCOMPARE(screen->property("searchText").toString(), QString());
        QVERIFY(host.window().activeFocusItem()->inherits("QQuickTextInput"));
        QTRY_VERIFY_WITH_TIMEOUT(!screen->property("isLoading").toBool(), 10000);

        // Choosing a chip from the keyboard keeps that chip, and the focus on it.
        QVERIFY(cppChip);
        cppChip->forceActiveFocus(Qt::TabFocusReason);
        m_server.clear();
        QTest::keyClick(&host.window(), Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/articles"), 1, 10000);
        QCOMPARE(m_server.requestsTo("/api/articles").first().queryItem("tag"), QStringLiteral("12"));
        QVERIFY2(cppChip, "the chip was rebuilt");
        QCOMPARE(host.window().activeFocusItem(), cppChip.data());
        QVERIFY(cppChip->property("selected").toBool());
    }

    void discoverShowsNonEmptySections()
    {
        QList<Article> hot = fixtures::articles(81, 6);
        for (auto &a : hot)
            a.likes = a.comments = 0;
        m_server.on("GET", "/api/articles/hot", fixtures::section("hot", hot));
        m_server.on("GET", "/api/articles/latest", fixtures::section("latest", {}));
        m_server.on("GET", "/api/articles/random", fixtures::section("random", hot.mid(0, 2)));
        Host host(QStringLiteral("DiscoverView"), 1200);
        QVERIFY(QTest::qWaitForWindowExposed(&host.window()));
        QTRY_COMPARE_WITH_TIMEOUT(itemsOf(host.root(), "ArticleCard").size(), 8, 10000);
        QVERIFY(!host.stack()->property("busy").toBool());
        QCOMPARE(m_server.count("/api/articles/hot"), 1); // one load per appearance
        QVERIFY(labelWithText(host.root(), QStringLiteral("热门文章")));
        QVERIFY(labelWithText(host.root(), QStringLiteral("随机推荐")));
        QVERIFY(!labelWithText(host.root(), QStringLiteral("最新发布")));
        QVERIFY(itemsOf(host.root(), "SkeletonGrid").isEmpty());
        QCOMPARE(int(distinct(itemsOf(host.root(), "ArticleCard"), true).size()), 3);

        // Leaving for a pushed page and coming back loads again.
        QTest::mouseClick(&host.window(), Qt::LeftButton, {}, centreOf(labelWithText(host.root(), QStringLiteral("文章 82"))));
        QTRY_COMPARE(host.depth(), 2);
        const int loads = m_server.count("/api/articles/hot");
        QMetaObject::invokeMethod(host.stack(), "back");
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/articles/hot"), loads + 1, 10000);
    }

    // Titles, names, tags and server messages are data, not markup: shown
    // character for character, and an image tag in them fetches nothing.
    void serverTextIsShownLiterally()
    {
        const QString image = QStringLiteral("<img src=\"%1/leak.png\">").arg(m_server.baseUrl());
        m_list = fixtures::articles(91, 1);
        m_list[0].title = QStringLiteral("<b>粗</b>") + image;
        m_list[0].author = QStringLiteral("<i>斜体</i>");
        m_server.on("GET", "/api/tags", fixtures::tags({Tag{3, QStringLiteral("<u>下划线</u>")}}));
        m_server.clear();
        {
            Host host(QStringLiteral("HomeView"), 1200);
            QVERIFY(QTest::qWaitForWindowExposed(&host.window()));
            QTRY_VERIFY_WITH_TIMEOUT(labelWithText(host.root(), QStringLiteral("<u>下划线</u>")), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(labelWithText(host.root(), m_list[0].title), 10000);
            QVERIFY(drawnLiterally(labelWithText(host.root(), m_list[0].title)));
            QVERIFY(drawnLiterally(labelWithText(host.root(), QStringLiteral("<i>斜体</i>"))));
            QVERIFY(drawnLiterally(labelWithText(host.root(), QStringLiteral("<u>下划线</u>"))));
        }

        m_server.on("GET", "/api/stats", fixtures::serverError(QStringLiteral("<b>统计</b>坏了") + image));
        {
            Host host(QStringLiteral("HomeView"), 1200);
            QVERIFY(QTest::qWaitForWindowExposed(&host.window()));
            const QString message = QStringLiteral("加载失败：<b>统计</b>坏了") + image;
            QTRY_VERIFY_WITH_TIMEOUT(labelWithText(host.root(), message), 10000);
            QVERIFY(drawnLiterally(labelWithText(host.root(), message)));
        }
        m_server.on("GET", "/api/stats", fixtures::stats(128));
        m_server.on("GET", "/api/tags", fixtures::tags(kTags));
        QCOMPARE(m_server.count("/leak.png"), 0);
    }

private:
    QTemporaryDir m_home;
    FakeServer m_server;
    QList<Article> m_list;
};

QTEST_MAIN(HomeViewTest)
#include "tst_homeview.moc"
