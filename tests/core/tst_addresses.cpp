// The addresses the reader derives from its configuration and from what the
// server sends: the base URL and web origin, picture addresses, which hosts
// it may fetch, what a mailto: link hands on, and the reading document's
// origin. Pure functions: every private range is a row here; real requests
// are tested against loopback hosts only.
#include "core/AddressRule.h"
#include "core/ImageUrl.h"
#include "core/MailtoLink.h"
#include "core/ServerConfig.h"
#include "core/StyledHtml.h"
#include "DataTable.h"

#include <QtTest>

using namespace papelo;

namespace {
const QString kBase = QStringLiteral("http://127.0.0.1:4000");
QString encoded(const std::optional<QUrl> &url) { return url ? QString::fromLatin1(url->toEncoded()) : QStringLiteral("<none>"); }

const QString kOrigin = QStringLiteral("papelo.example");

// The reading document written out by hand, independently of the code.
QString expectedHead() { return QString::fromUtf8(data::bytes(QStringLiteral("core/styled-head.html"))); }

const QString kTail = QStringLiteral("\n</body>\n</html>");
} // namespace

class AddressesTest : public QObject {
    Q_OBJECT
private slots:
    void fullImageUrl_data() { data::table<QString, QString>(QStringLiteral("core/image-urls.tsv")); }
    void fullImageUrl()
    {
        QFETCH(QString, path);
        QTEST(encoded(fullImageURL(path == "-" ? std::nullopt : std::optional(path), kBase)), "expected");
    }

    void configuredBase()
    {
        const QString saved = ServerConfig::baseUrl();
        ServerConfig::setBaseUrl(QStringLiteral("http://10.1.2.3:4000"));
        const auto url = fullImageURL(QStringLiteral("x.png"));
        ServerConfig::setBaseUrl(saved);
        QCOMPARE(encoded(url), QStringLiteral("http://10.1.2.3:4000/x.png"));
    }

    // ---- configuration of the base URL and web origin ------------------------
    void normalizeBaseUrl_data() { data::table<QString, QString>(QStringLiteral("core/base-urls.tsv")); }
    void normalizeBaseUrl()
    {
        QFETCH(QString, candidate);
        QTEST(ServerConfig::normalizeBaseUrl(candidate).value_or(QStringLiteral("refused")), "normalized");
    }

    void cleartext_data() { data::table<QString, bool>(QStringLiteral("core/cleartext-servers.tsv")); }
    void cleartext()
    {
        QFETCH(QString, base);
        QTEST(ServerConfig::sendsInTheClear(base), "warned");
    }

    void resolutionOrder()
    {
        QString chosen;
        QCOMPARE(ServerConfig::resolveBaseUrl("http://opt.test:1/", "http://env.test:2", &chosen),
                 std::optional<QString>("http://opt.test:1"));
        QCOMPARE(chosen, QStringLiteral("http://opt.test:1/"));
        QCOMPARE(ServerConfig::resolveBaseUrl(QString(), "http://env.test:2", &chosen),
                 std::optional<QString>("http://env.test:2"));
        QCOMPARE(ServerConfig::resolveBaseUrl(QString(), QString(), &chosen),
                 ServerConfig::normalizeBaseUrl(ServerConfig::compiledBaseUrl()));
        QCOMPARE(chosen, ServerConfig::compiledBaseUrl());
        // A bad option is reported, not silently replaced by the environment.
        QVERIFY(!ServerConfig::resolveBaseUrl("ftp://opt.test", "http://env.test:2", &chosen).has_value());
        QCOMPARE(chosen, QStringLiteral("ftp://opt.test"));
    }

    void webOriginForm_data()
    {
        data::table<QString, bool>(QStringLiteral("core/web-origins.tsv"));
        QTest::newRow("compiled") << ServerConfig::compiledWebOrigin() << true;
    }
    void webOriginForm()
    {
        QFETCH(QString, origin);
        QTEST(ServerConfig::isValidWebOrigin(origin), "valid");
    }

    // ---- which hosts the reader may fetch, and mailto: links ------------------
    void privateHosts_data() { data::table<QString, bool>(QStringLiteral("core/private-hosts.tsv")); }
    void privateHosts()
    {
        QFETCH(QString, host);
        QTEST(isPrivateHost(host), "private");
    }

    // Only http(s) is judged; the configured server's own origin stays reachable.
    void targets_data() { data::table<QString, QString, bool>(QStringLiteral("core/private-targets.tsv")); }
    void targets()
    {
        QFETCH(QString, url);
        QFETCH(QString, server);
        QTEST(refusesPrivateTarget(QUrl(url), server), "refused");
    }

    // The addresses, subject and body only; anything else not opened at all.
    void mailto_data() { data::table<QString, QString>(QStringLiteral("core/mailto-links.tsv")); }
    void mailto()
    {
        QFETCH(QString, link);
        const std::optional<QUrl> url = mailClientUrl(QUrl(link));
        QTEST(url ? url->toString(QUrl::FullyEncoded) : QString(), "opened");
    }

    // ---- the reading document's origin -----------------------------------------
    // Only "http://" followed by exactly the origin becomes https; nothing
    // else in the body changes, not even by escaping.
    void originRewrite_data() { data::table<QString, QString>(QStringLiteral("core/origin-rewrite.tsv")); }
    void originRewrite()
    {
        QFETCH(QString, body);
        QFETCH(QString, rewritten);
        QCOMPARE(styledHTML(body, kOrigin), expectedHead() + (rewritten.isEmpty() ? body : rewritten) + kTail);
    }

    void emptyOriginRewritesNothing()
    {
        const QString body = QStringLiteral("<a href=\"http://other.test/\">x</a>");
        QVERIFY(styledHTML(body, QString()).endsWith(QStringLiteral("\n    ") + body + kTail));
    }

    void configuredOrigin()
    {
        const QString saved = ServerConfig::webOrigin();
        ServerConfig::setWebOrigin(QStringLiteral("blog.test"));
        const QString doc = styledHTML(QStringLiteral("<img src=\"http://blog.test/a.png\">"));
        ServerConfig::setWebOrigin(saved);
        QVERIFY(doc.contains(QStringLiteral("    <base href=\"https://blog.test/\">\n")));
        QVERIFY(doc.contains(QStringLiteral("\n    <img src=\"https://blog.test/a.png\">\n</body>")));
    }
};

QTEST_GUILESS_MAIN(AddressesTest)
#include "tst_addresses.moc"
