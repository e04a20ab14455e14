#pragma once

// Shared pieces of the account tab tests: JSON shapes as the server sends
// them and one tab over a temporary settings file and a scripted server.
#include "core/AuthManager.h"
#include "FakeServer.h"
#include "account/ProfileScreen.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <memory>

namespace profiletest {

using namespace papelo;

inline QJsonObject userJson(qint64 id, const QString &name, const QString &role, const QString &bio = QString())
{
    QJsonObject o{{"id", id}, {"username", name}, {"role", role}};
    if (!bio.isNull())
        o.insert("bio", bio);
    return o;
}

inline QJsonObject articleJson(qint64 id, const QString &title, qint64 views)
{
    return QJsonObject{{"id", id},       {"title", title}, {"date", "2026-01-02 10:00:00"},
                       {"views", views}, {"url", QString("/a/%1").arg(id)}};
}

inline QJsonObject meJson(const QJsonObject &user, int published, int pending, const QJsonArray &articles)
{
    return QJsonObject{{"user", user},
                       {"stats", QJsonObject{{"total", published + pending}, {"published", published}, {"pending", pending}}},
                       {"articles", articles}};
}

inline QJsonObject loginJson(const QString &token, const QJsonObject &user)
{
    return QJsonObject{{"token", token}, {"user", user}};
}

inline QByteArray errorBody(const QString &message)
{
    return QJsonDocument(QJsonObject{{"error", message}}).toJson();
}

inline QByteArray bioBody(const QString &bio)
{
    return QJsonDocument(QJsonObject{{"ok", true}, {"bio", bio}}).toJson();
}

inline QStringList sortedKeys(const QJsonObject &o)
{
    QStringList keys = o.keys();
    keys.sort();
    return keys;
}

// One account tab: a fresh AuthManager over a settings file in a temporary
// directory and a screen pointed at the fake server.
struct Fixture {
    QTemporaryDir dir;
    FakeServer server;
    std::unique_ptr<AuthManager> auth;
    std::unique_ptr<ProfileScreen> screen;

    Fixture()
    {
        if (!server.listen())
            qFatal("fake server did not listen");
        relaunch();
    }
    QString settingsPath() const { return dir.filePath("papelo.ini"); }
    // A new process: new sign-in state and screen over the same settings file.
    void relaunch()
    {
        screen.reset();
        auth = std::make_unique<AuthManager>(settingsPath());
        screen = std::make_unique<ProfileScreen>();
        screen->setBaseUrl(server.baseUrl());
        screen->setAuth(auth.get());
    }
    void serveAlice(const QString &bio = "hello")
    {
        server.on("POST", "/api/login", FakeServer::Response::json(loginJson("tok-alice", userJson(7, "alice", "author", bio))));
        server.on("GET", "/api/me",
                  FakeServer::Response::json(meJson(userJson(7, "alice", "author", bio), 2, 1,
                                                    QJsonArray{articleJson(11, "First", 5), articleJson(12, "Second", 9),
                                                               articleJson(13, "Third", 0)})));
    }
    bool signInAlice()
    {
        screen->setUsername("alice");
        screen->setPassword("secret");
        QCoro::waitFor(screen->handleAuthTask());
        return auth->isLoggedIn();
    }
};

} // namespace profiletest
