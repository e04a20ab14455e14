#include "common/LoadLifecycle.h"
#include "DataTable.h"
#include "FakeServer.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {

// Whether a request of the ticket's client ended as cancelled.
bool cancelled(QCoro::Task<Result<StatsResponse>> &request)
{
    const Result<StatsResponse> result = QCoro::waitFor(request);
    return !result && result.error().transportReason() == RequestError::Transport::Cancelled;
}

} // namespace

// The one load lifecycle every list and reading screen shares: only the
// newest ticket ends the loading state or leaves an error.
class LoadLifecycleTest : public QObject {
    Q_OBJECT
    FakeServer m_server;

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        m_server.on("GET", "/api/stats", FakeServer::stalled());
    }

    void startClearsTheErrorAndOnlyTheCurrentTicketEnds_data() { data::table<bool>(QStringLiteral("app/lifecycle/superseded.tsv")); }
    void startClearsTheErrorAndOnlyTheCurrentTicketEnds()
    {
        QFETCH(bool, olderFails);
        LoadLifecycle load;
        QSignalSpy changed(&load, &LoadLifecycle::changed);
        const LoadLifecycle::Ticket first = load.start(m_server.baseUrl());
        QVERIFY(load.isLoading() && load.fail(first, QStringLiteral("加载失败：一")) && !load.isLoading());
        QCOMPARE(load.errorMessage(), std::optional<QString>(QStringLiteral("加载失败：一")));

        const LoadLifecycle::Ticket older = load.start(m_server.baseUrl());
        QVERIFY(!load.errorMessage());
        const LoadLifecycle::Ticket newer = load.start(m_server.baseUrl());
        QVERIFY(!load.isCurrent(older));
        const int before = int(changed.size());
        // The superseded load ends after the newer one started: no trace of it.
        QVERIFY(!(olderFails ? load.fail(older, QStringLiteral("加载失败：旧")) : load.finish(older)));
        QVERIFY(load.isLoading() && !load.errorMessage() && changed.size() == before);
        QVERIFY(load.finish(newer) && !load.isLoading() && !load.errorMessage());
    }

    // Only what asked for it ends with the screen's hiding; a newer start
    // cancels all but released work; a screen that goes cancels its load on
    // the next turn of the event loop.
    void cancellation_data() { data::table<bool, bool, QStringList, bool>(QStringLiteral("app/lifecycle/cancel.tsv")); }
    void cancellation()
    {
        QFETCH(bool, keepRunning);
        QFETCH(bool, released);
        QFETCH(QStringList, events);
        QFETCH(bool, expectCancelled);
        m_server.clear();
        auto load = std::make_unique<LoadLifecycle>(true);
        QVERIFY(load->isLoading()); // a screen whose first face is loading
        const auto onHide = keepRunning ? LoadLifecycle::OnHide::KeepRunning : LoadLifecycle::OnHide::Cancel;
        const LoadLifecycle::Ticket ticket = load->start(m_server.baseUrl(), {}, onHide);
        auto request = ticket.client->fetchStats();
        QTRY_COMPARE(m_server.count("/api/stats"), 1);
        if (released)
            load->release(ticket);
        for (const QString &event : events)
            event == "hide" ? load->hide() : event == "newer" ? void(load->start(m_server.baseUrl())) : load.reset();
        QVERIFY(!events.contains("gone") || !request.isReady());
        if (expectCancelled) {
            QVERIFY(cancelled(request));
            // A hidden load's own end still counts when nothing newer started.
            QVERIFY(events != QStringList{"hide"} || load->fail(ticket, QStringLiteral("加载失败：已取消")));
        } else {
            QTest::qWait(100);
            QVERIFY(!request.isReady());
            ticket.client->cancelAll();
            QVERIFY(cancelled(request));
        }
    }
};

QTEST_GUILESS_MAIN(LoadLifecycleTest)
#include "tst_lifecycle.moc"
