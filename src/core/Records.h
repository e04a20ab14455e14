#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>

namespace papelo {

// The records the server sends. Plain values, created only by decoding
// (fromJson). toJson() writes the same shape back; the reader persists only
// Author with it, the reference server and the tests use the rest.

struct Author {
    qint64 id = 0;
    QString username;
    QString role;
    std::optional<QString> bio;

    static Author fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct Tag {
    qint64 id = 0;
    QString name;

    static Tag fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct Article {
    qint64 id = 0;
    QString title;
    std::optional<QString> filename;
    QString date;
    qint64 views = 0;
    std::optional<QString> author;
    std::optional<qint64> author_id;
    QString url;
    std::optional<QString> thumb;
    std::optional<QString> cover;
    std::optional<qint64> likes;
    std::optional<qint64> comments;

    static Article fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct ArticleDetail {
    qint64 id = 0;
    QString title;
    QString filename;
    qint64 views = 0;
    qint64 likes = 0;
    qint64 comments = 0;
    QString date;
    std::optional<QString> cover;
    QString body;
    Author author;
    std::optional<QList<Tag>> tags;

    static ArticleDetail fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

struct Comment {
    qint64 id = 0;
    QString name;
    QString content;
    qint64 likes = 0;
    QString time;
    std::optional<Author> user;

    static Comment fromJson(const QJsonValue &value, const QString &path = {});
    QJsonObject toJson() const;
};

// Any list of records as the JSON array of their toJson().
template <typename T> QJsonArray toJsonArray(const QList<T> &items)
{
    QJsonArray array;
    for (const T &item : items)
        array.append(item.toJson());
    return array;
}

} // namespace papelo

Q_DECLARE_METATYPE(papelo::Article)
