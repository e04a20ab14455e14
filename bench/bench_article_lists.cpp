// The article page's and the account page's long lists, offscreen:
//   comments N       an article with N comments: peak memory, CPU time to a
//                    settled page, longest UI-thread stall opening and
//                    scrolling to the end
//   account N        the account page with N own articles, the same figures
// Without arguments 0 and 5,000 comments and 0 and 2,000 articles run, each
// in a process of its own.
//
//   scripts/locked-build.sh bench_article_lists && QT_QPA_PLATFORM=offscreen build/bench/bench_article_lists
#include "PageBench.h"
#include "account/ProfileScreen.h"
#include "core/AuthManager.h"
#include "core/Envelopes.h"
#include "core/ServerConfig.h"
#include "reading/ArticleDetailScreen.h"

#include <QDir>
#include <QJsonDocument>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

using namespace papelo;
using namespace bench;

namespace {

QByteArray meJson(int n)
{
    MeResponse me;
    me.user.id = 5;
    me.user.username = QStringLiteral("bench");
    me.user.role = QStringLiteral("author");
    me.stats = UserStats{n, n, 0};
    for (int i = 1; i <= n; ++i) {
        Article a;
        a.id = i;
        a.title = QStringLiteral("我的第 %1 篇文章").arg(i);
        a.date = QStringLiteral("2026-03-01 08:00:00");
        a.views = i;
        a.url = QStringLiteral("/post/%1").arg(i);
        me.articles.append(a);
    }
    return QJsonDocument(me.toJson()).toJson(QJsonDocument::Compact);
}

int runComments(int n)
{
    FakeServer server;
    serveArticle(server, QStringLiteral("<p>短文。</p>"), commentsJson(n));
    Stage stage;
    ArticleDetailScreen *screen = nullptr;
    return runSettled(qPrintable(QStringLiteral("article, %1 comments").arg(n)), stage,
                      QStringLiteral("ArticleDetailView"), {{QStringLiteral("articleId"), 1}}, [&] {
                          if (!screen && stage.page())
                              screen = stage.page()->property("screen").value<ArticleDetailScreen *>();
                          return screen && !screen->webViewLoading() && screen->comments()->count() == n;
                      });
}

int runAccount(int n, const QString &settingsPath)
{
    FakeServer server;
    server.listen();
    ServerConfig::setBaseUrl(server.baseUrl());
    server.on("GET", "/api/me", FakeServer::Response::raw(200, meJson(n)));
    AuthManager auth(settingsPath);
    Author user;
    user.id = 5;
    user.username = QStringLiteral("bench");
    auth.login(QStringLiteral("token"), user);
    Stage stage;
    return runSettled(qPrintable(QStringLiteral("account, %1 articles").arg(n)), stage, QStringLiteral("ProfileView"),
                      {{QStringLiteral("auth"), QVariant::fromValue(&auth)}}, [&] {
                          auto *profile = stage.page() ? stage.page()->property("state").value<ProfileScreen *>() : nullptr;
                          return profile && profile->myArticleCount() == n;
                      });
}

} // namespace

int main(int argc, char *argv[])
{
    return benchMain(argc, argv,
                     {{"comments", [](const QStringList &a, const QString &) { return runComments(a.value(0).toInt()); }},
                      {"account", [](const QStringList &a, const QString &home) {
                           return runAccount(a.value(0).toInt(), QDir(home).filePath(QStringLiteral("auth.ini")));
                       }}},
                     {{"comments", "0"}, {"comments", "5000"}, {"account", "0"}, {"account", "2000"}});
}
