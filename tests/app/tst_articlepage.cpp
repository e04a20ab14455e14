// The article body with real WebEngine: what a navigation or a request may
// do, hostile bodies that try to leave the document, pictures over plain
// HTTP from a host that is not loopback, bodies far taller than a screen or
// larger than a data URL, and where the page scrolls for fragments and keys.
#include "FakeServer.h"
#include "reading/ArticleDocumentServer.h"
#include "reading/BodyWindow.h"
#include "reading/ArticleProfile.h"
#include "reading/ArticleRequestFilter.h"
#include "images/ImageCache.h"
#include "reading/WebViewHost.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

using namespace papelo;

namespace {
// The body in a page, 50 px below its top, as the article screen places it.
const char *kPage = R"QML(
import QtQuick
import Papelo
Flickable {
    id: flick
    width: 600; height: 500; contentHeight: column.height
    property string html; property real measured: 400; property var probed; property string said
    property alias body: body
    Connections { target: body.view; function onJavaScriptConsoleMessage(level, message) { flick.said = message } }
    function probe(script) { probed = undefined; body.view.runJavaScript(script, 1, r => probed = r) }
    Column {
        id: column; width: 600; topPadding: 50; bottomPadding: 300
        ArticleBody { id: body; width: 600; height: flick.measured; html: flick.html; flickable: flick; dark: false
                      onHeightMeasured: h => flick.measured = h }
    }
})QML";

QByteArray pngBytes(QColor colour)
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, "PNG");
    return bytes;
}
FakeServer::Response png(QColor colour) { return FakeServer::Response::raw(200, pngBytes(colour), "image/png"); }

struct Page {
    std::unique_ptr<QQuickWindow> window = std::make_unique<QQuickWindow>();
    std::unique_ptr<QQuickItem> root;
    Page(QQmlEngine &engine, const QString &html)
    {
        QQmlComponent component(&engine);
        component.setData(kPage, QUrl(QStringLiteral("qrc:/tst_articlepage/Page.qml")));
        root.reset(qobject_cast<QQuickItem *>(component.beginCreate(engine.rootContext())));
        root->setProperty("html", html);
        component.completeCreate();
        window->resize(600, 500);
        root->setParentItem(window->contentItem());
        window->show();
    }
    QQuickItem *body() const { return root->property("body").value<QQuickItem *>(); }
    WebViewHost *host() const { return body()->property("host").value<WebViewHost *>(); }
    QVariant probe(const QString &script)
    {
        QMetaObject::invokeMethod(root.get(), "probe", Q_ARG(QVariant, script));
        (void)QTest::qWaitFor([&] { return root->property("probed").isValid(); }, 10000);
        return root->property("probed");
    }
    bool shows(int x, int y, QColor colour) const
    {
        const QColor seen = window->grabWindow().pixelColor(x, y);
        return std::abs(seen.red() - colour.red()) + std::abs(seen.green() - colour.green())
                   + std::abs(seen.blue() - colour.blue()) < 8;
    }
};
} // namespace

