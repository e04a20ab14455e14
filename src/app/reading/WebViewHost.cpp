#include "reading/WebViewHost.h"

#include "core/Activity.h"
#include "core/ServerConfig.h"
#include "core/StyledHtml.h"
#include "core/Trace.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QQuickWebEngineProfile>
#include <QTimer>
#include <QWebEngineLoadingInfo>

#include <cmath>

namespace papelo {

namespace {
constexpr int kRemeasureDelaysMs[] = {500, 1500, 3000};
constexpr qreal kPixelsPerWheelNotch = 96;  // three lines of body text
constexpr int kReflowSettleMs = 200;        // a window drag resizes many times
} // namespace

QString WebViewHost::userAgent()
{
    return QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 "
                          "(KHTML, like Gecko) Version/16.0 Safari/605.1.15");
}

QQuickWebEngineProfile *WebViewHost::profile()
{
    static QQuickWebEngineProfile *shared = nullptr;
    if (!shared) {
        // Parented to the application: it must outlive every page that uses it.
        shared = new QQuickWebEngineProfile(QCoreApplication::instance());
        shared->setStorageName(QStringLiteral("papelo-articles"));
        shared->setOffTheRecord(false);
        shared->setHttpUserAgent(userAgent());
    }
    return shared;
}

QString WebViewHost::measureScript(bool dark)
{
    // The document is byte-exact and only knows prefers-color-scheme, which
    // Qt WebEngine cannot be told at run time. So the dark media rules are
    // switched on or off directly; their indexes are remembered on the style
    // element because the rewritten media text no longer names the scheme.
    static const QString script = QStringLiteral(R"JS((function (dark) {
    var sheets = document.styleSheets;
    for (var i = 0; i < sheets.length; ++i) {
        var sheet = sheets[i], owner = sheet.ownerNode, rules;
        try { rules = sheet.cssRules; } catch (e) { continue; }
        if (!owner || !owner.getAttribute) continue;
        var marked = owner.getAttribute('data-papelo-dark-rules');
        var indexes = [];
        if (marked === null) {
            for (var j = 0; j < rules.length; ++j) {
                var r = rules[j];
                if (r.type === CSSRule.MEDIA_RULE && r.media.mediaText.indexOf('prefers-color-scheme: dark') >= 0)
                    indexes.push(j);
            }
            owner.setAttribute('data-papelo-dark-rules', indexes.join(','));
        } else if (marked.length > 0) {
            indexes = marked.split(',').map(Number);
        }
        for (var k = 0; k < indexes.length; ++k) {
            var rule = rules[indexes[k]];
            if (rule && rule.type === CSSRule.MEDIA_RULE)
                rule.media.mediaText = dark ? 'all' : 'not all';
        }
    }
    // The root element's scrollHeight never drops below the view's own
    // height, so a short body would keep the 400-point start height; the
    // body element reports its content alone.
    return document.body ? document.body.scrollHeight : document.documentElement.scrollHeight;
})(%1))JS");
    return script.arg(dark ? QStringLiteral("true") : QStringLiteral("false"));
}

bool WebViewHost::isMeasurement(const QVariant &result)
{
    switch (result.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        // A non-finite height would break the page layout.
        return std::isfinite(result.toDouble());
    default:
        return false;
    }
}

WebViewHost::WebViewHost(QObject *parent)
    : QObject(parent), m_webOrigin(ServerConfig::webOrigin()), m_reflowTimer(new QTimer(this))
{
    m_reflowTimer->setSingleShot(true);
    m_reflowTimer->setInterval(kReflowSettleMs);
    connect(m_reflowTimer, &QTimer::timeout, this, &WebViewHost::measure);
}

WebViewHost::~WebViewHost()
{
    while (m_activityHeld > 0)
        releaseActivity();
}

void WebViewHost::componentComplete()
{
    m_complete = true;
    update();
}

void WebViewHost::setHtmlContent(const QString &body)
{
    if (body != m_htmlContent) {
        m_htmlContent = body;
        emit htmlContentChanged();
    }
    update();
}

