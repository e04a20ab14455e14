#pragma once

#include "core/Records.h"
#include "core/RequestError.h"
#include "core/Result.h"

#include <QMap>

namespace papelo {

struct ArticlesResponse {
    qint64 total = 0;
    QList<Article> items;
    static ArticlesResponse fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct StatsResponse {
    qint64 totalArticles = 0;
    qint64 dbArticles = 0;
    std::optional<QString> apiVersion;
    static StatsResponse fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct LoginResponse {
    QString token;
    Author user;
    static LoginResponse fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct SectionResponse {
    QString section;
    qint64 count = 0;
    QList<Article> items;
    static SectionResponse fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct CommentPostResponse {
    qint64 id = 0;
    bool ok = false;
    static CommentPostResponse fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct BioResponse {
    bool ok = false;
    QString bio;
    static BioResponse fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct UserStats {
    qint64 total = 0;
    qint64 published = 0;
    qint64 pending = 0;
    static UserStats fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct MeResponse {
    Author user;
    UserStats stats;
    QList<Article> articles;
    static MeResponse fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct AuthorStats {
    qint64 total_articles = 0;
    static AuthorStats fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct AuthorDetailResponse {
    Author author;
    AuthorStats stats;
    QList<Article> articles;
    static AuthorDetailResponse fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

// The server's error body; its description is exactly `error`.
struct APIError {
    QString error;
    static APIError fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

// Parameter of APIClient::like(); never encoded as a whole.
struct LikeTarget {
    qint64 articleId = 0;
    std::optional<qint64> commentId;
    LikeTarget(qint64 article, std::optional<qint64> comment) : articleId(article), commentId(comment) {}
};

// Bare top-level shapes.
struct TagList {
    QList<Tag> items;
    static TagList fromJson(const QJsonValue &value, const QString &path = {});
};

struct CommentList {
    QList<Comment> items;
    static CommentList fromJson(const QJsonValue &value, const QString &path = {});
};

// An object whose every value is a boolean; `ok` is false when the key is missing.
struct LikeResult {
    QMap<QString, bool> values;
    bool ok() const { return values.value(QStringLiteral("ok"), false); }
    static LikeResult fromJson(const QJsonValue &value, const QString &path = {});
};

// Strictly decodes a whole body as T; the first failure fails everything.
template <typename T> Result<T> decodeJson(const QByteArray &bytes);

extern template Result<ArticlesResponse> decodeJson(const QByteArray &);
extern template Result<StatsResponse> decodeJson(const QByteArray &);
extern template Result<LoginResponse> decodeJson(const QByteArray &);
extern template Result<SectionResponse> decodeJson(const QByteArray &);
extern template Result<CommentPostResponse> decodeJson(const QByteArray &);
extern template Result<BioResponse> decodeJson(const QByteArray &);
extern template Result<MeResponse> decodeJson(const QByteArray &);
extern template Result<AuthorDetailResponse> decodeJson(const QByteArray &);
extern template Result<APIError> decodeJson(const QByteArray &);
extern template Result<TagList> decodeJson(const QByteArray &);
extern template Result<CommentList> decodeJson(const QByteArray &);
extern template Result<LikeResult> decodeJson(const QByteArray &);
extern template Result<ArticleDetail> decodeJson(const QByteArray &);
extern template Result<Article> decodeJson(const QByteArray &);
extern template Result<Author> decodeJson(const QByteArray &);
extern template Result<Comment> decodeJson(const QByteArray &);
extern template Result<Tag> decodeJson(const QByteArray &);

} // namespace papelo
