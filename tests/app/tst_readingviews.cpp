#include "AccessibleNames.h"
#include "common/App.h"
#include "reading/ArticleDetailScreen.h"
#include "articles/AuthorDetailScreen.h"
#include "FakeServer.h"
#include "core/ServerConfig.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QtTest>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

using namespace papelo;

namespace {

// A bare navigation stack, as each tab has, holding the reading screens.
const char *kHarness = R"QML(
import QtQuick
import QtQuick.Controls
import Papelo
Item {
    id: root
    width: 1000; height: 800
    property alias stack: stack
    function openArticle(id) { stack.push("qrc:/Papelo/ArticleDetailView.qml", { articleId: id }) }
    function openAuthor(id) { stack.push("qrc:/Papelo/AuthorDetailView.qml", { authorId: id }) }
    function back() { stack.pop() }
    StackView {
        id: stack
        property bool current: true
        anchors.fill: parent
    }
}
)QML";

QJsonObject articleJson(qint64 id)
{
    return QJsonObject{{"id", id},           {"title", "<b>不是粗体</b>"}, {"filename", "a.html"},
                       {"views", 12},        {"likes", 3},               {"comments", 1},
                       {"date", "2026-01-02"}, {"body", "<h2>小标题</h2><p>正文段落。</p>"},
                       {"tags", QJsonArray{QJsonObject{{"id", 1}, {"name", "随笔"}}}},
                       {"author", QJsonObject{{"id", 9}, {"username", "江一帆"}, {"role", "作者"}}}};
}

QJsonObject commentJson(qint64 id, const QString &content)
{
    return QJsonObject{{"id", id}, {"name", "读者"}, {"content", content}, {"likes", 0}, {"time", "2026-01-03 08:00:00"}};
}

QQuickItem *findByText(QQuickItem *root, const QString &text)
{
    if (root->property("text").toString() == text && root->isVisible())
        return root;
    for (QQuickItem *child : root->childItems()) {
        if (QQuickItem *hit = findByText(child, text))
            return hit;
    }
    return nullptr;
}

} // namespace

class ReadingViewsTest : public QObject {
    Q_OBJECT

    QQmlEngine *m_engine = nullptr;
    FakeServer m_server;
    std::unique_ptr<QQuickWindow> m_window;
    QQuickItem *m_root = nullptr;

    QQuickItem *currentPage() const
    {
        QObject *stack = m_root->property("stack").value<QObject *>();
        return stack->property("currentItem").value<QQuickItem *>();
    }
    void grab(const QString &name)
    {
        // Optional pictures for a person to look at; nothing asserts on them.
        const QString dir = qEnvironmentVariable("PAPELO_GRAB_DIR");
        if (!dir.isEmpty())
            m_window->grabWindow().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        m_server.on("GET", "/api/article/7", FakeServer::Response::json(articleJson(7)));
        m_server.on("GET", "/api/comments", FakeServer::Response::json(QJsonArray{commentJson(1, "<img src=x>第一条")}));
        m_server.on("GET", "/api/author/9",
                    FakeServer::Response::json(QJsonObject{
                        {"author", QJsonObject{{"id", 9}, {"username", "江一帆"}, {"role", "作者"}, {"bio", "写字的人"}}},
                        {"stats", QJsonObject{{"total_articles", 0}}},
                        {"articles", QJsonArray{}}}));
        ServerConfig::setBaseUrl(m_server.baseUrl());

        m_engine = new QQmlEngine(this);
        m_engine->addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(m_engine);
        component.setData(kHarness, QUrl(QStringLiteral("qrc:/tst_readingviews/Harness.qml")));
        m_root = qobject_cast<QQuickItem *>(component.create());
        QVERIFY2(m_root, qPrintable(component.errorString()));
        m_window = std::make_unique<QQuickWindow>();
        m_window->resize(1000, 800);
        m_window->setColor(App::shared()->isDark() ? QColor("#111210") : QColor("#F9F8F6"));
        m_root->setParentItem(m_window->contentItem());
        m_window->show();
    }

    void cleanupTestCase()
    {
        delete m_root;
        m_window.reset();
    }

