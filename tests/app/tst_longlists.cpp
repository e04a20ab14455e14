// Comment threads and own-article lists of any length: only rows near the
// viewport exist, each exactly where it was placed before it was built; a
// row's like state survives a reload; the focus reaches rows not built yet.
#include "DataTable.h"
#include "Fixtures.h"
#include "QmlHarness.h"
#include "common/RowWindow.h"
#include "core/AuthManager.h"
#include "core/Envelopes.h"
#include "core/ServerConfig.h"
#include "reading/ArticleDetailScreen.h"
#include "reading/ArticleFind.h"
#include "reading/CommentListModel.h"

using namespace papelo;
using namespace qmltest;

namespace {
int focusedRow(QQuickWindow &window)
{
    QQuickItem *item = window.activeFocusItem();
    while (item && !item->property("rowY").isValid())
        item = item->parentItem();
    return item ? item->property("row").toInt() : -1;
}
RowWindow *windowIn(QQuickItem *page) { return ofType(page, "WindowedRows").value(0)->property("window").value<RowWindow *>(); }
QQuickItem *builtRow(QQuickItem *page, int row)
{
    return findItem(page, [row](QQuickItem *i) { return i->property("rowY").isValid() && i->property("row") == row; });
}
} // namespace

class LongListsTest : public QObject {
    Q_OBJECT
    FakeServer m_server;
    QList<Comment> m_comments;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        collectWarnings();
        QVERIFY(m_server.listen());
        ServerConfig::setBaseUrl(m_server.baseUrl());
        // Rows of every height: empty, several lines, unbreakable words, long
        // text; every fourth by an account, with its mark beside the name.
        const QStringList texts{QString(), QStringLiteral("第一行\n第二行\n\n第四行"), QStringLiteral("x").repeated(300)};
        for (int i = 1; i <= 300; ++i) {
            m_comments.append(fixtures::comment(i));
            m_comments.last().content = i % 7 < 3 ? texts.at(i % 7) : QStringLiteral("评论内容，长短不一。").repeated(i % 13);
            if (i % 4 == 0)
                m_comments.last().user = fixtures::author(i, QStringLiteral("访客"));
        }
        m_server.on("GET", "/api/article/7", fixtures::reply(fixtures::detail(7)));
        m_server.on("GET", "/api/comments", [this](const FakeServer::Request &) { return fixtures::replyList(m_comments); });
        m_server.on("POST", "/api/like", FakeServer::Response::json(QJsonObject{{"ok", true}}));
        m_server.on("POST", "/api/comment", [this](const FakeServer::Request &) {
            m_comments.prepend(fixtures::comment(1000));
            return fixtures::reply(CommentPostResponse{1000, true});
        });
        m_server.on("GET", "/api/me", fixtures::reply(MeResponse{fixtures::author(7, "alice"), {}, fixtures::articles(1, 2000)}));
    }
    void cleanup() { QVERIFY_NO_WARNINGS(); }

    // Find: the body's matches first, then the comments' in row order, case
    // aside; next and previous wrap; a late or odd body count is ignored.
    void findOrder_data() { data::table<QString, QString, bool, QString, QStringList>(QStringLiteral("app/longlists/find-order.tsv")); }
    void findOrder()
    {
        QFETCH(QString, query);
        QFETCH(QString, count);
        QFETCH(bool, text);
        CommentListModel comments;
        QList<Comment> list{fixtures::comment(1), fixtures::comment(2), fixtures::comment(3)};
        const QStringList texts{QStringLiteral("ab, AB"), QStringLiteral("aB"), QStringLiteral("xy")};
        for (int i = 0; i < 3; ++i)
            list[i].content = texts.at(i);
        comments.setComments(list);
        ArticleFind find;
        find.setComments(&comments);
        find.setQuery(query);
        find.setBodyCount(QStringLiteral("older"), 40);  // for a query no longer asked
        find.setBodyCount(query, text ? QVariant(count) : QVariant(count.toDouble()));
        QTEST(find.status(), "status");
        const auto where = [&] {
            return find.bodyIndex() >= 0 ? QStringLiteral("b%1").arg(find.bodyIndex())
                                        : find.commentRow() >= 0 ? QStringLiteral("c%1").arg(find.commentRow()) : QStringLiteral("-");
        };
        QStringList seen;
        for (const bool forward : {true, true, false, false}) {
            forward ? find.next() : find.previous();
            seen << where();
        }
        QTEST(seen, "steps");
        find.setQuery(QString());
        QVERIFY(find.status().isEmpty() && find.total() == 0 && find.current() == -1);
    }

    void rowWindow_data() { data::table<double, double, int, QStringList>(QStringLiteral("app/longlists/row-window.tsv")); }
    void rowWindow()
    {
        QFETCH(double, viewTop);
        QFETCH(double, overscan);
        QFETCH(int, pinned);
        RowWindow rows;
        rows.setViewHeight(200);
        rows.setModel(QVariantList(100, QVariant(0)));
        QVERIFY(rows.builtRows().isEmpty());  // no height yet: nothing is built
        rows.setRowHeight(30);
        rows.setSpacing(10);
        rows.setOverscan(overscan);
        rows.setPinnedRow(pinned);
        rows.setViewTop(viewTop);
        QStringList built;
        for (int row : rows.builtRows())
            built << QString::number(row);
        QTEST(built, "built");
        QCOMPARE(rows.contentHeight(), 3990.0);
        QCOMPARE(rows.stepRow(5, Qt::Key_Tab, Qt::ShiftModifier), 4);
        QCOMPARE(rows.stepRow(99, Qt::Key_Down, 0), -1);
    }

    // Built rows sit at the offsets computed for them, at their own height;
    // a liked comment far down stays liked when posting reloads the list.
    void commentRowsAtTheirPlaceAndTheirLikes()
    {
        Host host(QSize(800, 700));
        QQuickItem *page = host.push(QStringLiteral("ArticleDetailView"), {{"articleId", 7}});
        auto *screen = host.state<ArticleDetailScreen>();
        QTRY_VERIFY_WITH_TIMEOUT(screen->comments()->count() == 300 && screen->comments()->allMeasured(), 20000);
        RowWindow *rows = windowIn(page);
        auto *flick = page->property("flickable").value<QQuickItem *>();
        auto rowsAtTheirPlace = [&] {
            const QList<QQuickItem *> built = ofType(page, "CommentRow");
            QVERIFY(!built.isEmpty() && built.size() < 40);
            for (QQuickItem *row : built) {
                const int r = row->property("row").toInt();
                QCOMPARE(row->implicitHeight(), screen->comments()->rowHeight(r));
                QCOMPARE(row->y(), rows->rowY(r));
                QCOMPARE(row->height(), rows->heightOf(r));
            }
        };
        rowsAtTheirPlace();
        const qreal listTop = ofType(page, "WindowedRows").first()->mapToItem(flick->property("contentItem").value<QQuickItem *>(), {0, 0}).y();
        flick->setProperty("contentY", listTop + rows->rowY(249));
        rowsAtTheirPlace();
        QQuickItem *liked = builtRow(page, 249);
        click(host.window, liked->property("likeButton").value<QQuickItem *>());
        QTRY_VERIFY(liked->property("isLiked").toBool());

        screen->setNewComment(QStringLiteral("新评论"));
        screen->send();
        QTRY_COMPARE_WITH_TIMEOUT(screen->commentHeading(), QStringLiteral("评论 301"), 10000);
        QTRY_VERIFY(screen->comments()->allMeasured());
        flick->setProperty("contentY", listTop + rows->rowY(250));
        rowsAtTheirPlace();
        QVERIFY(builtRow(page, 250)->property("isLiked").toBool());
    }

    void focusReachesRowsNotBuilt_data() { data::table<QString, QString>(QStringLiteral("app/longlists/windowed.tsv")); }
    void focusReachesRowsNotBuilt()
    {
        QFETCH(QString, view);
        QFETCH(QString, property);
        AuthManager auth(m_dir.filePath(QStringLiteral("auth.ini")));
        auth.login(QStringLiteral("tok"), fixtures::author(7, QStringLiteral("alice")));
        Host host(QSize(800, 700));
        const QVariantMap properties{{"articleId", 7}, {"auth", QVariant::fromValue(&auth)}};
        QQuickItem *page = host.push(view, {{property, properties.value(property)}});
        QTRY_VERIFY_WITH_TIMEOUT(ofType(page, "WindowedRows").size() == 1 && windowIn(page)->rowCount() > 0, 20000);
        QCOMPARE(windowIn(page)->indexOfRow(40), -1);
        named(page, QStringLiteral("rowsEntry"))->forceActiveFocus(Qt::TabFocusReason);
        QTRY_COMPARE(focusedRow(host.window), 0);
        for (int row = 1; row <= 40; ++row) {
            QTest::keyClick(&host.window, Qt::Key_Down);
            QCOMPARE(focusedRow(host.window), row);
        }
        QTest::keyClick(&host.window, Qt::Key_Tab);
        QCOMPARE(focusedRow(host.window), 41);
        QTest::keyClick(&host.window, Qt::Key_Backtab);
        QTest::keyClick(&host.window, Qt::Key_Up);
        QCOMPARE(focusedRow(host.window), 39);
        QCOMPARE(windowIn(page)->indexOfRow(0), -1);  // the page followed the focus
        QVERIFY_ALL_NAMED(page);
    }
};

QML_TEST_MAIN(LongListsTest)
#include "tst_longlists.moc"
