#include "ServerOptions.h"

#include <QCommandLineParser>
#include <QStandardPaths>

ServerOptions ServerOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Papelo reference server"));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("TCP port (0 = any free port)."),
                                  QStringLiteral("PORT"), QStringLiteral("4000"));
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Address to listen on."),
                                  QStringLiteral("HOST"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("Directory of the store and image cache."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("Seed the demo site into an empty store."));
    const QCommandLineOption articles(QStringLiteral("articles"),
                                      QStringLiteral("Seed N plain articles into an empty store."), QStringLiteral("N"));
    const QCommandLineOption latency(QStringLiteral("latency"), QStringLiteral("Delay every answer by MS milliseconds."),
                                     QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption bareLists(QStringLiteral("bare-lists"),
                                       QStringLiteral("Leave likes and comments out of article lists (the older shape)."));
    parser.addOptions({port, host, data, demo, articles, latency, bareLists});
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return {};
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *error = parser.helpText();
        return {};
    }

    ServerOptions o;
    bool ok = false;
    const uint portValue = parser.value(port).toUInt(&ok);
    if (!ok || portValue > 65535) {
        *error = QStringLiteral("--port must be 0..65535");
        return {};
    }
    o.port = quint16(portValue);
    o.hostText = parser.value(host);
    if (o.hostText == QLatin1String("localhost"))
        o.host = QHostAddress(QHostAddress::LocalHost);
    else if (!o.host.setAddress(o.hostText)) {
        *error = QStringLiteral("--host must be an IP address");
        return {};
    }
    o.dataDir = parser.isSet(data) ? parser.value(data)
                                   : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    o.demo = parser.isSet(demo);
    o.bareLists = parser.isSet(bareLists);
    if (parser.isSet(articles)) {
        o.articles = parser.value(articles).toInt(&ok);
        if (!ok || o.articles < 1 || o.articles > 10000000) {
            *error = QStringLiteral("--articles must be 1..10000000");
            return {};
        }
    }
    o.latencyMs = parser.value(latency).toInt(&ok);
    if (!ok || o.latencyMs < 0 || o.latencyMs > 600000) {
        *error = QStringLiteral("--latency must be 0..600000");
        return {};
    }
    return o;
}
