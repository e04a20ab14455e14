// The settings tab's state: the appearance picker over the stored choice and
// the cache-cleared check mark, with its own 1.5 s per press.
#include "FakeServer.h"
#include "core/AppSettings.h"
#include "images/ImageCache.h"
#include "settings/SettingsScreen.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void pickerFollowsAndWritesTheStoredChoice()
    {
        AppSettings settings(m_dir.filePath(QStringLiteral("picker.ini")));
        SettingsScreen screen;
        QSignalSpy spy(&screen, &SettingsScreen::themeModeIndexChanged);
        screen.setSettings(&settings);
        QCOMPARE(screen.themeModeIndex(), 0);
        // Each offered mode, picked, is the one stored.
        const QVariantList modes = SettingsScreen::themeModes();
        QCOMPARE(modes.size(), 3);
        for (int i : {2, 1, 0}) {
            screen.setThemeModeIndex(i);
            QCOMPARE(settings.themeModeRaw(), modes.at(i).toMap().value(QStringLiteral("raw")).toString());
        }
        QVERIFY(spy.count() >= 4);
        // A change made elsewhere shows in the picker; an index out of range is ignored.
        settings.setThemeMode(ThemeMode::Light);
        QCOMPARE(screen.themeModeIndex(), 1);
        screen.setThemeModeIndex(7);
        QCOMPARE(settings.themeMode(), ThemeMode::Light);
    }

    // The mark shows for 1.5 s from the first press; a second press neither
    // extends nor flickers it. Bounds are wide: a busy machine may run late.
    void checkMarkShowsForItsDelayFromTheFirstPress()
    {
        FakeServer server;
        QVERIFY(server.listen());
        server.on("GET", "/i.png", FakeServer::Response::raw(200, QByteArray(3000, 'i'), "image/png"));
        ImageCache cache(m_dir.filePath(QStringLiteral("cache")));
        QVERIFY(QCoro::waitFor(cache.fetch(QUrl(server.baseUrl() + QStringLiteral("/i.png")))).ok);
        SettingsScreen screen;
        screen.setCache(&cache);
        // Gone with a hide pending: nothing may fire into it later.
        auto shortLived = std::make_unique<SettingsScreen>();
        shortLived->setCache(&cache);
        shortLived->clearImageCache();
        shortLived.reset();

        QSignalSpy spy(&screen, &SettingsScreen::showCacheClearedChanged);
        screen.clearImageCache();
        QVERIFY(screen.showCacheCleared());
        QCOMPARE(cache.memoryCost(), 0);
        QCOMPARE(cache.diskSize(), 0);
        QTest::qWait(1000);
        QVERIFY(screen.showCacheCleared());
        screen.clearImageCache();
        QCOMPARE(spy.count(), 1);
        // The first press hides it about 0.5 s from now; the second's own delay would take 1.5 s.
        QTRY_VERIFY_WITH_TIMEOUT(!screen.showCacheCleared(), 1200);
        QCOMPARE(spy.count(), 2);
        // The second press's hide then finds it hidden and changes nothing.
        QTest::qWait(1200);
        QCOMPARE(spy.count(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
