#include "reading/ArticleDocumentServer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QUrlQuery>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace papelo {

namespace {
QString key(const QUrl &url) { return url.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded); }
void registerAtStartup() { ArticleDocumentServer::registerScheme(); }
} // namespace

QByteArray ArticleDocumentServer::scheme() { return QByteArrayLiteral("papelo-article"); }

void ArticleDocumentServer::registerScheme()
{
    if (QWebEngineUrlScheme::schemeByName(scheme()).name() == scheme())
        return;
    QWebEngineUrlScheme documents(scheme());
    // A host part makes the document's origin the web origin's host; no flag:
    // not secure (so no http upgrade), no local file access, no CORS target.
    documents.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    documents.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    documents.setFlags({});
    QWebEngineUrlScheme::registerScheme(documents);
}

// Every program that shows an article body (the reader, tests, benches)
// gets the scheme before its application object starts the engine.
Q_COREAPP_STARTUP_FUNCTION(registerAtStartup)

bool ArticleDocumentServer::isDocumentUrl(const QUrl &url)
{
    return url.scheme().toLatin1() == scheme();
}

QUrl ArticleDocumentServer::toWebUrl(const QUrl &url)
{
    if (!isDocumentUrl(url))
        return url;
    QUrl web = url;
    web.setScheme(QStringLiteral("https"));
    return web;
}

ArticleDocumentServer::ArticleDocumentServer(QObject *parent) : QWebEngineUrlSchemeHandler(parent) {}

QUrl ArticleDocumentServer::publish(const QString &webOrigin, const QByteArray &document, const QString &title)
{
    QUrl url;
    url.setScheme(QString::fromLatin1(scheme()));
    url.setHost(webOrigin);
    url.setPath(QStringLiteral("/"));
    QString query = QStringLiteral("document=%1").arg(++m_serial);
    // Encoded whole, so "&", "#" or "=" in a title stay in it; bounded, since
    // the engine refuses to load an address of more than 2 MB.
    if (!title.isEmpty())
        query += QStringLiteral("&title=") + QString::fromLatin1(QUrl::toPercentEncoding(title.left(kMaxTitle)));
    url.setQuery(query);
    m_documents.insert(key(url), document);
    return url;
}

void ArticleDocumentServer::withdraw(const QUrl &url) { m_documents.remove(key(url)); }

void ArticleDocumentServer::requestStarted(QWebEngineUrlRequestJob *job)
{
    const QUrl url = job->requestUrl();
    const auto found = m_documents.constFind(key(url));
    if (found == m_documents.constEnd() || job->requestMethod() != "GET") {
        // Whatever the document names relative to its own address lives on
        // the web site; a withdrawn document is not served again.
        job->redirect(toWebUrl(url));
        return;
    }
    auto *body = new QBuffer(job);
    body->setData(*found);
    body->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("text/html;charset=utf-8"), body);
}

} // namespace papelo
