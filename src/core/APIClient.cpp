#include "core/APIClient.h"

#include "core/Activity.h"
#include "core/Console.h"
#include "core/ServerConfig.h"
#include "core/Trace.h"
#include "core/TransferWatch.h"

#include <QCoroFuture>
#include <QJsonDocument>
#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace papelo {

namespace {
struct DeleteLater {
    void operator()(QObject *o) const { o->deleteLater(); }
};

int defaultPort(const QUrl &url) { return url.scheme() == QLatin1String("https") ? 443 : 80; }

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port(defaultPort(a)) == b.port(defaultPort(b));
}

// Decides every redirect itself (Qt would otherwise carry the raw
// Authorization header and a re-posted body to wherever the server points):
// a request carrying a token or a body may only move within the configured
// origin, and no request is moved from https to plain http. A refused
// redirect aborts the reply. Kept out of coroutine bodies (GCC 12 lambdas).
class RedirectGuard {
public:
    RedirectGuard(QNetworkReply *reply, const QUrl &origin, bool credentialed)
    {
        QObject::connect(reply, &QNetworkReply::redirected, &m_context,
                         [this, reply, origin, credentialed](const QUrl &target) {
                             const bool downgrade = reply->url().scheme() == QLatin1String("https")
                                                    && target.scheme() != QLatin1String("https");
                             if (downgrade || (credentialed && !sameOrigin(origin, target))) {
                                 refusedStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                                 refused = true;
                                 reply->abort();
                                 return;
                             }
                             emit reply->redirectAllowed();
                         });
    }
    RedirectGuard(const RedirectGuard &) = delete;
    RedirectGuard &operator=(const RedirectGuard &) = delete;

    bool refused = false;
    int refusedStatus = 0;

private:
    QObject m_context;
};

template <typename T> Result<T> decodeRaw(APIClient::RawResponse response);
} // namespace

APIClient::APIClient(QString baseUrl, bool baseValid, Limits limits)
    : m_baseUrl(std::move(baseUrl)), m_baseValid(baseValid), m_limits(limits),
      m_nam(std::make_unique<QNetworkAccessManager>())
{
    m_nam->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
}

APIClient::~APIClient()
{
    // Replies are children of the manager; abort first so none outlives it mid-flight.
    for (QNetworkReply *reply : std::as_const(m_inFlight))
        reply->abort();
}

std::shared_ptr<APIClient> APIClient::create() { return create(ServerConfig::baseUrl()); }

std::shared_ptr<APIClient> APIClient::create(const QString &baseUrl, Limits limits)
{
    const auto normalized = ServerConfig::normalizeBaseUrl(baseUrl);
    return std::shared_ptr<APIClient>(new APIClient(normalized.value_or(baseUrl), normalized.has_value(), limits));
}

void APIClient::cancelAll()
{
    const auto replies = m_inFlight;
    for (QNetworkReply *reply : replies)
        reply->abort();
}

QCoro::Task<Result<APIClient::RawResponse>> APIClient::send(QString pathAndQuery, QByteArray verb, QByteArray body,
                                                            std::optional<QString> token)
{
    auto self = shared_from_this();
    if (!m_baseValid)
        co_return RequestError::config(m_baseUrl);
    const QUrl url(m_baseUrl + pathAndQuery, QUrl::StrictMode);
    if (!url.isValid())
        co_return RequestError::config(m_baseUrl + pathAndQuery);

    QNetworkRequest request(url);
    if (token)
        request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
    if (verb == "POST")
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));

    trace::Span span;
    if (trace::enabled())
        span.begin("http", url.path());
    std::unique_ptr<QNetworkReply, DeleteLater> reply(verb == "POST" ? m_nam->post(request, body)
                                                                      : m_nam->get(request));
    QNetworkReply *raw = reply.get();
    m_inFlight.insert(raw);

    TransferWatch watch(raw, m_limits);
    RedirectGuard redirects(raw, QUrl(m_baseUrl), token.has_value() || verb == "POST");

    if (!raw->isFinished())
        co_await qCoro(raw).waitForFinished();
    m_inFlight.remove(raw);

    if (watch.tooLarge)
        co_return RequestError::transport(RequestError::Transport::TooLarge);
    if (watch.timedOut)
        co_return RequestError::transport(RequestError::Transport::Timeout);
    if (redirects.refused)
        co_return RequestError::badResponse(redirects.refusedStatus);

    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (raw->error() != QNetworkReply::NoError)
            co_return RequestError::network(raw->error());
        co_return RawResponse{0, raw->readAll()};
    }
    // An HTTP status arrived; Qt flags 4xx/5xx as errors but the body is still the answer.
    // Network-layer errors (peer closed mid-body, cancelled, ...) and broken
    // framing mean the body is incomplete: it must not be decoded as if whole.
    const int code = status.toInt();
    const QNetworkReply::NetworkError error = raw->error();
    if ((error != QNetworkReply::NoError && error <= QNetworkReply::UnknownNetworkError)
        || error == QNetworkReply::ProtocolFailure)
        co_return RequestError::network(error);
    span.setArg("status", code);
    co_return RawResponse{code, raw->readAll()};
}

