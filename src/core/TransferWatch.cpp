#include "core/TransferWatch.h"

#include <QNetworkReply>

namespace papelo {

TransferWatch::TransferWatch(QNetworkReply *reply, const ClientLimits &limits)
{
    m_idle.setSingleShot(true);
    m_whole.setSingleShot(true);
    const auto expire = [this, reply] {
        timedOut = true;
        reply->abort();
    };
    QObject::connect(&m_idle, &QTimer::timeout, &m_context, expire);
    QObject::connect(&m_whole, &QTimer::timeout, &m_context, expire);
    const qint64 max = limits.maxBodyBytes;
    QObject::connect(reply, &QNetworkReply::readyRead, &m_context, [this, reply, max] {
        m_idle.start();
        if (reply->bytesAvailable() > max) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::uploadProgress, &m_context, [this] { m_idle.start(); });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &m_context, [this, reply, max] {
        m_idle.start();
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > max) {
            tooLarge = true;
            reply->abort();
        }
    });
    m_idle.start(limits.idle);
    m_whole.start(limits.whole);
}

} // namespace papelo
