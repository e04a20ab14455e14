#include "core/ArticleCountsStore.h"
#include "ArticleFixtures.h"
#include "articles/ArticleListModel.h"
#include "common/AvatarInitial.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {
// The process-wide store outlives every test; each test uses its own id range.
QVariant roleOf(const ArticleListModel &m, int row, int role) { return m.data(m.index(row), role); }
} // namespace

class ArticleListModelTest : public QObject {
    Q_OBJECT
private slots:
    void countsPreferStoreAndZeroIsAValue()
    {
        ArticleListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto withLikes = fixtures::article(101);
        withLikes.likes = 5;                    // comments absent
        auto bare = fixtures::article(102);     // neither count
        auto both = fixtures::article(103);
        both.likes = 7;
        both.comments = 2;
        model.setArticles({withLikes, bare, both});

        QCOMPARE(roleOf(model, 0, ArticleListModel::HasLikeCountRole).toBool(), true);
        QCOMPARE(roleOf(model, 0, ArticleListModel::LikeCountRole).toLongLong(), 5);
        QCOMPARE(roleOf(model, 0, ArticleListModel::HasCommentCountRole).toBool(), false);
        QCOMPARE(roleOf(model, 1, ArticleListModel::HasLikeCountRole).toBool(), false);
        QCOMPARE(roleOf(model, 1, ArticleListModel::HasCommentCountRole).toBool(), false);
        QCOMPARE(roleOf(model, 1, ArticleListModel::ViewsRole).toLongLong(), 1020);

        // A store entry wins over the record, also with zeros.
        ArticleCountsStore::shared().set(0, 3, 101);
        ArticleCountsStore::shared().set(0, 0, 102);
        ArticleCountsStore::shared().set(1, 9, 103);
        QCOMPARE(roleOf(model, 0, ArticleListModel::LikeCountRole).toLongLong(), 0);
        QCOMPARE(roleOf(model, 0, ArticleListModel::HasCommentCountRole).toBool(), true);
        QCOMPARE(roleOf(model, 0, ArticleListModel::CommentCountRole).toLongLong(), 3);
        QCOMPARE(roleOf(model, 1, ArticleListModel::HasLikeCountRole).toBool(), true);
        QCOMPARE(roleOf(model, 1, ArticleListModel::LikeCountRole).toLongLong(), 0);
        QCOMPARE(roleOf(model, 1, ArticleListModel::HasCommentCountRole).toBool(), true);
        QCOMPARE(roleOf(model, 2, ArticleListModel::LikeCountRole).toLongLong(), 1);
        QCOMPARE(roleOf(model, 2, ArticleListModel::CommentCountRole).toLongLong(), 9);
    }

