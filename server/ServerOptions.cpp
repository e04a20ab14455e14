#include "ServerOptions.h"

#include <QCommandLineParser>
#include <QStandardPaths>
#include <QThread>

#include <vector>

namespace {

// A whole-number flag with its bounds and the field it fills.
struct NumberFlag {
    QCommandLineOption option;
    int min;
    int max;
    int *target;
};

} // namespace

ServerOptions ServerOptions::parse(const QStringList &arguments, QString *error)
{
    ServerOptions o;
    o.hashThreads = qMax(1, QThread::idealThreadCount() - 1);

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
    const QCommandLineOption noThrottle(QStringLiteral("no-throttle"),
                                        QStringLiteral("Turn off sign-in back-off and the per-minute limits."));
    const auto number = [](const char *name, const char *help, const char *value, int *target, int min, int max) {
        return NumberFlag{QCommandLineOption(QString::fromLatin1(name),
                                             QString::fromLatin1(help) + QStringLiteral(" Default %1.").arg(*target),
                                             QString::fromLatin1(value), QString::number(*target)),
                          min, max, target};
    };
    const std::vector<NumberFlag> numbers = {
        number("latency", "Delay every answer by MS milliseconds.", "MS", &o.latencyMs, 0, 600000),
        number("login-attempts", "Failed sign-ins per address or name before back-off.", "N", &o.loginAttempts, 1, 1000),
        number("login-backoff", "First back-off after those, doubling with each further failure.", "SECONDS",
               &o.loginBackoffSeconds, 1, 86400),
        number("login-backoff-max", "Longest back-off; a key is forgotten after this long without failures.", "SECONDS",
               &o.loginBackoffMaxSeconds, 1, 604800),
        number("comments-per-minute", "Comments a guest address may post per minute.", "N", &o.commentsPerMinute, 1, 100000),
        number("account-comments-per-minute", "Comments a signed-in account may post per minute.", "N",
               &o.accountCommentsPerMinute, 1, 100000),
        number("comment-bytes-per-article", "Bytes an article's comments may take in its answer, at most.", "BYTES",
               &o.commentBytesPerArticle, 1, 32 * 1024 * 1024),
        number("picture-megabytes", "MiB of drawn pictures kept on disk; the least recently served go first.", "MB",
               &o.pictureMegabytes, 1, 1000000),
        number("registrations-per-minute", "Registrations per address per minute.", "N", &o.registrationsPerMinute, 1, 100000),
        number("request-timeout", "Seconds a request may take to arrive; idle connections close after as long.", "SECONDS",
               &o.requestTimeoutSeconds, 1, 3600),
        number("max-connections", "Open connections in all; more are answered 503.", "N", &o.maxConnections, 1, 1000000),
        number("max-connections-per-address", "Open connections per client address.", "N", &o.maxConnectionsPerAddress, 1,
               1000000),
        number("token-days", "Days a sign-in token stays valid.", "DAYS", &o.tokenDays, 1, 36500),
        number("hash-threads", "Threads that hash passwords.", "N", &o.hashThreads, 1, 256),
        number("hash-queue", "Password hashes queued before sign-ins are answered 503.", "N", &o.hashQueue, 1, 1000000),
    };
    const QCommandLineOption trustedProxy(
        QStringLiteral("trusted-proxy"),
        QStringLiteral("Believe X-Forwarded-For and X-Forwarded-Proto from this reverse proxy (repeatable)."),
        QStringLiteral("ADDRESS[/BITS]"));
    QCommandLineOption clockFile(QStringLiteral("clock-file"),
                                 QStringLiteral("Tests only: read the limits' clock (milliseconds) from this file."),
                                 QStringLiteral("PATH"));
    clockFile.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption bareLists(QStringLiteral("bare-lists"),
                                       QStringLiteral("Leave likes and comments out of article lists (the older shape)."));
    parser.addOptions({port, host, data, demo, articles, noThrottle, bareLists, trustedProxy, clockFile});
    for (const NumberFlag &flag : numbers)
        parser.addOption(flag.option);
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return {};
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *error = parser.helpText();
        return {};
    }

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
    o.throttle = !parser.isSet(noThrottle);
    o.clockFile = parser.value(clockFile);
    for (const QString &proxy : parser.values(trustedProxy)) {
        if (!o.trustedProxies.add(proxy)) {
            *error = QStringLiteral("--trusted-proxy must be an IP address or ADDRESS/BITS, not \"%1\"").arg(proxy);
            return {};
        }
    }
    for (const NumberFlag &flag : numbers) {
        const int value = parser.value(flag.option).toInt(&ok);
        if (!ok || value < flag.min || value > flag.max) {
            *error = QStringLiteral("--%1 must be %2..%3").arg(flag.option.names().first()).arg(flag.min).arg(flag.max);
            return {};
        }
        *flag.target = value;
    }
    return o;
}
