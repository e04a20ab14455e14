#pragma once

// Record fixtures for every suite, written through the records' own toJson()
// so a fixture can never drift from what the decoders accept. Plain functions:
// QJsonObject brace initialisers must stay out of coroutine bodies on GCC 12.

#include "FakeServer.h"
#include "core/Records.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace fixtures {

inline papelo::Author author(qint64 id = 7, QString name = QStringLiteral("林"))
{
    papelo::Author a;
    a.id = id;
    a.username = std::move(name);
    a.role = QStringLiteral("author");
    return a;
}

// A listed article with the required keys only: no counts, so it is an
// enrichment candidate.
inline papelo::Article article(qint64 id)
{
    papelo::Article a;
    a.id = id;
    a.title = QStringLiteral("文章 %1").arg(id);
    a.date = QStringLiteral("2026-03-%1 08:30:00").arg(1 + id % 28, 2, 10, QLatin1Char('0'));
    a.views = id * 10;
    a.author = QStringLiteral("作者%1").arg(id);
    a.url = QStringLiteral("/post/%1").arg(id);
    return a;
}

inline QList<papelo::Article> articles(qint64 firstId, int n)
{
    QList<papelo::Article> list;
    for (int i = 0; i < n; ++i)
        list.append(article(firstId + i));
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
    papelo::ArticleDetail d;
    d.id = id;
    d.title = QStringLiteral("文章 %1").arg(id);
    d.filename = QStringLiteral("a%1.md").arg(id);
    d.views = id * 10;
    d.likes = likes;
    d.comments = comments;
    d.date = QStringLiteral("2026-03-01");
    d.body = QStringLiteral("<p>正文</p>");
    d.author = author();
    return d;
}

inline papelo::Comment comment(qint64 id)
{
    papelo::Comment c;
    c.id = id;
    c.name = QStringLiteral("访客");
    c.content = QStringLiteral("好文");
    c.time = QStringLiteral("2026-03-02 10:00");
    return c;
}

inline QByteArray bytes(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }
inline QByteArray bytes(const QJsonArray &a) { return QJsonDocument(a).toJson(QJsonDocument::Compact); }

// The {total, items} envelope of every article list.
inline FakeServer::Response page(const QList<papelo::Article> &list, int delayMs = 0)
{
    QJsonObject o;
    o.insert(QStringLiteral("total"), qint64(list.size()));
    o.insert(QStringLiteral("items"), papelo::toJsonArray(list));
    return FakeServer::delayed(FakeServer::Response::json(o), delayMs);
}

inline FakeServer::Response section(const QString &name, const QList<papelo::Article> &list)
{
    QJsonObject o;
    o.insert(QStringLiteral("section"), name);
    o.insert(QStringLiteral("count"), qint64(list.size()));
    o.insert(QStringLiteral("items"), papelo::toJsonArray(list));
    return FakeServer::Response::json(o);
}

template <class T> FakeServer::Response reply(const T &record, int status = 200)
{
    return FakeServer::Response::json(record.toJson(), status);
}

template <class T> FakeServer::Response replyList(const QList<T> &records, int status = 200)
{
    return FakeServer::Response::json(papelo::toJsonArray(records), status);
}

// Texts shown to the reader must be Chinese.
inline bool isChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    return han.match(text).hasMatch();
}

} // namespace fixtures
