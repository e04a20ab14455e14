#pragma once

#include "core/Records.h"

#include <QCoroTask>
#include <QObject>

#include <optional>

namespace papelo {

// Who is signed in: token and user, kept in memory. The user record is
// mirrored to the settings store under "authUser"; the token goes to the
// desktop keychain, one entry per settings file, and leaves the owner-only
// settings file ("authToken") once the keychain has confirmed it. Where no
// keychain answers (no session bus, no Secret Service, an error, the time
// limit) it stays in the file, and the console says so once per run. PAPELO_TOKEN_STORE=file selects the
// settings file from the start (tests that must not touch a desktop
// keychain). Nothing here talks to the keychain before the first
// loadFromStorage(), login() or logout(). UI thread only.
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
    // Restores a stored sign-in. Finishes at once when the settings file
    // decides it (nothing usable stored, or a token still in the file, which
    // is then moved to the keychain); otherwise it waits for the keychain,
    // at most about two seconds, and the user stays signed out until then.
    // A login() or logout() in the meantime wins over the late answer.
    QCoro::Task<> loadFromStorage();
    // Rewrites "authUser" from the in-memory user while a sign-in is stored,
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
    QString keychainKey() const;
    void restore(const QString &token, const Author &user);

    QString m_settingsPath;
    std::optional<QString> m_token;
    std::optional<Author> m_user;
    bool m_isLoggedIn = false;
};

} // namespace papelo
