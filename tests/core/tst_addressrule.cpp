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
                               "09.0.0.1", "0xg.1", "", "fe7f::1", "4294967296", "1.256.0.1", "99999999999999999999"};
        for (const QString &host : open)
            QTest::newRow(qPrintable(QStringLiteral("open ") + host)) << host << false;
    }
    void privateHosts()
    {
        QFETCH(QString, host);
        QTEST(isPrivateHost(host), "isPrivate");
    }

    // Only http(s) is judged; the configured server's own origin stays reachable.
    void targets_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("refused");
        const QStringList rows{"http://127.0.0.1:4001/a.png http://127.0.0.1:4000 1", "http://127.0.0.1:4000/i/a.png http://127.0.0.1:4000 0",
                               "http://10.0.0.2/a.png http://10.0.0.2:80 0", "https://127.0.0.1:4000/a.png http://127.0.0.1:4000 1",
                               "http://[::1]:4000/a.png http://[::1]:4000 0", "https://cdn.example.org/a.png http://127.0.0.1:4000 0",
                               "http://192.168.1.1/reboot https://news.example.org 1", "ftp://127.0.0.1/a http://127.0.0.1:4000 0"};
        for (const QString &row : rows) {
            const QStringList cells = row.split(QLatin1Char(' '));
            QTest::newRow(qPrintable(row)) << cells.at(0) << cells.at(1) << (cells.at(2) == QLatin1String("1"));
        }
    }
    void targets()
    {
        QFETCH(QString, url);
        QFETCH(QString, server);
        QTEST(refusesPrivateTarget(QUrl(url), server), "refused");
    }

    // The addresses, subject and body only; anything else not opened at all.
    void mailto_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("opened");
        const QString a = QStringLiteral("mailto:a@example.org");
        QTest::newRow("address only") << a << a;
        QTest::newRow("attachment dropped") << a + "?subject=s&attachment=/etc/hostname&body=b" << a + "?subject=s&body=b";
        QTest::newRow("copies dropped, any case") << a + "?cc=c@evil.test&BCC=d@evil.test&SUBJECT=x" << a + "?subject=x";
        QTest::newRow("delimiters stay in their field") << a + "?body=a%26attach%3D%2Fetc" << a + "?body=a%26attach%3D%2Fetc";
        QTest::newRow("two addresses") << a + ",b@example.org" << a + ",b@example.org";
        QTest::newRow("escaped question mark") << a + "%3Fattach=/etc/passwd" << "";
        QTest::newRow("switch as address") << "mailto:--attach=/etc/passwd" << "";
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
