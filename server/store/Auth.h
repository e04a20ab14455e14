#pragma once

#include "store/Database.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>

// Passwords (salted PBKDF2-HMAC-SHA256, OpenSSL's libcrypto) and bearer
// tokens (256 random bits, stored only as their SHA-256, valid for a number
// of days, revocable). The database is used on the main thread only; password
// hashing runs on a small pool of its own so it never stalls the event loop,
// and its results come back on the main thread.
class Auth {
public:
    static constexpr int defaultIterations = 600000;

    struct Options {
        int iterations = defaultIterations;
        int tokenDays = 30;
        int hashThreads = 1;
        int hashQueue = 64;  // hashes queued or running before new ones are refused
    };
    Auth(const Database &db, Options options);

    struct Hashed {
        QByteArray salt;
        QByteArray hash;
        int iterations = 0;
    };
    // Blocking; for seeding before the server listens.
    Hashed hashPassword(const QString &password) const;

    // False when the hashing queue is full; callers answer 503 instead of queueing.
    bool canHash() const { return m_inFlight < m_options.hashQueue; }
    // Hashes on the pool; the result arrives on the main thread.
    QFuture<Hashed> hashLater(const QString &password);
    struct Check {
        bool ok = false;
        // PBKDF2 rounds the check ran: the full count whatever was stored, so
        // that the time taken reveals nothing about the name.
        int iterations = 0;
        // A new hash at the full count, when the right password matched a weaker one.
        std::optional<Hashed> upgraded;
    };
    // Checks on the pool. Without a stored hash (unknown name, passwordless
    // account) only a dummy is hashed and the answer is false.
    QFuture<Check> verifyLater(const QString &password, const QByteArray &salt, const QByteArray &hash, int iterations);

    // Issues and stores a new token for the user; empty on failure.
    QString issueToken(qint64 userId) const;
    // The user id behind a bearer token, if valid and not expired.
    std::optional<qint64> userForToken(const QByteArray &token) const;
    // Deletes a valid token; false when it is not one.
    bool revokeToken(const QByteArray &token) const;
    // Deletes expired tokens; false on a store failure.
    bool pruneTokens() const;

    // Validation messages for registration; empty when the value is fine.
    static QString checkUsername(const QString &username);
    static QString checkEmail(const QString &email);
    static QString checkPassword(const QString &password);

private:
    template <typename T> QFuture<T> onPool(std::function<T()> work);
    static Hashed hashWith(const QString &password, int iterations);
    QString tokenCutoff() const;

    const Database &m_db;
    Options m_options;
    QObject m_mainThread;  // context that brings results back to the main thread
    QThreadPool m_pool;    // after it: destroying the pool waits for running hashes
    int m_inFlight = 0;
};