class ArticlePageTest : public QObject {
    Q_OBJECT
    QQmlEngine m_engine;
    QList<QUrl> m_opened;

public slots:
    void open(const QUrl &url) { m_opened.append(url); }

private slots:
    void initTestCase()
    {
        m_engine.addImportPath(QStringLiteral("qrc:/"));
        for (const char *scheme : {"http", "https", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    void init() { m_opened.clear(); }
    void cleanup() { QCOMPARE(ArticleProfile::documents()->publishedCount(), 0); }  // every page withdrew its own

    void navigationDecisions_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("linkClicked");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("opened");    // handed to the system browser
        QTest::addColumn<QString>("fragment");  // "-": no scroll asked for
        QTest::newRow("own document") << "DOCUMENT" << false << true << "" << "-";
        QTest::newRow("own document, again") << "DOCUMENT" << false << false << "" << "-";  // a refresh to itself
        QTest::newRow("fragment, base") << "https://papelo.example/#notes" << true << false << "" << "notes";
        QTest::newRow("link elsewhere") << "https://example.org/a" << true << false << "https://example.org/a" << "-";
        QTest::newRow("link, own scheme") << "papelo-article://papelo.example/about" << true << false
                                          << "https://papelo.example/about" << "-";
        QTest::newRow("frame") << "https://example.org/frame" << false << false << "" << "-";
        QTest::newRow("script link") << "javascript:alert(1)" << true << false << "" << "-";
        QTest::newRow("file link") << "file:///etc/passwd" << true << false << "" << "-";
    }
    void navigationDecisions()
    {
        QFETCH(QString, url);
        QFETCH(bool, linkClicked);
        QFETCH(QString, fragment);
        WebViewHost host;
        host.setWebOrigin(QStringLiteral("papelo.example"));
        host.componentComplete();
        url.replace(QLatin1String("DOCUMENT"), host.documentUrl().toString());
        if (QTest::currentDataTag() == QByteArray("own document, again"))
            QVERIFY(host.acceptNavigation(host.documentUrl(), false, true));
        QSignalSpy fragments(&host, &WebViewHost::fragmentRequested);
        QTEST(host.acceptNavigation(QUrl(url), linkClicked, QTest::currentDataTag() != QByteArray("frame")), "accepted");
        QTEST(m_opened.isEmpty() ? QString() : m_opened.first().toString(), "opened");
        QCOMPARE(fragments.isEmpty() ? QStringLiteral("-") : fragments.first().first().toString(), fragment);
    }

    // What a body may load besides its document; iframes never get this far
    // (refused as navigations, or removed by the body script), so the filter
    // is checked on its own. The configured server is http://127.0.0.1:4000.
    void requestFilter_data()
    {
        using Info = QWebEngineUrlRequestInfo;
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("picture, http") << int(Info::ResourceTypeImage) << "http://pictures.test/a.png" << true;
        QTest::newRow("font, https") << int(Info::ResourceTypeFontResource) << "https://fonts.test/a.woff" << true;
        QTest::newRow("picture, own scheme") << int(Info::ResourceTypeImage) << "papelo-article://o.test/a.png" << true;
        QTest::newRow("picture, ftp") << int(Info::ResourceTypeImage) << "ftp://o.test/a.png" << false;
        QTest::newRow("document, own scheme") << int(Info::ResourceTypeMainFrame) << "papelo-article://o.test/" << true;
        QTest::newRow("document, https") << int(Info::ResourceTypeMainFrame) << "https://o.test/" << false;
        QTest::newRow("frame") << int(Info::ResourceTypeSubFrame) << "https://o.test/f" << false;
        QTest::newRow("script") << int(Info::ResourceTypeScript) << "https://o.test/s.js" << false;
        QTest::newRow("fetch") << int(Info::ResourceTypeXhr) << "https://o.test/x" << false;
        QTest::newRow("ping") << int(Info::ResourceTypePing) << "https://o.test/p" << false;
        QTest::newRow("picture, the server") << int(Info::ResourceTypeImage) << "http://127.0.0.1:4000/i.png" << true;
        QTest::newRow("picture, loopback") << int(Info::ResourceTypeImage) << "http://127.0.0.1:4001/i.png" << false;
        QTest::newRow("style sheet, localhost") << int(Info::ResourceTypeStylesheet) << "http://localhost:4000/s.css" << false;
        QTest::newRow("media, private") << int(Info::ResourceTypeMedia) << "https://192.168.1.1/v.mp4" << false;
    }
    void requestFilter()
    {
        QFETCH(int, type);
        QFETCH(QString, url);
        QTEST(ArticleRequestFilter::allows(QWebEngineUrlRequestInfo::ResourceType(type), QUrl(url), "http://127.0.0.1:4000"),
              "allowed");
        // The web origin keeps its Referer, whatever the case of its name; nobody else gets one.
        QVERIFY(ArticleRequestFilter::keepsReferer(QUrl("https://Papelo.Example/a.png"), "papelo.example"));
        QVERIFY(!ArticleRequestFilter::keepsReferer(QUrl(url), "papelo.example"));
        QVERIFY(!ArticleRequestFilter::keepsReferer(QUrl("https://papelo.example/a.png"), QString()));
    }

    // A document that cannot scroll where asked (its own styles) is not asked again and again.
    void unreachableScrollIsNotRepeated()
    {
        BodyWindow window;
        QSignalSpy asked(&window, &BodyWindow::scrollRequested);
        window.setVisibleHeight(500);
        window.setDocumentHeight(100000);
        window.setVisibleTop(5000);
        QCOMPARE(asked.count(), 1);
        window.setScrollPosition(0);  // the engine's answer: it stayed at the top
        window.setVisibleTop(5001);
        QCOMPARE(asked.count(), 2);   // a new place is worth one more try
        window.setScrollPosition(0);
        window.setScrollPosition(0);
        QCOMPARE(asked.count(), 2);
        window.setDocumentHeight(90000);
        QCOMPARE(asked.count(), 3);
    }

    void hostileBodies_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("opens");  // a link for the system browser
        const QString block = QStringLiteral("style=\"display:block;width:600px;height:100px\"");
        QTest::newRow("meta refresh") << "<meta http-equiv=\"refresh\" content=\"0;url=%1/refresh\">" << false;
        QTest::newRow("meta refresh, itself") << "<meta http-equiv=\"refresh\" content=\"0\" name=\"%1\">" << false;
        QTest::newRow("frame") << "<iframe src=\"%1/frame\"></iframe>" << false;
        QTest::newRow("form") << "<form action=\"%1/post\" method=\"post\"><input name=\"a\" value=\"b\"><button "
                                     + block + ">发送</button></form>" << false;
        QTest::newRow("form, new window") << "<form action=\"%1/post\" target=\"_blank\"><button " + block
                                                 + ">发送</button></form>" << false;
        QTest::newRow("link, new window") << "<a href=\"%1/blank\" target=\"_blank\" " + block + ">新窗口</a>" << true;
        QTest::newRow("local file") << "<a href=\"file:///etc/passwd\" " + block + " title=\"%1\">文件</a>" << false;
    }
    void hostileBodies()
    {
        QFETCH(QString, body);
        FakeServer other;
        QVERIFY(other.listen());
        Page page(m_engine, QStringLiteral("<i id=\"ours\"></i>") + body.arg(other.baseUrl()));
        QSignalSpy refused(page.host(), &WebViewHost::navigationRefused);
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading(), 20000);
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 110));  // on the link or button if any
        // Refused here, opened outside, or stopped by the engine itself (a local file).
        QTRY_VERIFY_WITH_TIMEOUT(!refused.isEmpty() || !m_opened.isEmpty()
                                     || page.root->property("said").toString().contains("Not allowed to load local resource"), 10000);
        QFETCH(bool, opens);
        QCOMPARE(m_opened, opens ? QList<QUrl>{QUrl(other.baseUrl() + "/blank")} : QList<QUrl>{});
        QCOMPARE(page.probe(QStringLiteral("document.getElementById('ours') ? 'ours' : location.href")).toString(),
                 QStringLiteral("ours"));
        QVERIFY2(other.requests().isEmpty(), other.requests().value(0).target.constData());
    }

    void picturesOverPlainHttpFromAnyHostAndNoCookies()
    {
        FakeServer pictures;
        QVERIFY(pictures.listen());
        FakeServer::Response red = png(Qt::red);
        red.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("seen=1; Path=/")));
        red.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=3600")));
        pictures.on("GET", "/red.png", red);
        pictures.on("GET", "/blue.png", png(Qt::blue));
        // pictures.test is no loopback name: only the engine's host rules send it here.
        const QString img = QStringLiteral("<img src=\"http://pictures.test:%1/%2.png\" style=\"width:200px\">");
        Page page(m_engine, img.arg(pictures.port()).arg(QStringLiteral("red")));
        QTRY_COMPARE_WITH_TIMEOUT(pictures.count("/red.png"), 1, 20000);
        // Image at x 200..400, y 50 + 16 + 8 and 100 tall, once faded in.
        QTRY_VERIFY_WITH_TIMEOUT(page.shows(300, 124, Qt::red), 10000);
        page.root->setProperty("html", img.arg(pictures.port()).arg(QStringLiteral("blue")));
        QTRY_VERIFY_WITH_TIMEOUT(page.shows(300, 124, Qt::blue), 20000);
        // Cached in memory for the run, until the image cache is cleared.
        page.root->setProperty("html", img.arg(pictures.port()).arg(QStringLiteral("red")) + QStringLiteral("<p>again</p>"));
        QTRY_VERIFY_WITH_TIMEOUT(page.shows(300, 124, Qt::red), 20000);
        QCOMPARE(pictures.count("/red.png"), 1);
        // The engine clears on its own thread: a page opened at once may still be served from memory.
        ImageCache::shared()->clear();
        for (int attempt = 1; attempt <= 20 && pictures.count("/red.png") < 2; ++attempt) {
            page.root->setProperty("html", img.arg(pictures.port()).arg(QStringLiteral("red")) + QString(attempt, QLatin1Char(' ')));
            (void)QTest::qWaitFor([&] { return pictures.count("/red.png") == 2; }, 1000);
        }
        QCOMPARE(pictures.count("/red.png"), 2);
        for (const FakeServer::Request &request : pictures.requests())
            QVERIFY2(!request.hasHeader("Cookie") && !request.hasHeader("Referer"), request.target.constData());
    }

    // Nothing on loopback hosts (by name, address, IPv6, or a redirect from a
    // public name) is asked for: pictures, a style sheet, a background, a
    // video. Frames without an http(s) address are gone before they render
    // (what their documents would load is never asked for); a web frame is
    // left to the frame rules.
    void bodyReachesNoPrivateHostAndNoFrameWithoutAnAddress()
    {
        FakeServer pictures, fifth, six;
        QVERIFY(pictures.listen() && fifth.listen(QHostAddress("127.0.0.5")) && six.listen(QHostAddress::LocalHostIPv6));
        pictures.on("GET", "/shown.png", png(Qt::green));
        FakeServer::Response moved = FakeServer::Response::raw(302, {}, "text/plain");
        moved.headers.append({"Location", fifth.baseUrl().toUtf8() + "/redirected.png"});
        pictures.on("GET", "/moved.png", moved);
        const QString host = QStringLiteral("http://pictures.test:%1").arg(pictures.port());
        const QString local = QStringLiteral("http://localhost:%1").arg(pictures.port());
        const auto img = [&](const char *name) { return QStringLiteral("<img src='%1/%2.png'>").arg(host, QLatin1String(name)); };
        const QString body = QStringLiteral(
            "<link rel=stylesheet href='%1/style.css'><img src='%2/fifth.png'><img src='%3/six.png'><img src='%4/moved.png'>"
            "<div style='height:20px;background:url(%1/background.png)'></div><video src='%3/video.mp4' autoplay></video>"
            "<iframe srcdoc=\"%5\"></iframe><iframe srcdoc=\"<iframe srcdoc=&quot;%6&quot;></iframe>\"></iframe>"
            "<iframe src=\"data:text/html,%7\"></iframe><object data=\"data:text/html,%8\"></object><iframe></iframe>"
            "<iframe src='about:blank'></iframe><iframe src='https://example.org/web'></iframe>%9")
            .arg(local, fifth.baseUrl(), six.baseUrl(), host, img("srcdoc"), img("nested"), img("data"), img("object"), img("shown"));
        Page page(m_engine, body);
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading() && pictures.count("/shown.png") == 1, 20000);
        QTest::qWait(500);
        QVERIFY2(pictures.requests().size() == 2 && pictures.count("/moved.png") == 1, pictures.requests().constLast().target.constData());
        QVERIFY(fifth.requests().isEmpty() && six.requests().isEmpty());
        QCOMPARE(page.probe(QStringLiteral("Array.from(document.querySelectorAll('iframe, frame, embed, object'), "
                                           "e => e.getAttribute('src')).join()")).toString(),
                 QStringLiteral("https://example.org/web"));
    }

    void tallAndLargeBodies_data()
    {
        QTest::addColumn<QString>("body");
        QString tall, large;
        for (int i = 0; i < 1000; ++i)
            tall += QStringLiteral("<div style=\"height:100px;background:%1\"></div>").arg(i == 999 ? "lime" : "silver");
        while (large.size() < 5 * 1024 * 1024)
            large += QStringLiteral("<p>A paragraph of a body far larger than a data URL may carry.</p>\n");
        QTest::newRow("100,000 px") << tall;
        // Ending in an inline picture, as bodies carry them.
        QTest::newRow("5 MiB") << large + QStringLiteral("<img style=\"width:100%;height:100px;margin:0\" src=\"data:image/png;base64,")
                                          + QString::fromLatin1(pngBytes(Qt::green).toBase64()) + QStringLiteral("\">");
    }
    void tallAndLargeBodies()
    {
        QFETCH(QString, body);
        Page page(m_engine, body);
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measured").toReal() > 20000, 60000);
        QVERIFY(page.body()->property("view").value<QQuickItem *>()->height() <= 1500);
        // The end of the body on screen: its last block ends 200 px above the
        // bottom. Later measurements may still grow the page: follow its end.
        const auto endShown = [&] {
            page.root->setProperty("contentY", page.root->property("contentHeight").toReal() - 500);
            return page.shows(300, 150, Qt::green);
        };
        QTRY_VERIFY_WITH_TIMEOUT(endShown(), 30000);
    }

    void fragmentLinksScrollThePage()
    {
        Page page(m_engine, QStringLiteral("<a href=\"#notes\" style=\"display:block;height:100px\">跳到注释</a>"
                                        "<div style=\"height:3000px\"></div><h2 id=\"notes\">注释</h2>"
                                        "<div style=\"height:3000px\"></div>"));
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measured").toReal() > 6000, 20000);
        const qreal notes = page.probe(QStringLiteral("document.getElementById('notes').offsetTop")).toReal();
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 110));
        QTRY_COMPARE_WITH_TIMEOUT(page.root->property("contentY").toReal(), 50 + notes, 10000);
    }
};

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    // The engine takes switches from the arguments after --webEngineArgs (the
    // variable would replace them, and split this rule at its spaces).
    qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    char marker[] = "--webEngineArgs", rules[] = "--host-resolver-rules=MAP pictures.test 127.0.0.1";
    std::vector<char *> args(argv, argv + argc);
    args.insert(args.end(), {marker, rules});
    int appArgc = int(args.size());
    QtWebEngineQuick::initialize();
    QGuiApplication app(appArgc, args.data());
    ArticlePageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_articlepage.moc"
