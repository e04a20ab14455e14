#pragma once

#include "core/Records.h"

#include <QObject>

#include <optional>

namespace papelo {

// Who is signed in: token and user, kept in memory and mirrored to the
// settings store under "authToken" / "authUser". UI thread only.
class AuthManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isLoggedIn READ isLoggedIn NOTIFY changed)
    Q_PROPERTY(bool hasUser READ hasUser NOTIFY changed)
    Q_PROPERTY(QString userName READ userName NOTIFY changed)
    Q_PROPERTY(QString userRole READ userRole NOTIFY changed)
    Q_PROPERTY(QString userBio READ userBio NOTIFY changed)
public:
    // An empty path means the standard settings location.
    explicit AuthManager(QString settingsPath = {}, QObject *parent = nullptr);

    std::optional<QString> token() const { return m_token; }
    std::optional<Author> user() const { return m_user; }
    bool isLoggedIn() const { return m_isLoggedIn; }

    // In-memory assignments only; nothing is written to the store.
    void setToken(std::optional<QString> token);
    void setUser(std::optional<Author> user);
    void setLoggedIn(bool loggedIn);

    void login(const QString &token, const Author &user);
    void logout();
    void loadFromStorage();
    // Rewrites "authUser" from the in-memory user while a token is stored,
    // so an edited signature survives the next restore.
    void persistUser();

    bool hasUser() const { return m_user.has_value(); }
    QString userName() const { return m_user ? m_user->username : QString(); }
    QString userRole() const { return m_user ? m_user->role : QString(); }
    QString userBio() const { return m_user ? m_user->bio.value_or(QString()) : QString(); }

    QString settingsPath() const { return m_settingsPath; }

signals:
    void aboutToChange();
    void changed();

private:
    QString m_settingsPath;
    std::optional<QString> m_token;
    std::optional<Author> m_user;
    bool m_isLoggedIn = false;
};

} // namespace papelo
