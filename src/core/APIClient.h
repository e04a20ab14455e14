#pragma once

#include "core/Envelopes.h"
#include "core/Records.h"
#include "core/Result.h"
#include "core/TransferWatch.h"

#include <QCoroTask>
#include <QNetworkRequest>
#include <QSet>

#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace papelo {


// The reader's only door to the server. One client per screen operation:
// it owns its own QNetworkAccessManager, which therefore outlives every reply
// it makes because each running operation holds a shared_ptr to the client.
// All operations run on the thread that created the client (the UI thread);
// response bodies are decoded on the global thread pool.
class APIClient : public std::enable_shared_from_this<APIClient> {
public:
    using Limits = ClientLimits;

    static std::shared_ptr<APIClient> create();  // configured base URL, default limits
    static std::shared_ptr<APIClient> create(const QString &baseUrl, Limits limits = ClientLimits());
    ~APIClient();
    APIClient(const APIClient &) = delete;
    APIClient &operator=(const APIClient &) = delete;

    QString baseUrl() const { return m_baseUrl; }

    // Reading
    QCoro::Task<Result<StatsResponse>> fetchStats();
    QCoro::Task<Result<QList<Tag>>> fetchTags();
    QCoro::Task<Result<ArticlesResponse>> fetchArticles(std::optional<QString> tag, std::optional<QString> q,
                                                        std::optional<qint64> page, std::optional<qint64> limit);
    QCoro::Task<Result<QList<Article>>> fetchHot(qint64 limit = 6);
    QCoro::Task<Result<QList<Article>>> fetchLatest(qint64 limit = 6);
    QCoro::Task<Result<QList<Article>>> fetchRandom(qint64 limit = 6);
    QCoro::Task<Result<ArticleDetail>> fetchArticleDetail(qint64 id);
    QCoro::Task<Result<QList<Comment>>> fetchComments(qint64 articleId);
    QCoro::Task<Result<AuthorDetailResponse>> fetchAuthor(qint64 id);

    // Writing and account
    QCoro::Task<Result<CommentPostResponse>> postComment(qint64 articleId, QString content,
                                                         std::optional<QString> name);
    QCoro::Task<Result<bool>> like(LikeTarget target, std::optional<QString> token);
    QCoro::Task<Result<LoginResponse>> login(QString username, QString password);
    QCoro::Task<Result<LoginResponse>> registerUser(QString username, QString email, QString password);
    QCoro::Task<Result<MeResponse>> fetchMe(QString token);
    QCoro::Task<Result<QString>> updateBio(QString token, QString bio);
    // Asks the server to revoke the token; the caller has already forgotten
    // it, so the answer only reaches the console when it is a failure.
    QCoro::Task<> revokeToken(QString token);

    // Fills missing like/comment counts into ArticleCountsStore::shared():
    // at most five detail requests in flight, errors swallowed.
    QCoro::Task<> enrichCounts(QList<Article> articles);

    // Aborts every request of this client that is in flight; each fails as a
    // cancelled transport error. Requests started afterwards run normally.
    void cancelAll();
    int requestsInFlight() const { return int(m_inFlight.size()); }

    struct RawResponse {
        int status = 0;  // 0 when the reply was not HTTP
        QByteArray body;
    };

private:
    APIClient(QString baseUrl, bool baseValid, Limits limits);

    template <typename T> QCoro::Task<Result<T>> get(QString pathAndQuery, std::optional<QString> token = {});
    template <typename T>
    QCoro::Task<Result<T>> post(QString path, QJsonObject body, std::optional<QString> token = {});
    QCoro::Task<Result<RawResponse>> send(QString pathAndQuery, QByteArray verb, QByteArray body,
                                          std::optional<QString> token);
    template <typename T> static QCoro::Task<Result<T>> decodeOffThread(Result<RawResponse> raw);
    QCoro::Task<> enrichSlice(QList<Article> slice);

    QString m_baseUrl;
    bool m_baseValid = false;
    Limits m_limits;
    std::unique_ptr<QNetworkAccessManager> m_nam;
    QSet<QNetworkReply *> m_inFlight;
};

// The decode step shared by every operation: a status outside 200..299
// becomes the server's APIError or a bad-server-response error; otherwise
// the body is decoded strictly as T.
template <typename T> Result<T> decodeResponse(const APIClient::RawResponse &response);

} // namespace papelo
