#pragma once

#include <QObject>
#include <QTimer>
#include <QQmlParserStatus>
#include <QUrl>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <QQuickWebEngineProfile>

namespace papelo {

// Drives the WebEngineView of an article body (ArticleBody.qml): decides
// when to load, when and how to measure, which navigations stay in the view,
// and how a wheel over the body scrolls the page. The view only executes
// what this asks for and reports back. UI thread only.
class WebViewHost : public QObject, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(QString htmlContent READ htmlContent WRITE setHtmlContent NOTIFY htmlContentChanged)
    Q_PROPERTY(QString webOrigin READ webOrigin WRITE setWebOrigin NOTIFY webOriginChanged)
    Q_PROPERTY(bool dark READ dark WRITE setDark NOTIFY darkChanged)
    Q_PROPERTY(qreal viewWidth READ viewWidth WRITE setViewWidth NOTIFY viewWidthChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(int loadCount READ loadCount NOTIFY loadRequested)
    Q_PROPERTY(QString userAgent READ userAgent CONSTANT)
    Q_PROPERTY(QQuickWebEngineProfile *profile READ profile CONSTANT)
public:
    static QString userAgent();
    // One persistent profile for every article body, created on first use,
    // so the default profile keeps its own user agent and settings.
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
    bool dark() const { return m_dark; }
    void setDark(bool dark);
    // The width the body is laid out in; text reflows when it changes.
    qreal viewWidth() const { return m_viewWidth; }
    void setViewWidth(qreal width);
    bool isLoading() const { return m_isLoading; }
    int loadCount() const { return m_loadCount; }
    QString loadedDocument() const { return m_loadedDocument; }

    // Forwarded from WebEngineView.loadingChanged (QWebEngineLoadingInfo::LoadStatus).
    Q_INVOKABLE void handleLoadStatus(int status);
    // Forwarded result of a measureRequested script.
    Q_INVOKABLE void applyMeasurement(const QVariant &result);
    // Whether a navigation may replace the body in the view. Links to other
    // pages open in the system browser instead.
    Q_INVOKABLE bool acceptNavigation(const QUrl &url, bool linkClicked, bool mainFrame);
    Q_INVOKABLE void openExternally(const QUrl &url);
    // contentY of the enclosing page after a wheel step over the body, kept
    // within the page's bounds.
    Q_INVOKABLE static qreal scrolledContentY(qreal contentY, qreal angleDeltaY, qreal pixelDeltaY,
                                              qreal contentHeight, qreal viewportHeight, qreal originY);

signals:
    void htmlContentChanged();
    void webOriginChanged();
    void darkChanged();
    void viewWidthChanged();
    void isLoadingChanged();
    void loadRequested(const QString &document, const QUrl &baseUrl);
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
    QString m_loadedDocument;
    bool m_hasLoaded = false;   // a document was handed to the view
    bool m_complete = false;
    bool m_dark = false;
    qreal m_viewWidth = 0;
    QTimer *m_reflowTimer = nullptr;
    bool m_isLoading = true;
    bool m_finishedOnce = false;
    bool m_textPending = false;  // loaded, its text not yet measured (trace)
    bool m_pageLoadHeld = false;
    int m_loadCount = 0;
    int m_activityHeld = 0;
};

} // namespace papelo
