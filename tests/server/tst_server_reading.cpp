// Reading endpoints of the real papelo-server, driven through the reader's
// own APIClient so any shape mismatch fails strict decoding here.

#include "ServerTestKit.h"

#include <QRegularExpression>
#include <QSet>

using namespace papelo;
using kit::get;

class ServerReadingTest : public QObject {
    Q_OBJECT
    ServerProcess m_server;
    std::shared_ptr<APIClient> m_client;
    QList<Article> m_all;

    ArticlesResponse list(std::optional<QString> tag, std::optional<QString> q, std::optional<qint64> page = {},
                          std::optional<qint64> limit = {})
    {
        return get(m_client->fetchArticles(tag, q, page, limit));
    }
    ArticleDetail detail(qint64 id) { return get(m_client->fetchArticleDetail(id)); }
    kit::Reply fetch(const QString &url, const QByteArray &headers = {})
    {
        return kit::request(m_server.port(), "GET " + QUrl(url).path().toLatin1(), {}, headers);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_client = APIClient::create(m_server.baseUrl());
        m_all = list({}, {}).items;
    }

    void cleanupTestCase() { QVERIFY2(m_server.stop(), qPrintable(m_server.errorString())); }

    void statsTagsAndTheFullList()
    {
        // Pending articles are stored but not listed.
        const StatsResponse stats = get(m_client->fetchStats());
        QVERIFY(stats.totalArticles == 120 && stats.dbArticles == 126 && stats.apiVersion);
        const QList<Tag> tags = get(m_client->fetchTags());
        QVERIFY(tags.size() == 12 && tags.first().name == QStringLiteral("科技"));

        QCOMPARE(m_all.size(), 120);
        QSet<qint64> ids;
        int absolute = 0, relative = 0, none = 0, empty = 0;
        for (int i = 0; i < m_all.size(); ++i) {
            const Article &a = m_all.at(i);
            ids.insert(a.id);
            // List entries carry their counts: a reader needs no detail for them.
            QVERIFY(a.likes && a.comments && a.author && a.author_id && a.filename);
            QVERIFY(i == 0 || m_all.at(i - 1).date >= a.date);
            const QString thumb = a.thumb.value_or(QStringLiteral("-"));
            none += thumb == QLatin1String("-");
            empty += thumb.isEmpty();
            absolute += thumb.startsWith(m_server.baseUrl() + QStringLiteral("/images/"));
            relative += thumb.startsWith(QStringLiteral("/images/"));
        }
        QVERIFY2(ids.size() == 120 && !ids.contains(121) && !ids.contains(126), "pending articles must not be listed");
        QCOMPARE(absolute + relative + none + empty, 120);
        QVERIFY(absolute > 10 && relative > 10 && none > 10 && empty >= 3);
    }

    void imagesAreServedWithCacheHeaders()
    {
        auto a = std::find_if(m_all.cbegin(), m_all.cend(), [](const Article &x) {
            return x.thumb && x.thumb->startsWith(QStringLiteral("http")) && x.cover;
        });
        QVERIFY(a != m_all.cend());
        const kit::Reply thumb = fetch(*a->thumb);
        QVERIFY(thumb.status == 200 && thumb.header("Content-Type") == "image/jpeg");
        QCOMPARE(thumb.header("Content-Length").toLongLong(), thumb.body.size());
        QVERIFY(thumb.body.startsWith("\xFF\xD8") && !thumb.header("Cache-Control").isEmpty());
        const QByteArray etag = thumb.header("ETag");
        // The same picture again is byte-identical and revalidates to 304.
        QVERIFY(!etag.isEmpty() && fetch(*a->thumb).body == thumb.body);
        const kit::Reply revalidated = fetch(*a->thumb, "If-None-Match: " + etag + "\r\n");
        QVERIFY(revalidated.status == 304 && revalidated.body.isEmpty());
        QVERIFY(fetch(*a->cover).body.size() > thumb.body.size());
    }

