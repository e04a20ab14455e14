// The article body in a real Qt WebEngine view inside a page-like Flickable:
// measurement, links, anchors, scripts, and the dark switch.
#include "BodyPage.h"
#include "FakeServer.h"
#include "QmlHarness.h"
#include "core/Activity.h"
#include "reading/WebViewHost.h"

#include <QDesktopServices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;
using namespace qmltest;
using namespace bodypage;

class LinkRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// The desktop's way to open an address: a fake xdg-open first in PATH that
// writes what it was given next to itself. The offscreen platform opens
// nothing, so these cases run under a private X server (tst_webview_mailto).
// False (the test skipped or failed) when there is none: the caller returns.
bool fakeXdgOpen(const QTemporaryDir &bin)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        QTest::qSkip("the offscreen platform opens nothing; tst_webview_mailto runs this under X", __FILE__, __LINE__);
        return false;
    }
    QFile script(bin.filePath(QStringLiteral("xdg-open")));
    const bool written = script.open(QIODevice::WriteOnly)
                         && script.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.part\" && mv \"$0.part\" \"$0.url\"\n") > 0;
    script.close();
    qputenv("PATH", bin.path().toUtf8() + ':' + qgetenv("PATH"));
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

class WebViewTest : public QObject {
    Q_OBJECT
    QQmlEngine m_engine;
    LinkRecorder m_links;

    std::unique_ptr<Page> open(const QString &html)
    {
        m_links.opened.clear();
        return std::make_unique<Page>(m_engine, html);
    }

private slots:
    void initTestCase()
    {
        collectWarnings();
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_links, "open");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    // Earlier pages may still hold their re-measurement window.
    void init() { QTRY_COMPARE_WITH_TIMEOUT(Activity::shared().count(), 0, 10000); }
    void cleanup() { QVERIFY_NO_WARNINGS(); }

    void aSlowImageHoldsTheFinishAndIsMeasured()
    {
        FakeServer server;
        QVERIFY(server.listen());
        server.on("GET", "/late.png", FakeServer::delayed(FakeServer::Response::raw(200, pngBytes(Qt::white, QSize(300, 900)), "image/png"), 1000));

        auto page = open(QStringLiteral("<p>Hello</p><img src=\"http://pictures.test:%1/late.png\">").arg(server.port()));
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

    void aNarrowerBodyIsMeasuredAgain()
    {
        auto page = open(QStringLiteral("<p>%1</p>").arg(QStringLiteral("一段足够长的文字，换行之后会更高。").repeated(40)));
        QSignalSpy heights(page->host(), &WebViewHost::heightMeasured);
        QTRY_COMPARE_WITH_TIMEOUT(heights.count(), 4, 20000); // the finish and its three follow-ups
        const qreal wide = page->measured();
        page->body()->setProperty("width", 300);
        QTRY_VERIFY_WITH_TIMEOUT(page->measured() > wide * 1.5, 5000);
        QCOMPARE(heights.count(), 5); // one measurement for the whole change
        QCOMPARE(page->body()->property("height").toReal(), page->measured());
    }

    // Page scripts never run (the measurement does), and the same body is not loaded twice.
    void scriptsDoNotRunAndTheSameBodyDoesNotReload()
    {
        const QString html = QStringLiteral("<script>document.title='ran';document.body.style.height='5000px';</script>"
                                            "<p onclick=\"document.title='clicked'\">同一篇</p>");
        auto page = open(html);
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

    // The wheel over the body scrolls the page; a link to another site opens outside.
    void wheelScrollsThePageAndLinksOpenOutside()
    {
        auto page = open(QStringLiteral("<p><a href=\"https://example.org/elsewhere\" "
                                        "style=\"display:block;height:300px\">外部链接</a></p>"));
        QTRY_VERIFY_WITH_TIMEOUT(page->measureCount() >= 1, 20000);
        QWheelEvent down(QPointF(300, 200), page->window->mapToGlobal(QPointF(300, 200)), QPoint(), QPoint(0, -120),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(page->window.get(), &down);
        QTRY_COMPARE_WITH_TIMEOUT(page->root->property("contentY").toReal(), 96.0, 3000);

        QSignalSpy loads(page->host(), &WebViewHost::loadRequested);
        QTest::mouseClick(page->window.get(), Qt::LeftButton, {}, QPoint(300, 150));
        QTRY_COMPARE_WITH_TIMEOUT(m_links.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.org/elsewhere"))}, 10000);
        QTest::qWait(300);
        QCOMPARE(page->probe(QStringLiteral("document.body.textContent.trim()")).toString(), QStringLiteral("外部链接"));
        QCOMPARE(loads.count(), 0);
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
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        FakeServer site;
        QVERIFY(site.listen());
        const QString frame = QStringLiteral("http://pictures.test:%1/embed/%2?autoplay=1&amp;t=30");
        auto page = open(QStringLiteral("<iframe src='%1' width='568' height='300'></iframe><iframe src='%2' width='568' height='300'></iframe>")
                             .arg(frame.arg(site.port()).arg(1), frame.arg(site.port()).arg(2)));
        QTRY_VERIFY_WITH_TIMEOUT(page->measureCount() >= 1, 20000);
        QTest::mouseClick(page->window.get(), Qt::LeftButton, {}, QPoint(300, 50 + 16 + 150));
        QCOMPARE(openedByXdgOpen(bin), QStringLiteral("http://pictures.test:%1/embed/1?autoplay=1&t=30").arg(site.port()).toUtf8());
        page->probe(QStringLiteral("document.querySelectorAll('a')[1].focus()"));
        QTest::keyClick(page->window.get(), Qt::Key_Return);
        QCOMPARE(openedByXdgOpen(bin), QStringLiteral("http://pictures.test:%1/embed/2?autoplay=1&t=30").arg(site.port()).toUtf8());
        QVERIFY(site.requests().isEmpty());
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_links, "open");
    }

    // The body follows the app's appearance.
    void darkSwitch()
    {
        auto page = open(QStringLiteral("<p><a href=\"#notes\">跳到注释</a></p>"));
        QTRY_VERIFY_WITH_TIMEOUT(page->measureCount() >= 1, 20000);
        const QString background = QStringLiteral("getComputedStyle(document.body).backgroundColor");
        const QString link = QStringLiteral("getComputedStyle(document.querySelector('a')).color");
        QCOMPARE(page->probe(background).toString(), QStringLiteral("rgb(249, 248, 246)"));
        for (const bool dark : {true, false}) { // each switch measures again
            const int count = page->measureCount();
            page->body()->setProperty("dark", dark);
            QTRY_VERIFY_WITH_TIMEOUT(page->measureCount() > count, 5000);
            QCOMPARE(page->probe(background).toString(), dark ? QStringLiteral("rgb(17, 18, 16)") : QStringLiteral("rgb(249, 248, 246)"));
            QCOMPARE(page->probe(link).toString(), dark ? QStringLiteral("rgb(87, 184, 168)") : QStringLiteral("rgb(15, 123, 108)"));
        }
    }

    // A new text size rescales the shown document in place (no reload): the
    // line height follows the size, the body is measured again and the
    // paragraph at the page's top stays there.
    void textSizeRescalesInPlace()
    {
        QString html;
        for (int i = 0; i < 60; ++i)
            html += QStringLiteral("<p id='p%1'>第 %1 段：清晨的光线穿过窗棂，落在桌上那本翻到一半的书上。</p>").arg(i);
        auto page = open(html);
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

QML_TEST_MAIN(WebViewTest)
#include "tst_webview.moc"
