#include "core/ServerConfig.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>

namespace papelo {

namespace {
QString &configuredBase()
{
    static QString value = ServerConfig::normalizeBaseUrl(QStringLiteral(PAPELO_DEFAULT_SERVER))
                               .value_or(QStringLiteral(PAPELO_DEFAULT_SERVER));
    return value;
}
QString &configuredOrigin()
{
    static QString value = QStringLiteral(PAPELO_WEB_ORIGIN);
    return value;
}
} // namespace

QString ServerConfig::compiledBaseUrl() { return QStringLiteral(PAPELO_DEFAULT_SERVER); }
QString ServerConfig::compiledWebOrigin() { return QStringLiteral(PAPELO_WEB_ORIGIN); }

std::optional<QString> ServerConfig::normalizeBaseUrl(const QString &candidate)
{
    QString text = candidate.trimmed();
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    if (url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return std::nullopt;
    return text;
}

bool ServerConfig::isValidWebOrigin(const QString &host)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?"
                                                           "(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*$"));
    return pattern.match(host).hasMatch();
}

bool ServerConfig::sendsInTheClear(const QString &baseUrl)
{
    const QUrl url(baseUrl, QUrl::StrictMode);
    if (url.scheme() == QLatin1String("https"))
        return false;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return false;
    QHostAddress address;
    if (!address.setAddress(host))
        return true;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return !(isV4 ? QHostAddress(v4).isLoopback() : address.isLoopback());
}

std::optional<QString> ServerConfig::resolveBaseUrl(const QString &option, const QString &environment,
                                                    QString *chosen)
{
    QString value = compiledBaseUrl();
    if (!option.isEmpty())
        value = option;
    else if (!environment.isEmpty())
        value = environment;
    if (chosen)
        *chosen = value;
    return normalizeBaseUrl(value);
}

QString ServerConfig::baseUrl() { return configuredBase(); }
void ServerConfig::setBaseUrl(const QString &normalized) { configuredBase() = normalized; }
QString ServerConfig::webOrigin() { return configuredOrigin(); }
void ServerConfig::setWebOrigin(const QString &host) { configuredOrigin() = host; }

} // namespace papelo