    void pagingAndTags()
    {
        const ArticlesResponse page2 = list({}, {}, 2, 10);
        QVERIFY(page2.total == 120 && page2.items.size() == 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(page2.items.at(i).id, m_all.at(10 + i).id);
        const ArticlesResponse beyond = list({}, {}, 50, 10);
        QVERIFY(beyond.items.isEmpty() && beyond.total == 120);
        QCOMPARE(list({}, {}, 1, 5000).items.size(), 100);

        const ArticlesResponse tagged = list(QStringLiteral("2"), {});
        QVERIFY(!tagged.items.isEmpty() && tagged.items.size() < 120 && tagged.total == tagged.items.size());
        for (const Article &a : tagged.items.mid(0, 5)) {
            const ArticleDetail d = detail(a.id);
            QVERIFY2(d.tags && std::any_of(d.tags->cbegin(), d.tags->cend(), [](const Tag &t) { return t.id == 2; }),
                     qPrintable(QStringLiteral("article %1 lacks tag 2").arg(a.id)));
        }
        QCOMPARE(list(QString(), {}).items.size(), 120);  // an empty tag filters nothing
        QCOMPARE(list(QStringLiteral("999"), {}).total, 0);
        QVERIFY(list(QStringLiteral("1"), QStringLiteral("的")).total <= 120);
    }

    void search_data() { data::table<QString, bool>(QStringLiteral("server/search.tsv")); }
    void search()
    {
        QFETCH(QString, q);
        QFETCH(bool, found);
        const ArticlesResponse r = list({}, q);
        QVERIFY(r.total == r.items.size() && r.items.isEmpty() != found);
        QVERIFY(r.items.size() < 120 || q.size() == 1);
        for (const Article &a : r.items.mid(0, 4)) {
            const ArticleDetail d = detail(a.id);
            QVERIFY2(d.title.contains(q) || d.body.contains(q), qPrintable(QStringLiteral("%1 lacks %2").arg(a.id).arg(q)));
        }
        QCOMPARE(get(m_client->fetchStats()).dbArticles, 126);
    }

    void sections()
    {
        const QList<Article> hot = get(m_client->fetchHot());
        const QList<Article> latest = get(m_client->fetchLatest());
        const QList<Article> random = get(m_client->fetchRandom(3));
        QVERIFY(hot.size() == 6 && latest.size() == 6 && random.size() == 3);
        for (const Article &a : hot + latest + random)
            QVERIFY(a.likes && a.comments);  // every list carries its counts
        for (int i = 0; i < 6; ++i)
            QCOMPARE(latest.at(i).id, m_all.at(i).id);
        // Hot ranks by views (and likes); the top entry outranks the newest on views here.
        const auto byViews = [](const Article &x, const Article &y) { return x.views < y.views; };
        QVERIFY(hot.first().views * 2 >= std::max_element(m_all.cbegin(), m_all.cend(), byViews)->views);
        for (const Article &a : random)
            QVERIFY(std::any_of(m_all.cbegin(), m_all.cend(), [&a](const Article &x) { return x.id == a.id; }));
        QCOMPARE(get(m_client->fetchLatest(100000)).size(), 50);
    }

    void detailCountsAViewAndBodiesPointHere()
    {
        const qint64 id = m_all.at(5).id;
        const ArticleDetail first = detail(id);
        QCOMPARE(detail(id).views, first.views + 1);
        QCOMPARE(list({}, {}).items.at(5).views, first.views + 1);  // lists kept by the server follow the views
        QVERIFY(first.title == m_all.at(5).title && first.author.id == *m_all.at(5).author_id);
        QVERIFY(m_all.at(5).likes == first.likes && m_all.at(5).comments == first.comments);
        QCOMPARE(first.comments, get(m_client->fetchComments(id)).size());

        QString bodies;
        for (const Article &a : m_all.mid(0, 20))
            bodies += detail(a.id).body;
        for (const char *tag : {"<p>", "<figcaption>", "<table>", "<pre>", "<blockquote>", "<code>", "<a href=", "<img src="})
            QVERIFY2(bodies.contains(QLatin1String(tag)), tag);
        QVERIFY(!bodies.contains(QStringLiteral("{{origin}}")));
        for (const QRegularExpressionMatch &m : QRegularExpression(QStringLiteral("<img src=\"([^\"]*)\"")).globalMatch(bodies)) {
            QVERIFY2(m.captured(1).startsWith(m_server.baseUrl() + QStringLiteral("/images/body/")), qPrintable(m.captured(1)));
            QCOMPARE(fetch(m.captured(1)).header("Content-Type"), QByteArray("image/png"));
        }
    }

    void authorPage()
    {
        const AuthorDetailResponse author = get(m_client->fetchAuthor(1));
        QVERIFY(author.author.id == 1 && !author.articles.isEmpty() && author.stats.total_articles == author.articles.size());
        for (const Article &a : author.articles)
            QVERIFY(*a.author_id == 1 && a.likes && a.comments);
    }
};

QTEST_GUILESS_MAIN(ServerReadingTest)
#include "tst_server_reading.moc"
