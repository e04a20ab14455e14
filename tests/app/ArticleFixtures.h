#pragma once

// Shared by the home, discover and list-model tests: article JSON for the
// fake server and a capture of the reader's console lines.

#include "core/Envelopes.h"
#include "FakeServer.h"
#include "core/Records.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

namespace fixtures {

inline papelo::Article article(qint64 id, QString title = {})
{
    papelo::Article a;
    a.id = id;
    a.title = title.isEmpty() ? QStringLiteral("文章 %1").arg(id) : title;
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

inline QJsonArray toArray(const QList<papelo::Article> &list)
{
    QJsonArray a;
    for (const auto &article : list)
        a.append(article.toJson());
    return a;
}

inline FakeServer::Response page(const QList<papelo::Article> &list, int delayMs = 0)
{
    QJsonObject o;
    o.insert(QStringLiteral("total"), qint64(list.size()));
    o.insert(QStringLiteral("items"), toArray(list));
    auto r = FakeServer::Response::json(o);
    r.delayMs = delayMs;
    return r;
}

inline FakeServer::Response section(const QString &name, const QList<papelo::Article> &list, int delayMs = 0)
{
    QJsonObject o;
    o.insert(QStringLiteral("section"), name);
    o.insert(QStringLiteral("count"), qint64(list.size()));
    o.insert(QStringLiteral("items"), toArray(list));
    auto r = FakeServer::Response::json(o);
    r.delayMs = delayMs;
    return r;
}

inline FakeServer::Response stats(qint64 total, int delayMs = 0)
{
    QJsonObject o;
    o.insert(QStringLiteral("totalArticles"), total);
    o.insert(QStringLiteral("dbArticles"), total);
    auto r = FakeServer::Response::json(o);
    r.delayMs = delayMs;
    return r;
}

inline FakeServer::Response tags(const QList<papelo::Tag> &list)
{
    QJsonArray a;
    for (const auto &t : list)
        a.append(t.toJson());
    return FakeServer::Response::json(a);
}

inline FakeServer::Response detail(qint64 id, qint64 likes, qint64 comments, int delayMs = 0)
{
    papelo::ArticleDetail d;
    d.id = id;
    d.title = QStringLiteral("文章 %1").arg(id);
    d.filename = QStringLiteral("a%1.md").arg(id);
    d.likes = likes;
    d.comments = comments;
    d.date = QStringLiteral("2026-03-01");
    d.body = QStringLiteral("<p>x</p>");
    d.author.id = 1;
    d.author.username = QStringLiteral("u");
    d.author.role = QStringLiteral("user");
    auto r = FakeServer::Response::json(d.toJson());
    r.delayMs = delayMs;
    return r;
}

inline FakeServer::Response serverError(const QString &message, int status = 500)
{
    QJsonObject o;
    o.insert(QStringLiteral("error"), message);
    return FakeServer::Response::json(o, status);
}

// Redirects the process's standard output into a file while alive; lines()
// gives what was written so far. QtTest also prints to stdout, so keep the
// capture around the action only and compare after release().
class StdoutCapture {
public:
    StdoutCapture()
    {
        m_file.open();
        std::fflush(stdout);
        m_saved = dup(fileno(stdout));
        dup2(m_file.handle(), fileno(stdout));
    }
    ~StdoutCapture() { release(); }

    QStringList release()
    {
        if (m_saved >= 0) {
            std::fflush(stdout);
            dup2(m_saved, fileno(stdout));
            close(m_saved);
            m_saved = -1;
            QFile in(m_file.fileName());
            in.open(QIODevice::ReadOnly);
            m_text = QString::fromUtf8(in.readAll());
        }
        QStringList lines = m_text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return lines;
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
    QString m_text;
};

} // namespace fixtures
