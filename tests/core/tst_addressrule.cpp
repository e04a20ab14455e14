// Which addresses from the server the reader may fetch, and what a mailto:
// link may hand to the mail client. Pure functions: every private range is
// a row here; real requests are tested against loopback hosts only.
#include "core/AddressRule.h"
#include "core/MailtoLink.h"

#include <QtTest>

using namespace papelo;

class AddressRuleTest : public QObject {
    Q_OBJECT
private slots:
    void privateHosts_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("isPrivate");
        const QStringList hidden{"127.0.0.1", "127.0.0.5", "127.1", "2130706433", "0x7f.1", "0x7F000001", "0177.0.0.1",
                                 "017700000001", "127.0.0.1.", "0.0.0.0", "0", "10.1.2.3", "10.0xff.1", "100.64.0.1",
                                 "169.254.169.254", "172.16.0.1", "172.31.255.255", "192.168.1.1", "3232235777",
                                 "224.0.0.1", "255.255.255.255", "localhost", "LocalHost.", "printer.localhost",
                                 "::1", "[::1]", "::", "fe80::1", "fe80::1%eth0", "fec0::1", "fc00::1", "fd12:3456::1",
                                 "ff02::1", "::ffff:127.0.0.1", "[::ffff:7f00:1]", "::ffff:192.168.0.1", "::127.0.0.1",
                                 "64:ff9b::a00:1", "64:ff9b:1::1", QStringLiteral("１２７．０．０．１")};
        for (const QString &host : hidden)
            QTest::newRow(qPrintable(host)) << host << true;
        const QStringList open{"8.8.8.8", "172.32.0.1", "100.128.0.1", "192.169.0.1", "11.0.0.1", "1.2.3.4.5",
                               "128.0.0.1", "0x80.1", "2001:db8::1", "::ffff:8.8.8.8", "64:ff9b::808:808",
                               "example.org", "localhost.example.org", "mylocalhost", "127.0.0.1.example.org",
                               "09.0.0.1", "0xg.1", "", "fe7f::1"};
        for (const QString &host : open)
            QTest::newRow(qPrintable(QStringLiteral("open ") + host)) << host << false;
    }
    void privateHosts()
    {
        QFETCH(QString, host);
        QTEST(isPrivateHost(host), "isPrivate");
    }

    void inetAtonSpellings()
    {
        QCOMPARE(parseIPv4("127.1"), std::optional<quint32>(0x7F000001));
        QCOMPARE(parseIPv4("1.2.65535"), std::optional<quint32>(0x0102FFFF));
        QCOMPARE(parseIPv4("0x"), std::optional<quint32>(0));
        QCOMPARE(parseIPv4("4294967295"), std::optional<quint32>(0xFFFFFFFF));
        for (const char *bad : {"4294967296", "1.256.0.1", "1.2.65536", "1..2", "1.2.3.4.5", "a.b", "99999999999999999999"})
            QVERIFY2(!parseIPv4(bad), bad);
    }

    // Only http(s) is judged; the configured server's own origin stays reachable.
    void targets_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("refused");
        const QString loopbackServer = QStringLiteral("http://127.0.0.1:4000");
        QTest::newRow("another port") << "http://127.0.0.1:4001/a.png" << loopbackServer << true;
        QTest::newRow("the server") << "http://127.0.0.1:4000/images/a.png" << loopbackServer << false;
        QTest::newRow("the server, default port") << "http://10.0.0.2/a.png" << "http://10.0.0.2:80" << false;
        QTest::newRow("the server's host over https") << "https://127.0.0.1:4000/a.png" << loopbackServer << true;
        QTest::newRow("localhost for 127.0.0.1") << "http://localhost:4000/a.png" << loopbackServer << true;
        QTest::newRow("ipv6 loopback") << "http://[::1]:4000/a.png" << "http://[::1]:4000" << false;
        QTest::newRow("public") << "https://cdn.example.org/a.png" << loopbackServer << false;
        QTest::newRow("public server, private picture") << "http://192.168.1.1/reboot" << "https://news.example.org" << true;
        QTest::newRow("other scheme") << "ftp://127.0.0.1/a" << loopbackServer << false;
    }
    void targets()
    {
        QFETCH(QString, url);
        QFETCH(QString, server);
        QTEST(refusesPrivateTarget(QUrl(url), server), "refused");
    }

    void origins()
    {
        QCOMPARE(originOf(QUrl("HTTP://Example.ORG/a?b")), QStringLiteral("http://example.org:80"));
        QCOMPARE(originOf(QUrl("https://example.org:8443")), QStringLiteral("https://example.org:8443"));
        QCOMPARE(originOf(QUrl("http://[::1]:4000/x")), QStringLiteral("http://[::1]:4000"));
        QCOMPARE(originOf(QUrl("/relative")), QString());
    }

    void mailto_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("opened"); // empty: not opened
        QTest::newRow("address only") << "mailto:a@example.org" << "mailto:a@example.org";
        QTest::newRow("subject and body kept") << "mailto:a@example.org?subject=Hi%20there&body=Line%0D%0Atwo"
                                               << "mailto:a@example.org?subject=Hi%20there&body=Line%0D%0Atwo";
        QTest::newRow("attachment dropped") << "mailto:x@evil.test?subject=s&attachment=/etc/hostname&body=b"
                                            << "mailto:x@evil.test?subject=s&body=b";
        QTest::newRow("copies dropped") << "mailto:a@example.org?cc=c@evil.test&BCC=d@evil.test&to=e@evil.test"
                                        << "mailto:a@example.org";
        QTest::newRow("field names in any case") << "mailto:a@example.org?SUBJECT=x" << "mailto:a@example.org?subject=x";
        QTest::newRow("delimiters stay in their field") << "mailto:a@example.org?body=a%26attach%3D%2Fetc%2Fpasswd"
                                                        << "mailto:a@example.org?body=a%26attach%3D%2Fetc%2Fpasswd";
        QTest::newRow("two addresses") << "mailto:a@example.org,b@example.org" << "mailto:a@example.org,b@example.org";
        QTest::newRow("no address") << "mailto:?subject=x" << "mailto:?subject=x";
        QTest::newRow("escaped question mark") << "mailto:a@example.org%3Fattach=/etc/passwd" << "";
        QTest::newRow("switch as address") << "mailto:--attach=/etc/passwd" << "";
        QTest::newRow("space in address") << "mailto:a%20b@example.org" << "";
        QTest::newRow("not mailto") << "https://example.org" << "";
    }
    void mailto()
    {
        QFETCH(QString, link);
        const std::optional<QUrl> url = mailClientUrl(QUrl(link));
        QTEST(url ? url->toString(QUrl::FullyEncoded) : QString(), "opened");
    }
};

QTEST_GUILESS_MAIN(AddressRuleTest)
#include "tst_addressrule.moc"
