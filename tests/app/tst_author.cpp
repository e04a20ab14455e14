#include "core/ArticleCountsStore.h"
#include "articles/AuthorDetailScreen.h"
#include "common/AvatarInitial.h"
#include "ArticleFixtures.h"
#include "DataTable.h"
#include "ServedTest.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {
// Author 9's page: its stats say 99 articles whatever the list holds.
FakeServer::Response authorPage(const QString &name, std::optional<QString> bio, const QList<Article> &articles = {})
{
    Author author{9, name, QStringLiteral("admin"), std::move(bio)};
    return fixtures::reply(AuthorDetailResponse{author, {99}, articles});
}
} // namespace

class AuthorTest : public ServedTest {
    Q_OBJECT

    std::unique_ptr<AuthorDetailScreen> screen()
    {
        auto s = std::make_unique<AuthorDetailScreen>();
        s->setBaseUrl(server().baseUrl());
        s->setAuthorId(9);
        return s;
    }

private slots:
    void initials_data() { data::table<QString, QString>(QStringLiteral("app/author/initials.tsv")); }
    void initials()
    {
        QFETCH(QString, text);
        QTEST(avatarInitial(text), "initial");
    }

    void loadsAuthorAndEnrichesItsArticles()
    {
        QList<Article> articles = fixtures::articles(601, 3);
        articles[1] = fixtures::withCounts({articles[1]}, 1, 1).first();
        server().on("GET", "/api/author/9", authorPage(QStringLiteral("Alice"), QStringLiteral("写点东西"), articles));
        server().on("GET", "/api/article/601", fixtures::reply(fixtures::detail(601, 4, 2)));
        server().on("GET", "/api/article/603", fixtures::reply(fixtures::detail(603, 8, 1)));
        auto s = screen();
        QCOMPARE(s->mainBlock(), QStringLiteral("loading"));
        s->appear();
        QTRY_COMPARE_WITH_TIMEOUT(s->mainBlock(), QStringLiteral("author"), 10000);
        // The role as sent, not translated; the heading counts the list, not stats.total_articles.
        QCOMPARE((QStringList{s->username(), s->initial(), s->role(), s->bio(), s->articlesHeading()}),
                 (QStringList{"Alice", "A", "admin", "写点东西", "Alice 的文章 (3)"}));
        QVERIFY(s->showBio() && s->articleCount() == 3 && s->articleModel()->articleIdAt(2).toLongLong() == 603);
        // Enrichment runs on its own: only the two articles without counts
        // (which counts an entry holds is the enrichment's to prove).
        QTRY_VERIFY_WITH_TIMEOUT(ArticleCountsStore::shared().lookup(603) && ArticleCountsStore::shared().lookup(601), 10000);
        QCOMPARE(server().count("/api/article/602"), 0);
        QCOMPARE(server().count("/api/author/9"), 1);
    }

    void bioVariants_data() { data::table<QString, bool>(QStringLiteral("app/author/bio.tsv")); }
    void bioVariants()
    {
        QFETCH(QString, bio);
        server().on("GET", "/api/author/9", authorPage(QString(), bio == "-" ? std::nullopt : std::optional(bio)));
        auto s = screen();
        QCoro::waitFor(s->loadData());
        QVERIFY(s->mainBlock() == QStringLiteral("author") && s->initial() == QStringLiteral("?") && s->articleCount() == 0);
        QTEST(s->showBio(), "shown");
    }

    void failureThenRetryThenKeptOverLaterFailure()
    {
        server().on("GET", "/api/author/9", fixtures::serverError(QStringLiteral("作者不存在"), 404));
        auto s = screen();
        QCoro::waitFor(s->loadData());
        QVERIFY(s->mainBlock() == QStringLiteral("error") && !s->hasAuthor());
        QCOMPARE(s->errorMessage(), QStringLiteral("加载失败：作者不存在"));

        server().on("GET", "/api/author/9", FakeServer::Response::raw(200, "{\"author\": 3}"));
        s->retry();
        QVERIFY(s->mainBlock() == QStringLiteral("loading") && s->errorMessage().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(s->mainBlock(), QStringLiteral("error"), 10000);
        QVERIFY(s->errorMessage().startsWith(QStringLiteral("加载失败：")));

        server().on("GET", "/api/author/9", authorPage(QStringLiteral("Bob"), std::nullopt));
        QCoro::waitFor(s->loadData());
        QCOMPARE(s->mainBlock(), QStringLiteral("author"));
        // A later failure keeps the author on screen; the error is held, not shown.
        server().on("GET", "/api/author/9", fixtures::serverError(QStringLiteral("服务器维护中"), 503));
        QSignalSpy authorChanges(s.get(), &AuthorDetailScreen::authorChanged);
        QCoro::waitFor(s->loadData());
        QVERIFY(s->mainBlock() == QStringLiteral("author") && s->username() == QStringLiteral("Bob") && authorChanges.isEmpty());
        QCOMPARE(s->errorMessage(), QStringLiteral("加载失败：服务器维护中"));
    }
};

QTEST_GUILESS_MAIN(AuthorTest)
#include "tst_author.moc"
