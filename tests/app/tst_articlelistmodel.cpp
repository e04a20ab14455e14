// The card list model: counts from the record or the shared store, change
// notifications per row, the image choice and the card's texts (the letter
// tile's rules are avatarInitial's, tested with the author page).
#include "DataTable.h"
#include "Fixtures.h"
#include "articles/ArticleListModel.h"
#include "common/ReadingOrder.h"
#include "core/ArticleCountsStore.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {
// The process-wide store outlives every test; each test uses its own id range.
QVariant roleOf(const ArticleListModel &m, int row, int role) { return m.data(m.index(row), role); }

// "likes/comments" of every row, "-" for a count a row does not have.
QStringList counts(const ArticleListModel &m)
{
    QStringList rows;
    const auto part = [&](int row, int has, int value) {
        return roleOf(m, row, has).toBool() ? roleOf(m, row, value).toString() : QStringLiteral("-");
    };
    for (int row = 0; row < m.rowCount(); ++row)
        rows << part(row, ArticleListModel::HasLikeCountRole, ArticleListModel::LikeCountRole) + QLatin1Char('/')
                    + part(row, ArticleListModel::HasCommentCountRole, ArticleListModel::CommentCountRole);
    return rows;
}

QList<int> changedRows(const QSignalSpy &spy)
{
    QList<int> rows;
    for (const auto &args : spy) {
        const auto roles = args.at(2).value<QList<int>>();
        if (args.at(0) == args.at(1) && roles.contains(ArticleListModel::LikeCountRole) && roles.contains(ArticleListModel::HasCommentCountRole)
            && roles.contains(ArticleListModel::AccessibleNameRole) && !roles.contains(ArticleListModel::TitleRole))
            rows << args.at(0).value<QModelIndex>().row();
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}
} // namespace

class ArticleListModelTest : public QObject {
    Q_OBJECT
private slots:
    // A store entry wins over the record, zeros too, and changes only its own
    // rows (201 appears twice, as when sections are joined).
    void countsFromTheRecordOrTheStore()
    {
        ArticleListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<Article> list = fixtures::articles(201, 3) << fixtures::article(201);
        list[0].likes = 5;
        list[2].likes = 7;
        list[2].comments = 2;
        model.setArticles(list);
        QCOMPARE(counts(model), (QStringList{"5/-", "-/-", "7/2", "-/-"}));
        QCOMPARE(roleOf(model, 1, ArticleListModel::ViewsRole).toLongLong(), 2020);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        ArticleCountsStore::shared().set(0, 3, 201);
        ArticleCountsStore::shared().set(0, 0, 202);
        ArticleCountsStore::shared().set(1, 9, 203);
        ArticleCountsStore::shared().set(1, 9, 203); // the same values still replace the entry and notify
        ArticleCountsStore::shared().set(1, 1, 299); // not in this list
        QCOMPARE(changedRows(changed), (QList<int>{0, 1, 2, 2, 3}));
        QCOMPARE(counts(model), (QStringList{"0/3", "0/0", "1/9", "0/3"}));
        QCOMPARE(roleOf(model, 0, ArticleListModel::AccessibleNameRole).toString(), "文章 201，作者201，2026-03-06，2010 次阅读，3 条评论，0 个赞");
        model.setArticles(list); // the same articles again: the rows stay
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
        QCOMPARE((QList<qsizetype>{reset.size(), inserted.size(), count.size()}), (QList<qsizetype>{1, 0, 1}));
        QVERIFY(model.rowCount() == 40 && model.property("hasArticles").toBool());
        QCOMPARE(model.articleIdAt(39).toLongLong(), 340);
        QVERIFY(!model.articleIdAt(40).isValid() && !model.articleIdAt(-1).isValid());

        // Rows follow the new list: an id that left it changes nothing.
        model.setArticles(fixtures::articles(351, 3));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        ArticleCountsStore::shared().set(1, 1, 305);
        ArticleCountsStore::shared().set(1, 1, 352);
        QCOMPARE(changedRows(changed), QList<int>{1});
        model.setArticles({});
        QVERIFY(model.rowCount() == 0 && !model.property("hasArticles").toBool());
        QCOMPARE(reset.size(), 3);
    }

