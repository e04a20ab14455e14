#pragma once

// Base of a QtTest class whose functions each talk to a fresh FakeServer:
//
//     class HomeTest : public ServedTest {
//         Q_OBJECT
//     private slots:
//         void loads() { server().on("GET", "/api/x", ...); ... server().baseUrl() ... }
//     };
//
// QtTest looks init() and cleanup() up by name through the derived class's
// meta-object, so these inherited slots run around every test function. A
// derived class that declares its own init() or cleanup() hides these and
// must call ServedTest::init() first / ServedTest::cleanup() last. They are
// protected slots so QtTest never lists them as test functions.

#include "FakeServer.h"

#include <QObject>
#include <QTest>

#include <memory>

class ServedTest : public QObject {
    Q_OBJECT
public:
    FakeServer &server() { return *m_server; }

protected slots:
    void init()
    {
        m_server = std::make_unique<FakeServer>();
        QVERIFY(m_server->listen());
    }
    void cleanup() { m_server.reset(); }

private:
    std::unique_ptr<FakeServer> m_server;
};
