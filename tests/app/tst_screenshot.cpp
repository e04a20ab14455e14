// Runs the built reader as a user would: screenshot mode writes a PNG of the
// requested size; a bad server address is refused before any request.
#include "FakeServer.h"

#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestScreenshot : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void writesAPngOfTheRequestedSize_data();
    void writesAPngOfTheRequestedSize();
    void startPagesOpenOnTheHomeTab_data();
    void startPagesOpenOnTheHomeTab();
    void storedAppearanceAppliesAndRunThemeIsNotStored();
    void badServerIsRefusedBeforeAnyRequest();
    void helpAndVersion();

private:
    QProcessEnvironment environment() const;
    QTemporaryDir m_dir;
};

QProcessEnvironment TestScreenshot::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
    env.remove(QStringLiteral("PAPELO_SERVER"));
    return env;
}

void TestScreenshot::writesAPngOfTheRequestedSize_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QSize>("size");
    QTest::newRow("settings dark") << QStringList{QStringLiteral("--tab"), QStringLiteral("settings"), QStringLiteral("--theme"), QStringLiteral("dark")} << QSize(900, 700);
    QTest::newRow("home light") << QStringList{QStringLiteral("--theme"), QStringLiteral("light")} << QSize(1200, 800);
}

void TestScreenshot::writesAPngOfTheRequestedSize()
{
    QFETCH(QStringList, extra);
    QFETCH(QSize, size);
    FakeServer server;
    QVERIFY(server.listen());
    server.setFallback([](const FakeServer::Request &) {
        return FakeServer::Response::raw(503, "{\"error\":\"维护中\"}");
    });
    const QString out = m_dir.filePath(QStringLiteral("shot-%1.png").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
    QProcess papelo;
    papelo.setProcessEnvironment(environment());
    papelo.start(QStringLiteral(PAPELO_BINARY),
                 QStringList{QStringLiteral("--server"), server.baseUrl(), QStringLiteral("--size"),
                             QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), QStringLiteral("--screenshot"), out}
                     + extra);
    QVERIFY(papelo.waitForStarted(10000));
    // The server is served from this process's event loop while we wait.
    QTRY_VERIFY_WITH_TIMEOUT(papelo.state() == QProcess::NotRunning, 40000);
    QVERIFY2(papelo.exitStatus() == QProcess::NormalExit && papelo.exitCode() == 0,
             papelo.readAllStandardError().constData());
    const QImage image(out);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    // Not a blank frame: the window has more than one colour.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7)
            colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() > 3);
}

void TestScreenshot::startPagesOpenOnTheHomeTab_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QByteArray>("expectedPath");
    QTest::newRow("article") << QStringList{QStringLiteral("--article"), QStringLiteral("7")} << QByteArray("/api/article/7");
    QTest::newRow("author") << QStringList{QStringLiteral("--author"), QStringLiteral("3")} << QByteArray("/api/author/3");
}

void TestScreenshot::startPagesOpenOnTheHomeTab()
{
    QFETCH(QStringList, extra);
    QFETCH(QByteArray, expectedPath);
    FakeServer server;
    QVERIFY(server.listen());
    server.setFallback([](const FakeServer::Request &) {
        return FakeServer::Response::raw(404, "{\"error\":\"不存在\"}");
    });
    const auto shoot = [&](const QStringList &options, const QString &name) {
        QProcess papelo;
        papelo.setProcessEnvironment(environment());
        const QString out = m_dir.filePath(name);
        papelo.start(QStringLiteral(PAPELO_BINARY),
                     QStringList{QStringLiteral("--server"), server.baseUrl(), QStringLiteral("--size"),
                                 QStringLiteral("800x600"), QStringLiteral("--screenshot"), out}
                         + options);
        QTRY_VERIFY_WITH_TIMEOUT(papelo.state() == QProcess::NotRunning, 40000);
        QCOMPARE(papelo.exitCode(), 0);
    };
    shoot(extra, QStringLiteral("start.png"));
    // The pushed page loaded its record.
    QVERIFY2(server.count(expectedPath) >= 1, expectedPath.constData());
    // And it is the page on screen, not hidden under the home page.
    shoot({}, QStringLiteral("home.png"));
    const QImage start(m_dir.filePath(QStringLiteral("start.png")));
    const QImage home(m_dir.filePath(QStringLiteral("home.png")));
    QVERIFY(!start.isNull() && !home.isNull());
    // Compare below the bars: a start page left under the home page would
    // differ only by the back button.
    const QRect content(0, 140, start.width(), start.height() - 140);
    QVERIFY(start.copy(content) != home.copy(content));
}

