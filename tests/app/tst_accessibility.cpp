// What a screen reader meets in each view of the real window, offscreen
// through Qt's accessibility interfaces: the Tab order (every stop, in view,
// back where it started, the same backwards), roles, names and the checked,
// disabled and busy states; the menus from the keyboard. The bus itself,
// events and the body: tst_accessibility_bus.py.
#include "ArticleFixtures.h"
#include "DataTable.h"
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
    // A small site (tests/data/app/accessibility-site.json): two articles with counts, article 7 with a link,
    // 9 with a picture, 8 never answered, two comments (one by an account); any of them can fail.
    void initTestCase()
    {
        collectWarnings();
        QVERIFY(m_server.listen());
        ServerConfig::setBaseUrl(m_server.baseUrl());
        const QJsonObject site = data::json(QStringLiteral("app/accessibility-site.json")).toObject();
        for (auto it = site.begin(); it != site.end(); ++it) {
            const QByteArray body = QJsonDocument::fromVariant(it.value().toVariant()).toJson();
            m_server.on("GET", it.key().toUtf8(), [this, body, path = it.key()](const FakeServer::Request &) {
                return m_failing == path ? fixtures::serverError(QStringLiteral("服务不可用")) : FakeServer::Response::raw(200, body);
            });
        }
        m_server.on("GET", "/api/article/8", FakeServer::stalled());
    }
    void cleanup() { QVERIFY_NO_WARNINGS(); }

    void views_data() { data::table<int, qint64, int, QString, QStringList, QStringList>(QStringLiteral("app/accessibility-views.tsv")); }
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
    void comfortControls_data() { data::table<QString, QKeySequence, QString, QStringList>(QStringLiteral("app/accessibility-comfort.tsv")); }
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
    void menusOpenFromTheKeyboard_data() { data::table<QKeySequence, QString, QString>(QStringLiteral("app/accessibility-menus.tsv")); }
    void menusOpenFromTheKeyboard()
    {
        QFETCH(QKeySequence, key);
        QFETCH(QString, title);
        QFETCH(QString, named);
        const auto main = open(3);
        QTest::keySequence(main->window.get(), key);
        const auto all = main->window->findChildren<QObject *>();
        QTRY_VERIFY(std::any_of(all.cbegin(), all.cend(), [&](QObject *o) {
            return o->inherits("QQuickMenu") && o->property("opened").toBool() && o->property("title") == title
                   && describe(QAccessible::queryAccessibleInterface(o->property("contentItem").value<QQuickItem *>()->parentItem()))
                          == QStringLiteral("PopupMenu ") + named;
        }));
    }
};

QML_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
