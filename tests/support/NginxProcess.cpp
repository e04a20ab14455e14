#include "NginxProcess.h"

#include "DataTable.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <unistd.h>

namespace {

bool run(const QString &program, const QStringList &arguments, QString *error)
{
    QProcess p;
    p.start(program, arguments);
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    *error = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QStringLiteral(": ")
           + QString::fromLocal8Bit(p.readAllStandardError());
    return false;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

NginxProcess::NginxProcess(Site site) : m_site(std::move(site)) {}

NginxProcess::~NginxProcess() { stop(); }

quint16 NginxProcess::freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool NginxProcess::makeCertificates(const QString &dir, QString *error)
{
    const auto path = [&](const char *name) { return dir + QLatin1Char('/') + QLatin1String(name); };
    const QString openssl = QStringLiteral("openssl");
    return run(openssl, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "2",
                         "-subj", "/CN=Papelo test CA " + dir.section(QLatin1Char('/'), -1), "-keyout", path("ca.key"),
                         "-out", path("ca.pem")}, error)
        && run(openssl, {"req", "-x509", "-CA", path("ca.pem"), "-CAkey", path("ca.key"), "-newkey", "ec", "-pkeyopt",
                         "ec_paramgen_curve:P-256", "-nodes", "-days", "2", "-subj", "/CN=localhost", "-addext",
                         "subjectAltName=DNS:localhost,IP:127.0.0.1", "-addext", "basicConstraints=CA:FALSE", "-addext",
                         "extendedKeyUsage=serverAuth", "-keyout", path("server.key"), "-out", path("server.pem")}, error)
        && QDir(dir).mkpath(QStringLiteral("certs")) && QFile::copy(path("ca.pem"), path("certs/ca.pem"))
        && run(openssl, {"rehash", path("certs")}, error);
}

bool NginxProcess::start(int timeoutMs)
{
    QFile example(QStringLiteral(PAPELO_SOURCE_DIR "/packaging/nginx/papelo-server.conf"));
    if (!m_prefix.isValid() || !example.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("no prefix or no example site");
        return false;
    }
    m_httpsPort = freePort();
    m_httpPort = freePort();
    QString site = QString::fromUtf8(example.readAll());
    const auto replace = [&site](const char *pattern, const QString &with) {
        site.replace(QRegularExpression(QString::fromLatin1(pattern), QRegularExpression::MultilineOption), with);
    };
    replace(R"(^\s*listen \[::\]:\d+.*;$)", QString());  // loopback IPv4 only
    replace(R"(listen 443 )", QStringLiteral("listen 127.0.0.1:%1 ").arg(m_httpsPort));
    replace(R"(listen 80;)", QStringLiteral("listen 127.0.0.1:%1;").arg(m_httpPort));
    replace(R"(ssl_certificate \S+;)", QStringLiteral("ssl_certificate %1;").arg(m_site.certificate));
    replace(R"(ssl_certificate_key \S+;)", QStringLiteral("ssl_certificate_key %1;").arg(m_site.key));
    replace(R"(server 127\.0\.0\.1:4000;)", QStringLiteral("server 127.0.0.1:%1;").arg(m_site.upstreamPort));

    if (!m_site.files.isEmpty())
        site = QString::fromUtf8(data::bytes(QStringLiteral("server/nginx-files.conf"))).arg(m_httpPort).arg(m_site.files);
    const QString p = m_prefix.path();
    // As root, workers reach the prefix as its owner.
    const QString conf = QString::fromUtf8(data::bytes(QStringLiteral("server/nginx.conf")))
                             .arg(p, ::geteuid() == 0 ? QStringLiteral("user root root;") : QString());
    if (!writeFile(p + QStringLiteral("/site.conf"), site.toUtf8()) || !writeFile(p + QStringLiteral("/nginx.conf"), conf.toUtf8())) {
        m_error = QStringLiteral("cannot write the configuration");
        return false;
    }
    const QString binary = QFile::exists(QStringLiteral("/usr/sbin/nginx")) ? QStringLiteral("/usr/sbin/nginx")
                                                                               : QStringLiteral("nginx");
    const quint16 probed = m_site.files.isEmpty() ? m_httpsPort : m_httpPort;
    const auto listening = [probed] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, probed);
        return probe.waitForConnected(200);
    };
    const bool ready = launch(binary, {"-p", p + QLatin1Char('/'), "-c", p + QStringLiteral("/nginx.conf"), "-e",
                                       p + QStringLiteral("/error.log")},
                              listening, timeoutMs);
    QFile log(p + QStringLiteral("/error.log"));
    if (!ready && log.open(QIODevice::ReadOnly))
        m_error += QStringLiteral("; error log: ") + QString::fromLocal8Bit(log.readAll());
    return ready;
}

// SIGQUIT is graceful: the workers finish and exit with the master.
void NginxProcess::stop() { halt(SIGQUIT, 10000); }

QStringList NginxProcess::accessLog() const
{
    QFile log(m_prefix.path() + QStringLiteral("/access.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
