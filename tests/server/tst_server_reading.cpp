// Reading endpoints of the real papelo-server, driven through the reader's
// own APIClient so any shape mismatch fails strict decoding here.

#include "core/APIClient.h"
#include "RawHttp.h"
#include "ServerProcess.h"

#include <QCoroTask>
#include <QSet>
#include <QtTest>

using namespace papelo;

namespace {
// QVERIFY2 evaluates its message even on success, so never touch error() of a value.
template <typename T> QByteArray why(const Result<T> &r)
{
    return r.ok() ? QByteArray() : r.error().description().toUtf8();
}
} // namespace

class ServerReadingTest : public QObject {
    Q_OBJECT
    ServerProcess m_server;
    std::shared_ptr<APIClient> m_client;
    QList<Article> m_all;

    std::optional<ArticleDetail> detail(qint64 id)
    {
        const Result<ArticleDetail> r = QCoro::waitFor(m_client->fetchArticleDetail(id));
        if (!r.ok())
            return std::nullopt;
        return r.value();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_client = APIClient::create(m_server.baseUrl());
        const Result<ArticlesResponse> all = QCoro::waitFor(m_client->fetchArticles({}, {}, {}, {}));
        QVERIFY2(all.ok(), why(all).constData());
        m_all = all->items;
    }

    void cleanupTestCase() { QVERIFY2(m_server.stop(), qPrintable(m_server.errorString())); }

    void statsAndTags()
    {
        const Result<StatsResponse> stats = QCoro::waitFor(m_client->fetchStats());
        QVERIFY(stats.ok());
        QCOMPARE(stats->totalArticles, 120);
        QCOMPARE(stats->dbArticles, 126);  // pending articles are stored but not listed
        QVERIFY(stats->apiVersion.has_value());

        const Result<QList<Tag>> tags = QCoro::waitFor(m_client->fetchTags());
        QVERIFY(tags.ok());
        QCOMPARE(tags->size(), 12);
        QCOMPARE(tags->first().name, QStringLiteral("科技"));
    }

    void fullListIsNewestFirstWithoutCounts()
    {
        QCOMPARE(m_all.size(), 120);
        QSet<qint64> ids;
        for (int i = 0; i < m_all.size(); ++i) {
            const Article &a = m_all.at(i);
            ids.insert(a.id);
            QVERIFY2(!a.likes && !a.comments, "list entries leave counts to the detail");
            QVERIFY(a.author && a.author_id && a.filename);
            if (i > 0)
                QVERIFY(m_all.at(i - 1).date >= a.date);
        }
        QCOMPARE(ids.size(), 120);
        QVERIFY2(!ids.contains(121) && !ids.contains(126), "pending articles must not be listed");
    }

    void imageAddressesMixAllForms()
    {
        int absolute = 0, relative = 0, none = 0, empty = 0;
        for (const Article &a : std::as_const(m_all)) {
            if (!a.thumb)
                ++none;
            else if (a.thumb->isEmpty())
                ++empty;
            else if (a.thumb->startsWith(m_server.baseUrl() + QStringLiteral("/images/")))
                ++absolute;
            else if (a.thumb->startsWith(QStringLiteral("/images/")))
                ++relative;
            else
                QFAIL(qPrintable(QStringLiteral("unexpected thumb %1").arg(*a.thumb)));
        }
        QVERIFY(absolute > 10 && relative > 10 && none > 10 && empty >= 3);
    }

    void imagesAreServedWithCacheHeaders()
    {
        const Article *withThumb = nullptr;
        for (const Article &a : std::as_const(m_all)) {
            if (a.thumb && a.thumb->startsWith(QStringLiteral("http")) && a.cover) {
                withThumb = &a;
                break;
            }
        }
        QVERIFY(withThumb);
        const rawhttp::Reply thumb = rawhttp::send(*withThumb->thumb, "GET");
        QCOMPARE(thumb.status, 200);
        QCOMPARE(thumb.header("Content-Type"), QByteArray("image/jpeg"));
        QCOMPARE(thumb.header("Content-Length").toLongLong(), thumb.body.size());
        QVERIFY(thumb.body.startsWith("\xFF\xD8"));
        QVERIFY(!thumb.header("Cache-Control").isEmpty());
        const QByteArray etag = thumb.header("ETag");
        QVERIFY(!etag.isEmpty());

        // The same picture again is byte-identical and revalidates to 304.
        const rawhttp::Reply again = rawhttp::send(*withThumb->thumb, "GET");
        QCOMPARE(again.body, thumb.body);
        const rawhttp::Reply revalidated = rawhttp::send(*withThumb->thumb, "GET", {}, {{"If-None-Match", etag}});
        QCOMPARE(revalidated.status, 304);
        QVERIFY(revalidated.body.isEmpty());

        const rawhttp::Reply cover = rawhttp::send(*withThumb->cover, "GET");
        QCOMPARE(cover.status, 200);
        QVERIFY(cover.body.size() > thumb.body.size());

        const rawhttp::Reply missing = rawhttp::send(m_server.baseUrl() + QStringLiteral("/images/thumb/999999.jpg"), "GET");
        QCOMPARE(missing.status, 404);
        QVERIFY(!missing.error().isEmpty());
    }