template <typename T> Result<T> decodeResponse(const APIClient::RawResponse &response)
{
    if (response.status != 0 && (response.status < 200 || response.status > 299)) {
        const Result<APIError> apiError = decodeJson<APIError>(response.body);
        if (apiError)
            return RequestError::server(apiError->error, response.status);
        return RequestError::badResponse(response.status);
    }
    return decodeJson<T>(response.body);
}

namespace {
template <typename T> Result<T> decodeRaw(APIClient::RawResponse response)
{
    trace::Span span("decode", QStringLiteral("decode"));
    span.setArg("bytes", response.body.size());
    return decodeResponse<T>(response);
}
} // namespace

template <typename T> QCoro::Task<Result<T>> APIClient::decodeOffThread(Result<RawResponse> raw)
{
    if (!raw)
        co_return raw.error();
    co_return co_await QtConcurrent::run(&decodeRaw<T>, raw.value());
}

template <typename T> QCoro::Task<Result<T>> APIClient::get(QString pathAndQuery, std::optional<QString> token)
{
    auto self = shared_from_this();
    const Activity::Scope busy; // until decoded, so a settled window has applied it
    auto raw = co_await send(std::move(pathAndQuery), QByteArrayLiteral("GET"), {}, std::move(token));
    co_return co_await decodeOffThread<T>(std::move(raw));
}

template <typename T>
QCoro::Task<Result<T>> APIClient::post(QString path, QJsonObject body, std::optional<QString> token)
{
    auto self = shared_from_this();
    const Activity::Scope busy;
    // Lone surrogates cannot be written as UTF-8 JSON without silently changing the text.
    for (auto it = body.begin(); it != body.end(); ++it) {
        if (it.value().isString() && !it.value().toString().isValidUtf16())
            co_return RequestError::encoding(QStringLiteral("字段 %1 含有无效字符").arg(it.key()));
    }
    const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
    auto raw = co_await send(std::move(path), QByteArrayLiteral("POST"), bytes, std::move(token));
    co_return co_await decodeOffThread<T>(std::move(raw));
}

// ---- endpoints -------------------------------------------------------------

namespace {
QString num(qint64 v) { return QString::number(v); }
QString encodeValue(const QString &value)
{
    // Everything but RFC 3986 unreserved characters is escaped, so "&", "=",
    // "+" and spaces reach any server as part of the one value.
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}
} // namespace

QCoro::Task<Result<StatsResponse>> APIClient::fetchStats() { return get<StatsResponse>(QStringLiteral("/api/stats")); }

QCoro::Task<Result<QList<Tag>>> APIClient::fetchTags()
{
    auto self = shared_from_this();
    auto r = co_await get<TagList>(QStringLiteral("/api/tags"));
    if (!r)
        co_return r.error();
    co_return std::move(r).value().items;
}

QCoro::Task<Result<ArticlesResponse>> APIClient::fetchArticles(std::optional<QString> tag, std::optional<QString> q,
                                                               std::optional<qint64> page,
                                                               std::optional<qint64> limit)
{
    QStringList items;
    if (page)
        items << QStringLiteral("page=") + num(*page);
    if (limit)
        items << QStringLiteral("limit=") + num(*limit);
    if (tag)
        items << QStringLiteral("tag=") + encodeValue(*tag);
    if (q && !q->isEmpty())
        items << QStringLiteral("q=") + encodeValue(*q);
    QString path = QStringLiteral("/api/articles");
    if (!items.isEmpty())
        path += QLatin1Char('?') + items.join(QLatin1Char('&'));
    return get<ArticlesResponse>(path);
}

