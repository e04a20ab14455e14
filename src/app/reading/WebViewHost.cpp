#include "reading/WebViewHost.h"

#include "core/Activity.h"
#include "core/MailtoLink.h"
#include "core/ServerConfig.h"
#include "core/StyledHtml.h"
#include "core/Trace.h"
#include "reading/ArticleDocumentServer.h"
#include "reading/ArticleProfile.h"
#include "reading/BodyScript.h"
#include "images/PictureViewer.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QJSValue>
#include <QJsonDocument>
#include <QRegularExpression>
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

QString WebViewHost::userAgent() { return ArticleProfile::userAgent(); }

QQuickWebEngineProfile *WebViewHost::profile() { return ArticleProfile::profile(); }

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
    if (m_documents)
        m_documents->withdraw(m_documentUrl);
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

void WebViewHost::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    emit titleChanged();
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

void WebViewHost::setTextSize(int percent)
{
    percent = std::clamp(percent, 80, 200);
    if (percent == m_textSize)
        return;
    m_textSize = percent;
    BodyScript::setTextSize(profile(), percent);
    emit textSizeChanged();
    if (m_finishedOnce)
        emit textScaleRequested(percent);
}

void WebViewHost::update()
{
    if (!m_complete)
        return;  // the view's handlers are not connected before completion
    // styledHTML is deterministic: the same body and origin give the same document.
    if (m_hasLoaded && m_htmlContent == m_loadedBody && m_webOrigin == m_loadedOrigin && m_title == m_loadedTitle)
        return;
    m_loadedBody = m_htmlContent;
    m_loadedOrigin = m_webOrigin;
    m_loadedTitle = m_title;
    m_hasLoaded = true;
    if (m_documents)
        m_documents->withdraw(m_documentUrl);
    m_documents = ArticleProfile::documents();
    m_documentUrl = m_documents->publish(m_webOrigin, styledHTML(m_htmlContent, m_webOrigin).toUtf8(), m_title);
    m_textPending = false;
    m_awaitingLoad = true;
    m_documentTextSize = m_textSize;
    BodyScript::setTextSize(profile(), m_textSize);
    ++m_loadCount;
    if (!m_pageLoadHeld) {
        m_pageLoadHeld = true;
        holdActivity();
    }
    emit loadRequested(m_documentUrl);
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
    // The size changed while the document was on its way.
    if (m_documentTextSize != m_textSize) {
        m_documentTextSize = m_textSize;
        emit textScaleRequested(m_textSize);
    }
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
    if (const std::optional<int> index = pictureRequestIndex(url); index && mainFrame) {
        emit pictureRequested(*index);
        return false;
    }
    const QUrl page = url.adjusted(QUrl::RemoveFragment);
    // The document's own load, once: a refresh to itself (a meta refresh
    // without an address, a form posting to it) would reload it for ever.
    if (mainFrame && !linkClicked && m_awaitingLoad && page == m_documentUrl) {
        m_awaitingLoad = false;
        return true;
    }
    if (mainFrame && linkClicked) {
        // The base element resolves "#notes" against the web origin; the
        // page, not the view, scrolls to it.
        const QUrl base(QStringLiteral("https://") + m_webOrigin + QLatin1Char('/'));
        if (url.hasFragment() && (page == base || page == m_documentUrl))
            emit fragmentRequested(url.fragment(QUrl::FullyDecoded));
        else
            openExternally(url);
    }
    // Frames, forms, refreshes and redirects go nowhere.
    emit navigationRefused(url);
    return false;
}

void WebViewHost::openExternally(const QUrl &url)
{
    const QUrl web = ArticleDocumentServer::toWebUrl(url);
    const QString scheme = web.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        QDesktopServices::openUrl(web);
    else if (const std::optional<QUrl> mail = mailClientUrl(web))
        QDesktopServices::openUrl(*mail);
}

QString WebViewHost::linkCheckScript(const QUrl &url)
{
    const QByteArray quoted =
        QJsonDocument(QJsonArray{url.toString(QUrl::FullyEncoded)}).toJson(QJsonDocument::Compact);
    return QStringLiteral(R"JS((function (wanted) {
    try { wanted = new URL(wanted).href; } catch (e) { return false; }
    return Array.prototype.some.call(document.links, function (link) { return link.href === wanted; });
})(%1))JS")
        .arg(QString::fromUtf8(quoted.mid(1, quoted.size() - 2)));
}

void WebViewHost::openIfLinked(const QUrl &url, const QVariant &linked)
{
    if (linked.typeId() == QMetaType::Bool && linked.toBool())
        openExternally(url);
    else
        emit navigationRefused(url);
}

std::optional<int> WebViewHost::pictureRequestIndex(const QUrl &url)
{
    static const QRegularExpression index(QStringLiteral("^index=(\\d{1,4})$"));
    if (!ArticleDocumentServer::isDocumentUrl(url) || url.host() != QLatin1String("view-picture")
        || url.path() != QLatin1String("/"))
        return std::nullopt;
    const QRegularExpressionMatch match = index.match(url.query(QUrl::FullyEncoded));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}

QString WebViewHost::focusPictureScript(int index)
{
    return QStringLiteral("papelo.focusPicture(%1)").arg(std::max(0, index));
}

QVariantList WebViewHost::bodyPictures(const QVariant &scriptResult)
{
    QVariantList pictures;
    // From QML the script's array arrives as a JavaScript value.
    const QVariant result = scriptResult.metaType() == QMetaType::fromType<QJSValue>()
                                ? scriptResult.value<QJSValue>().toVariant()
                                : scriptResult;
    if (result.typeId() != QMetaType::QVariantList)
        return pictures;
    const QVariantList entries = result.toList();
    for (const QVariant &entry : entries.mid(0, PictureViewer::kMaxPictures)) {
        const QVariantMap fields = entry.toMap();
        const QVariant src = fields.value(QStringLiteral("src"));
        const QVariant alt = fields.value(QStringLiteral("alt"));
        QUrl url = src.typeId() == QMetaType::QString ? ArticleDocumentServer::toWebUrl(QUrl(src.toString())) : QUrl();
        const QString scheme = url.scheme().toLower();
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("data"))
            url = QUrl();
        pictures.append(QVariantMap{{QStringLiteral("url"), url},
                                    {QStringLiteral("alt"), alt.typeId() == QMetaType::QString ? alt.toString() : QString()}});
    }
    return pictures;
}

void WebViewHost::applyTextScale(qreal y, const QVariant &result)
{
    const QVariantMap fields = result.metaType() == QMetaType::fromType<QJSValue>()
                                   ? result.value<QJSValue>().toVariant().toMap()
                                   : result.toMap();
    const QVariant height = fields.value(QStringLiteral("height")), top = fields.value(QStringLiteral("top"));
    if (!isMeasurement(height) || height.toDouble() < 0 || !isMeasurement(top))
        return;
    emit heightMeasured(height.toDouble());
    emit placeKept(y, top.toDouble());
}

qreal WebViewHost::keptViewTop(qreal viewTop, qreal oldHeight, qreal newTop, qreal newHeight)
{
    if (viewTop <= 0)
        return viewTop;
    if (viewTop >= oldHeight)
        return newHeight + (viewTop - oldHeight);
    return std::clamp<qreal>(newTop, 0, newHeight);
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
