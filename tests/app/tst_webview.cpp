#include "core/Activity.h"
#include "FakeServer.h"
#include "reading/WebViewHost.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWebEngineProfile>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

using namespace papelo;

namespace {

constexpr int kApplicationWorld = 1;  // QWebEngineScript::ApplicationWorld

// The body inside a page-like Flickable, as the article screen places it.
const char *kHarness = R"QML(
import QtQuick
import Papelo
Item {
    id: root
    width: 600; height: 700
    property string html
    property real measured: -1
    property int measureCount: 0
    property bool finished: false
    property var probeResult
    property int probeCount: 0
    property alias body: body
    property alias flick: flick
    function probe(script) {
        body.view.runJavaScript(script, 1, r => { root.probeResult = r; root.probeCount++ })
    }
    Flickable {
        id: flick
        anchors.fill: parent
        contentWidth: width
        contentHeight: column.height
        Column {
            id: column
            width: flick.width
            Item { width: 1; height: 50 }
            ArticleBody {
                id: body
                width: column.width
                height: root.measured > 0 ? root.measured : 400
                html: root.html
                flickable: flick
                dark: false
                onHeightMeasured: h => { root.measured = h; root.measureCount++ }
                onLoaded: root.finished = true
            }
            Item { width: 1; height: 1500 }
        }
    }
}
)QML";

QByteArray pngBytes(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

} // namespace

class LinkRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class WebViewTest : public QObject {
    Q_OBJECT

    QQmlEngine *m_engine = nullptr;
    LinkRecorder m_links;

    struct Page {
        std::unique_ptr<QQuickWindow> window;
        QQuickItem *root = nullptr;
        Page() = default;
        Page(Page &&other) noexcept : window(std::move(other.window)), root(std::exchange(other.root, nullptr)) {}
        ~Page() { delete root; }
        QObject *body() const { return root->property("body").value<QObject *>(); }
        WebViewHost *host() const { return body()->property("host").value<WebViewHost *>(); }
        QObject *flick() const { return root->property("flick").value<QObject *>(); }
        QVariant probe(const QString &script)
        {
            const int before = root->property("probeCount").toInt();
            QMetaObject::invokeMethod(root, "probe", Q_ARG(QVariant, script));
            if (!QTest::qWaitFor([&] { return root->property("probeCount").toInt() > before; }, 10000))
                return QStringLiteral("<no answer>");
            return root->property("probeResult");
        }
    };

