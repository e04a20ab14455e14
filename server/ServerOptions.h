#pragma once

#include "http/TrustedProxies.h"

#include <QHostAddress>
#include <QString>

// The command line, validated. Errors are returned as text for stderr.
struct ServerOptions {
    QHostAddress host{QHostAddress::LocalHost};
    QString hostText = QStringLiteral("127.0.0.1");
    quint16 port = 4000;
    QString dataDir;
    bool demo = false;
    int articles = 0;
    int latencyMs = 0;
    bool bareLists = false;  // lists without likes/comments, the older shape
    TrustedProxies trustedProxies;  // none unless --trusted-proxy names them

    // Limits against abuse; server/README.md explains each.
    bool throttle = true;
    int loginAttempts = 5;
    int loginBackoffSeconds = 1;
    int loginBackoffMaxSeconds = 900;
    int commentsPerMinute = 5;
    int accountCommentsPerMinute = 10;
    int commentBytesPerArticle = 8 * 1024 * 1024;
    int pictureMegabytes = 256;
    int registrationsPerMinute = 5;
    int requestTimeoutSeconds = 20;
    int maxConnections = 1024;
    int maxConnectionsPerAddress = 64;
    int tokenDays = 30;
    int hashThreads = 1;  // parse() sets one less than the cores, at least one
    int hashQueue = 64;
    // Tests only: the limits read the time (milliseconds) from this file.
    QString clockFile;

    static ServerOptions parse(const QStringList &arguments, QString *error);
};
