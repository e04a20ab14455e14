// The article body with real WebEngine, how it lays out: measured (a slow
// picture, a new text size or width), bodies far taller than a screen or
// larger than a data URL, find, where the page scrolls for fragments, keys
// and the wheel, the document's name, scripts that never run, and the app's
// appearance. What a body may reach: tst_articlepage.
#include "BodyPage.h"
#include "reading/BodyScript.h"
#include "reading/BodyWindow.h"

#include <QtTest>

using namespace papelo;
using namespace bodypage;

class ArticleBodyTest : public PageTest {
    Q_OBJECT

private slots:
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
        Page page(m_engine, bodyFile(QStringLiteral("fragment-link.html")));
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
        m_server.on("GET", "/late.png", FakeServer::delayed(FakeServer::Response::raw(200, pngBytes(Qt::white, QSize(300, 900)), "image/png"), 1000));

        auto page = std::make_unique<Page>(m_engine, QStringLiteral("<p>Hello</p><img src=\"http://pictures.test:%1/late.png\">").arg(m_server.port()));
        WebViewHost *host = page->host();
        QVERIFY(host->isLoading() && Activity::shared().count() > 0); // counted for the screenshot mode
        QSignalSpy heights(host, &WebViewHost::heightMeasured);
        // The engine's finish waits for the body's images, so the very first
        // measurement already has the full height.
        QTRY_VERIFY_WITH_TIMEOUT(page->finished() && !host->isLoading(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(heights.count() >= 1, 5000);
        QVERIFY2(heights.first().first().toReal() >= 900, qPrintable(heights.first().first().toString()));
        // Fetched once, through the reader's own profile.
        QCOMPARE(m_server.count("/late.png"), 1);
        QCOMPARE(m_server.requestsTo("/late.png").first().header("User-Agent"), WebViewHost::userAgent().toUtf8());
        // All four measurements arrive, the later ones applied although unchanged.
        QTRY_COMPARE_WITH_TIMEOUT(heights.count(), 4, 6000);
        QCOMPARE(heights.at(3).first().toReal(), heights.at(0).first().toReal());
        QTRY_COMPARE_WITH_TIMEOUT(Activity::shared().count(), 0, 5000);
    }

    // Page scripts never run (the measurement does), and the same body is not loaded twice.
    void scriptsDoNotRunAndTheSameBodyDoesNotReload()
    {
        const QString html = bodyFile(QStringLiteral("scripts.html"));
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

QML_TEST_MAIN(ArticleBodyTest)

#include "tst_articlebody.moc"
