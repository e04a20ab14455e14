#pragma once

// The article body in real Qt WebEngine as the article screen places it: in
// a page-like Flickable 600 x 500, 50 px below its top, 300 px of page
// below it; probes run in the document and report back.
#include "DataTable.h"
#include "FakeServer.h"
#include "QmlHarness.h"
#include "core/Activity.h"
#include "core/ServerConfig.h"
#include "images/PictureViewer.h"
#include "reading/ArticleDocumentServer.h"
#include "reading/ArticleProfile.h"
#include "reading/WebViewHost.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <memory>

namespace bodypage {

inline const char *kQml = R"QML(
import QtQuick
import Papelo
Flickable {
    id: flick
    width: 600; height: 500; contentHeight: column.height
    property string html; property string title; property real measured: -1; property int measureCount: 0
    property bool finished: false; property var probed; property int probes: 0; property string said
    property alias body: body
    Connections { target: body.view; function onJavaScriptConsoleMessage(level, message) { flick.said = message } }
    function probe(script) { body.view.runJavaScript(script, 1, r => { probed = r; probes++ }) }
    function findLast(query) { body.find(query, n => { flick.probed = n; flick.probes++; body.showMatch(n - 1, 0) }) }
    Column {
        id: column; width: 600; topPadding: 50; bottomPadding: 300
        ArticleBody { id: body; width: 600; height: flick.measured > 0 ? flick.measured : 400; html: flick.html; title: flick.title
                      flickable: flick; dark: false; onLoaded: flick.finished = true
                      onHeightMeasured: h => { flick.measured = h; flick.measureCount++ } }
    }
})QML";

inline QByteArray pngBytes(QColor colour, QSize size = QSize(200, 100))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, "PNG");
    return bytes;
}

// A text with its {placeholders} filled.
inline QString filled(QString text, const QList<std::pair<QString, QString>> &fill)
{
    for (const auto &[key, value] : fill)
        text.replace(u'{' + key + u'}', value);
    return text;
}
// A body or an expectation from tests/data/app/bodies.
inline QString bodyFile(const QString &name, const QList<std::pair<QString, QString>> &fill = {})
{
    return filled(QString::fromUtf8(data::bytes(QStringLiteral("app/bodies/") + name)).trimmed(), fill);
}

struct Page {
    std::unique_ptr<QQuickWindow> window = std::make_unique<QQuickWindow>();
    std::unique_ptr<QQuickItem> root;
    // The body's html is set before the component completes, as a page does.
    Page(QQmlEngine &engine, const QString &html, const QString &title = {})
    {
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(&engine);
        component.setData(kQml, QUrl(QStringLiteral("qrc:/Papelo/bodypage.qml")));
        root.reset(qobject_cast<QQuickItem *>(component.beginCreate(engine.rootContext())));
        root->setProperty("html", html);
        root->setProperty("title", title);
        component.completeCreate();
        window->resize(600, 500);
        root->setParentItem(window->contentItem());
        window->show();
    }
    QQuickItem *body() const { return root->property("body").value<QQuickItem *>(); }
    papelo::WebViewHost *host() const { return body()->property("host").value<papelo::WebViewHost *>(); }
    papelo::PictureViewer *viewer() const
    {
        QObject *popup = body()->property("pictureViewer").value<QObject *>();
        return popup ? popup->property("viewer").value<papelo::PictureViewer *>() : nullptr;
    }
    qreal measured() const { return root->property("measured").toReal(); }
    int measureCount() const { return root->property("measureCount").toInt(); }
    bool finished() const { return root->property("finished").toBool(); }
    // The script's value; invalid when the document never answers.
    QVariant probe(const QString &script)
    {
        const int before = root->property("probes").toInt();
        QMetaObject::invokeMethod(root.get(), "probe", Q_ARG(QVariant, script));
        return QTest::qWaitFor([&] { return root->property("probes").toInt() > before; }, 10000) ? root->property("probed") : QVariant();
    }
    bool shows(int x, int y, QColor colour) const
    {
        const QColor seen = window->grabWindow().pixelColor(x, y);
        return std::abs(seen.red() - colour.red()) + std::abs(seen.green() - colour.green()) + std::abs(seen.blue() - colour.blue()) < 8;
    }
};

// Web and mail addresses go to the receiver's open(), or (none) to the desktop again.
inline void handleUrls(QObject *receiver)
{
    for (const QString scheme : {"http", "https", "mailto"})
        receiver ? QDesktopServices::setUrlHandler(scheme, receiver, "open") : QDesktopServices::unsetUrlHandler(scheme);
}

// The article page suites' fixture: what a body hands the desktop lands in
// m_opened; m_server serves a body's pictures and media, m_other is a
// loopback host a body must never reach. Every page withdraws its document.
class PageTest : public QObject {
    Q_OBJECT

protected:
    QQmlEngine m_engine;
    QList<QUrl> m_opened;
    FakeServer m_server;
    FakeServer m_other;

public slots:
    void open(const QUrl &url) { m_opened.append(url); }

private slots:
    void initTestCase()
    {
        qmltest::collectWarnings();
        QVERIFY(m_server.listen() && m_other.listen());
    }
    void cleanupTestCase() { handleUrls(nullptr); }
    // Earlier pages may still hold their re-measurement window.
    void init()
    {
        m_opened.clear();
        m_server.clear();
        m_other.clear();
        handleUrls(this);
        papelo::ServerConfig::setBaseUrl(QStringLiteral("http://127.0.0.1:4000"));
        QTRY_COMPARE_WITH_TIMEOUT(papelo::Activity::shared().count(), 0, 10000);
    }
    void cleanup()
    {
        QCOMPARE(papelo::ArticleProfile::documents()->publishedCount(), 0);  // every page withdrew its own
        QVERIFY_NO_WARNINGS();
    }
};

} // namespace bodypage
