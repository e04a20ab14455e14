// The article body with real WebEngine, what it may reach: what a
// navigation or a request may do, hostile bodies that try to leave the
// document, pictures over plain HTTP from a host that is not loopback,
// frames and media, the picture viewer, the context menu and links handed
// to the desktop. Layout and measurement: tst_articlebody.
#include "BodyPage.h"
#include "images/ImageCache.h"
#include "reading/ArticleRequestFilter.h"
#include "reading/BodyMenu.h"

#include <QClipboard>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;
using namespace bodypage;

namespace {
FakeServer::Response png(QColor colour) { return FakeServer::Response::raw(200, pngBytes(colour), "image/png"); }

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

class ArticlePageTest : public PageTest {
    Q_OBJECT

private slots:
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
        url = filled(url, {{"document", host.documentUrl().toString()}});
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
        const QJsonObject pictures = data::json(QStringLiteral("app/body-pictures.json")).toObject();
        QStringList urls, alts;
        for (const QVariant &entry : WebViewHost::bodyPictures(pictures["listed"].toVariant())) {
            urls << entry.toMap().value("url").toUrl().toString();
            alts << entry.toMap().value("alt").toString();
        }
        QCOMPARE(urls, pictures["urls"].toVariant().toStringList());
        QCOMPARE(alts, pictures["alts"].toVariant().toStringList());
        QVERIFY(WebViewHost::bodyPictures(QStringLiteral("papelo.pictures()")).isEmpty());
        QCOMPARE(WebViewHost::bodyPictures(QVariantList(5000, QVariantMap{{"src", "https://p.test/a.png"}})).size(),
                 PictureViewer::kMaxPictures);
    }

    // What a body may load besides its document; iframes never get this far
    // (refused as navigations, or removed by the body script), so the filter
    // is checked on its own. The configured server is http://127.0.0.1:4000.
    void requestFilter_data() { data::table<QString, QString, bool>(QStringLiteral("app/request-filter.tsv")); }
    void requestFilter()
    {
        // QWebEngineUrlRequestInfo::ResourceType by the table's names, in its order.
        static const QStringList kinds{"document", "frame", "style sheet", "script", "image", "font", "other", "object",
                                       "media", "worker", "shared worker", "prefetch", "favicon", "xhr", "ping"};
        QFETCH(QString, kind);
        QFETCH(QString, url);
        QVERIFY(kinds.contains(kind));
        QTEST(ArticleRequestFilter::allows(QWebEngineUrlRequestInfo::ResourceType(kinds.indexOf(kind)), QUrl(url), "http://127.0.0.1:4000"), "allowed");
        // The web origin keeps its Referer, whatever the case of its name; nobody else gets one.
        QVERIFY(ArticleRequestFilter::keepsReferer(QUrl("https://Papelo.Example/a.png"), "papelo.example"));
        QVERIFY(!ArticleRequestFilter::keepsReferer(QUrl(url), "papelo.example"));
        QVERIFY(!ArticleRequestFilter::keepsReferer(QUrl("https://papelo.example/a.png"), QString()));
    }

