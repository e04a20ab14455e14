#include "core/ImageUrl.h"
#include "core/ServerConfig.h"
#include "DataTable.h"

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
        data::table<QString, QString>(QStringLiteral("core/image-urls.tsv"));
        QTest::newRow("absent") << QString() << "<none>";
    }
    void fullImageUrl()
    {
        QFETCH(QString, path);
        const bool absent = QTest::currentDataTag() == QByteArray("absent");
        QTEST(encoded(fullImageURL(absent ? std::nullopt : std::optional(path), kBase)), "expected");
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
};

QTEST_GUILESS_MAIN(ImageUrlTest)
#include "tst_imageurl.moc"
