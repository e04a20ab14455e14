// The article body with real WebEngine: what a navigation or a request may
// do, hostile bodies that try to leave the document, pictures over plain
// HTTP from a host that is not loopback, bodies far taller than a screen or
// larger than a data URL, where the page scrolls for fragments, keys and the
// wheel; its measurement, scripts, links to the desktop and appearance.
#include "BodyPage.h"
#include "DataTable.h"
#include "FakeServer.h"
#include "QmlHarness.h"
#include "core/Activity.h"
#include "core/ServerConfig.h"
#include "images/ImageCache.h"
#include "reading/ArticleDocumentServer.h"
#include "reading/ArticleProfile.h"
#include "reading/ArticleRequestFilter.h"
#include "reading/BodyMenu.h"
#include "reading/BodyScript.h"
#include "reading/BodyWindow.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;
using namespace bodypage;

namespace {
FakeServer::Response png(QColor colour) { return FakeServer::Response::raw(200, pngBytes(colour), "image/png"); }

// Web and mail addresses go to the receiver's open(), or (none) to the desktop again.
void handleUrls(QObject *receiver)
{
    for (const QString scheme : {"http", "https", "mailto"})
        receiver ? QDesktopServices::setUrlHandler(scheme, receiver, "open") : QDesktopServices::unsetUrlHandler(scheme);
}

// The desktop's way to open an address: a fake xdg-open first in PATH that
// writes what it was given next to itself. The offscreen platform opens
// nothing, so these cases run under a private X server (tst_articlepage_desktop);
// the test's own URL handlers step aside.
// False (the test skipped or failed) when there is none: the caller returns.
bool fakeXdgOpen(const QTemporaryDir &bin)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        QTest::qSkip("the offscreen platform opens nothing; tst_articlepage_desktop runs this under X", __FILE__, __LINE__);
        return false;
    }
    QFile script(bin.filePath(QStringLiteral("xdg-open")));
    const bool written = script.open(QIODevice::WriteOnly)
                         && script.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.part\" && mv \"$0.part\" \"$0.url\"\n") > 0;
    script.close();
    qputenv("PATH", bin.path().toUtf8() + ':' + qgetenv("PATH"));
    handleUrls(nullptr);
    const bool ready = written && script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    if (!ready)
        QTest::qFail("no fake xdg-open", __FILE__, __LINE__);
    return ready;
}

// What it received last (waiting for it), and forgets it.
QByteArray openedByXdgOpen(const QTemporaryDir &bin)
{
    QFile received(bin.filePath(QStringLiteral("xdg-open.url")));
    if (!QTest::qWaitFor([&] { return received.exists(); }, 10000) || !received.open(QIODevice::ReadOnly))
        return {};
    const QByteArray url = received.readAll();
    received.remove();
    return url;
}
} // namespace

class ArticlePageTest : public QObject {
    Q_OBJECT
    QQmlEngine m_engine;
    QList<QUrl> m_opened;

public slots:
    void open(const QUrl &url) { m_opened.append(url); }

private slots:
    void initTestCase() { qmltest::collectWarnings(); }
    void cleanupTestCase() { handleUrls(nullptr); }
    // Earlier pages may still hold their re-measurement window.
    void init()
    {
        m_opened.clear();
        handleUrls(this);
        ServerConfig::setBaseUrl(QStringLiteral("http://127.0.0.1:4000"));
        QTRY_COMPARE_WITH_TIMEOUT(Activity::shared().count(), 0, 10000);
    }
    void cleanup()
    {
        QCOMPARE(ArticleProfile::documents()->publishedCount(), 0);  // every page withdrew its own
        QVERIFY_NO_WARNINGS();
    }

    void navigationDecisions_data()
    {
        data::table<QString, bool, bool, QString, QString, int>(QStringLiteral("app/navigation-decisions.tsv"));
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
        QSignalSpy fragments(&host, &WebViewHost::fragmentRequested), pictures(&host, &WebViewHost::pictureRequested);
        QTEST(host.acceptNavigation(QUrl(url), linkClicked, QTest::currentDataTag() != QByteArray("frame")), "accepted");
        QTEST(m_opened.isEmpty() ? QString() : m_opened.first().toString(), "opened");
        QCOMPARE(fragments.isEmpty() ? QStringLiteral("-") : fragments.first().first().toString(), fragment);
        QTEST(pictures.isEmpty() ? -1 : pictures.first().first().toInt(), "picture");
    }