    void hostileBodies_data() { data::table<QString, bool>(QStringLiteral("app/hostile-bodies.tsv")); }
    void hostileBodies()
    {
        QFETCH(QString, body);
        Page page(m_engine, QStringLiteral("<i id=\"ours\"></i>") + filled(body, {{"other", m_other.baseUrl()}}));
        QSignalSpy refused(page.host(), &WebViewHost::navigationRefused);
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading(), 20000);
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 110));  // on the link or button if any
        // Refused here, opened outside, or stopped by the engine itself (a local file).
        QTRY_VERIFY_WITH_TIMEOUT(!refused.isEmpty() || !m_opened.isEmpty()
                                     || page.root->property("said").toString().contains("Not allowed to load local resource"), 10000);
        QFETCH(bool, opens);
        QCOMPARE(m_opened, opens ? QList<QUrl>{QUrl(m_other.baseUrl() + "/blank")} : QList<QUrl>{});
        QCOMPARE(page.probe(QStringLiteral("document.getElementById('ours') ? 'ours' : location.href")).toString(),
                 QStringLiteral("ours"));
        QVERIFY2(m_other.requests().isEmpty(), m_other.requests().value(0).target.constData());
    }

    // The cookie is one the engine would keep and send (loopback is a
    // secure context): only the profile's filter keeps it out.
    void picturesOverPlainHttpFromAnyHostAndNoCookies()
    {
        ServerConfig::setBaseUrl(m_server.baseUrl()); // its loopback address is the server's own origin
        FakeServer::Response red = png(Qt::red);
        red.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("seen=1; Path=/; SameSite=None; Secure")));
        red.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=3600")));
        m_server.on("GET", "/red.png", red);
        m_server.on("GET", "/blue.png", png(Qt::blue));
        // pictures.test is no loopback name: only the engine's host rules send it here.
        const auto img = [&](const char *host, const char *name) {
            return QStringLiteral("<img src=\"http://%1:%2/%3.png\" style=\"width:200px\">").arg(host).arg(m_server.port()).arg(name);
        };
        Page page(m_engine, img("127.0.0.1", "red"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/red.png"), 1, 20000);
        // Image at x 200..400, y 50 + 16 + 8 and 100 tall, once faded in.
        QTRY_VERIFY_WITH_TIMEOUT(page.shows(300, 124, Qt::red), 10000);
        page.root->setProperty("html", img("pictures.test", "blue") + img("127.0.0.1", "blue"));
        QTRY_VERIFY_WITH_TIMEOUT(page.shows(300, 124, Qt::blue) && m_server.count("/blue.png") == 2, 20000);
        // Cached in memory for the run, until the image cache is cleared.
        page.root->setProperty("html", img("127.0.0.1", "red") + QStringLiteral("<p>again</p>"));
        QTRY_VERIFY_WITH_TIMEOUT(page.shows(300, 124, Qt::red), 20000);
        QCOMPARE(m_server.count("/red.png"), 1);
        // The engine clears on its own thread: a page opened at once may still be served from memory.
        ImageCache::shared()->clear();
        for (int attempt = 1; attempt <= 20 && m_server.count("/red.png") < 2; ++attempt) {
            page.root->setProperty("html", img("127.0.0.1", "red") + QString(attempt, QLatin1Char(' ')));
            (void)QTest::qWaitFor([&] { return m_server.count("/red.png") == 2; }, 1000);
        }
        QCOMPARE(m_server.count("/red.png"), 2);
        for (const FakeServer::Request &request : m_server.requests())
            QVERIFY2(!request.hasHeader("Cookie") && !request.hasHeader("Referer"), request.target.constData());
    }

    // Nothing on loopback hosts (by name, address, IPv6, or a redirect from a
    // public name) is asked for: pictures, a style sheet, a background, a
    // video. Frames without an http(s) address are gone before they render
    // (what their documents would load is never asked for); a web frame
    // becomes a card.
    void bodyReachesNoPrivateHostAndNoFrameWithoutAnAddress()
    {
        FakeServer fifth, six;
        QVERIFY(fifth.listen(QHostAddress("127.0.0.5")) && six.listen(QHostAddress::LocalHostIPv6));
        m_server.on("GET", "/shown.png", png(Qt::green));
        FakeServer::Response moved = FakeServer::Response::raw(302, {}, "text/plain");
        moved.headers.append({"Location", fifth.baseUrl().toUtf8() + "/redirected.png"});
        m_server.on("GET", "/moved.png", moved);
        const QString host = QStringLiteral("http://pictures.test:%1").arg(m_server.port());
        const QString local = QStringLiteral("http://localhost:%1").arg(m_server.port());
        const QString body = bodyFile(QStringLiteral("private-hosts.html"),
                                      {{"local", local}, {"fifth", fifth.baseUrl()}, {"six", six.baseUrl()}, {"host", host}});
        Page page(m_engine, body);
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading() && m_server.count("/shown.png") == 1, 20000);
        QTest::qWait(500);
        QVERIFY2(m_server.requests().size() == 2 && m_server.count("/moved.png") == 1, m_server.requests().constLast().target.constData());
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
        // m_other stands for the video site, m_server for a media host.
        const QString video = QStringLiteral("http://www.youtube.com:%1").arg(m_other.port());
        const QString other = QStringLiteral("http://pictures.test:%1").arg(m_server.port());
        const QList<std::pair<QString, QString>> hosts{{"video", video}, {"other", other}};
        Page page(m_engine, bodyFile(QStringLiteral("embeds.html"), hosts));
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading(), 20000);
        QCOMPARE(page.probe(bodyFile(QStringLiteral("embeds-probe.js"))).toString(), bodyFile(QStringLiteral("embeds-shown.txt"), hosts));
        QTest::qWait(1000);
        QVERIFY(m_other.requests().isEmpty() && m_server.requests().isEmpty());
        // Played from its own controls (the play button, bottom left), the video asks for its source.
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(40, 198));
        QTRY_VERIFY_WITH_TIMEOUT(m_server.count("/clip.mp4") > 0, 10000);
        QVERIFY(m_other.requests().isEmpty());
    }

    // A click on a picture outside a link, or Enter on it, opens the viewer
    // on it among the body's viewable pictures (no tracking pixel); a linked
    // picture keeps its link; closing puts the focus back on the picture.
    void picturesOpenTheViewer()
    {
        ServerConfig::setBaseUrl(m_server.baseUrl());  // the image cache may reach this loopback host
        for (const char *path : {"/a.png", "/b.png"})
            m_server.on("GET", path, png(Qt::red));
        m_server.on("GET", "/pixel.png", FakeServer::Response::raw(200, pngBytes(Qt::red, QSize(1, 1)), "image/png"));
        Page page(m_engine, bodyFile(QStringLiteral("viewer.html"),
                                     {{"server", m_server.baseUrl()}, {"blue", QString::fromLatin1(pngBytes(Qt::blue).toBase64())}}));
        QTRY_VERIFY_WITH_TIMEOUT(!page.host()->isLoading() && m_server.count("/pixel.png") == 1, 20000);
        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 240));  // the linked one
        QTRY_COMPARE_WITH_TIMEOUT(m_opened, QList<QUrl>{QUrl("https://example.org/linked")}, 10000);
        QVERIFY(!page.viewer());

        QTest::mouseClick(page.window.get(), Qt::LeftButton, {}, QPoint(300, 124));
        QTRY_VERIFY_WITH_TIMEOUT(page.viewer() && page.viewer()->status() == PictureViewer::Shown, 10000);
        QCOMPARE(page.viewer()->position(), QStringLiteral("1 / 2"));
        QCOMPARE(page.viewer()->image().pixelColor(10, 10), QColor(Qt::red));
        QCOMPARE(m_server.count("/a.png"), 2);  // the body's and the viewer's (through the image cache: tst_images)
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
        const QString site = QStringLiteral("http://pictures.test:%1").arg(m_other.port());
        auto page = std::make_unique<Page>(m_engine, bodyFile(QStringLiteral("cards.html"), {{"site", site}}));
        QTRY_VERIFY_WITH_TIMEOUT(page->measureCount() >= 1, 20000);
        QTest::mouseClick(page->window.get(), Qt::LeftButton, {}, QPoint(300, 50 + 16 + 150));
        QCOMPARE(openedByXdgOpen(bin), (site + "/embed/1?autoplay=1&t=30").toUtf8());
        page->probe(QStringLiteral("document.querySelectorAll('a')[1].focus()"));
        QTest::keyClick(page->window.get(), Qt::Key_Return);
        QCOMPARE(openedByXdgOpen(bin), (site + "/embed/2?autoplay=1&t=30").toUtf8());
        QVERIFY(m_other.requests().isEmpty());
    }

};

QML_TEST_MAIN(ArticlePageTest)

#include "tst_articlepage.moc"
