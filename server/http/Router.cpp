#include "http/Router.h"

void Router::add(const QByteArray &method, const QString &pattern, Handler handler)
{
    static const QString special = QStringLiteral("\\.^$|?*+()[]{}");
    qsizetype literal = 0;
    while (literal < pattern.size() && !special.contains(pattern.at(literal)))
        ++literal;
    m_routes.push_back({method, pattern.left(literal), QRegularExpression(QRegularExpression::anchoredPattern(pattern)),
                        std::move(handler)});
}

HttpAnswer Router::dispatch(const HttpRequest &request) const
{
    QByteArrayList allowed;
    for (const Route &route : m_routes) {
        if (!request.path.startsWith(route.prefix))
            continue;
        const QRegularExpressionMatch m = route.pattern.match(request.path);
        if (!m.hasMatch())
            continue;
        if (route.method != request.method) {
            allowed << route.method;
            continue;
        }
        QStringList captures = m.capturedTexts();
        captures.removeFirst();
        return route.handler(request, captures);
    }
    if (!allowed.isEmpty()) {
        HttpReply r = HttpReply::error(405, QStringLiteral("不支持的请求方法：%1").arg(QString::fromLatin1(request.method)));
        r.headers.append(qMakePair(QByteArray("Allow"), allowed.join(", ")));
        return r;
    }
    return HttpReply::error(404, QStringLiteral("未找到：%1").arg(request.path.left(200)));
}
