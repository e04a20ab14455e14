#pragma once

#include "core/Records.h"

#include <QCoroTask>
#include <QObject>

#include <optional>

namespace papelo {

// Who is signed in: token and user, kept in memory. A token belongs to the
// server that issued it: the one stored sign-in (the latest) keeps its
// origin under "authOrigin", and the manager holds it only while serving
// that origin; against another server the reader is signed out and the token
// is sent nowhere. A sign-in stored without an origin (older versions)
// belongs to the server of the first run that restores it. The user record
// is mirrored to the settings store under "authUser"; the token goes to the
// desktop keychain, in an entry named by the settings file and the origin,
// and leaves the owner-only settings file ("authToken") once the keychain
// has confirmed it. Where no keychain answers (no session bus, no Secret
// Service, an error, the time limit) it stays in the file, and the console
// says so once per run. PAPELO_TOKEN_STORE=file selects the settings file
// from the start (tests that must not touch a desktop keychain). Nothing here talks to the keychain before the first
// loadFromStorage(), login() or logout(). UI thread only.
class AuthManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isLoggedIn READ isLoggedIn NOTIFY changed)
    Q_PROPERTY(bool hasUser READ hasUser NOTIFY changed)
    Q_PROPERTY(QString userName READ userName NOTIFY changed)
    Q_PROPERTY(QString userRole READ userRole NOTIFY changed)
    Q_PROPERTY(QString userBio READ userBio NOTIFY changed)
public:
    // An empty path means the standard settings location; the server is the
    // configured one until setServer().
    explicit AuthManager(QString settingsPath = {}, QObject *parent = nullptr);

    // The server whose sign-in this manager holds ("scheme://host:port").
    QString serverOrigin() const { return m_serverOrigin; }
    // Another server: a sign-in of the old one ends in memory (it stays
    // stored); once storage has been read or written in this run, a sign-in
    // stored for the new one is restored.
    void setServer(const QString &baseUrl);
    // The origin that issued the token held now; empty when none is held.
    QString issuingOrigin() const { return m_token ? m_tokenOrigin : QString(); }

    std::optional<QString> token() const { return m_token; }
    std::optional<Author> user() const { return m_user; }
    bool isLoggedIn() const { return m_isLoggedIn; }

    // In-memory assignments only; nothing is written to the store.
    void setToken(std::optional<QString> token);
    void setUser(std::optional<Author> user);
    void setLoggedIn(bool loggedIn);

    // Signs in for the server served now; the stored sign-in of any other
    // server is replaced (the keychain keeps one entry).
    void login(const QString &token, const Author &user);
    // Signs out and removes the stored sign-in, whichever server it is for.
    void logout();
    // Restores the stored sign-in if it belongs to this server. Finishes at
    // once when the settings file decides it (nothing usable stored, another
    // server's, or a token still in the file, which is then moved to the
    // keychain); otherwise it waits for the keychain,
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
    void restore(const QString &token, const Author &user);

    QString m_settingsPath;
    QString m_serverOrigin;
    QString m_tokenOrigin;
    bool m_storageRead = false;
    std::optional<QString> m_token;
    std::optional<Author> m_user;
    bool m_isLoggedIn = false;
};

} // namespace papelo
