#include "common/LoadLifecycle.h"
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

    void startClearsTheErrorAndOnlyTheCurrentTicketEnds_data()
    {
        QTest::addColumn<bool>("olderFails");
        QTest::newRow("older load fails late") << true;
        QTest::newRow("older load finishes late") << false;
    }

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

    void aNewerStartCancelsTheOlderRequests()
    {
        LoadLifecycle load;
        const LoadLifecycle::Ticket older = load.start(m_server.baseUrl());
        auto request = older.client->fetchStats();
        QTRY_COMPARE(m_server.count("/api/stats"), 1);
        load.start(m_server.baseUrl());
        QVERIFY(cancelled(request));
    }

    // A screen that goes cancels its load, whatever it asked for on hiding,
    // on the next turn of the event loop.
    void goingAwayCancels()
    {
        auto load = std::make_unique<LoadLifecycle>();
        const LoadLifecycle::Ticket ticket = load->start(m_server.baseUrl(), {}, LoadLifecycle::OnHide::KeepRunning);
        auto request = ticket.client->fetchStats();
        QTRY_VERIFY(m_server.inFlight() > 0);
        load.reset();
        QVERIFY(!request.isReady());
        QVERIFY(cancelled(request));
    }

    void hideCancelsOnlyWhatAskedForIt_data()
    {
        QTest::addColumn<bool>("keepRunning");
        QTest::addColumn<bool>("released");
        QTest::addColumn<bool>("expectCancelled");
        QTest::newRow("bound to visibility") << false << false << true;
        QTest::newRow("keeps running") << true << false << false;
        QTest::newRow("released for the enrichment") << false << true << false;
    }

    void hideCancelsOnlyWhatAskedForIt()
    {
        QFETCH(bool, keepRunning);
        QFETCH(bool, released);
        QFETCH(bool, expectCancelled);
        m_server.clear();
        LoadLifecycle load(true);
        QVERIFY(load.isLoading()); // a screen whose first face is loading
        const auto onHide = keepRunning ? LoadLifecycle::OnHide::KeepRunning : LoadLifecycle::OnHide::Cancel;
        const LoadLifecycle::Ticket ticket = load.start(m_server.baseUrl(), {}, onHide);
        auto request = ticket.client->fetchStats();
        QTRY_COMPARE(m_server.count("/api/stats"), 1);
        if (released)
            load.release(ticket);
        load.hide();
        if (released) // a newer load does not cancel released work either
            load.start(m_server.baseUrl());
        if (expectCancelled) {
            QVERIFY(cancelled(request));
            // The hidden load's own end still counts: nothing newer started.
            QVERIFY(load.fail(ticket, QStringLiteral("加载失败：已取消")));
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
