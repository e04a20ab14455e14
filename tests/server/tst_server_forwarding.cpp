// Whom a request stands for behind a reverse proxy: the trusted-proxy list,
// X-Forwarded-For walked from the right, X-Forwarded-Proto in absolute URLs.

#include "DataTable.h"
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
    void subnets_data() { data::table<QString, QString>(QStringLiteral("server/subnets.tsv")); }
    void subnets()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        const auto subnet = TrustedProxies::parseSubnet(text);
        QCOMPARE(subnet ? subnet->first.toString() + QLatin1Char('/') + QString::number(subnet->second) : QString(), parsed);
    }

    void client_data() { data::table<QString, QByteArray, QString>(QStringLiteral("server/forwarded-for.tsv")); }
    void client()
    {
        QFETCH(QString, peer);
        QFETCH(QByteArray, forwardedFor);
        QFETCH(QString, client);
        const QByteArrayList headers = forwardedFor.isEmpty() ? QByteArrayList() : forwardedFor.split('|');
        QCOMPARE(proxies().client(QHostAddress(peer), headers).toString(), client);
    }

    void buckets_data() { data::table<QString, QString>(QStringLiteral("server/client-buckets.tsv")); }
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

    void origin_data() { data::table<QString, QByteArray, QString>(QStringLiteral("server/forwarded-proto.tsv")); }
    void origin()
    {
        QFETCH(QString, peer);
        QFETCH(QByteArray, protos);
        QFETCH(QString, origin);
        HttpRequest r;
        r.remote = QHostAddress(peer);
        r.headers = {{"Host", "news.example:8443"}, {"X-Forwarded-For", "203.0.113.5"}};
        for (const QByteArray &p : protos.split('|'))
            r.headers.append({"x-forwarded-proto", p});
        proxies().apply(r);
        QCOMPARE(r.origin(), origin);
        QCOMPARE(r.remote.toString(), peer == QLatin1String("127.0.0.1") ? QStringLiteral("203.0.113.5") : peer);
    }
};

QTEST_GUILESS_MAIN(ServerForwardingTest)
#include "tst_server_forwarding.moc"
