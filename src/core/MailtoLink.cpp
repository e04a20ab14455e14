#include "core/MailtoLink.h"

#include <QRegularExpression>
#include <QUrlQuery>

namespace papelo {

std::optional<QUrl> mailClientUrl(const QUrl &link)
{
    if (link.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    // Decoded, so that an escaped "?" or "&" cannot smuggle fields past this.
    const QString addresses = link.path(QUrl::FullyDecoded);
    static const QRegularExpression list(QStringLiteral(R"(^([^\s@?&#<>"\\,;:%]+@[^\s@?&#<>"\\,;:%/]+)(,\s*[^\s@?&#<>"\\,;:%]+@[^\s@?&#<>"\\,;:%/]+)*$)"));
    if (!addresses.isEmpty() && !list.match(addresses).hasMatch())
        return std::nullopt;
    QStringList kept;
    const QList<QPair<QString, QString>> given = QUrlQuery(link).queryItems(QUrl::FullyDecoded);
    for (const char *field : {"subject", "body"}) {
        for (const auto &[key, value] : given) {
            if (key.compare(QLatin1String(field), Qt::CaseInsensitive) == 0) {
                // Every delimiter in the text stays escaped: it remains one field.
                kept << QLatin1String(field) + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value));
                break;
            }
        }
    }
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(addresses);
    if (!kept.isEmpty())
        url.setQuery(kept.join(QLatin1Char('&')));
    return url;
}

} // namespace papelo
