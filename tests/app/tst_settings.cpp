// The settings tab's state: the appearance picker over the stored choice and
// the cache-cleared check mark with one reset per press.
#include "core/AppSettings.h"
#include "FakeServer.h"
#include "images/ImageCache.h"
#include "settings/SettingsScreen.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void pickerWritesAndPersistsTheChoice();
    void pickerOffersTheThreeModesInOrder();
    void productRows();
    void checkMarkHidesAfterTheDelay();
    void secondPressDoesNotExtendTheFirst();
    void clearingEmptiesTheCacheAndImagesAreFetchedAgain();

private:
    QTemporaryDir m_dir;
};

void TestSettings::pickerWritesAndPersistsTheChoice()
{
    const QString path = m_dir.filePath(QStringLiteral("picker.ini"));
    AppSettings settings(path);
    SettingsScreen screen;
    QSignalSpy spy(&screen, &SettingsScreen::themeModeIndexChanged);
    screen.setSettings(&settings);
    QCOMPARE(screen.themeModeIndex(), 0);
    screen.setThemeModeIndex(2);
    QCOMPARE(settings.themeMode(), ThemeMode::Dark);
    QVERIFY(spy.count() >= 2);
    QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("themeModeRaw")).toString(), QStringLiteral("dark"));

    // A change made elsewhere (another screen, the store) shows in the picker.
    settings.setThemeMode(ThemeMode::Light);
    QCOMPARE(screen.themeModeIndex(), 1);

    // Restart.
    AppSettings reopened(path);
    SettingsScreen again;
    again.setSettings(&reopened);
    QCOMPARE(again.themeModeIndex(), 1);
    again.setThemeModeIndex(7); // out of range: ignored
    QCOMPARE(reopened.themeModeRaw(), QStringLiteral("light"));
}

void TestSettings::pickerOffersTheThreeModesInOrder()
{
    const QVariantList modes = SettingsScreen::themeModes();
    QCOMPARE(modes.size(), 3);
    const QStringList labels = {QStringLiteral("跟随系统"), QStringLiteral("浅色"), QStringLiteral("深色")};
    const QStringList icons = {QStringLiteral("brightness_medium"), QStringLiteral("light_mode"), QStringLiteral("dark_mode")};
    const QStringList raws = {QStringLiteral("system"), QStringLiteral("light"), QStringLiteral("dark")};
    for (int i = 0; i < 3; ++i) {
        const QVariantMap mode = modes.at(i).toMap();
        QCOMPARE(mode.value(QStringLiteral("label")).toString(), labels.at(i));
        QCOMPARE(mode.value(QStringLiteral("icon")).toString(), icons.at(i));
        QCOMPARE(mode.value(QStringLiteral("raw")).toString(), raws.at(i));
    }
}

void TestSettings::productRows()
{
    const QVariantList rows = SettingsScreen::productRows();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).toMap().value(QStringLiteral("label")).toString(), QStringLiteral("产品"));
    QCOMPARE(rows.at(0).toMap().value(QStringLiteral("value")).toString(), QStringLiteral("PapeloInkleaf"));
    QCOMPARE(rows.at(1).toMap().value(QStringLiteral("label")).toString(), QStringLiteral("组织"));
    QCOMPARE(rows.at(1).toMap().value(QStringLiteral("value")).toString(), QStringLiteral("PapeloBrightsheet"));
    QCOMPARE(rows.at(2).toMap().value(QStringLiteral("label")).toString(), QStringLiteral("版本"));
    QCOMPARE(rows.at(2).toMap().value(QStringLiteral("value")).toString(), QStringLiteral("1.0.0"));
}

void TestSettings::checkMarkHidesAfterTheDelay()
{
    ImageCache cache(m_dir.filePath(QStringLiteral("c1")));
    SettingsScreen screen;
    screen.setCache(&cache);
    screen.setHideDelay(300);
    QSignalSpy spy(&screen, &SettingsScreen::showCacheClearedChanged);
    QElapsedTimer clock;
    clock.start();
    screen.clearImageCache();
    QVERIFY(screen.showCacheCleared());
    QTRY_VERIFY(!screen.showCacheCleared());
    // Coarse timers may fire up to 5 % early; a hide at once would still fail.
    QVERIFY2(clock.elapsed() >= 284, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(spy.count(), 2);
}

void TestSettings::secondPressDoesNotExtendTheFirst()
{
    ImageCache cache(m_dir.filePath(QStringLiteral("c2")));
    SettingsScreen screen;
    screen.setCache(&cache);
    // Scaled down from 1.5 s; the second press comes half-way through, so a
    // slow machine has 500 ms of slack on either side of every check.
    const int delay = 1000;
    screen.setHideDelay(delay);
    QSignalSpy spy(&screen, &SettingsScreen::showCacheClearedChanged);
    QElapsedTimer clock;
    clock.start();
    screen.clearImageCache();
    QTest::qWait(delay / 2);
    QVERIFY(screen.showCacheCleared());
    const qint64 secondPressAt = clock.elapsed();
    screen.clearImageCache();
    QCOMPARE(spy.count(), 1); // still shown, no flicker
    QTRY_VERIFY_WITH_TIMEOUT(!screen.showCacheCleared(), 5000);
    const qint64 hiddenAt = clock.elapsed();
    // Hidden by the first press's reset, before the second's could fire
    // (coarse timers fire at most 5 % early).
    QVERIFY2(hiddenAt >= delay * 95 / 100 - 1, qPrintable(QString::number(hiddenAt)));
    QVERIFY2(hiddenAt < secondPressAt + delay * 95 / 100,
             qPrintable(QStringLiteral("%1 vs second press at %2").arg(hiddenAt).arg(secondPressAt)));
    // The second reset then finds it hidden and changes nothing.
    QTest::qWait(int(std::max<qint64>(0, secondPressAt + delay * 105 / 100 + 100 - clock.elapsed())));
    QVERIFY(!screen.showCacheCleared());
    QCOMPARE(spy.count(), 2);

    // The screen going away with a reset pending leaves no timer behind to
    // fire into the freed screen.
    auto shortLived = std::make_unique<SettingsScreen>();
    shortLived->setCache(&cache);
    shortLived->setHideDelay(50);
    shortLived->clearImageCache();
    QVERIFY(shortLived->showCacheCleared());
    shortLived.reset();
    QTest::qWait(100);
}

void TestSettings::clearingEmptiesTheCacheAndImagesAreFetchedAgain()
{
    FakeServer server;
    QVERIFY(server.listen());
    server.on("GET", "/i.png", FakeServer::Response::raw(200, QByteArray(3000, 'i'), "image/png"));
    const QUrl url(server.baseUrl() + QStringLiteral("/i.png"));
    ImageCache cache(m_dir.filePath(QStringLiteral("c3")));
    QVERIFY(QCoro::waitFor(cache.fetch(url)).ok);
    QVERIFY(QCoro::waitFor(cache.fetch(url)).fromMemory);
    QCOMPARE(server.count("/i.png"), 1);

    SettingsScreen screen;
    screen.setCache(&cache);
    screen.clearImageCache();
    QCOMPARE(cache.memoryCost(), 0);
    QCOMPARE(cache.diskSize(), 0);
    const ImageCache::Fetch again = QCoro::waitFor(cache.fetch(url));
    QVERIFY(again.ok && !again.fromMemory);
    QCOMPARE(server.count("/i.png"), 2);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
