#pragma once

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

    static ServerOptions parse(const QStringList &arguments, QString *error);
};
