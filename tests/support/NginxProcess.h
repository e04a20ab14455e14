#pragma once

#include "ChildProcess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// nginx from the Debian package as a process of the test's own, never the
// distribution's service: a temporary prefix with its configuration, pid
// file, temp paths and logs (-p, -c, -e), free loopback ports, stopped by
// stop() or the destructor. The site is the shipped example
// (packaging/nginx/papelo-server.conf) with only its ports, certificate and
// upstream rewritten, so what is tested is what users copy.
class NginxProcess : public ChildProcess {
public:
    struct Site {
        quint16 upstreamPort = 0;
        QString certificate;  // PEM chain and key for "localhost" / 127.0.0.1
        QString key;
        // Instead of the example site: this directory's files as JSON over plain
        // http on httpPort() (the benches' reference).
        QString files;
    };

    explicit NginxProcess(Site site);
    ~NginxProcess();

    bool start(int timeoutMs = 10000);
    void stop();
    quint16 httpPort() const { return m_httpPort; }
    QString httpsUrl() const { return QStringLiteral("https://localhost:%1").arg(m_httpsPort); }
    // One line per request: "<client> <status> <method> <path>".
    QStringList accessLog() const;

    // A throwaway certificate authority in dir (ca.pem) and a certificate it
    // signed for localhost and 127.0.0.1 (server.pem, server.key), with the
    // openssl tool; also dir/certs/, an OpenSSL hashed directory holding the CA.
    static bool makeCertificates(const QString &dir, QString *error);
    // A port the kernel just handed out and took back: it stays free for the test.
    static quint16 freePort();

private:
    Site m_site;
    QTemporaryDir m_prefix;
    quint16 m_httpsPort = 0;
    quint16 m_httpPort = 0;
};
