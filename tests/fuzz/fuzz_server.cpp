// The server's routes in memory, no sockets: the input is one request (a
// "METHOD target" line, header lines, an empty line, the body) dispatched
// through the real routes, body reader and store, seeded with the demo site
// on /dev/shm. Each request gets an answer or a refusal: never a server
// fault (5xx other than 503), never a JSON body that does not parse, never a
// refusal without its message. "$TOKEN" in a header is the demo account's
// bearer token, so signed-in routes are reached too. The request arrives
// from a trusted proxy, so its forwarding headers are read as well: the
// client found is the proxy or an address it forwarded, never nothing.
#include "FuzzInput.h"
#include "demo/Seeder.h"
#include "http/HttpFrontend.h"
#include "http/TrustedProxies.h"
#include "routes/Routes.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QTemporaryDir>

struct Site {
    QTemporaryDir dir{QStringLiteral("/dev/shm/papelo-fuzz-XXXXXX")};
    Database db;
    // Few iterations: at the real cost sign-ins would be the whole run.
    Auth auth{db, {1000, 30, 1, 64}};
    ArticleStore articles{db};
    ImageFactory images{dir.path()};
    // Off, as with --no-throttle: one fuzzing client would otherwise be refused everything.
    Throttles throttles{false, LoginThrottle({}), RateLimit(5), RateLimit(5), RateLimit(5)};
    AnswerCache cache{16 * 1024 * 1024};
    CommentAnswers commentAnswers{dir.path() + QStringLiteral("/papelo.sqlite")};
    Services services{db, articles, auth, images, throttles, cache, commentAnswers};
    Router router;
    QByteArray token;
    TrustedProxies proxies;
};
static Site *site = nullptr;

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(qtArgc, qtArgv);
    site = new Site;
    if (!site->dir.isValid() || !site->db.open(site->dir.path()) || !Seeder(site->db, site->auth).seedDemo())
        std::abort();
    std::atexit([] { site->dir.remove(); });
    site->proxies.add(QStringLiteral("127.0.0.0/8"));
    site->proxies.add(QStringLiteral("::1"));
    for (const auto add : {addReadingRoutes, addInteractionRoutes, addAccountRoutes, addImageRoutes})
        add(site->router, site->services);
    const QVariant demo = site->db.scalar(QStringLiteral("SELECT id FROM users WHERE username = 'demo'"));
    site->token = site->auth.issueToken(demo.toLongLong()).toUtf8();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf("\n\n");
    QList<QByteArray> lines = input.left(split).split('\n');
    const QList<QByteArray> start = lines.takeFirst().split(' ');
    const QUrl target(QString::fromUtf8(start.value(1)));

    HttpRequest request;
    request.method = start.value(0);
    request.path = target.path();
    request.query = QUrlQuery(target);
    request.body = split < 0 ? QByteArray() : input.mid(split + 2);
    request.remote = QHostAddress::LocalHost;
    request.localHost = QStringLiteral("127.0.0.1:4000");
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon), line.mid(colon + 1).trimmed().replace("$TOKEN", site->token)});
    }
    if (request.body.size() > HttpFrontend::maxBodyBytes)
        return -1;  // refused by the front end before routing
    site->proxies.apply(request);
    const QString origin = request.origin();
    if (request.remote.isNull() || !(origin.startsWith(QLatin1String("http://")) || origin.startsWith(QLatin1String("https://"))))
        fuzz::violated(QStringLiteral("forwarded to %1, origin %2").arg(request.remote.toString(), origin));

    // Sign-ins hash on a pool and finish through the event loop.
    const HttpAnswer answer = site->router.dispatch(request);
    while (!answer.isReady() && !answer.later().isFinished())
        QCoreApplication::processEvents();
    const HttpReply reply = answer.isReady() ? answer.reply() : answer.later().result();
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(reply.body, &error);
    const bool isJson = reply.contentType.startsWith("application/json");
    if (reply.status < 200 || (reply.status >= 500 && reply.status != 503)
        || (isJson && error.error != QJsonParseError::NoError)
        || (reply.status >= 400 && json.object().value(QStringLiteral("error")).toString().isEmpty()))
        fuzz::violated(QStringLiteral("%1 %2 answered %3: %4")
                           .arg(QString::fromUtf8(request.method), request.path, QString::number(reply.status),
                                QString::fromUtf8(reply.body.left(300))));
    return 0;
}
