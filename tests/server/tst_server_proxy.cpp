// The shipped nginx site in front of the real server, over TLS with a
// throwaway certificate authority that only this test's processes trust:
// the built reader shows the home tab and an article with its pictures over
// https, sign-in and a comment go through, forwarded clients are limited
// separately, a forged X-Forwarded-For changes nothing, and a certificate
// nobody trusts stops every connection before a request is sent.
//
// Trust without touching the machine's store: the reader's Qt side (API,
// cards) runs in a mount namespace of its own where /etc/ssl/certs, the
// directory Qt's OpenSSL backend reads, holds only the test CA; its web
// engine verifies through NSS, whose database lives under a temporary HOME.
#include "NginxProcess.h"
#include "ServerTestKit.h"

#include <QSslCertificate>
#include <QSslConfiguration>

#include <unistd.h>

using namespace papelo;

class ServerProxyTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_ca, m_stranger;  // certificate directories: trusted, trusted by nobody
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<NginxProcess> m_nginx;
    qint64 m_pictured = 0;  // an article whose body has pictures

    // The built reader, with a home of its own; its web engine trusts the
    // test CA only when engineTrusts. Returns the reader's exit code.
    int runReader(const QString &url, const QStringList &view, bool engineTrusts, const QString &name)
    {
        const QString home = m_dir.filePath(name);
        QDir().mkpath(home + QStringLiteral("/.pki/nssdb"));
        if (engineTrusts) {
            const QString db = QStringLiteral("sql:") + home + QStringLiteral("/.pki/nssdb");
            QProcess certutil;
            certutil.start(QStringLiteral("certutil"), {"-N", "-d", db, "--empty-password"});
            certutil.waitForFinished();
            certutil.start(QStringLiteral("certutil"), {"-A", "-d", db, "-n", "papelo-test", "-t", "C,,", "-i",
                                                        m_ca + QStringLiteral("/ca.pem")});
            if (!certutil.waitForFinished() || certutil.exitCode() != 0)
                return -1;
        }
        QProcess reader;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        for (const char *xdg : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
            env.insert(QString::fromLatin1(xdg), home + QLatin1Char('/') + QLatin1String(xdg));
        reader.setProcessEnvironment(env);
        reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        reader.start(QStringLiteral("unshare"),
                     QStringList{::geteuid() == 0 ? "-m" : "-rm", "sh", "-c",
                                 "mount --bind \"$0\" /etc/ssl/certs && exec \"$@\"", m_ca + QStringLiteral("/certs"),
                                 PAPELO_BINARY, "--server", url, "--screenshot", home + QStringLiteral("/shot.png")}
                         + view);
        return reader.waitForFinished(90000) ? reader.exitCode() : -1;
    }
    int logged(const QString &needle) const
    {
        return int(m_nginx->accessLog().filter(needle).size());
    }

private slots:
    void initTestCase()
    {
        m_ca = m_dir.filePath(QStringLiteral("ca"));
        m_stranger = m_dir.filePath(QStringLiteral("stranger"));
        QString error;
        for (const QString &dir : {m_ca, m_stranger})
            QVERIFY2(QDir().mkpath(dir) && NginxProcess::makeCertificates(dir, &error), qPrintable(error));
        // This process's own API clients trust the test CA too.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(QSslCertificate::fromPath(m_ca + QStringLiteral("/ca.pem")));
        QSslConfiguration::setDefaultConfiguration(tls);

        m_server = std::make_unique<ServerProcess>(
            ServerProcess::Options{.extraArguments = kit::args("--trusted-proxy 127.0.0.1 --comments-per-minute 1"), .throttle = true});
        QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
        m_nginx = std::make_unique<NginxProcess>(NginxProcess::Site{m_server->port(), m_ca + QStringLiteral("/server.pem"),
                                                                    m_ca + QStringLiteral("/server.key")});
        QVERIFY2(m_nginx->start(), qPrintable(m_nginx->errorString()));
    }

    void readerOverHttps()
    {
        const auto client = APIClient::create(m_nginx->httpsUrl());
        for (const Article &a : kit::get(client->fetchArticles({}, {}, {}, {})).items) {
            const ArticleDetail detail = kit::get(client->fetchArticleDetail(a.id));
            // Absolute picture addresses follow the proxy's scheme and the reader's host and port.
            if (detail.body.contains(m_nginx->httpsUrl() + QStringLiteral("/images/body/"))) {
                m_pictured = a.id;
                break;
            }
        }
        QVERIFY(m_pictured > 0);
        QCOMPARE(runReader(m_nginx->httpsUrl(), {}, true, QStringLiteral("home")), 0);
        QVERIFY(logged(QStringLiteral(" 200 GET /images/thumb/")) > 0);  // cards, through Qt
        QCOMPARE(runReader(m_nginx->httpsUrl(), {"--article", QString::number(m_pictured)}, true,
                           QStringLiteral("article")),
                 0);
        const QString body = QStringLiteral(" 200 GET /images/body/%1-").arg(m_pictured);
        QVERIFY(logged(body) > 0);  // the body's pictures, through the engine and NSS
        QVERIFY(logged(QStringLiteral("HTTP/2.0")) > 0);

        const LoginResponse signedIn = kit::get(client->login(QStringLiteral("demo"), QStringLiteral("demo1234")));
        QCOMPARE(kit::get(client->fetchMe(signedIn.token)).user.username, QStringLiteral("demo"));
        kit::get(client->postComment(m_pictured, QStringLiteral("经由代理"), signedIn.user.username));
        const QList<Comment> comments = kit::get(client->fetchComments(m_pictured));
        QVERIFY(std::any_of(comments.begin(), comments.end(), [](const Comment &c) { return c.content == "经由代理"; }));

        // Without the CA in its NSS database the engine fetches none of the
        // pictures, while the API (Qt) still works.
        const int before = logged(body);
        const QString opened = QStringLiteral(" 200 GET /api/article/%1 ").arg(m_pictured);
        const int openedBefore = logged(opened);
        QCOMPARE(runReader(m_nginx->httpsUrl(), {"--article", QString::number(m_pictured)}, false,
                           QStringLiteral("engine-distrusts")),
                 0);
        QCOMPARE(logged(opened), openedBefore + 1);
        QCOMPARE(logged(body), before);
    }

    void forwardedClientsThrottledSeparately()
    {
        const QByteArray comment = QJsonDocument(QJsonObject{{"article_id", 3}, {"content", "好"}}).toJson();
        for (const QStringList &step : data::rows(QStringLiteral("server/proxied-comments.tsv")).mid(1)) {
            const QString forged = step.at(3).isEmpty() ? QString() : QStringLiteral("X-Forwarded-For: ") + step.at(3);
            int status = 0;
            if (step.at(1) == QLatin1String("nginx")) {
                QProcess curl;
                curl.start(QStringLiteral("curl"), {"-s", "-o", "/dev/null", "-w", "%{http_code}", "--cacert", m_ca + QStringLiteral("/ca.pem"),
                                                    "--interface", step.at(2), "-H", "Content-Type: application/json", "-H", forged,
                                                    "--data-binary", QString::fromUtf8(comment), m_nginx->httpsUrl() + QStringLiteral("/api/comment")});
                status = curl.waitForFinished(30000) ? curl.readAllStandardOutput().toInt() : 0;
            } else {
                status = kit::request(m_server->port(), "POST /api/comment", comment, "Content-Type: application/json\r\n" + forged.toLatin1() + "\r\n",
                                      qPrintable(step.at(2))).status;
            }
            QVERIFY2(status == step.at(4).toInt(), qPrintable(step.first()));
        }
    }

    void untrustedCertificateSendsNothing()
    {
        NginxProcess stranger({m_server->port(), m_stranger + QStringLiteral("/server.pem"),
                               m_stranger + QStringLiteral("/server.key")});
        QVERIFY2(stranger.start(), qPrintable(stranger.errorString()));
        const Result<StatsResponse> stats = QCoro::waitFor(APIClient::create(stranger.httpsUrl())->fetchStats());
        QVERIFY(!stats.ok());
        QCOMPARE(stats.error().description(), QStringLiteral("无法建立安全连接（证书或加密协商失败）"));
        QCOMPARE(runReader(stranger.httpsUrl(), {}, true, QStringLiteral("stranger")), 0);
        stranger.stop();
        QCOMPARE(stranger.accessLog(), QStringList());
    }

    void cleanupTestCase()
    {
        m_nginx.reset();
        QVERIFY(!m_server || m_server->stop());
    }
};

QTEST_GUILESS_MAIN(ServerProxyTest)
#include "tst_server_proxy.moc"
