#pragma once

// What the article-detail suites share: an article served with its
// comments, a screen loaded from it (as a reader with a sign-in of its own),
// and the small answers of the like and comment endpoints.
#include "ConsoleCapture.h"
#include "Fixtures.h"
#include "ServedTest.h"
#include "core/ArticleCountsStore.h"
#include "core/AuthManager.h"
#include "reading/ArticleDetailScreen.h"
#include "reading/CommentListModel.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace detailfix {

inline FakeServer::Response ok(bool ok = true, int delayMs = 0)
{
    return FakeServer::delayed(FakeServer::Response::json(QJsonObject{{"ok", ok}}), delayMs);
}

inline FakeServer::Response posted(qint64 id, int delayMs = 0)
{
    return FakeServer::delayed(fixtures::reply(papelo::CommentPostResponse{id, true}), delayMs);
}

inline FakeServer::Response failure(const QString &message, int status = 500)
{
    return FakeServer::Response::json(QJsonObject{{"error", message}}, status);
}

// The comment list: these ids in this order, with these likes.
inline FakeServer::Response comments(const QList<qint64> &ids, const QList<qint64> &likes = {})
{
    QList<papelo::Comment> list;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        list << fixtures::comment(ids[i]);
        list.last().likes = likes.value(i);
    }
    return fixtures::replyList(list);
}

// Article `id` with these counts, and one comment (id 100).
inline void serve(FakeServer &server, qint64 id, qint64 likes = 5, qint64 commentCount = 1)
{
    server.on("GET", "/api/article/" + QByteArray::number(id), fixtures::reply(fixtures::detail(id, likes, commentCount)));
    server.on("GET", "/api/comments", comments({100}));
}

inline void load(papelo::ArticleDetailScreen &screen, FakeServer &server, qint64 id)
{
    screen.setBaseUrl(server.baseUrl());
    screen.setArticleId(id);
    QCoro::waitFor(screen.loadContent());
    QVERIFY2(screen.hasArticle(), qPrintable(screen.errorMessage()));
}

// A screen whose sign-in (signed out at first) is stored in a directory of its own.
struct Reader {
    Reader() { screen.setAuth(&auth); }
    void signIn(const QString &token, const QString &name) { auth.login(token, papelo::Author{3, name, QStringLiteral("user"), std::nullopt}); }
    QTemporaryDir dir;
    papelo::AuthManager auth{dir.filePath(QStringLiteral("auth.ini"))};
    papelo::ArticleDetailScreen screen;
};

} // namespace detailfix
