#pragma once

#include <QByteArray>
#include <QHash>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

namespace papelo {

// Serves the styled article documents to the body views under a scheme of
// the reader's own, "papelo-article://<web origin>/?document=<n>", followed
// by "&title=<article title>" for the body script to name the document. A data
// URL caps the document at about 2 MB; a document on a scheme that is not a
// secure context keeps its http:// pictures as written instead of having the
// engine upgrade them. Any other address on the scheme is redirected to the
// same path on https://<web origin>/, so nothing else is ever served from
// here. UI thread only.
class ArticleDocumentServer : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static QByteArray scheme();
    // Must run before the application object exists; does nothing when the
    // scheme is registered already.
    static void registerScheme();
    static bool isDocumentUrl(const QUrl &url);
    // The https address a link on the scheme stands for (other URLs unchanged).
    static QUrl toWebUrl(const QUrl &url);

    explicit ArticleDocumentServer(QObject *parent = nullptr);

    // Keeps `document` (UTF-8) served at the returned address until withdrawn;
    // the address carries at most kMaxTitle characters of `title`.
    QUrl publish(const QString &webOrigin, const QByteArray &document, const QString &title = {});
    static constexpr int kMaxTitle = 500;
    void withdraw(const QUrl &url);
    int publishedCount() const { return int(m_documents.size()); }

    void requestStarted(QWebEngineUrlRequestJob *job) override;

private:
    QHash<QString, QByteArray> m_documents;  // keyed by the address without its fragment
    quint64 m_serial = 0;
};

} // namespace papelo
