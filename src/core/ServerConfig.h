#pragma once

#include <QString>

#include <optional>

namespace papelo {

// Process-wide configuration of where the reader talks to. Set once at start
// (command line and environment), read by APIClient and fullImageURL.
class ServerConfig {
public:
    static QString compiledBaseUrl();
    static QString compiledWebOrigin();

    // Absolute http(s) URL with a host, no query or fragment; a trailing "/"
    // is dropped so that "base + /api/..." never doubles it. nullopt if unusable.
    static std::optional<QString> normalizeBaseUrl(const QString &candidate);
    // A bare host name (letters, digits, dots, hyphens).
    static bool isValidWebOrigin(const QString &host);
    // Plain http to a host that is not this machine: passwords and tokens
    // would cross the network readable by anyone on the way. Unusable
    // addresses count as such too, so the warning errs towards showing.
    static bool sendsInTheClear(const QString &baseUrl);

    // Option wins over environment, environment over the compiled default.
    // Returns the chosen value unnormalised in `chosen` for error messages.
    static std::optional<QString> resolveBaseUrl(const QString &option, const QString &environment,
                                                 QString *chosen = nullptr);

    static QString baseUrl();
    static void setBaseUrl(const QString &normalized);
    static QString webOrigin();
    static void setWebOrigin(const QString &host);
};

} // namespace papelo