    void articlePageLoadsShowsBodyAndPostsWithReturn()
    {
        QMetaObject::invokeMethod(m_root, "openArticle", Q_ARG(QVariant, 7));
        QQuickItem *page = currentPage();
        QVERIFY(page);
        auto *screen = page->property("screen").value<ArticleDetailScreen *>();
        QVERIFY(screen);
        QCOMPARE(screen->articleId(), 7);
        QTRY_COMPARE_WITH_TIMEOUT(screen->mainBlock(), QStringLiteral("article"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!screen->webViewLoading(), 20000);
        QVERIFY(screen->webViewHeight() > 0);
        QCOMPARE(m_server.count("/api/article/7"), 1);

        // Server texts are shown as text, never as markup.
        QVERIFY(findByText(page, QStringLiteral("<b>不是粗体</b>")));
        QVERIFY(findByText(page, QStringLiteral("<img src=x>第一条")));
        QVERIFY(findByText(page, QStringLiteral("#随笔")));
        QVERIFY(findByText(page, QStringLiteral("评论 1")));
        QTest::qWait(400);  // the body's fade-in
        grab(QStringLiteral("article"));

        // Typing and Return in the comment field send one comment.
        auto posted = FakeServer::Response::json(QJsonObject{{"id", 2}, {"ok", true}});
        posted.delayMs = 200;
        m_server.on("POST", "/api/comment", posted);
        QQuickItem *field = nullptr;
        for (QQuickItem *item : page->findChildren<QQuickItem *>()) {
            if (item->property("placeholderText").toString() == QStringLiteral("说点什么...")) {
                field = item;
                break;
            }
        }
        QVERIFY(field);
        field->forceActiveFocus();
        for (char c : QByteArray("hello"))
            QTest::keyClick(m_window.get(), c);
        QTRY_COMPARE(screen->newComment(), QStringLiteral("hello"));
        QVERIFY(screen->canSend());
        QTest::keyClick(m_window.get(), Qt::Key_Return);
        QTest::keyClick(m_window.get(), Qt::Key_Return);  // while posting: nothing
        QTRY_VERIFY_WITH_TIMEOUT(!screen->isPosting(), 10000);
        QCOMPARE(m_server.count("/api/comment"), 1);
        QCOMPARE(m_server.requestsTo("/api/comment").first().jsonBody().value("content").toString(),
                 QStringLiteral("hello"));
        QTRY_COMPARE(field->property("text").toString(), QString());

        const QStringList unnamed = unnamedControls(page);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1String(", "))));
    }

    void authorLinkPushesTheAuthorAndComingBackReloads()
    {
        QQuickItem *page = currentPage();
        auto *article = page->property("screen").value<ArticleDetailScreen *>();
        QQuickItem *name = findByText(page, QStringLiteral("江一帆"));
        QVERIFY(name);
        const QPointF centre = name->mapToScene(QPointF(name->width() / 2, name->height() / 2));
        QTest::mouseClick(m_window.get(), Qt::LeftButton, {}, centre.toPoint());
        QTRY_VERIFY_WITH_TIMEOUT(currentPage() != page, 5000);
        auto *author = currentPage()->property("screen").value<AuthorDetailScreen *>();
        QVERIFY(author);
        QCOMPARE(author->authorId(), 9);
        QTRY_COMPARE_WITH_TIMEOUT(author->mainBlock(), QStringLiteral("author"), 10000);
        QTRY_VERIFY(findByText(currentPage(), QStringLiteral("暂无文章")));
        QVERIFY(findByText(currentPage(), QStringLiteral("写字的人")));
        const QStringList unnamed = unnamedControls(currentPage());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1String(", "))));
        QTest::qWait(400);
        grab(QStringLiteral("author"));

        const int loadsBefore = m_server.count("/api/article/7");
        QMetaObject::invokeMethod(m_root, "back");
        QTRY_COMPARE_WITH_TIMEOUT(currentPage(), page, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/article/7"), loadsBefore + 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(article->mainBlock(), QStringLiteral("article"), 10000);
    }
};

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);
    ReadingViewsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_readingviews.moc"