    void storeChangeUpdatesOnlyAffectedRows()
    {
        ArticleListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // 201 appears twice, as when sections are joined.
        model.setArticles({fixtures::article(201), fixtures::article(202), fixtures::article(201),
                           fixtures::article(203)});
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

        ArticleCountsStore::shared().set(4, 1, 201);
        QCOMPARE(changed.size(), 2);
        QList<int> rows;
        for (const auto &args : changed) {
            const auto from = args.at(0).value<QModelIndex>();
            const auto to = args.at(1).value<QModelIndex>();
            QCOMPARE(from, to);
            rows << from.row();
            const auto roles = args.at(2).value<QList<int>>();
            QVERIFY(roles.contains(ArticleListModel::LikeCountRole));
            QVERIFY(roles.contains(ArticleListModel::HasCommentCountRole));
            QVERIFY(!roles.contains(ArticleListModel::TitleRole));
        }
        std::sort(rows.begin(), rows.end());
        QCOMPARE(rows, (QList<int>{0, 2}));
        QCOMPARE(roleOf(model, 2, ArticleListModel::LikeCountRole).toLongLong(), 4);

        changed.clear();
        ArticleCountsStore::shared().set(1, 1, 299); // not in this list
        QCOMPARE(changed.size(), 0);
        // The same values again still replace the entry and still notify.
        ArticleCountsStore::shared().set(1, 1, 203);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 3);
        QCOMPARE(reset.size(), 0);
    }

    void replacingTheListResetsOnce()
    {
        ArticleListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy count(&model, &ArticleListModel::countChanged);

        model.setArticles(fixtures::articles(301, 40));
        QCOMPARE(reset.size(), 1);
        QCOMPARE(inserted.size(), 0);
        QCOMPARE(count.size(), 1);
        QCOMPARE(model.rowCount(), 40);
        QCOMPARE(model.property("hasArticles").toBool(), true);
        QCOMPARE(model.articleIdAt(39).toLongLong(), 340);
        QVERIFY(!model.articleIdAt(40).isValid());
        QVERIFY(!model.articleIdAt(-1).isValid());

        // Rows follow the new list: a store change for an id that left the list changes nothing.
        model.setArticles(fixtures::articles(351, 3));
        QCOMPARE(reset.size(), 2);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        ArticleCountsStore::shared().set(1, 1, 305);
        QCOMPARE(changed.size(), 0);
        ArticleCountsStore::shared().set(1, 1, 352);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 1);

        model.setArticles({});
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.property("hasArticles").toBool(), false);
        QVERIFY(!model.data(model.index(0), ArticleListModel::TitleRole).isValid());
    }

    void letterTile_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("letter");
        QTest::newRow("latin") << "Hello" << "H";
        QTest::newRow("chinese") << "你好世界" << "你";
        QTest::newRow("empty") << "" << "?";
        QTest::newRow("space first") << " x" << " ";
        QTest::newRow("combining mark") << QStringLiteral("e\u0301t\u00e9") << QStringLiteral("e\u0301");
        QTest::newRow("emoji with skin tone") << QStringLiteral("\U0001F44D\U0001F3FD nice")
                                              << QStringLiteral("\U0001F44D\U0001F3FD");
        QTest::newRow("flag") << QStringLiteral("\U0001F1E8\U0001F1F3 news") << QStringLiteral("\U0001F1E8\U0001F1F3");
    }
    void letterTile()
    {
        QFETCH(QString, title);
        QFETCH(QString, letter);
        QCOMPARE(avatarInitial(title), letter);
        auto a = fixtures::article(401);
        a.title = title;
        ArticleListModel model;
        model.setArticles({a});
        QCOMPARE(roleOf(model, 0, ArticleListModel::LetterRole).toString(), letter);
    }

    void imageChoice_data()
    {
        QTest::addColumn<QVariant>("thumb");
        QTest::addColumn<QVariant>("cover");
        QTest::addColumn<QString>("expected");
        const QString base = QStringLiteral("http://img.test:4000");
        QTest::newRow("thumb and cover: thumb") << QVariant("/t.jpg") << QVariant("/c.jpg") << base + "/t.jpg";
        QTest::newRow("thumb only") << QVariant("t.jpg") << QVariant() << base + "/t.jpg";
        QTest::newRow("cover only") << QVariant() << QVariant("/c.jpg") << base + "/c.jpg";
        QTest::newRow("empty thumb: letter tile, no cover") << QVariant("") << QVariant("/c.jpg") << QString();
        QTest::newRow("neither: letter tile") << QVariant() << QVariant() << QString();
        QTest::newRow("absolute kept") << QVariant("https://cdn.test/a.png") << QVariant() << "https://cdn.test/a.png";
        QTest::newRow("space encoded") << QVariant("/a b.jpg") << QVariant() << base + "/a%20b.jpg";
    }
    void imageChoice()
    {
        QFETCH(QVariant, thumb);
        QFETCH(QVariant, cover);
        QFETCH(QString, expected);
        auto a = fixtures::article(501);
        if (thumb.isValid())
            a.thumb = thumb.toString();
        if (cover.isValid())
            a.cover = cover.toString();
        ArticleListModel model;
        model.setImageBaseUrl(QStringLiteral("http://img.test:4000"));
        model.setArticles({a});
        const QUrl url = roleOf(model, 0, ArticleListModel::ImageUrlRole).toUrl();
        QCOMPARE(url.toString(QUrl::FullyEncoded), expected);
        QCOMPARE(roleOf(model, 0, ArticleListModel::HasImageRole).toBool(), !expected.isEmpty());
    }

    void footerTexts()
    {
        auto withTime = fixtures::article(601);
        withTime.date = QStringLiteral("2026-01-31T23:59:59Z");
        auto shortDate = fixtures::article(602);
        shortDate.date = QStringLiteral("2026-1");
        shortDate.author.reset();
        ArticleListModel model;
        model.setArticles({withTime, shortDate});
        QCOMPARE(roleOf(model, 0, ArticleListModel::DayRole).toString(), QStringLiteral("2026-01-31"));
        QCOMPARE(roleOf(model, 0, ArticleListModel::HasAuthorRole).toBool(), true);
        QCOMPARE(roleOf(model, 0, ArticleListModel::AuthorRole).toString(), QStringLiteral("作者601"));
        QCOMPARE(roleOf(model, 1, ArticleListModel::DayRole).toString(), QStringLiteral("2026-1"));
        QCOMPARE(roleOf(model, 1, ArticleListModel::HasAuthorRole).toBool(), false);
        QCOMPARE(roleOf(model, 1, ArticleListModel::ArticleIdRole).toLongLong(), 602);
        const auto names = model.roleNames();
        for (const char *name : {"articleId", "title", "letter", "hasImage", "imageUrl", "views", "hasCommentCount",
                                 "commentCount", "hasLikeCount", "likeCount", "hasAuthor", "author", "day"})
            QVERIFY2(names.values().contains(QByteArray(name)), name);
    }
};

QTEST_GUILESS_MAIN(ArticleListModelTest)
#include "tst_articlelistmodel.moc"