namespace {
QCoro::Task<Result<QList<Article>>> sectionItems(QCoro::Task<Result<SectionResponse>> task)
{
    auto r = co_await task;
    if (!r)
        co_return r.error();
    co_return std::move(r).value().items;
}
} // namespace

QCoro::Task<Result<QList<Article>>> APIClient::fetchHot(qint64 limit)
{
    return sectionItems(get<SectionResponse>(QStringLiteral("/api/articles/hot?limit=") + num(limit)));
}

QCoro::Task<Result<QList<Article>>> APIClient::fetchLatest(qint64 limit)
{
    return sectionItems(get<SectionResponse>(QStringLiteral("/api/articles/latest?limit=") + num(limit)));
}

QCoro::Task<Result<QList<Article>>> APIClient::fetchRandom(qint64 limit)
{
    return sectionItems(get<SectionResponse>(QStringLiteral("/api/articles/random?limit=") + num(limit)));
}

QCoro::Task<Result<ArticleDetail>> APIClient::fetchArticleDetail(qint64 id)
{
    return get<ArticleDetail>(QStringLiteral("/api/article/") + num(id));
}

QCoro::Task<Result<QList<Comment>>> APIClient::fetchComments(qint64 articleId)
{
    auto self = shared_from_this();
    auto r = co_await get<CommentList>(QStringLiteral("/api/comments?article_id=") + num(articleId));
    if (!r)
        co_return r.error();
    co_return std::move(r).value().items;
}

QCoro::Task<Result<AuthorDetailResponse>> APIClient::fetchAuthor(qint64 id)
{
    return get<AuthorDetailResponse>(QStringLiteral("/api/author/") + num(id));
}

QCoro::Task<Result<CommentPostResponse>> APIClient::postComment(qint64 articleId, QString content,
                                                                std::optional<QString> name)
{
    QJsonObject body{{"article_id", articleId}, {"content", content}};
    if (name && !name->isEmpty())
        body.insert(QLatin1String("name"), *name);
    return post<CommentPostResponse>(QStringLiteral("/api/comment"), body);
}

QCoro::Task<Result<bool>> APIClient::like(LikeTarget target, std::optional<QString> token)
{
    auto self = shared_from_this();
    QJsonObject body;
    body.insert(QStringLiteral("article_id"), target.articleId);
    if (target.commentId)
        body.insert(QLatin1String("comment_id"), *target.commentId);
    auto r = co_await post<LikeResult>(QStringLiteral("/api/like"), body, std::move(token));
    if (!r)
        co_return r.error();
    co_return r->ok();
}

QCoro::Task<Result<LoginResponse>> APIClient::login(QString username, QString password)
{
    return post<LoginResponse>(QStringLiteral("/api/login"), QJsonObject{{"username", username}, {"password", password}});
}

QCoro::Task<Result<LoginResponse>> APIClient::registerUser(QString username, QString email, QString password)
{
    return post<LoginResponse>(QStringLiteral("/api/register"),
                               QJsonObject{{"username", username}, {"email", email}, {"password", password}});
}

QCoro::Task<Result<MeResponse>> APIClient::fetchMe(QString token)
{
    return get<MeResponse>(QStringLiteral("/api/me"), std::move(token));
}

QCoro::Task<Result<QString>> APIClient::updateBio(QString token, QString bio)
{
    auto self = shared_from_this();
    QJsonObject body;
    body.insert(QStringLiteral("bio"), bio);
    auto r = co_await post<BioResponse>(QStringLiteral("/api/me/bio"), body, std::move(token));
    if (!r)
        co_return r.error();
    co_return r->bio;
}

QCoro::Task<> APIClient::revokeToken(QString token)
{
    auto self = shared_from_this();
    const auto r = co_await post<LikeResult>(QStringLiteral("/api/logout"), QJsonObject(), std::move(token));
    // A token the server no longer knows is revoked already.
    if (!r && r.error().httpStatus() != 401)
        consoleLine(QStringLiteral("退出登录时未能注销服务器上的登录状态："), r.error().description());
}

} // namespace papelo
