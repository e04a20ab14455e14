// Runs the built reader as a user would: screenshot mode writes a PNG of the
// requested size showing the requested page (what a start page draws:
// tst_trace, tst_views); a bad server address is refused
// before any request; nothing a body or a picture sets follows the reader
// into the next run.
#include "FakeServer.h"
#include "Fixtures.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// A 1x1 PNG.
const QByteArray kPng = "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGNgYGAAAAAEAAH2FzhVAAAAAElFTkSuQmCC";

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
    QImage shoot(const QStringList &options)
    {
        const QString out = m_dir.filePath(QStringLiteral("shot-%1.png").arg(options.join(QString())));
        const int code = run(QStringList{QStringLiteral("--server"), m_server.baseUrl(), QStringLiteral("--screenshot"), out} + options);
        return code == 0 ? QImage(out) : QImage();
    }

private slots:
    void initTestCase()
    {
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
            qputenv(name, m_dir.filePath(QLatin1String(name)).toUtf8());
        qunsetenv("PAPELO_SERVER");
        QVERIFY(m_server.listen());
        m_server.setFallback([](const FakeServer::Request &) { return FakeServer::Response::raw(503, "{\"error\":\"维护中\"}"); });
        QSettings(m_dir.filePath(QStringLiteral("XDG_CONFIG_HOME/PapeloBrightsheet/Papelo.conf")), QSettings::IniFormat)
            .setValue(QStringLiteral("themeModeRaw"), QStringLiteral("dark"));
    }

    // The stored dark applies; the run's --theme wins for this run only. The
    // tab bar's background is the window's. A start page is the one asked for.
    void writesAPngOfTheRequestedSize_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<uint>("background");
        QTest::addColumn<QByteArray>("loaded");
        QTest::newRow("settings, stored dark") << QStringList{"--tab", "settings", "--size", "900x700"} << QSize(900, 700) << 0x111210u << QByteArray();
        QTest::newRow("home light") << QStringList{"--theme", "light", "--size", "1200x800"} << QSize(1200, 800) << 0xF9F8F6u << QByteArray("/api/articles");
        QTest::newRow("author") << QStringList{"--author", "3", "--size", "800x600"} << QSize(800, 600) << 0x111210u << QByteArray("/api/author/3");
    }
    void writesAPngOfTheRequestedSize()
    {
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        QFETCH(uint, background);
        QFETCH(QByteArray, loaded);
        m_server.clear();
        const QImage image = shoot(options);
        QCOMPARE(image.size(), size);
        QCOMPARE(image.pixel(2, 45) & 0xFFFFFF, background);
        QSet<QRgb> colours; // not a blank frame
        for (int i = 0; i < image.width() * image.height(); i += 97)
            colours.insert(image.pixel(i % image.width(), i / image.width()));
        QVERIFY(colours.size() > 3);
        QVERIFY(loaded.isEmpty() || m_server.count(loaded) >= 1);
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
                                          : FakeServer::Response::raw(200, QByteArray::fromBase64(kPng), "image/png");
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

    // --picture shows the start article's picture in the viewer, fetched
    // again through the image cache, over the whole window.
    void startPictureFillsTheViewer()
    {
        FakeServer host;
        QVERIFY(host.listen());
        QImage red(400, 300, QImage::Format_RGB32);
        red.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && red.save(&buffer, "PNG"));
        papelo::ArticleDetail detail = fixtures::detail(9);
        detail.body = QStringLiteral("<p>正文</p><img src=\"%1/red.png\" style=\"width:40px\">").arg(host.baseUrl());
        host.on("GET", "/api/article/9", fixtures::reply(detail));
        host.on("GET", "/api/comments", fixtures::replyList(QList<papelo::Comment>{}));
        host.on("GET", "/red.png", FakeServer::Response::raw(200, png, "image/png"));
        const QString out = m_dir.filePath(QStringLiteral("picture.png"));
        QCOMPARE(run({"--server", host.baseUrl(), "--article", "9", "--picture", "1", "--size", "800x600", "--screenshot", out}), 0);
        const QImage shot(out);
        QCOMPARE(shot.pixelColor(400, 272), QColor(Qt::red));  // 400 x 300 at 100 %, centred above the tool bar
        QCOMPARE(host.count("/red.png"), 2);
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