void TestScreenshot::storedAppearanceAppliesAndRunThemeIsNotStored()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    const QString store = home.filePath(QStringLiteral("config/PapeloBrightsheet/Papelo.conf"));
    {
        QSettings settings(store, QSettings::IniFormat);
        settings.setValue(QStringLiteral("themeModeRaw"), QStringLiteral("dark"));
    }
    const auto shoot = [&](const QStringList &extra) {
        QProcess papelo;
        papelo.setProcessEnvironment(env);
        const QString out = home.filePath(QStringLiteral("s.png"));
        QFile::remove(out);
        papelo.start(QStringLiteral(PAPELO_BINARY),
                     QStringList{QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:9"),
                                 QStringLiteral("--tab"), QStringLiteral("discover"), QStringLiteral("--screenshot"), out}
                         + extra);
        papelo.waitForFinished(40000);
        return QImage(out);
    };
    // The tab bar's background is the window's appBackground.
    const QImage dark = shoot({});
    QVERIFY(!dark.isNull());
    QCOMPARE(dark.pixel(2, 45) & 0xFFFFFF, 0x111210u);
    const QImage light = shoot({QStringLiteral("--theme"), QStringLiteral("light")});
    QVERIFY(!light.isNull());
    QCOMPARE(light.pixel(2, 45) & 0xFFFFFF, 0xF9F8F6u);
    QCOMPARE(QSettings(store, QSettings::IniFormat).value(QStringLiteral("themeModeRaw")).toString(), QStringLiteral("dark"));
}

void TestScreenshot::badServerIsRefusedBeforeAnyRequest()
{
    FakeServer server;
    QVERIFY(server.listen());
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("PAPELO_SERVER"), server.baseUrl()); // valid, but the option wins
    QProcess papelo;
    papelo.setProcessEnvironment(env);
    papelo.start(QStringLiteral(PAPELO_BINARY), {QStringLiteral("--server"), QStringLiteral("gopher://nowhere"),
                                                 QStringLiteral("--screenshot"), m_dir.filePath(QStringLiteral("never.png"))});
    QTRY_VERIFY_WITH_TIMEOUT(papelo.state() == QProcess::NotRunning, 20000);
    QCOMPARE(papelo.exitCode(), 2);
    QVERIFY(QString::fromUtf8(papelo.readAllStandardError()).contains(QStringLiteral("gopher://nowhere")));
    QCOMPARE(server.requests().size(), 0);
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("never.png"))));
}

void TestScreenshot::helpAndVersion()
{
    QProcess papelo;
    papelo.setProcessEnvironment(environment());
    papelo.start(QStringLiteral(PAPELO_BINARY), {QStringLiteral("--version")});
    QVERIFY(papelo.waitForFinished(20000));
    QCOMPARE(papelo.exitCode(), 0);
    QVERIFY(papelo.readAllStandardOutput().contains("1.0.0"));
    papelo.start(QStringLiteral(PAPELO_BINARY), {QStringLiteral("--help")});
    QVERIFY(papelo.waitForFinished(20000));
    QCOMPARE(papelo.exitCode(), 0);
    const QByteArray help = papelo.readAllStandardOutput();
    for (const char *option : {"--server", "--web-origin", "--theme", "--tab", "--size", "--article", "--author", "--screenshot"})
        QVERIFY2(help.contains(option), option);
}

QTEST_GUILESS_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
