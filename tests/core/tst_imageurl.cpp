#include "core/ImageUrl.h"
#include "core/ServerConfig.h"

#include <QtTest>

using namespace papelo;

namespace {
const QString kBase = QStringLiteral("http://127.0.0.1:4000");
QString encoded(const std::optional<QUrl> &url) { return url ? QString::fromLatin1(url->toEncoded()) : QStringLiteral("<none>"); }
} // namespace

class ImageUrlTest : public QObject {
    Q_OBJECT
private slots:
    void fullImageUrl_data()
    {
        QTest::addColumn<std::optional<QString>>("path");
        QTest::addColumn<QString>("expected");
        using S = std::optional<QString>;
        QTest::newRow("absent") << S() << "<none>";
        QTest::newRow("empty") << S(QString("")) << "<none>";
        QTest::newRow("https unchanged") << S("https://cdn.test/a/b.png?w=2") << "https://cdn.test/a/b.png?w=2";
        QTest::newRow("http other host unchanged") << S("http://img.test:9/x.png") << "http://img.test:9/x.png";
        QTest::newRow("leading slash") << S("/uploads/x.png") << "http://127.0.0.1:4000/uploads/x.png";
        QTest::newRow("no leading slash") << S("uploads/x.png") << "http://127.0.0.1:4000/uploads/x.png";
        QTest::newRow("http-named folder is absolute") << S("httpfolder/x.png") << "httpfolder/x.png";
        QTest::newRow("space encoded") << S("/up loads/a b.png") << "http://127.0.0.1:4000/up%20loads/a%20b.png";
        QTest::newRow("single space") << S(" ") << "http://127.0.0.1:4000/%20";
        QTest::newRow("percent encoded on fallback") << S("/100% b.png") << "http://127.0.0.1:4000/100%25%20b.png";
        QTest::newRow("valid escape kept") << S("/a%20b.png") << "http://127.0.0.1:4000/a%20b.png";
        QTest::newRow("no slash collapsing") << S("//x//y.png") << "http://127.0.0.1:4000//x//y.png";
        QTest::newRow("dot segments kept") << S("/a/../b.png") << "http://127.0.0.1:4000/a/../b.png";
        QTest::newRow("chinese") << S("/图.png") << "http://127.0.0.1:4000/%E5%9B%BE.png";
    }
    void fullImageUrl()
    {
        QFETCH(std::optional<QString>, path);
        QFETCH(QString, expected);
        QCOMPARE(encoded(fullImageURL(path, kBase)), expected);
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
    void normalizeBaseUrl()
    {
        const QString host = QStringLiteral("http://host.test:4000");
        for (const QString &candidate : {host + "/", host + "//", "  " + host + "/ "})
            QCOMPARE(ServerConfig::normalizeBaseUrl(candidate), std::optional(host));
        QCOMPARE(ServerConfig::normalizeBaseUrl("https://host.test"), std::optional<QString>("https://host.test"));
        for (const char *bad : {"ftp://host.test:4000", "localhost:4000", "http://", "http://:4000", "/api", "::::", "",
                                "http://host.test:4000?x=1", "http://u:p@host.test:4000"})
            QVERIFY2(!ServerConfig::normalizeBaseUrl(QString::fromLatin1(bad)), bad);
    }

    void cleartext_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("warned");
        QTest::newRow("http, remote name") << "http://news.example.org:4000" << true;
        QTest::newRow("http, LAN address") << "http://192.168.1.20:4000" << true;
        QTest::newRow("http, loopback v4") << "http://127.0.0.1:4000" << false;
        QTest::newRow("http, other loopback v4") << "http://127.9.9.9:4000" << false;
        QTest::newRow("http, loopback v6") << "http://[::1]:4000" << false;
        QTest::newRow("http, mapped loopback") << "http://[::ffff:127.0.0.1]:4000" << false;
        QTest::newRow("http, localhost") << "http://LocalHost:4000" << false;
        QTest::newRow("http, name under localhost") << "http://a.localhost:4000" << true;
        QTest::newRow("http, name starting with 127") << "http://127.0.0.1.example.org" << true;
        QTest::newRow("https, remote") << "https://news.example.org" << false;
        QTest::newRow("unusable") << "news.example.org:4000" << true;
    }
    void cleartext()
    {
        QFETCH(QString, base);
        QFETCH(bool, warned);
        QCOMPARE(ServerConfig::sendsInTheClear(base), warned);
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

    void webOriginForm()
    {
        QVERIFY(ServerConfig::isValidWebOrigin("papelo.example"));
        QVERIFY(ServerConfig::isValidWebOrigin("a-b.c9.test"));
        QVERIFY(ServerConfig::isValidWebOrigin(ServerConfig::compiledWebOrigin()));
        for (const char *bad : {"", "https://papelo.example", "papelo.example/x", "papelo.example:443", "a..b",
                                "-a.test", "a b", "papelo.example."})
            QVERIFY2(!ServerConfig::isValidWebOrigin(QString::fromLatin1(bad)), bad);
    }
};

QTEST_GUILESS_MAIN(ImageUrlTest)
#include "tst_imageurl.moc"