    // What the body script lists is checked again: web and data: addresses
    // only (the document's own scheme standing for https), text for text,
    // entries kept in place so that indexes still match, and a bounded list.
    void bodyPicturesAreCheckedAgain()
    {
        const QVariantList listed = WebViewHost::bodyPictures(QVariantList{
            QVariantMap{{"src", "https://p.test/a.png"}, {"alt", "甲"}}, QVariantMap{{"src", "papelo-article://papelo.example/b.png"}},
            QVariantMap{{"src", "javascript:alert(1)"}, {"alt", 5}}, QStringLiteral("https://p.test/not-a-map.png"),
            QVariantMap{{"src", "data:image/png;base64,AAAA"}}});
        QStringList urls, alts;
        for (const QVariant &entry : listed) {
            urls << entry.toMap().value("url").toUrl().toString();
            alts << entry.toMap().value("alt").toString();
        }
        QCOMPARE(urls, (QStringList{"https://p.test/a.png", "https://papelo.example/b.png", "", "", "data:image/png;base64,AAAA"}));
        QCOMPARE(alts, (QStringList{"甲", "", "", "", ""}));
        QVERIFY(WebViewHost::bodyPictures(QStringLiteral("papelo.pictures()")).isEmpty());
        QCOMPARE(WebViewHost::bodyPictures(QVariantList(5000, QVariantMap{{"src", "https://p.test/a.png"}})).size(),
                 PictureViewer::kMaxPictures);
    }

