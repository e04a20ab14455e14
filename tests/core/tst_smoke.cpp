#include "APIClient.h"
#include "FakeServer.h"

#include <QCoroTask>
#include <QtTest>

using namespace papelo;

class SmokeTest : public QObject {
    Q_OBJECT
private slots:
    void statsRoundTrip()
    {
        FakeServer server;
        QVERIFY(server.listen());
        server.on("GET", "/api/stats", FakeServer::Response::json(QJsonObject{{"totalArticles", 3}, {"dbArticles", 4}}));
        auto client = APIClient::create(server.baseUrl());
        const auto r = QCoro::waitFor(client->fetchStats());
        QVERIFY2(r.ok(), qPrintable(r.ok() ? QString() : r.error().description()));
        QCOMPARE(r->totalArticles, 3);
        QCOMPARE(server.count("/api/stats"), 1);
    }
};

QTEST_GUILESS_MAIN(SmokeTest)
#include "tst_smoke.moc"
