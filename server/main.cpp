#include "store/ArticleStore.h"
#include "store/Auth.h"
#include "store/Database.h"
#include "http/HttpFrontend.h"
#include "demo/ImageFactory.h"
#include "routes/Routes.h"
#include "demo/Seeder.h"
#include "ServerOptions.h"

#include <QFile>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void printError(const QString &text) { std::fprintf(stderr, "papelo-server: %s\n", qPrintable(text)); }

// The connection limit is meant to be reached before the descriptor limit:
// take the whole hard limit, which is often far above the default soft one.
void raiseDescriptorLimit()
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char **argv)
{
    // The store holds password hashes and tokens, the pictures are the site's:
    // everything the server creates is for its own user only.
    ::umask(0077);
    // Only QPainter needs the GUI module; the server must run headless.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("papelo-server"));
    QCoreApplication::setOrganizationName(QStringLiteral("Papelo"));

    QString error;
    const ServerOptions options = ServerOptions::parse(app.arguments(), &error);
    if (!error.isEmpty()) {
        printError(error);
        return 2;
    }

    // SIGINT/SIGTERM reach the event loop through a socket pair, so shutdown
    // runs normal destructors and the store is closed cleanly. Installed before
    // seeding: a signal during a long seed then ends the run after it, not mid-write.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        printError(QStringLiteral("cannot install signal handlers"));
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    Database db;
    if (!db.open(options.dataDir)) {
        printError(QStringLiteral("cannot open the store: %1").arg(db.errorString()));
        return 1;
    }
    Auth auth(db, {Auth::defaultIterations, options.tokenDays, options.hashThreads, options.hashQueue});
    auth.pruneTokens();
    Seeder seeder(db, auth);
    if ((options.demo || options.articles > 0) && seeder.isEmpty()) {
        const bool seeded = options.articles > 0 ? seeder.seedArticles(options.articles) : seeder.seedDemo();
        if (!seeded) {
            printError(QStringLiteral("seeding failed: %1").arg(seeder.errorString()));
            return 1;
        }
    }

    ArticleStore articles(db, options.bareLists, options.commentBytesPerArticle);
    ImageFactory images(options.dataDir, qint64(options.pictureMegabytes) * 1024 * 1024);
    const auto seconds = [](int s) { return qint64(s) * 1000; };
    LoginThrottle::Policy signIns;
    signIns.freeFailures = options.loginAttempts;
    signIns.baseMs = seconds(options.loginBackoffSeconds);
    signIns.maxMs = seconds(options.loginBackoffMaxSeconds);
    Throttles throttles{options.throttle, LoginThrottle(signIns), RateLimit(options.commentsPerMinute),
                        RateLimit(options.accountCommentsPerMinute), RateLimit(options.registrationsPerMinute)};
    if (!options.clockFile.isEmpty()) {
        throttles.clock = [path = options.clockFile] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : qint64(0);
        };
    }
    // Expired tokens and stale throttle entries are dropped as the server runs.
    QTimer housekeeping;
    QObject::connect(&housekeeping, &QTimer::timeout, &app, [&auth, &throttles] {
        auth.pruneTokens();
        throttles.prune();
    });
    housekeeping.start(60 * 1000);
    // Answers many readers ask for alike, kept while current; comments are built off the event loop.
    AnswerCache cache(64 * 1024 * 1024);
    CommentAnswers commentAnswers(db.filePath());
    Services services{db, articles, auth, images, throttles, cache, commentAnswers};
    Router router;
    addReadingRoutes(router, services);
    addInteractionRoutes(router, services);
    addAccountRoutes(router, services);
    addImageRoutes(router, services);

    raiseDescriptorLimit();
    HttpFrontend frontend(router,
                          {options.maxConnectionsPerAddress, options.maxConnections, options.requestTimeoutSeconds * 1000},
                          options.trustedProxies, options.latencyMs);
    const quint16 port = frontend.start(options.host, options.port);
    if (port == 0) {
        printError(QStringLiteral("cannot listen on %1:%2: %3").arg(options.hostText).arg(options.port).arg(frontend.errorString()));
        return 1;
    }

    const QString shownHost = options.host.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + options.hostText + QLatin1Char(']')
        : options.hostText;
    std::printf("papelo-server listening on http://%s:%u\n", qPrintable(shownHost), unsigned(port));
    std::fflush(stdout);
    const int code = app.exec();
    articles.flushViews();
    commentAnswers.close();
    db.close();
    return code;
}
