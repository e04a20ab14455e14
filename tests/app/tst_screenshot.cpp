// Runs the built reader as a user would: screenshot mode writes a PNG of the
// requested size showing the requested page; a bad server address is refused
// before any request.
#include "FakeServer.h"

#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Runs papelo with `arguments` to the end; the fake servers answer from this
// process's event loop meanwhile.
int run(const QStringList &arguments, const QProcessEnvironment &env, QByteArray *output = nullptr)
{
    QProcess papelo;
    papelo.setProcessEnvironment(env);
    papelo.start(QStringLiteral(PAPELO_BINARY), arguments);
    if (!QTest::qWaitFor([&] { return papelo.state() == QProcess::NotRunning; }, 40000)) {
        papelo.kill();
        papelo.waitForFinished();
        return -1;
    }
    if (output)
        *output = papelo.readAllStandardOutput() + papelo.readAllStandardError();
    return papelo.exitStatus() == QProcess::NormalExit ? papelo.exitCode() : -1;
}
} // namespace

class TestScreenshot : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    FakeServer m_server;

    QProcessEnvironment environment(const QString &config = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.isEmpty() ? m_dir.filePath(QStringLiteral("config")) : config);
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
        env.remove(QStringLiteral("PAPELO_SERVER"));
        return env;
    }
    QImage shoot(const QString &name, const QStringList &options, const QProcessEnvironment &env)
    {
        const QString out = m_dir.filePath(name);
        QFile::remove(out);
        const int code = run(QStringList{QStringLiteral("--server"), m_server.baseUrl(), QStringLiteral("--screenshot"), out} + options, env);
        return code == 0 ? QImage(out) : QImage();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        m_server.setFallback([](const FakeServer::Request &) { return FakeServer::Response::raw(503, "{\"error\":\"维护中\"}"); });
    }

    // The run's --theme wins over the stored dark for this run only; the tab
    // bar's background is the window's.
    void writesAPngOfTheRequestedSize_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<uint>("background");
        QTest::newRow("settings, stored dark") << QStringList{"--tab", "settings", "--size", "900x700"} << QSize(900, 700) << 0x111210u;
        QTest::newRow("home light") << QStringList{"--theme", "light", "--size", "1200x800"} << QSize(1200, 800) << 0xF9F8F6u;
    }
    void writesAPngOfTheRequestedSize()
    {
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        QFETCH(uint, background);
        const QString config = m_dir.filePath(QStringLiteral("stored"));
        const QString store = config + QStringLiteral("/PapeloBrightsheet/Papelo.conf");
        QSettings(store, QSettings::IniFormat).setValue(QStringLiteral("themeModeRaw"), QStringLiteral("dark"));
        const QImage image = shoot(QStringLiteral("shot.png"), options, environment(config));
        QCOMPARE(image.size(), size);
        QCOMPARE(image.pixel(2, 45) & 0xFFFFFF, background);
        QSet<QRgb> colours; // not a blank frame
        for (int y = 0; y < image.height(); y += 7)
            for (int x = 0; x < image.width(); x += 7)
                colours.insert(image.pixel(x, y));
        QVERIFY(colours.size() > 3);
        QCOMPARE(QSettings(store, QSettings::IniFormat).value(QStringLiteral("themeModeRaw")).toString(), QStringLiteral("dark"));
    }

    void startPagesAreThePageOnScreen_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("loaded");
        QTest::newRow("article") << QStringList{"--article", "7"} << QByteArray("/api/article/7");
        QTest::newRow("author") << QStringList{"--author", "3"} << QByteArray("/api/author/3");
    }
    void startPagesAreThePageOnScreen()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, loaded);
        const QStringList size{QStringLiteral("--size"), QStringLiteral("800x600")};
        const QImage start = shoot(QStringLiteral("start.png"), options + size, environment());
        QVERIFY2(m_server.count(loaded) >= 1, loaded.constData());
        const QImage home = shoot(QStringLiteral("home.png"), size, environment());
        QVERIFY(!start.isNull() && !home.isNull());
        // Below the bars: a start page left under the home page would differ only by the back button.
        const QRect content(0, 140, start.width(), start.height() - 140);
        QVERIFY(start.copy(content) != home.copy(content));
    }

    void badServerIsRefusedBeforeAnyRequest()
    {
        m_server.clear();
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("PAPELO_SERVER"), m_server.baseUrl()); // valid, but the option wins
        const QString never = m_dir.filePath(QStringLiteral("never.png"));
        QByteArray output;
        QCOMPARE(run({QStringLiteral("--server"), QStringLiteral("gopher://nowhere"), QStringLiteral("--screenshot"), never}, env, &output), 2);
        QVERIFY(output.contains("gopher://nowhere"));
        QCOMPARE(m_server.requests().size(), 0);
        QVERIFY(!QFile::exists(never));
    }

    void helpAndVersion()
    {
        QByteArray output;
        QCOMPARE(run({QStringLiteral("--version")}, environment(), &output), 0);
        QVERIFY(output.contains("1.0.0"));
    }
};

QTEST_GUILESS_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
