#pragma once

// Record fixtures for every suite, written through the records' own toJson()
// so a fixture can never drift from what the decoders accept. Plain functions:
// QJsonObject brace initialisers must stay out of coroutine bodies on GCC 12.

#include "FakeServer.h"
#include "core/Envelopes.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace fixtures {

inline papelo::Author author(qint64 id = 7, QString name = QStringLiteral("林"))
{
    return {.id = id, .username = std::move(name), .role = QStringLiteral("author")};
}

// A listed article with the required keys and an author name, but no counts:
// an enrichment candidate.
inline papelo::Article article(qint64 id)
{
    return {.id = id,
            .title = QStringLiteral("文章 %1").arg(id),
            .date = QStringLiteral("2026-03-%1 08:30:00").arg(1 + id % 28, 2, 10, QLatin1Char('0')),
            .views = id * 10,
            .author = QStringLiteral("作者%1").arg(id),
            .url = QStringLiteral("/post/%1").arg(id)};
}

inline QList<papelo::Article> articles(qint64 firstId, int n)
{
    QList<papelo::Article> list;
    for (qint64 id = firstId; id < firstId + n; ++id)
        list.append(article(id));
    return list;
}

// The same articles carrying both counts, so they are no enrichment candidates.
inline QList<papelo::Article> withCounts(QList<papelo::Article> list, qint64 likes, qint64 comments)
{
    for (auto &a : list) {
        a.likes = likes;
        a.comments = comments;
    }
    return list;
}

inline papelo::ArticleDetail detail(qint64 id, qint64 likes = 0, qint64 comments = 0)
{
    return {.id = id,
            .title = QStringLiteral("文章 %1").arg(id),
            .filename = QStringLiteral("a%1.md").arg(id),
            .views = id * 10,
            .likes = likes,
            .comments = comments,
            .date = QStringLiteral("2026-03-01"),
            .body = QStringLiteral("<p>正文</p>"),
            .author = author()};
}

inline papelo::Comment comment(qint64 id)
{
    return {.id = id, .name = QStringLiteral("访客"), .content = QStringLiteral("好文"), .time = QStringLiteral("2026-03-02 10:00")};
}

inline QByteArray bytes(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }
inline QByteArray bytes(const QJsonArray &a) { return QJsonDocument(a).toJson(QJsonDocument::Compact); }

template <class T> FakeServer::Response reply(const T &record, int status = 200)
{
    return FakeServer::Response::json(record.toJson(), status);
}

template <class T> FakeServer::Response replyList(const QList<T> &records, int status = 200)
{
    return FakeServer::Response::json(papelo::toJsonArray(records), status);
}

// The {total, items} envelope of every article list.
inline FakeServer::Response page(const QList<papelo::Article> &list, int delayMs = 0)
{
    return FakeServer::delayed(reply(papelo::ArticlesResponse{list.size(), list}), delayMs);
}

inline FakeServer::Response section(const QString &name, const QList<papelo::Article> &list)
{
    return reply(papelo::SectionResponse{name, list.size(), list});
}

// Texts shown to the reader must be Chinese.
inline bool isChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    return han.match(text).hasMatch();
}

} // namespace fixtures
