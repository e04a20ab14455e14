// Runs the built reader as a user would: screenshot mode writes a PNG of the
// requested size showing the requested page or picture (what a start page draws:
// tst_trace, tst_views); a bad server address is refused
// before any request; nothing a body or a picture sets follows the reader
// into the next run.
#include "DataTable.h"
#include "FakeServer.h"
#include "Fixtures.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestScreenshot : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    FakeServer m_server;

    // Runs papelo to the end with this process's environment; the fake server
    // answers from this process's event loop meanwhile.
    int run(const QStringList &arguments, QByteArray *output = nullptr)
    {
        QProcess papelo;
        papelo.start(QStringLiteral(PAPELO_BINARY), arguments);
        if (!QTest::qWaitFor([&] { return papelo.state() == QProcess::NotRunning; }, 40000))
            papelo.kill();
        papelo.waitForFinished();
        if (output)
            *output = papelo.readAllStandardOutput() + papelo.readAllStandardError();
        return papelo.exitStatus() == QProcess::NormalExit ? papelo.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
            qputenv(name, m_dir.filePath(QLatin1String(name)).toUtf8());
        qunsetenv("PAPELO_SERVER");
        QVERIFY(m_server.listen());
        m_server.setFallback([](const FakeServer::Request &) { return FakeServer::Response::raw(503, "{\"error\":\"维护中\"}"); });
        papelo::ArticleDetail detail = fixtures::detail(9);
        detail.body = QStringLiteral("<p>正文</p><img src=\"%1/red.png\" style=\"width:40px\">").arg(m_server.baseUrl());
        m_server.on("GET", "/api/article/9", fixtures::reply(detail));
        m_server.on("GET", "/api/comments", fixtures::replyList(QList<papelo::Comment>{}));
        m_server.on("GET", "/red.png", FakeServer::Response::raw(200, data::bytes("app/screenshot/red-400x300.png"), "image/png"));
        QSettings(m_dir.filePath(QStringLiteral("XDG_CONFIG_HOME/PapeloBrightsheet/Papelo.conf")), QSettings::IniFormat)
            .setValue(QStringLiteral("themeModeRaw"), QStringLiteral("dark"));
    }

    // The stored dark applies; the run's --theme wins for this run only. A
    // start page (or picture) is the one asked for.
    void writesAPngOfTheRequestedSize_data()
    {
        data::table<QStringList, QByteArray, int, int, int, int, int, QString>(QStringLiteral("app/screenshot/runs.tsv"));
    }
    void writesAPngOfTheRequestedSize()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, loaded);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(QString, colour);
        m_server.clear();
        const QString out = m_dir.filePath(QStringLiteral("shot-%1.png").arg(options.join(QString())));
        QCOMPARE(run(QStringList{QStringLiteral("--server"), m_server.baseUrl(), QStringLiteral("--screenshot"), out} + options), 0);
        const QImage image(out);
        QTEST(image.width(), "width");
        QTEST(image.height(), "height");
        QCOMPARE(image.pixel(x, y) & 0xFFFFFF, colour.toUInt(nullptr, 16));
        QSet<QRgb> colours; // not a blank frame
        for (int i = 0; i < image.width() * image.height(); i += 97)
            colours.insert(image.pixel(i % image.width(), i / image.width()));
        QVERIFY(colours.size() > 3);
        QFETCH(int, times);
        QVERIFY(m_server.count(loaded) >= times);
        const QSettings stored(m_dir.filePath(QStringLiteral("XDG_CONFIG_HOME/PapeloBrightsheet/Papelo.conf")), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("themeModeRaw")).toString(), QStringLiteral("dark"));
    }

    // Every answer carries validators and a cookie. The next run asks for the
    // body's picture afresh, without them; the card's picture never sends
    // the cookie back; the profile earlier versions kept on disk is gone.
    void nothingTracksTheReaderAcrossRuns()
    {
        FakeServer host;
        QVERIFY(host.listen());
        papelo::Article listed = fixtures::article(9);
        papelo::ArticleDetail detail = fixtures::detail(9);
        host.setFallback([&](const FakeServer::Request &request) {
            listed.thumb = host.baseUrl() + QStringLiteral("/thumb.png");
            detail.body = QStringLiteral("<img src=\"%1/body.png\">").arg(host.baseUrl());
            FakeServer::Response answer = request.path == "/api/articles" ? fixtures::page({listed})
                                          : request.path == "/api/article/9" ? fixtures::reply(detail)
                                          : request.path == "/api/comments" ? fixtures::replyList(QList<papelo::Comment>{})
                                          : FakeServer::Response::raw(200, data::bytes("app/screenshot/red-400x300.png"), "image/png");
            answer.headers += {{"ETag", "\"v1\""}, {"Last-Modified", "Mon, 02 Mar 2026 10:00:00 GMT"},
                               {"Cache-Control", "no-cache"}, {"Set-Cookie", "reader=42; Path=/; Max-Age=86400"}};
            return answer;
        });
        const QString former = QStringLiteral("%1/PapeloBrightsheet/Papelo/QtWebEngine/papelo-articles");
        for (const char *root : {"XDG_DATA_HOME", "XDG_CACHE_HOME"})
            QVERIFY(QDir().mkpath(former.arg(m_dir.filePath(QLatin1String(root))) + QStringLiteral("/Cache")));
        for (int round = 1; round <= 2; ++round) {
            QCOMPARE(run({"--server", host.baseUrl(), "--article", "9", "--screenshot", m_dir.filePath("runs.png")}), 0);
            QCOMPARE(host.count("/body.png"), round);
        }
        for (const FakeServer::Request &request : host.requests()) {
            for (const char *header : {"Cookie", "If-None-Match", "If-Modified-Since"})
                QVERIFY2(!request.hasHeader(header), (request.target + ' ' + header).constData());
        }
        for (const char *root : {"XDG_DATA_HOME", "XDG_CACHE_HOME"})
            QVERIFY(!QFileInfo::exists(former.arg(m_dir.filePath(QLatin1String(root)))));
    }

    void badServerIsRefusedBeforeAnyRequest()
    {
        m_server.clear();
        qputenv("PAPELO_SERVER", m_server.baseUrl().toUtf8()); // valid, but the option wins
        const QString never = m_dir.filePath(QStringLiteral("never.png"));
        QByteArray output;
        QCOMPARE(run({QStringLiteral("--server"), QStringLiteral("gopher://nowhere"), QStringLiteral("--screenshot"), never}, &output), 2);
        qunsetenv("PAPELO_SERVER");
        QVERIFY(output.contains("gopher://nowhere"));
        QVERIFY(m_server.requests().isEmpty() && !QFile::exists(never));
        QCOMPARE(run({QStringLiteral("--version")}, &output), 0);
        QVERIFY(output.contains("1.0.0"));
    }
};

QTEST_GUILESS_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
