// Whom a request stands for behind a reverse proxy: the trusted-proxy list,
// X-Forwarded-For walked from the right, X-Forwarded-Proto in absolute URLs.

#include "http/TrustedProxies.h"
#include "limits/ClientKey.h"

#include <QtTest>

class ServerForwardingTest : public QObject {
    Q_OBJECT

    static TrustedProxies proxies()
    {
        TrustedProxies p;
        for (const char *s : {"127.0.0.1", "10.0.0.0/8", "fd00::/8"})
            p.add(QString::fromLatin1(s));
        return p;
    }

private slots:
    void subnets_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed");  // "address/bits", empty when refused
        QTest::newRow("v4") << "192.0.2.7" << "192.0.2.7/32";
        QTest::newRow("v4 net") << "10.0.0.0/8" << "10.0.0.0/8";
        QTest::newRow("v6") << "::1" << "::1/128";
        QTest::newRow("v6 net") << "fd00::/8" << "fd00::/8";
        QTest::newRow("mapped v4") << "::ffff:10.1.2.3/32" << "10.1.2.3/32";
        QTest::newRow("v4 bits too wide") << "10.0.0.0/33" << "";
        QTest::newRow("leading zero bits") << "10.0.0.0/08" << "";
        QTest::newRow("empty bits") << "10.0.0.0/" << "";
        QTest::newRow("short v4") << "127.1" << "";
        QTest::newRow("octal-looking v4") << "010.0.0.1" << "";
        QTest::newRow("name") << "localhost" << "";
        QTest::newRow("zone id") << "fe80::1%eth0" << "";
        QTest::newRow("netmask form") << "10.0.0.0/255.0.0.0" << "";
        QTest::newRow("space") << " 10.0.0.1" << "";
    }
    void subnets()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        const auto subnet = TrustedProxies::parseSubnet(text);
        QCOMPARE(subnet ? subnet->first.toString() + QLatin1Char('/') + QString::number(subnet->second) : QString(),
                 parsed);
    }

    void client_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QByteArray>("forwardedFor"); // header values, "|" between repeated headers
        QTest::addColumn<QString>("client");
        QTest::newRow("direct client's forgery ignored") << "198.51.100.9" << QByteArray("203.0.113.5") << "198.51.100.9";
        QTest::newRow("proxy without header") << "127.0.0.1" << QByteArray() << "127.0.0.1";
        QTest::newRow("client appended by proxy") << "127.0.0.1" << QByteArray("203.0.113.5") << "203.0.113.5";
        QTest::newRow("forgery left of real client") << "127.0.0.1" << QByteArray("1.1.1.1, 203.0.113.5") << "203.0.113.5";
        QTest::newRow("trusted hops skipped") << "127.0.0.1" << QByteArray("203.0.113.5, 10.1.1.1 ,10.2.2.2") << "203.0.113.5";
        QTest::newRow("repeated headers are one list") << "127.0.0.1" << QByteArray("203.0.113.5|10.1.1.1") << "203.0.113.5";
        QTest::newRow("all trusted: leftmost") << "127.0.0.1" << QByteArray("10.3.3.3, 10.1.1.1") << "10.3.3.3";
        QTest::newRow("ports and brackets") << "127.0.0.1" << QByteArray("[2001:db8::5]:443") << "2001:db8::5";
        QTest::newRow("v4 with port") << "127.0.0.1" << QByteArray("203.0.113.5:5000") << "203.0.113.5";
        QTest::newRow("mapped peer and entry") << "::ffff:127.0.0.1" << QByteArray("::ffff:203.0.113.5") << "203.0.113.5";
        QTest::newRow("garbage stays the hop's") << "127.0.0.1" << QByteArray("203.0.113.5, unknown") << "127.0.0.1";
        QTest::newRow("garbage behind a trusted hop") << "127.0.0.1" << QByteArray("evil, 10.1.1.1") << "10.1.1.1";
        QTest::newRow("name is garbage") << "127.0.0.1" << QByteArray("localhost") << "127.0.0.1";
        QTest::newRow("short v4 is garbage") << "127.0.0.1" << QByteArray("127.1") << "127.0.0.1";
        QTest::newRow("empty entries skipped") << "127.0.0.1" << QByteArray("203.0.113.5,, ,") << "203.0.113.5";
        QTest::newRow("bad port") << "127.0.0.1" << QByteArray("203.0.113.5:http") << "127.0.0.1";
        QTest::newRow("unclosed bracket") << "127.0.0.1" << QByteArray("[2001:db8::5") << "127.0.0.1";
        QTest::newRow("overlong chain stops at a trusted hop") << "127.0.0.1" << "203.0.113.5" + QByteArray(", 10.0.0.1").repeated(40)
                                                              << "10.0.0.1";
    }
    void client()
    {
        QFETCH(QString, peer);
        QFETCH(QByteArray, forwardedFor);
        QFETCH(QString, client);
        const QByteArrayList headers = forwardedFor.isEmpty() ? QByteArrayList() : forwardedFor.split('|');
        QCOMPARE(proxies().client(QHostAddress(peer), headers).toString(), client);
    }

    // The buckets per-client limits count under, with their allowances.
    void buckets_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("buckets");
        QTest::newRow("v4") << "192.0.2.7" << "192.0.2.7 x1";
        QTest::newRow("mapped v4") << "::ffff:192.0.2.7" << "192.0.2.7 x1";
        QTest::newRow("v6") << "2001:db8:1:2ff:3:4:5:6" << "2001:db8:1:2ff::/64 x1, 2001:db8:1:200::/56 x4, 2001:db8:1::/48 x16";
    }
    void buckets()
    {
        QFETCH(QString, address);
        QFETCH(QString, buckets);
        QStringList found;
        for (const ClientKey &key : clientKeys(QHostAddress(address)))
            found << QStringLiteral("%1 x%2").arg(key.key).arg(key.share);
        QCOMPARE(found.join(QStringLiteral(", ")), buckets);
        QCOMPARE(clientKey(QHostAddress(address)), clientKeys(QHostAddress(address)).first().key);
    }

    void origin_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QByteArrayList>("protos");
        QTest::addColumn<QString>("origin");
        QTest::newRow("proxy says https") << "127.0.0.1" << QByteArrayList{" HTTPS "} << "https://news.example:8443";
        QTest::newRow("proxy says http") << "127.0.0.1" << QByteArrayList{"http"} << "http://news.example:8443";
        QTest::newRow("unknown scheme") << "127.0.0.1" << QByteArrayList{"ftp"} << "http://news.example:8443";
        QTest::newRow("list of schemes") << "127.0.0.1" << QByteArrayList{"https, http"} << "http://news.example:8443";
        QTest::newRow("two headers") << "127.0.0.1" << QByteArrayList{"https", "https"} << "http://news.example:8443";
        QTest::newRow("direct client's claim") << "198.51.100.9" << QByteArrayList{"https"} << "http://news.example:8443";
    }
    void origin()
    {
        QFETCH(QString, peer);
        QFETCH(QByteArrayList, protos);
        QFETCH(QString, origin);
        HttpRequest r;
        r.remote = QHostAddress(peer);
        r.headers = {{"Host", "news.example:8443"}, {"X-Forwarded-For", "203.0.113.5"}};
        for (const QByteArray &p : protos)
            r.headers.append({"x-forwarded-proto", p});
        proxies().apply(r);
        QCOMPARE(r.origin(), origin);
        QCOMPARE(r.remote.toString(), peer == QLatin1String("127.0.0.1") ? QStringLiteral("203.0.113.5") : peer);
    }
};

QTEST_GUILESS_MAIN(ServerForwardingTest)
#include "tst_server_forwarding.moc"