    // Next and previous follow the list in the order shown, as the model hands it on.
    void readingOrder_data() { data::table<double, QString>(QStringLiteral("app/articlelistmodel/reading-order.tsv")); }
    void readingOrder()
    {
        QFETCH(double, id);
        QFETCH(QString, around);
        ArticleListModel model;
        model.setArticles(fixtures::articles(401, 3));
        const QVariantList list = model.readingList();
        QCOMPARE(list.value(1).toMap().value("title").toString(), model.data(model.index(1), ArticleListModel::TitleRole).toString());
        const QVariantMap near = ReadingOrder::neighbours(list, id);
        const auto idOf = [](const QVariant &v) { return v.isNull() ? QStringLiteral("-") : v.toMap().value("id").toString(); };
        QCOMPARE(idOf(near.value("previous")) + QLatin1Char(',') + idOf(near.value("next")), around);
        // An entry without a usable id is no neighbour.
        QVariantList holed = list;
        holed[2] = QVariantMap{{"id", "x"}, {"title", "无"}};
        QVERIFY(ReadingOrder::neighbours(holed, 402).value("next").isNull());
    }

    void imageChoice_data() { data::table<QString, QString, QString>(QStringLiteral("app/articlelistmodel/image-choice.tsv")); }
    void imageChoice()
    {
        QFETCH(QString, expected);
        QFETCH(QString, thumb);
        QFETCH(QString, cover);
        Article a = fixtures::article(501);
        a.thumb = thumb == "-" ? std::nullopt : std::optional(thumb);
        a.cover = cover == "-" ? std::nullopt : std::optional(cover);
        ArticleListModel model;
        model.setImageBaseUrl(QStringLiteral("http://img.test:4000"));
        model.setArticles({a});
        QCOMPARE(roleOf(model, 0, ArticleListModel::ImageUrlRole).toUrl().toString(), expected);
        QCOMPARE(roleOf(model, 0, ArticleListModel::HasImageRole).toBool(), !expected.isEmpty());
    }

    void cardTexts()
    {
        QList<Article> list = fixtures::articles(601, 2);
        list[0].date = QStringLiteral("2026-01-31T23:59:59Z");
        list[1].date = QStringLiteral("2026-1");
        list[1].author.reset();
        list[1].title = QStringLiteral("\U0001F1E8\U0001F1F3 news"); // the letter tile takes the whole flag
        ArticleListModel model;
        model.setArticles(list);
        QCOMPARE((QStringList{roleOf(model, 0, ArticleListModel::DayRole).toString(), roleOf(model, 1, ArticleListModel::DayRole).toString(),
                              roleOf(model, 0, ArticleListModel::AuthorRole).toString(), roleOf(model, 0, ArticleListModel::LetterRole).toString(),
                              roleOf(model, 1, ArticleListModel::LetterRole).toString()}),
                 (QStringList{"2026-01-31", "2026-1", "作者601", "文", QStringLiteral("\U0001F1E8\U0001F1F3")}));
        QVERIFY(roleOf(model, 0, ArticleListModel::HasAuthorRole).toBool() && !roleOf(model, 1, ArticleListModel::HasAuthorRole).toBool());
        QCOMPARE(roleOf(model, 1, ArticleListModel::AccessibleNameRole).toString(), QStringLiteral("\U0001F1E8\U0001F1F3 news，2026-1，6020 次阅读"));
        QCOMPARE(roleOf(model, 1, ArticleListModel::ArticleIdRole).toLongLong(), 602);
    }
};

QTEST_GUILESS_MAIN(ArticleListModelTest)
#include "tst_articlelistmodel.moc"