    // What a body may load besides its document; iframes never get this far
    // (refused as navigations, or removed by the body script), so the filter
    // is checked on its own. The configured server is http://127.0.0.1:4000.
    void requestFilter_data() { data::table<int, QString, bool>(QStringLiteral("app/request-filter.tsv")); }
    void requestFilter()
    {
        QFETCH(int, type);
        QFETCH(QString, url);
        QTEST(ArticleRequestFilter::allows(QWebEngineUrlRequestInfo::ResourceType(type), QUrl(url), "http://127.0.0.1:4000"), "allowed");
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

    void hostileBodies_data() { data::table<QString, bool>(QStringLiteral("app/hostile-bodies.tsv")); }
    void hostileBodies()
    {
        QFETCH(QString, body);
        FakeServer other;
        QVERIFY(other.listen());
        Page page(m_engine, QStringLiteral("<i id=\"ours\"></i>") + filled(body, {{"other", other.baseUrl()}}));
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

    // The article's title names the document, whatever it holds (delimiters of
    // an address, bidirectional controls, megabytes; a title in the body gives
    // way); captions read as paragraphs.
    void documentNamedByTheTitle()
    {
        Page page(m_engine, QStringLiteral("<title>伪装</title><figure><figcaption>图注</figcaption></figure><figcaption role='note'>注</figcaption>"),
                  QStringLiteral("A&title=b#c%41?+\u202e") + QString(2000000, QChar(0x6587)));
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading(), 20000);
        QCOMPARE(page.probe(QStringLiteral("document.title + '|' + Array.from(document.querySelectorAll('figcaption'), c => c.getAttribute('role'))")).toString(),
                 QStringLiteral("A&title=b#c%41?+") + QString(483, QChar(0x6587)) + QStringLiteral("|paragraph,note"));
    }

    // The cookie is one the engine would keep and send (loopback is a
    // secure context): only the profile's filter keeps it out.
    void picturesOverPlainHttpFromAnyHostAndNoCookies()
    {
        FakeServer pictures;
        QVERIFY(pictures.listen());
        ServerConfig::setBaseUrl(pictures.baseUrl()); // its loopback address is the server's own origin
        FakeServer::Response red = png(Qt::red);
        red.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("seen=1; Path=/; SameSite=None; Secure")));
        red.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=3600")));
        pictures.on("GET", "/red.png", red);
        pictures.on("GET", "/blue.png", png(Qt::blue));
        // pictures.test is no loopback name: only the engine's host rules send it here.
        const auto img = [&](const char *host, const char *name) {
            return QStringLiteral("<img src=\"http://%1:%2/%3.png\" style=\"width:200px\">").arg(host).arg(pictures.port()).arg(name);
        };
        Page page(m_engine, img("127.0.0.1", "red"));
        QTRY_COMPARE_WITH_TIMEOUT(pictures.count("/red.png"), 1, 20000);
        // Image at x 200..400, y 50 + 16 + 8 and 100 tall, once faded in.
        QTRY_VERIFY_WITH_TIMEOUT(page.shows(300, 124, Qt::red), 10000);
        page.root->setProperty("html", img("pictures.test", "blue") + img("127.0.0.1", "blue"));
        QTRY_VERIFY_WITH_TIMEOUT(page.shows(300, 124, Qt::blue) && pictures.count("/blue.png") == 2, 20000);
        // Cached in memory for the run, until the image cache is cleared.
        page.root->setProperty("html", img("127.0.0.1", "red") + QStringLiteral("<p>again</p>"));
        QTRY_VERIFY_WITH_TIMEOUT(page.shows(300, 124, Qt::red), 20000);
        QCOMPARE(pictures.count("/red.png"), 1);
        // The engine clears on its own thread: a page opened at once may still be served from memory.
        ImageCache::shared()->clear();
        for (int attempt = 1; attempt <= 20 && pictures.count("/red.png") < 2; ++attempt) {
            page.root->setProperty("html", img("127.0.0.1", "red") + QString(attempt, QLatin1Char(' ')));
            (void)QTest::qWaitFor([&] { return pictures.count("/red.png") == 2; }, 1000);
        }
        QCOMPARE(pictures.count("/red.png"), 2);
        for (const FakeServer::Request &request : pictures.requests())
            QVERIFY2(!request.hasHeader("Cookie") && !request.hasHeader("Referer"), request.target.constData());
    }

    // Nothing on loopback hosts (by name, address, IPv6, or a redirect from a
    // public name) is asked for: pictures, a style sheet, a background, a
    // video. Frames without an http(s) address are gone before they render
    // (what their documents would load is never asked for); a web frame
    // becomes a card.
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
        const QString body = bodyFile(QStringLiteral("private-hosts.html"),
                                      {{"local", local}, {"fifth", fifth.baseUrl()}, {"six", six.baseUrl()}, {"host", host}});
        Page page(m_engine, body);
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading() && pictures.count("/shown.png") == 1, 20000);
        QTest::qWait(500);
        QVERIFY2(pictures.requests().size() == 2 && pictures.count("/moved.png") == 1, pictures.requests().constLast().target.constData());
        QVERIFY(fifth.requests().isEmpty() && six.requests().isEmpty());
        QCOMPARE(page.probe(QStringLiteral("Array.from(document.querySelectorAll('iframe, frame, embed, object, a'), "
                                           "e => e.getAttribute('src') || e.getAttribute('href')).join()")).toString(),
                 QStringLiteral("https://example.org/web"));
    }

    // Frames with a web address become links to it as large as the frame,
    // their texts as text; video and audio show their controls and fetch
    // nothing before the reader plays them; no full screen.
    void embedsBecomeCardsAndMediaWaitForPlay()
    {
        FakeServer site, media;  // the video site and a media host
        QVERIFY(site.listen() && media.listen());
        const QString video = QStringLiteral("http://www.youtube.com:%1").arg(site.port());
        const QString other = QStringLiteral("http://pictures.test:%1").arg(media.port());
        const QList<std::pair<QString, QString>> hosts{{"video", video}, {"other", other}};
        Page page(m_engine, bodyFile(QStringLiteral("embeds.html"), hosts));
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading(), 20000);
        QCOMPARE(page.probe(bodyFile(QStringLiteral("embeds-probe.js"))).toString(), bodyFile(QStringLiteral("embeds-shown.txt"), hosts));
        QTest::qWait(1000);
        QVERIFY(site.requests().isEmpty() && media.requests().isEmpty());
        // Played from its own controls (the play button, bottom left), the video asks for its source.
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(40, 198));
        QTRY_VERIFY_WITH_TIMEOUT(media.count("/clip.mp4") > 0, 10000);
        QVERIFY(site.requests().isEmpty());
    }

    // A click on a picture outside a link, or Enter on it, opens the viewer
    // on it among the body's viewable pictures (no tracking pixel); a linked
    // picture keeps its link; closing puts the focus back on the picture.
    void picturesOpenTheViewer()
    {
        FakeServer pictures;
        QVERIFY(pictures.listen());
        ServerConfig::setBaseUrl(pictures.baseUrl());  // the image cache may reach this loopback host
        for (const char *path : {"/a.png", "/b.png"})
            pictures.on("GET", path, png(Qt::red));
        pictures.on("GET", "/pixel.png", FakeServer::Response::raw(200, pngBytes(Qt::red, QSize(1, 1)), "image/png"));
        const QString block = QStringLiteral("style='width:200px;height:100px'");
        Page page(m_engine, QStringLiteral("<img src='%1/a.png' %2><a href='https://example.org/linked'><img src='%1/b.png' %2></a>"
                                           "<img src='%1/pixel.png' width='1' height='1'><img src='data:image/png;base64,%3' %2>")
                                .arg(pictures.baseUrl(), block, QString::fromLatin1(pngBytes(Qt::blue).toBase64())));
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading() && pictures.count("/pixel.png") == 1, 20000);
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 240));  // the linked one
        QTRY_COMPARE_WITH_TIMEOUT(m_opened, QList<QUrl>{QUrl("https://example.org/linked")}, 10000);
        QVERIFY(!page.viewer());

        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 124));
        QTRY_VERIFY_WITH_TIMEOUT(page.viewer() && page.viewer()->status() == PictureViewer::Shown, 10000);
        QCOMPARE(page.viewer()->position(), QStringLiteral("1 / 2"));
        QCOMPARE(page.viewer()->image().pixelColor(10, 10), QColor(Qt::red));
        QCOMPARE(pictures.count("/a.png"), 2);  // the body's and the viewer's, neither with a cookie or a Referer
        for (const FakeServer::Request &request : pictures.requestsTo("/a.png"))
            QVERIFY(!request.hasHeader("Cookie") && !request.hasHeader("Referer"));
        QTest::keyClick(page.window.get(), Qt::Key_Right);
        QTRY_VERIFY_WITH_TIMEOUT(page.viewer()->status() == PictureViewer::Shown && page.viewer()->index() == 1, 10000);
        QCOMPARE(page.viewer()->image().pixelColor(10, 10), QColor(Qt::blue));
        QTest::keyClick(page.window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!page.viewer()->active());
        QTRY_COMPARE(page.probe(QStringLiteral("document.activeElement === document.images[0]")).toBool(), true);

        QVERIFY(page.probe(QStringLiteral("document.images[3].focus(), document.activeElement.tabIndex")).toInt() == 0);
        QTest::keyClick(page.window.get(), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(page.viewer()->active() && page.viewer()->index() == 1, 10000);
    }

    // The body's context menu: exactly these items for the place clicked;
    // addresses the reader does not act on add nothing.
    void bodyMenuItems_data() { data::table<QString, QString, QString>(QStringLiteral("app/body-menu.tsv")); }
    void bodyMenuItems()
    {
        QFETCH(QString, link);
        QFETCH(QString, picture);
        QStringList texts;
        for (const QVariant &item : BodyMenu::items(QUrl(link), !picture.isEmpty(), QUrl(picture)))
            texts << item.toMap().value("text").toString();
        QTEST(texts.join(QLatin1Char(',')), "items");
        QCOMPARE(BodyMenu::copyAddress(QUrl(QStringLiteral("papelo-article://papelo.example/p.png")), true), true);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("https://papelo.example/p.png"));
        QVERIFY(!BodyMenu::copyAddress(QUrl(QStringLiteral("javascript:alert(1)")), false));
    }

    void tallAndLargeBodies_data()
    {
        QTest::addColumn<QString>("body");
        const QString block = QStringLiteral("<div style=\"height:100px;background:%1\"></div>");
        QTest::newRow("100,000 px") << block.arg("silver").repeated(999) + block.arg("lime");
        // Over 5 MiB, ending in an inline picture, as bodies carry them.
        const QString paragraph = QStringLiteral("<p>A paragraph of a body far larger than a data URL may carry.</p>\n");
        QTest::newRow("5 MiB") << paragraph.repeated(5 * 1024 * 1024 / paragraph.size() + 1) + QStringLiteral("<img style=\"width:100%;height:100px;margin:0\" src=\"data:image/png;base64,")
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

    // Find reaches the last paragraph of a 100,000 px body: the page follows
    // to it, far outside the bounded view, and its mark is drawn there; the
    // marks go with the find.
    void findReachesTheEndOfATallBody()
    {
        const QString block = QStringLiteral("<div style=\"height:100px;background:silver\">%1</div>");
        Page page(m_engine, block.arg("").repeated(3) + block.arg("终") + block.arg("").repeated(995) + block.arg("终点"));
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measured").toReal() > 99000, 60000);
        QMetaObject::invokeMethod(page.root.get(), "findLast", Q_ARG(QVariant, QStringLiteral("终点")));
        QTRY_COMPARE_WITH_TIMEOUT(page.root->property("probed").toInt(), 1, 10000);
        const auto matchShown = [&] {  // the last block, 99,900 px down the body, on screen
            const qreal y = page.root->property("contentY").toReal();
            return y > 50 + 99900 - 500 && y < 50 + 99900;
        };
        QTRY_VERIFY_WITH_TIMEOUT(matchShown(), 10000);
        const QString marks = QStringLiteral("document.querySelectorAll('.papelo-find-mark.papelo-find-current').length");
        QTRY_COMPARE_WITH_TIMEOUT(page.probe(marks).toInt(), 1, 10000);
        page.probe(BodyScript::findClearScript());
        QCOMPARE(page.probe(QStringLiteral("document.querySelectorAll('.papelo-find-mark').length")).toInt(), 0);
    }

    // The body follows the app's appearance (each switch measures again); a
    // fragment link and the wheel over the body scroll the page.
    void appearanceFragmentLinksAndTheWheel()
    {
        Page page(m_engine, QStringLiteral("<a href=\"#notes\" style=\"display:block;height:100px\">跳到注释</a>"
                                        "<div style=\"height:3000px\"></div><h2 id=\"notes\">注释</h2>"
                                        "<div style=\"height:3000px\"></div>"));
        QTRY_VERIFY_WITH_TIMEOUT(page.root->property("measured").toReal() > 6000, 20000);
        const QString background = QStringLiteral("getComputedStyle(document.body).backgroundColor");
        const QString link = QStringLiteral("getComputedStyle(document.querySelector('a')).color");
        QCOMPARE(page.probe(background).toString(), QStringLiteral("rgb(249, 248, 246)"));
        for (const bool dark : {true, false}) {
            const int count = page.measureCount();
            page.body()->setProperty("dark", dark);
            QTRY_VERIFY_WITH_TIMEOUT(page.measureCount() > count, 5000);
            QCOMPARE(page.probe(background).toString(), dark ? QStringLiteral("rgb(17, 18, 16)") : QStringLiteral("rgb(249, 248, 246)"));
            QCOMPARE(page.probe(link).toString(), dark ? QStringLiteral("rgb(87, 184, 168)") : QStringLiteral("rgb(15, 123, 108)"));
        }
        const qreal notes = page.probe(QStringLiteral("document.getElementById('notes').offsetTop")).toReal();
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 110));
        QTRY_COMPARE_WITH_TIMEOUT(page.root->property("contentY").toReal(), 50 + notes, 10000);
        QWheelEvent down(QPointF(300, 200), page.window->mapToGlobal(QPointF(300, 200)), QPoint(), QPoint(0, -120),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(page.window.get(), &down);
        QTRY_COMPARE_WITH_TIMEOUT(page.root->property("contentY").toReal(), 50 + notes + 96, 3000);
    }

    void aSlowImageHoldsTheFinishAndIsMeasured()
    {
        FakeServer server;
        QVERIFY(server.listen());
        server.on("GET", "/late.png", FakeServer::delayed(FakeServer::Response::raw(200, pngBytes(Qt::white, QSize(300, 900)), "image/png"), 1000));

        auto page = std::make_unique<Page>(m_engine, QStringLiteral("<p>Hello</p><img src=\"http://pictures.test:%1/late.png\">").arg(server.port()));
        WebViewHost *host = page->host();
        QVERIFY(host->isLoading() && Activity::shared().count() > 0); // counted for the screenshot mode
        QSignalSpy heights(host, &WebViewHost::heightMeasured);
        // The engine's finish waits for the body's images, so the very first
        // measurement already has the full height.
        QTRY_VERIFY_WITH_TIMEOUT(page->finished() && !host->isLoading(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(heights.count() >= 1, 5000);
        QVERIFY2(heights.first().first().toReal() >= 900, qPrintable(heights.first().first().toString()));
        // Fetched once, through the reader's own profile.
        QCOMPARE(server.count("/late.png"), 1);
        QCOMPARE(server.requestsTo("/late.png").first().header("User-Agent"), WebViewHost::userAgent().toUtf8());
        // All four measurements arrive, the later ones applied although unchanged.
        QTRY_COMPARE_WITH_TIMEOUT(heights.count(), 4, 6000);
        QCOMPARE(heights.at(3).first().toReal(), heights.at(0).first().toReal());
        QTRY_COMPARE_WITH_TIMEOUT(Activity::shared().count(), 0, 5000);
    }

    // Page scripts never run (the measurement does), and the same body is not loaded twice.
    void scriptsDoNotRunAndTheSameBodyDoesNotReload()
    {
        const QString html = QStringLiteral("<script>document.title='ran';document.body.style.height='5000px';</script>"
                                            "<p onclick=\"document.title='clicked'\">同一篇</p>");
        auto page = std::make_unique<Page>(m_engine, html);
        WebViewHost *host = page->host();
        QTRY_VERIFY_WITH_TIMEOUT(page->finished(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(page->measureCount() >= 1, 5000);
        QVERIFY2(page->measured() > 0 && page->measured() < 200, qPrintable(QString::number(page->measured())));
        QCOMPARE(page->probe(QStringLiteral("document.title")).toString(), QString());

        QSignalSpy loads(host, &WebViewHost::loadRequested);
        host->setHtmlContent(html);
        page->body()->setProperty("height", 321); // a re-layout, as after a measurement
        host->setHtmlContent(html);
        QVERIFY(loads.isEmpty() && host->loadCount() == 1);
        // A different body loads; the loading flag is not raised again.
        host->setHtmlContent(QStringLiteral("<p>另一篇</p>"));
        QCOMPARE(loads.count(), 1);
        const QUrl document = loads.first().value(0).toUrl();
        QCOMPARE(document, host->documentUrl());
        QCOMPARE(document.scheme() + QLatin1Char(':') + document.host(), QStringLiteral("papelo-article:") + host->webOrigin());
        QVERIFY(!host->isLoading());
        host->setTitle(QStringLiteral("新标题"));  // names the document anew
        QCOMPARE(loads.count(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(page->probe(QStringLiteral("document.body.textContent.trim()")).toString(),
                                  QStringLiteral("另一篇"), 10000);
        // Gone with measurements still pending: they find nothing to do and release their count.
        QVERIFY(Activity::shared().count() > 0);
        page.reset();
        QCOMPARE(Activity::shared().count(), 0);
        QTest::qWait(3300);
        QCOMPARE(Activity::shared().count(), 0);
    }

    // A mailto: link reaches the mail client (xdg-open, found in PATH) with
    // its address, subject and body only.
    void mailtoKeepsAddressSubjectAndBody()
    {
        QTemporaryDir bin;
        if (!fakeXdgOpen(bin))
            return;
        WebViewHost().openExternally(QUrl(QStringLiteral("mailto:x@evil.test?subject=Hi&attachment=/etc/hostname&body=b")));
        QCOMPARE(openedByXdgOpen(bin), QByteArray("mailto:x@evil.test?subject=Hi&body=b"));
    }

    // A card in place of an embedded frame is a link: a click on it, or
    // Enter on it, has xdg-open open exactly the frame's address; nothing of
    // the video site is fetched.
    void cardsOpenTheFrameAddress()
    {
        QTemporaryDir bin;
        if (!fakeXdgOpen(bin))
            return;
        FakeServer site;
        QVERIFY(site.listen());
        const QString frame = QStringLiteral("http://pictures.test:%1/embed/%2?autoplay=1&amp;t=30");
        auto page = std::make_unique<Page>(m_engine, QStringLiteral("<iframe src='%1' width='568' height='300'></iframe><iframe src='%2' width='568' height='300'></iframe>")
                             .arg(frame.arg(site.port()).arg(1), frame.arg(site.port()).arg(2)));
        QTRY_VERIFY_WITH_TIMEOUT(page->measureCount() >= 1, 20000);
        QTest::mouseClick(page->window.get(), Qt::LeftButton, {}, QPoint(300, 50 + 16 + 150));
        QCOMPARE(openedByXdgOpen(bin), QStringLiteral("http://pictures.test:%1/embed/1?autoplay=1&t=30").arg(site.port()).toUtf8());
        page->probe(QStringLiteral("document.querySelectorAll('a')[1].focus()"));
        QTest::keyClick(page->window.get(), Qt::Key_Return);
        QCOMPARE(openedByXdgOpen(bin), QStringLiteral("http://pictures.test:%1/embed/2?autoplay=1&t=30").arg(site.port()).toUtf8());
        QVERIFY(site.requests().isEmpty());
    }

    // A new text size rescales the shown document in place (no reload): the
    // line height follows the size, the body is measured again and the
    // paragraph at the page's top stays there. A narrower body is measured
    // again, once for the whole change.
    void textSizeAndWidthRescaleInPlace()
    {
        const QString paragraph = QStringLiteral("<p%1>清晨的光线穿过窗棂，落在桌上那本翻到一半的书上。</p>");
        auto page = std::make_unique<Page>(m_engine, paragraph.arg("").repeated(30) + paragraph.arg(" id='p30'") + paragraph.arg("").repeated(29));
        QTRY_COMPARE_WITH_TIMEOUT(page->measureCount(), 4, 20000);
        const qreal before = page->measured();
        const QString top = QStringLiteral("document.getElementById('p30').getBoundingClientRect().top + scrollY");
        const QString lineHeight = QStringLiteral("parseFloat(getComputedStyle(document.getElementById('p30')).lineHeight)");
        QCOMPARE(page->probe(lineHeight).toReal(), 17 * 1.7);
        page->root->setProperty("contentY", 50 + page->probe(top).toReal());
        for (const int size : {200, 80}) {
            const int count = page->measureCount();
            page->body()->setProperty("textSize", size);
            QTRY_VERIFY_WITH_TIMEOUT(page->measureCount() > count, 5000);
            QVERIFY(qAbs(page->probe(lineHeight).toReal() - 17 * 1.7 * size / 100) < 2);
            QVERIFY2(size > 100 ? page->measured() > before * 1.5 : page->measured() < before, qPrintable(QString::number(page->measured())));
            const qreal shown = page->root->property("contentY").toReal() - 50;
            QVERIFY2(qAbs(shown - page->probe(top).toReal()) < 4, qPrintable(QString::number(shown)));
        }
        const qreal wide = page->measured();
        const int count = page->measureCount();
        page->body()->setProperty("width", 300);
        QTRY_VERIFY_WITH_TIMEOUT(page->measured() > wide * 1.5, 5000);
        QCOMPARE(page->measureCount(), count + 1);
        QCOMPARE(page->body()->property("height").toReal(), page->measured());
        QCOMPARE(page->host()->loadCount(), 1);
    }

    void measurementAndScrollDecisions()
    {
        for (const QVariant &notAHeight : {QVariant(true), QVariant(QStringLiteral("812")), QVariant(), QVariant(qQNaN())})
            QVERIFY(!WebViewHost::isMeasurement(notAHeight));
        QVERIFY(WebViewHost::isMeasurement(QVariant(812.5)));

        // contentY, angle, pixel, contentHeight, viewportHeight, originY
        QCOMPARE(WebViewHost::scrolledContentY(0, -120, 0, 3000, 700, 0), 96.0);
        QCOMPARE(WebViewHost::scrolledContentY(100, 0, -30, 3000, 700, 0), 130.0); // touchpad pixels win
        QCOMPARE(WebViewHost::scrolledContentY(2250, -480, 0, 3000, 700, 0), 2300.0);
        QCOMPARE(WebViewHost::scrolledContentY(96, 600, 0, 3000, 700, 0), 0.0);    // held at the top
        QCOMPARE(WebViewHost::scrolledContentY(0, -120, 0, 500, 700, 0), 0.0);     // nothing to scroll
    }
};

QML_TEST_MAIN(ArticlePageTest)

#include "tst_articlepage.moc"
