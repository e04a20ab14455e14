#include "core/RequestError.h"

namespace papelo {

RequestError RequestError::server(QString message, int status)
{
    RequestError e(Kind::Server, std::move(message));
    e.m_status = status;
    return e;
}

RequestError RequestError::badResponse(int status)
{
    RequestError e(Kind::BadResponse, QStringLiteral("服务器响应无效（HTTP %1）").arg(status));
    e.m_status = status;
    return e;
}

RequestError RequestError::decoding(QString description)
{
    return RequestError(Kind::Decoding, std::move(description));
}

RequestError RequestError::transport(Transport reason, QString detail)
{
    QString text;
    switch (reason) {
    case Transport::Refused: text = QStringLiteral("无法连接到服务器"); break;
    case Transport::HostNotFound: text = QStringLiteral("找不到服务器"); break;
    case Transport::Timeout: text = QStringLiteral("请求超时"); break;
    case Transport::Cancelled: text = QStringLiteral("请求已取消"); break;
    case Transport::TooLarge: text = QStringLiteral("服务器响应过大（超过 32 MiB）"); break;
    case Transport::None:
    case Transport::Other: text = QStringLiteral("网络连接失败"); break;
    }
    if (!detail.isEmpty())
        text += QStringLiteral("（%1）").arg(detail);
    RequestError e(Kind::Transport, text);
    e.m_transport = reason;
    return e;
}

RequestError RequestError::encoding(QString description)
{
    return RequestError(Kind::Encoding, QStringLiteral("请求内容编码失败：") + description);
}

RequestError RequestError::config(QString value)
{
    return RequestError(Kind::Config,
                        QStringLiteral("服务器地址无效：“%1”（需要带主机名的 http 或 https 绝对地址）").arg(value));
}

} // namespace papelo