    Page open(const QString &html)
    {
        Page page;
        QQmlComponent component(m_engine);
        component.setData(kHarness, QUrl(QStringLiteral("qrc:/tst_webview/Harness.qml")));
        page.root = qobject_cast<QQuickItem *>(component.beginCreate(m_engine->rootContext()));
        if (!page.root) {
            qWarning().noquote() << component.errorString();
            return page;
        }
        page.root->setProperty("html", html);
        component.completeCreate();
        page.window = std::make_unique<QQuickWindow>();
        page.window->resize(600, 700);
        page.root->setParentItem(page.window->contentItem());
        page.window->show();
        return page;
    }

private slots:
    void initTestCase()
    {
        m_engine = new QQmlEngine(this);
        m_engine->addImportPath(QStringLiteral("qrc:/"));
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_links, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_links, "open");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }

    void init()
    {
        // Earlier pages may still hold their re-measurement window.
        QTRY_COMPARE_WITH_TIMEOUT(Activity::shared().count(), 0, 10000);
    }

    void dedicatedProfileCarriesTheUserAgent()
    {
        QCOMPARE(WebViewHost::profile()->httpUserAgent(), WebViewHost::userAgent());
        QVERIFY(!WebViewHost::profile()->isOffTheRecord());
        QVERIFY(QQuickWebEngineProfile::defaultProfile()->httpUserAgent() != WebViewHost::userAgent());
    }

    void aSlowImageHoldsTheFinishAndIsMeasured()
    {
        FakeServer server;
        QVERIFY(server.listen());
        auto image = FakeServer::Response::raw(200, pngBytes(300, 900), "image/png");
        image.delayMs = 1000;
        server.on("GET", "/late.png", image);

        Page page = open(QStringLiteral("<p>Hello</p><img src=\"%1/late.png\">").arg(server.baseUrl()));
        QVERIFY(page.root);
        WebViewHost *host = page.host();
        QVERIFY(host->isLoading());
        QVERIFY(Activity::shared().count() > 0);  // counted for the screenshot mode
        QSignalSpy heights(host, &WebViewHost::heightMeasured);

        // The engine's finish waits for the body's images, so the very first
        // measurement already has the full height.
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("finished").toBool(), 20000);
        QVERIFY(!host->isLoading());
        QCOMPARE(host->loadCount(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(heights.count() >= 1, 5000);
        QVERIFY2(heights.first().first().toReal() >= 900, qPrintable(heights.first().first().toString()));
        QCOMPARE(server.count("/late.png"), 1);
        QCOMPARE(server.requestsTo("/late.png").first().header("User-Agent"), WebViewHost::userAgent().toUtf8());
        // All four measurements arrive, the later ones applied although unchanged.
        QTRY_COMPARE_WITH_TIMEOUT(heights.count(), 4, 6000);
        QCOMPARE(heights.at(3).first().toReal(), heights.at(0).first().toReal());
        QTRY_COMPARE_WITH_TIMEOUT(Activity::shared().count(), 0, 5000);
    }

    void contentGrowingAfterTheFinishIsFollowed()
    {
        // Grows to 900 px one second after the document starts, with no script.
        Page page = open(QStringLiteral("<style>@keyframes grow { to { height: 900px; } }</style>"
                                        "<div style=\"height: 10px; animation: grow 0.01s linear 1s forwards\"></div>"));
        QVERIFY(page.root);
        QSignalSpy heights(page.host(), &WebViewHost::heightMeasured);
        QTRY_VERIFY_WITH_TIMEOUT(heights.count() >= 1, 20000);
        const qreal first = heights.first().first().toReal();
        QVERIFY2(first > 0 && first < 500, qPrintable(QString::number(first)));
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measured").toReal() >= 900, 5000);
        QCOMPARE(page.body()->property("height").toReal(), page.root->property("measured").toReal());
    }

    void sameBodyDoesNotReload()
    {
        Page page = open(QStringLiteral("<p>同一篇</p>"));
        QVERIFY(page.root);
        WebViewHost *host = page.host();
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("finished").toBool(), 20000);
        QSignalSpy loads(host, &WebViewHost::loadRequested);
        host->setHtmlContent(QStringLiteral("<p>同一篇</p>"));
        page.body()->setProperty("height", 321);  // a re-layout, as after a measurement
        host->setHtmlContent(QStringLiteral("<p>同一篇</p>"));
        QCOMPARE(loads.count(), 0);
        QCOMPARE(host->loadCount(), 1);

        // A different body loads; the loading flag is not raised again.
        host->setHtmlContent(QStringLiteral("<p>另一篇</p>"));
        QCOMPARE(loads.count(), 1);
        QVERIFY(loads.first().at(0).toString().contains(QStringLiteral("另一篇")));
        QCOMPARE(loads.first().at(1).toUrl(), QUrl(QStringLiteral("https://") + host->webOrigin() + QLatin1Char('/')));
        QVERIFY(!host->isLoading());
        QTRY_COMPARE_WITH_TIMEOUT(page.probe(QStringLiteral("document.body.textContent.trim()")).toString(),
                                  QStringLiteral("另一篇"), 10000);
    }

    void pageScriptsDoNotRunButMeasurementDoes()
    {
        Page page = open(QStringLiteral("<script>document.title='ran';document.body.style.height='5000px';</script>"
                                        "<p onclick=\"document.title='clicked'\">文字</p>"));
        QVERIFY(page.root);
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("finished").toBool(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measureCount").toInt() >= 1, 5000);
        // One short paragraph: well under the 400 the page starts the view at.
        const qreal height = page.root->property("measured").toReal();
        QVERIFY2(height > 0 && height < 200, qPrintable(QString::number(height)));
        QCOMPARE(page.probe(QStringLiteral("document.title")).toString(), QString());
    }

    void followsTheAppAppearance()
    {
        Page page = open(QStringLiteral("<p>夜间</p><a href=\"#x\">a</a>"));
        QVERIFY(page.root);
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measureCount").toInt() >= 1, 20000);
        const QString background = QStringLiteral("getComputedStyle(document.body).backgroundColor");
        const QString link = QStringLiteral("getComputedStyle(document.querySelector('a')).color");
        QCOMPARE(page.probe(background).toString(), QStringLiteral("rgb(249, 248, 246)"));

        int count = page.root->property("measureCount").toInt();
        page.body()->setProperty("dark", true);
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measureCount").toInt() > count, 5000);
        QCOMPARE(page.probe(background).toString(), QStringLiteral("rgb(17, 18, 16)"));
        QCOMPARE(page.probe(link).toString(), QStringLiteral("rgb(87, 184, 168)"));

        count = page.root->property("measureCount").toInt();
        page.body()->setProperty("dark", false);
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measureCount").toInt() > count, 5000);
        QCOMPARE(page.probe(background).toString(), QStringLiteral("rgb(249, 248, 246)"));
        QCOMPARE(page.probe(link).toString(), QStringLiteral("rgb(15, 123, 108)"));
    }

    void aNarrowerBodyIsMeasuredAgain()
    {
        QString text;
        for (int i = 0; i < 40; ++i)
            text += QStringLiteral("一段足够长的文字，换行之后会更高。");
        Page page = open(QStringLiteral("<p>%1</p>").arg(text));
        QVERIFY(page.root);
        QSignalSpy heights(page.host(), &WebViewHost::heightMeasured);
        QTRY_COMPARE_WITH_TIMEOUT(heights.count(), 4, 20000);  // the finish and its three follow-ups
        const qreal wide = page.root->property("measured").toReal();
        page.body()->setProperty("width", 300);
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measured").toReal() > wide * 1.5, 5000);
        QCOMPARE(heights.count(), 5);  // one measurement for the whole change
    }

    void destroyedBeforeTheLaterMeasurements()
    {
        const int activityBefore = Activity::shared().count();
        {
            Page page = open(QStringLiteral("<p>短暂</p>"));
            QVERIFY(page.root);
            QTRY_VERIFY_WITH_TIMEOUT(page.root->property("finished").toBool(), 20000);
            delete page.root;
            page.root = nullptr;
        }
        // The pending measurements must find nothing to do, and release their count.
        QCOMPARE(Activity::shared().count(), activityBefore);
        QTest::qWait(3300);
        QCOMPARE(Activity::shared().count(), activityBefore);
    }

    void wheelScrollsThePageAndClicksReachTheBody()
    {
        Page page = open(QStringLiteral("<p><a href=\"https://example.org/elsewhere\" "
                                        "style=\"display:block;height:300px\">外部链接</a></p>"));
        QVERIFY(page.root);
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measureCount").toInt() >= 1, 20000);
        QObject *flick = page.flick();
        QCOMPARE(flick->property("contentY").toReal(), 0.0);

        const QPointF overBody(300, 200);
        QWheelEvent down(overBody, page.window->mapToGlobal(overBody), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(page.window.get(), &down);
        QTRY_COMPARE_WITH_TIMEOUT(flick->property("contentY").toReal(), 96.0, 3000);
        QWheelEvent up(overBody, page.window->mapToGlobal(overBody), QPoint(), QPoint(0, 600), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(page.window.get(), &up);
        QTRY_COMPARE_WITH_TIMEOUT(flick->property("contentY").toReal(), 0.0, 3000);  // held at the top

        // A click on a link to another site opens it outside; the article stays.
        m_links.opened.clear();
        QSignalSpy loads(page.host(), &WebViewHost::loadRequested);
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 150));
        QTRY_COMPARE_WITH_TIMEOUT(m_links.opened.size(), 1, 10000);
        QCOMPARE(m_links.opened.first(), QUrl(QStringLiteral("https://example.org/elsewhere")));
        QTest::qWait(300);
        QCOMPARE(page.probe(QStringLiteral("document.body.textContent.trim()")).toString(), QStringLiteral("外部链接"));
        QCOMPARE(loads.count(), 0);
    }

    void anAnchorOfTheArticleStaysInTheArticle()
    {
        Page page = open(QStringLiteral("<p><a href=\"#notes\" style=\"display:block;height:200px\">跳到注释</a></p>"
                                        "<div style=\"height:900px\"></div><h2 id=\"notes\">注释</h2>"));
        QVERIFY(page.root);
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measureCount").toInt() >= 1, 20000);
        m_links.opened.clear();
        QSignalSpy loads(page.host(), &WebViewHost::loadRequested);
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 120));
        // The jump itself happened inside the page, so the click did land on the link.
        QTRY_COMPARE_WITH_TIMEOUT(page.probe(QStringLiteral("location.hash")).toString(), QStringLiteral("#notes"), 10000);
        QVERIFY(m_links.opened.isEmpty());
        QCOMPARE(loads.count(), 0);
        QCOMPARE(page.probe(QStringLiteral("document.getElementById('notes') ? 'article' : 'gone'")).toString(),
                 QStringLiteral("article"));
    }

    void navigationAndScrollDecisions()
    {
        WebViewHost host;
        host.setWebOrigin(QStringLiteral("papelo.example"));
        m_links.opened.clear();
        QVERIFY(host.acceptNavigation(QUrl("https://papelo.example/#notes"), true, true));
        QVERIFY(host.acceptNavigation(QUrl("data:text/html,x"), false, true));      // our own loads
        QVERIFY(host.acceptNavigation(QUrl("https://ads.example/frame"), true, false)); // inside a frame
        QVERIFY(!host.acceptNavigation(QUrl("https://papelo.example/about"), true, true));
        QVERIFY(!host.acceptNavigation(QUrl("javascript:alert(1)"), true, true));
        QCOMPARE(m_links.opened, QList<QUrl>{QUrl("https://papelo.example/about")});  // never the script URL

        QVERIFY(!WebViewHost::isMeasurement(QVariant(true)));
        QVERIFY(!WebViewHost::isMeasurement(QVariant(QStringLiteral("812"))));
        QVERIFY(!WebViewHost::isMeasurement(QVariant()));
        QVERIFY(!WebViewHost::isMeasurement(QVariant(qQNaN())));
        QVERIFY(WebViewHost::isMeasurement(QVariant(812.5)));

        // contentY, angle, pixel, contentHeight, viewportHeight, originY
        QCOMPARE(WebViewHost::scrolledContentY(0, -120, 0, 3000, 700, 0), 96.0);
        QCOMPARE(WebViewHost::scrolledContentY(100, 0, -30, 3000, 700, 0), 130.0);  // touchpad pixels win
        QCOMPARE(WebViewHost::scrolledContentY(2250, -480, 0, 3000, 700, 0), 2300.0);
        QCOMPARE(WebViewHost::scrolledContentY(0, -120, 0, 500, 700, 0), 0.0);      // nothing to scroll
    }
};

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("papelo-tests"));
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);
    WebViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webview.moc"
