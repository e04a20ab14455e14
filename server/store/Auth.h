#pragma once

#include "store/Database.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Passwords (salted PBKDF2-SHA256) and bearer tokens (256 random bits, stored
// only as their SHA-256). Main thread only, like the database.
class Auth {
public:
    static constexpr int defaultIterations = 120000;

    Auth(const Database &db, int iterations) : m_db(db), m_iterations(iterations) {}

    struct Hashed {
        QByteArray salt;
        QByteArray hash;
        int iterations = 0;
    };
    Hashed hashPassword(const QString &password) const;
    static bool verifyPassword(const QString &password, const QByteArray &salt, const QByteArray &hash, int iterations);

    // Issues and stores a new token for the user; empty on failure.
    QString issueToken(qint64 userId) const;
    // The user id behind a bearer token, if valid.
    std::optional<qint64> userForToken(const QByteArray &token) const;

    // Validation messages for registration; empty when the value is fine.
    static QString checkUsername(const QString &username);
    static QString checkEmail(const QString &email);
    static QString checkPassword(const QString &password);

private:
    const Database &m_db;
    int m_iterations;
};
