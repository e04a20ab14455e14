#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QQmlParserStatus>
#include <QUrl>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

#include <QQuickWebEngineProfile>

namespace papelo {

class ArticleDocumentServer;

// Drives the WebEngineView of an article body (ArticleBody.qml): decides
// when to load, when and how to measure, what a navigation may do, and how a
// wheel over the body scrolls the page. The view shows the reader's own
// document (served by ArticleProfile's ArticleDocumentServer) and nothing
// else: links open in the system browser, fragment links scroll the page.
// The view only executes what this asks for and reports back. UI thread only.
class WebViewHost : public QObject, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(QString htmlContent READ htmlContent WRITE setHtmlContent NOTIFY htmlContentChanged)
    Q_PROPERTY(QString webOrigin READ webOrigin WRITE setWebOrigin NOTIFY webOriginChanged)
    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY titleChanged)
    Q_PROPERTY(bool dark READ dark WRITE setDark NOTIFY darkChanged)
    Q_PROPERTY(qreal viewWidth READ viewWidth WRITE setViewWidth NOTIFY viewWidthChanged)
    // The text size in percent (80 to 200); documents start at it.
    Q_PROPERTY(int textSize READ textSize WRITE setTextSize NOTIFY textSizeChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(int loadCount READ loadCount NOTIFY loadRequested)
    Q_PROPERTY(QUrl documentUrl READ documentUrl NOTIFY loadRequested)
    Q_PROPERTY(QString userAgent READ userAgent CONSTANT)
    Q_PROPERTY(QQuickWebEngineProfile *profile READ profile CONSTANT)
public:
    static QString userAgent();
    // The one profile of every article body (ArticleProfile).
    static QQuickWebEngineProfile *profile();
    // Applies the app's appearance to the document's dark media block and
    // returns the content height; runs in the isolated application world.
    static QString measureScript(bool dark);
    static bool isMeasurement(const QVariant &result);

    explicit WebViewHost(QObject *parent = nullptr);
    ~WebViewHost() override;

    void classBegin() override {}
    void componentComplete() override;

    QString htmlContent() const { return m_htmlContent; }
    void setHtmlContent(const QString &body);
    QString webOrigin() const { return m_webOrigin; }
    void setWebOrigin(const QString &host);
    // The article's title, which names the document for a screen reader.
    QString title() const { return m_title; }
    void setTitle(const QString &title);
    bool dark() const { return m_dark; }
    void setDark(bool dark);
    // The width the body is laid out in; text reflows when it changes.
    qreal viewWidth() const { return m_viewWidth; }
    void setViewWidth(qreal width);
    int textSize() const { return m_textSize; }
    void setTextSize(int percent);
    bool isLoading() const { return m_isLoading; }
    int loadCount() const { return m_loadCount; }
    // Where the current document is served; empty before the first load.
    QUrl documentUrl() const { return m_documentUrl; }

    // Forwarded from WebEngineView.loadingChanged (QWebEngineLoadingInfo::LoadStatus).
    Q_INVOKABLE void handleLoadStatus(int status);
    // Forwarded result of a measureRequested script.
    Q_INVOKABLE void applyMeasurement(const QVariant &result);
    // Whether a navigation may go ahead: only the loads of the document
    // itself. A clicked link opens in the system browser, or, when it names
    // a place in the article, asks the page to scroll there
    // (fragmentRequested); everything else goes nowhere (navigationRefused).
    Q_INVOKABLE bool acceptNavigation(const QUrl &url, bool linkClicked, bool mainFrame);
    // http(s) and mailto only, the document's own scheme as https; a mailto
    // keeps its addresses, subject and body (mailClientUrl).
    Q_INVOKABLE void openExternally(const QUrl &url);
    // A new window asked for by a click on a link with a target: the script
    // tells whether the document has a link to `url`; then
    // openIfLinked(url, result) opens it. Form posts to a new window go nowhere.
    Q_INVOKABLE static QString linkCheckScript(const QUrl &url);
    Q_INVOKABLE void openIfLinked(const QUrl &url, const QVariant &linked);
    // The body script asks for the viewer by navigating to
    // "papelo-article://view-picture/?index=N" (a picture clicked or
    // entered); the index, if that is one.
    static std::optional<int> pictureRequestIndex(const QUrl &url);
    // Scripts for the body script's own world: the list of viewable
    // pictures, and the focus back on picture `index` (the page stays put).
    Q_INVOKABLE static QString picturesScript() { return QStringLiteral("papelo.pictures()"); }
    Q_INVOKABLE static QString focusPictureScript(int index);
    // The pictures a body's script reported, for the viewer: at most
    // PictureViewer::kMaxPictures maps {url, alt}; addresses on the
    // document's own scheme stand for https, any other entry is kept as an
    // empty address (so indexes still match) that the viewer refuses.
    Q_INVOKABLE static QVariantList bodyPictures(const QVariant &scriptResult);
    // What the body script's textScale() answered for the place `y`: the
    // new height (heightMeasured) and where `y` went (placeKept).
    Q_INVOKABLE void applyTextScale(qreal y, const QVariant &result);
    // Where the page's viewport top (`viewTop`, body coordinates) belongs
    // after the body went from `oldHeight` to `newHeight` and the place at
    // viewTop moved to `newTop`: above the body and below it the distance to
    // the body's edge stays, within it the place does.
    Q_INVOKABLE static qreal keptViewTop(qreal viewTop, qreal oldHeight, qreal newTop, qreal newHeight);
    // A link chosen from the context menu goes where a click on it goes.
    Q_INVOKABLE void openLink(const QUrl &url) { acceptNavigation(url, true, true); }
    // contentY of the enclosing page after a wheel step over the body, kept
    // within the page's bounds.
    Q_INVOKABLE static qreal scrolledContentY(qreal contentY, qreal angleDeltaY, qreal pixelDeltaY,
                                              qreal contentHeight, qreal viewportHeight, qreal originY);

signals:
    void htmlContentChanged();
    void webOriginChanged();
    void titleChanged();
    void darkChanged();
    void viewWidthChanged();
    void textSizeChanged();
    // The shown document is to take the new size (textScaleScript).
    void textScaleRequested(int percent);
    // After a size change the body's position `from` is at `to`.
    void placeKept(qreal from, qreal to);
    void isLoadingChanged();
    // Load documentUrl in the view.
    void loadRequested(const QUrl &url);
    void fragmentRequested(const QString &fragment);
    void navigationRefused(const QUrl &url);
    // The body script asked the viewer for picture `index` of picturesScript().
    void pictureRequested(int index);
    void measureRequested(const QString &script);
    // Every numeric measurement, also when equal to the previous one.
    void heightMeasured(qreal height);
    void loadFinished();

private:
    void update();
    void measure();
    void scheduleMeasurement(int delayMs);
    void holdActivity();
    void releaseActivity();

    QString m_htmlContent;
    QString m_webOrigin;
    QString m_title;
    QString m_loadedBody;    // with m_loadedOrigin and m_loadedTitle: what documentUrl serves
    QString m_loadedOrigin;
    QString m_loadedTitle;
    QUrl m_documentUrl;
    QPointer<ArticleDocumentServer> m_documents;
    bool m_hasLoaded = false;   // a document was handed to the view
    bool m_complete = false;
    bool m_dark = false;
    qreal m_viewWidth = 0;
    int m_textSize = 100;
    int m_documentTextSize = 100;  // the size the shown document started at
    QTimer *m_reflowTimer = nullptr;
    bool m_isLoading = true;
    bool m_finishedOnce = false;
    bool m_textPending = false;  // loaded, its text not yet measured (trace)
    bool m_pageLoadHeld = false;
    bool m_awaitingLoad = false;  // the published document has not been let in yet
    int m_loadCount = 0;
    int m_activityHeld = 0;
};

} // namespace papelo