    void pagingAndBounds()
    {
        const Result<ArticlesResponse> page2 = QCoro::waitFor(m_client->fetchArticles({}, {}, 2, 10));
        QVERIFY(page2.ok());
        QCOMPARE(page2->total, 120);
        QCOMPARE(page2->items.size(), 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(page2->items.at(i).id, m_all.at(10 + i).id);

        const Result<ArticlesResponse> beyond = QCoro::waitFor(m_client->fetchArticles({}, {}, 50, 10));
        QVERIFY(beyond.ok());
        QVERIFY(beyond->items.isEmpty());
        QCOMPARE(beyond->total, 120);

        const Result<ArticlesResponse> clamped = QCoro::waitFor(m_client->fetchArticles({}, {}, 1, 5000));
        QVERIFY(clamped.ok());
        QCOMPARE(clamped->items.size(), 100);

        for (const auto &[page, limit] : {std::pair<qint64, qint64>{0, 10}, {-1, 10}, {1, 0}, {1, -5}}) {
            const Result<ArticlesResponse> bad = QCoro::waitFor(m_client->fetchArticles({}, {}, page, limit));
            QVERIFY(!bad.ok());
            QCOMPARE(bad.error().kind(), RequestError::Kind::Server);
            QCOMPARE(bad.error().httpStatus(), 400);
            QVERIFY(!bad.error().description().isEmpty());
        }
        const rawhttp::Reply words = rawhttp::send(m_server.baseUrl() + QStringLiteral("/api/articles?page=abc"), "GET");
        QCOMPARE(words.status, 400);
        const rawhttp::Reply huge = rawhttp::send(
            m_server.baseUrl() + QStringLiteral("/api/articles?page=99999999999999999999999&limit=10"), "GET");
        QCOMPARE(huge.status, 400);
    }

    void tagFilter()
    {
        const Result<ArticlesResponse> tagged = QCoro::waitFor(m_client->fetchArticles(QStringLiteral("2"), {}, {}, {}));
        QVERIFY(tagged.ok());
        QVERIFY(!tagged->items.isEmpty());
        QVERIFY(tagged->items.size() < 120);
        QCOMPARE(tagged->total, tagged->items.size());
        for (const Article &a : tagged->items.mid(0, 5)) {
            const std::optional<ArticleDetail> d = detail(a.id);
            QVERIFY(d && d->tags);
            bool hasTag = false;
            for (const Tag &t : *d->tags)
                hasTag = hasTag || t.id == 2;
            QVERIFY2(hasTag, qPrintable(QStringLiteral("article %1 lacks tag 2").arg(a.id)));
        }
        // An empty tag filters nothing; a tag nobody has yields nothing; a non-number is refused.
        const Result<ArticlesResponse> emptyTag = QCoro::waitFor(m_client->fetchArticles(QString(), {}, {}, {}));
        QVERIFY(emptyTag.ok());
        QCOMPARE(emptyTag->items.size(), 120);
        const Result<ArticlesResponse> unknown = QCoro::waitFor(m_client->fetchArticles(QStringLiteral("999"), {}, {}, {}));
        QVERIFY(unknown.ok());
        QCOMPARE(unknown->total, 0);
        const Result<ArticlesResponse> word = QCoro::waitFor(m_client->fetchArticles(QStringLiteral("科技"), {}, {}, {}));
        QVERIFY(!word.ok());
        QCOMPARE(word.error().httpStatus(), 400);
    }

    void chineseSearch_data()
    {
        QTest::addColumn<QString>("q");
        QTest::newRow("three characters, title") << QStringLiteral("咖啡馆");
        QTest::newRow("two characters") << QStringLiteral("雨季");
        QTest::newRow("one character") << QStringLiteral("茶");
        QTest::newRow("body sentence") << QStringLiteral("从没换过招牌");
        QTest::newRow("mixed with latin") << QStringLiteral("git log");
    }

    void chineseSearch()
    {
        QFETCH(QString, q);
        const Result<ArticlesResponse> found = QCoro::waitFor(m_client->fetchArticles({}, q, {}, {}));
        QVERIFY2(found.ok(), why(found).constData());
        QVERIFY2(!found->items.isEmpty(), "the demo text contains every searched phrase");
        QVERIFY(found->items.size() < 120 || q.size() == 1);
        for (const Article &a : found->items.mid(0, 4)) {
            const std::optional<ArticleDetail> d = detail(a.id);
            QVERIFY(d);
            QVERIFY2(d->title.contains(q) || d->body.contains(q),
                     qPrintable(QStringLiteral("article %1 does not contain %2").arg(a.id).arg(q)));
        }
    }

    void searchTreatsMetacharactersAsText()
    {
        // Unescaped LIKE wildcards would match every article; quotes would break SQL.
        for (const QString &q : {QStringLiteral("%"), QStringLiteral("_"), QStringLiteral("\\"),
                                 QStringLiteral("x' OR '1'='1"), QStringLiteral("\"; DROP TABLE articles; --"),
                                 QStringLiteral("NEAR(a b)"), QStringLiteral("咖啡\" OR \"")}) {
            const Result<ArticlesResponse> r = QCoro::waitFor(m_client->fetchArticles({}, q, {}, {}));
            QVERIFY2(r.ok(), qPrintable(q));
            QCOMPARE(r->total, 0);
        }
        const Result<StatsResponse> stats = QCoro::waitFor(m_client->fetchStats());
        QVERIFY(stats.ok());
        QCOMPARE(stats->dbArticles, 126);
        const Result<ArticlesResponse> combined = QCoro::waitFor(m_client->fetchArticles(QStringLiteral("1"), QStringLiteral("的"), {}, {}));
        QVERIFY(combined.ok());
        QVERIFY(combined->total <= 120);
    }

    void sections()
    {
        const Result<QList<Article>> hot = QCoro::waitFor(m_client->fetchHot());
        const Result<QList<Article>> latest = QCoro::waitFor(m_client->fetchLatest());
        const Result<QList<Article>> random = QCoro::waitFor(m_client->fetchRandom(3));
        QVERIFY(hot.ok() && latest.ok() && random.ok());
        QCOMPARE(hot->size(), 6);
        QCOMPARE(random->size(), 3);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(latest->at(i).id, m_all.at(i).id);
        // Hot ranks by views (and likes); the top entry outranks the newest on views here.
        qint64 maxViews = 0;
        for (const Article &a : std::as_const(m_all))
            maxViews = qMax(maxViews, a.views);
        QVERIFY(hot->first().views * 2 >= maxViews);
        QSet<qint64> published;
        for (const Article &a : std::as_const(m_all))
            published.insert(a.id);
        for (const Article &a : *random)
            QVERIFY(published.contains(a.id));

        const Result<QList<Article>> many = QCoro::waitFor(m_client->fetchLatest(100000));
        QVERIFY(many.ok());
        QCOMPARE(many->size(), 50);
        const Result<QList<Article>> zero = QCoro::waitFor(m_client->fetchHot(0));
        QVERIFY(!zero.ok());
        QCOMPARE(zero.error().httpStatus(), 400);
    }

    void detailCountsAViewAndCarriesEverything()
    {
        const qint64 id = m_all.at(5).id;
        const std::optional<ArticleDetail> first = detail(id);
        const std::optional<ArticleDetail> second = detail(id);
        QVERIFY(first && second);
        QCOMPARE(second->views, first->views + 1);
        QCOMPARE(first->title, m_all.at(5).title);
        QCOMPARE(first->author.id, *m_all.at(5).author_id);
        QVERIFY(first->tags && !first->tags->isEmpty());
        QVERIFY(first->body.contains(QStringLiteral("<p>")));

        const Result<QList<Comment>> comments = QCoro::waitFor(m_client->fetchComments(id));
        QVERIFY(comments.ok());
        QCOMPARE(first->comments, comments->size());
    }

    void bodiesAreRichAndPointAtThisServer()
    {
        bool figure = false, table = false, pre = false, quote = false, code = false, link = false;
        for (const Article &a : m_all.mid(0, 20)) {
            const std::optional<ArticleDetail> d = detail(a.id);
            QVERIFY(d);
            figure = figure || d->body.contains(QStringLiteral("<figcaption>"));
            table = table || d->body.contains(QStringLiteral("<table>"));
            pre = pre || d->body.contains(QStringLiteral("<pre>"));
            quote = quote || d->body.contains(QStringLiteral("<blockquote>"));
            code = code || d->body.contains(QStringLiteral("<code>"));
            link = link || d->body.contains(QStringLiteral("<a href="));
            QVERIFY(!d->body.contains(QStringLiteral("{{origin}}")));
            const qsizetype img = d->body.indexOf(QStringLiteral("<img src=\""));
            if (img >= 0) {
                const qsizetype start = img + 10;
                const QString src = d->body.mid(start, d->body.indexOf(QLatin1Char('"'), start) - start);
                QVERIFY2(src.startsWith(m_server.baseUrl() + QStringLiteral("/images/body/")), qPrintable(src));
                const rawhttp::Reply png = rawhttp::send(src, "GET");
                QCOMPARE(png.status, 200);
                QCOMPARE(png.header("Content-Type"), QByteArray("image/png"));
            }
        }
        QVERIFY(figure && table && pre && quote && code && link);
    }

    void unknownAndHiddenArticles()
    {
        for (const qint64 id : {qint64(999999), qint64(121), qint64(126), qint64(-3), qint64(0)}) {
            const Result<ArticleDetail> r = QCoro::waitFor(m_client->fetchArticleDetail(id));
            QVERIFY(!r.ok());
            QCOMPARE(r.error().kind(), RequestError::Kind::Server);
            QCOMPARE(r.error().httpStatus(), 404);
            QCOMPARE(r.error().description(), QStringLiteral("文章不存在"));
        }
        const Result<QList<Comment>> comments = QCoro::waitFor(m_client->fetchComments(999999));
        QVERIFY(!comments.ok());
        QCOMPARE(comments.error().httpStatus(), 404);
        const rawhttp::Reply text = rawhttp::send(m_server.baseUrl() + QStringLiteral("/api/article/abc"), "GET");
        QCOMPARE(text.status, 400);
        QVERIFY(!text.error().isEmpty());
    }

    void authorPage()
    {
        const Result<AuthorDetailResponse> author = QCoro::waitFor(m_client->fetchAuthor(1));
        QVERIFY(author.ok());
        QCOMPARE(author->author.id, 1);
        QVERIFY(!author->articles.isEmpty());
        QCOMPARE(author->stats.total_articles, author->articles.size());
        for (const Article &a : author->articles) {
            QCOMPARE(*a.author_id, 1);
            QVERIFY(!a.likes && !a.comments);
        }
        const Result<AuthorDetailResponse> missing = QCoro::waitFor(m_client->fetchAuthor(4242));
        QVERIFY(!missing.ok());
        QCOMPARE(missing.error().httpStatus(), 404);
        QCOMPARE(missing.error().description(), QStringLiteral("作者不存在"));
    }

    void unknownPathsAndMethods()
    {
        const QString base = m_server.baseUrl();
        struct Case {
            QByteArray method;
            QString path;
            int status;
        };
        for (const Case &c : {Case{"GET", QStringLiteral("/api/nothing"), 404}, Case{"GET", QStringLiteral("/"), 404},
                              Case{"GET", QStringLiteral("/api/article/1/extra"), 404},
                              Case{"POST", QStringLiteral("/api/stats"), 405},
                              Case{"DELETE", QStringLiteral("/api/article/1"), 405},
                              Case{"PUT", QStringLiteral("/api/like"), 405},
                              Case{"GET", QStringLiteral("/api/comment"), 405}}) {
            const rawhttp::Reply r = rawhttp::send(base + c.path, c.method);
            QCOMPARE(r.status, c.status);
            QVERIFY2(!r.error().isEmpty(), r.body.constData());  // same {"error": ...} shape as every failure
            if (c.status == 405)
                QVERIFY(!r.header("Allow").isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(ServerReadingTest)
#include "tst_server_reading.moc"
