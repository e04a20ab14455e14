#include "http/JsonBody.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

JsonBody::JsonBody(const HttpRequest &request)
{
    const QByteArray type = request.header("Content-Type").toLower();
    if (!type.startsWith("application/json")) {
        fail(QStringLiteral("请求必须是 JSON（Content-Type: application/json）"));
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError) {
        fail(QStringLiteral("请求内容不是有效的 JSON：%1").arg(error.errorString()));
        return;
    }
    if (!doc.isObject()) {
        fail(QStringLiteral("请求内容必须是 JSON 对象"));
        return;
    }
    m_object = doc.object();
}

void JsonBody::fail(const QString &message)
{
    if (!m_failure)
        m_failure = HttpReply::error(400, message);
}

QString JsonBody::string(const char *key)
{
    const std::optional<QString> value = optionalString(key);
    if (!value) {
        fail(QStringLiteral("缺少字段：%1").arg(QLatin1String(key)));
        return {};
    }
    return *value;
}

std::optional<QString> JsonBody::optionalString(const char *key)
{
    if (m_failure)
        return std::nullopt;
    const QJsonValue v = m_object.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isString()) {
        fail(QStringLiteral("字段 %1 必须是字符串").arg(QLatin1String(key)));
        return std::nullopt;
    }
    return v.toString();
}

qint64 JsonBody::id(const char *key)
{
    const std::optional<qint64> value = optionalId(key);
    if (!value && !m_failure)
        fail(QStringLiteral("缺少字段：%1").arg(QLatin1String(key)));
    return value.value_or(0);
}

std::optional<qint64> JsonBody::optionalId(const char *key)
{
    if (m_failure)
        return std::nullopt;
    const QJsonValue v = m_object.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    // Doubles hold every integer up to 2^53 exactly; anything beyond cannot
    // name a row and must not wrap into one.
    const double d = v.toDouble();
    if (!v.isDouble() || std::trunc(d) != d || d < 1 || d > 9007199254740992.0) {
        fail(QStringLiteral("字段 %1 必须是正整数").arg(QLatin1String(key)));
        return std::nullopt;
    }
    return qint64(d);
}
