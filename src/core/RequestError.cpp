#include "core/RequestError.h"

namespace papelo {

namespace {
QString networkText(QNetworkReply::NetworkError code)
{
    using E = QNetworkReply;
    switch (code) {
    case E::NoError: break;
    case E::ConnectionRefusedError: return QStringLiteral("无法连接到服务器");
    case E::RemoteHostClosedError: return QStringLiteral("服务器中途关闭了连接");
    case E::HostNotFoundError: return QStringLiteral("找不到服务器");
    case E::TimeoutError: return QStringLiteral("请求超时");
    case E::OperationCanceledError: return QStringLiteral("请求已取消");
    case E::SslHandshakeFailedError: return QStringLiteral("无法建立安全连接（证书或加密协商失败）");
    case E::TemporaryNetworkFailureError: return QStringLiteral("网络暂时不可用");
    case E::NetworkSessionFailedError: return QStringLiteral("网络会话中断");
    case E::BackgroundRequestNotAllowedError: return QStringLiteral("系统不允许后台请求");
    case E::TooManyRedirectsError: return QStringLiteral("服务器重定向次数过多");
    case E::InsecureRedirectError: return QStringLiteral("服务器重定向到了不安全的地址");
    case E::UnknownNetworkError: return QStringLiteral("未知的网络错误");
    case E::ProxyConnectionRefusedError: return QStringLiteral("无法连接到代理服务器");
    case E::ProxyConnectionClosedError: return QStringLiteral("代理服务器中途关闭了连接");
    case E::ProxyNotFoundError: return QStringLiteral("找不到代理服务器");
    case E::ProxyTimeoutError: return QStringLiteral("代理服务器响应超时");
    case E::ProxyAuthenticationRequiredError: return QStringLiteral("代理服务器要求身份验证");
    case E::UnknownProxyError: return QStringLiteral("未知的代理错误");
    case E::ContentAccessDenied: return QStringLiteral("服务器拒绝访问（HTTP 403）");
    case E::ContentOperationNotPermittedError: return QStringLiteral("服务器不允许此操作（HTTP 405）");
    case E::ContentNotFoundError: return QStringLiteral("服务器上找不到该内容（HTTP 404）");
    case E::AuthenticationRequiredError: return QStringLiteral("服务器要求身份验证（HTTP 401）");
    case E::ContentReSendError: return QStringLiteral("请求需要重新发送，但无法重新发送");
    case E::ContentConflictError: return QStringLiteral("请求与服务器上的当前状态冲突（HTTP 409）");
    case E::ContentGoneError: return QStringLiteral("该内容已从服务器上移除（HTTP 410）");
    case E::UnknownContentError: return QStringLiteral("服务器返回了未知的内容错误");
    case E::ProtocolUnknownError: return QStringLiteral("不支持的网络协议");
    case E::ProtocolInvalidOperationError: return QStringLiteral("网络协议不支持此操作");
    case E::ProtocolFailure: return QStringLiteral("服务器的响应不符合协议");
    case E::InternalServerError: return QStringLiteral("服务器内部错误（HTTP 500）");
    case E::OperationNotImplementedError: return QStringLiteral("服务器不支持此操作（HTTP 501）");
    case E::ServiceUnavailableError: return QStringLiteral("服务器暂时无法提供服务（HTTP 503）");
    case E::UnknownServerError: return QStringLiteral("未知的服务器错误");
    }
    return QStringLiteral("网络连接失败");
}
} // namespace

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

RequestError RequestError::transport(Transport reason)
{
    QString text;
    switch (reason) {
    case Transport::Refused: text = QStringLiteral("无法连接到服务器"); break;
    case Transport::HostNotFound: text = QStringLiteral("找不到服务器"); break;
    case Transport::Timeout: text = QStringLiteral("请求超时"); break;
    case Transport::Cancelled: text = QStringLiteral("请求已取消"); break;
    case Transport::TooLarge: text = QStringLiteral("服务器响应过大（超过三十二兆字节）"); break;
    case Transport::None:
    case Transport::Other: text = QStringLiteral("网络连接失败"); break;
    }
    RequestError e(Kind::Transport, text);
    e.m_transport = reason;
    return e;
}

RequestError RequestError::network(QNetworkReply::NetworkError code)
{
    using T = Transport;
    T reason = T::Other;
    switch (code) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError: reason = T::Refused; break;
    case QNetworkReply::HostNotFoundError: reason = T::HostNotFound; break;
    case QNetworkReply::TimeoutError: reason = T::Timeout; break;
    case QNetworkReply::OperationCanceledError: reason = T::Cancelled; break;
    default: break;
    }
    RequestError e(Kind::Transport, networkText(code));
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