void WebViewHost::setWebOrigin(const QString &host)
{
    if (host == m_webOrigin)
        return;
    m_webOrigin = host;
    emit webOriginChanged();
    update();
}

void WebViewHost::setDark(bool dark)
{
    if (dark == m_dark)
        return;
    m_dark = dark;
    emit darkChanged();
    if (m_finishedOnce)
        measure();  // re-applies the scheme to the shown document
}

void WebViewHost::setViewWidth(qreal width)
{
    if (qFuzzyCompare(width, m_viewWidth))
        return;
    m_viewWidth = width;
    emit viewWidthChanged();
    // A narrower body is taller: without a new measurement the page would
    // cut its end off (or leave a gap when wider).
    if (m_finishedOnce)
        m_reflowTimer->start();
}

void WebViewHost::update()
{
    if (!m_complete)
        return;  // the view's handlers are not connected before completion
    const QString document = styledHTML(m_htmlContent, m_webOrigin);
    if (m_hasLoaded && document == m_loadedDocument)
        return;
    m_loadedDocument = document;
    m_hasLoaded = true;
    m_textPending = false;
    ++m_loadCount;
    if (!m_pageLoadHeld) {
        m_pageLoadHeld = true;
        holdActivity();
    }
    emit loadRequested(document, QUrl(QStringLiteral("https://") + m_webOrigin + QLatin1Char('/')));
}

void WebViewHost::handleLoadStatus(int status)
{
    if (status == QWebEngineLoadingInfo::LoadStartedStatus)
        return;
    if (m_pageLoadHeld) {
        m_pageLoadHeld = false;
        releaseActivity();
    }
    // A failed or stopped load reports nothing: the placeholder stays.
    if (status != QWebEngineLoadingInfo::LoadSucceededStatus)
        return;
    m_finishedOnce = true;
    m_textPending = true;
    measure();
    if (m_isLoading) {
        m_isLoading = false;
        emit isLoadingChanged();
    }
    emit loadFinished();
    for (int delay : kRemeasureDelaysMs)
        scheduleMeasurement(delay);
}

void WebViewHost::scheduleMeasurement(int delayMs)
{
    // Tied to this object: a host destroyed with its view cancels them.
    holdActivity();
    QTimer::singleShot(delayMs, this, [this] {
        measure();
        releaseActivity();
    });
}

void WebViewHost::measure() { emit measureRequested(measureScript(m_dark)); }

void WebViewHost::applyMeasurement(const QVariant &result)
{
    if (!isMeasurement(result))
        return;
    // The body has been laid out in the renderer: its text is in the next frame.
    if (m_textPending && result.toDouble() > 0) {
        m_textPending = false;
        trace::instantAtNextFrame("article-text-shown");
    }
    emit heightMeasured(result.toDouble());
}

bool WebViewHost::acceptNavigation(const QUrl &url, bool linkClicked, bool mainFrame)
{
    if (!linkClicked || !mainFrame)
        return true;
    // A jump to an anchor of the article itself stays in the view.
    const QUrl base(QStringLiteral("https://") + m_webOrigin + QLatin1Char('/'));
    if (url.hasFragment() && url.adjusted(QUrl::RemoveFragment) == base)
        return true;
    openExternally(url);
    return false;
}

void WebViewHost::openExternally(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))
        QDesktopServices::openUrl(url);
}

qreal WebViewHost::scrolledContentY(qreal contentY, qreal angleDeltaY, qreal pixelDeltaY, qreal contentHeight,
                                    qreal viewportHeight, qreal originY)
{
    const qreal step = pixelDeltaY != 0 ? pixelDeltaY : angleDeltaY / 120.0 * kPixelsPerWheelNotch;
    const qreal top = originY;
    const qreal bottom = std::max(top, originY + contentHeight - viewportHeight);
    return std::clamp(contentY - step, top, bottom);
}

void WebViewHost::holdActivity()
{
    ++m_activityHeld;
    Activity::shared().begin();
}

void WebViewHost::releaseActivity()
{
    if (m_activityHeld <= 0)
        return;
    --m_activityHeld;
    Activity::shared().end();
}

} // namespace papelo
