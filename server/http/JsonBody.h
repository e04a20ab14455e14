#pragma once

#include "http/HttpTypes.h"

#include <QJsonObject>

#include <optional>

// Reads a POST body as one JSON object with typed fields. Every problem
// becomes a 400 reply whose message names the field; nothing is guessed.
class JsonBody {
public:
    explicit JsonBody(const HttpRequest &request);

    bool ok() const { return !m_failure; }
    HttpReply failure() const { return *m_failure; }

    // Required string; fails when missing, null or not a string.
    QString string(const char *key);
    // Optional string: missing or null gives nullopt; another kind fails.
    std::optional<QString> optionalString(const char *key);
    // Required whole number within [1, 2^53]; fails for fractions, strings, huge values.
    qint64 id(const char *key);
    std::optional<qint64> optionalId(const char *key);

private:
    void fail(const QString &message);

    QJsonObject m_object;
    std::optional<HttpReply> m_failure;
};
