// SystemAppearance against a desktop portal on a private session bus: the
// initial read, live SettingChanged signals, and the enable-animations key.
#include "appearance/SystemAppearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QtTest>

namespace {
// A minimal org.freedesktop.portal.Settings answering Read as old portals
// do: the value wrapped in a second variant.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    int reads = 0;

public slots:
    // Prefers dark, animations off.
    QDBusVariant Read(const QString &ns, const QString &key)
    {
        ++reads;
        const QString name = ns + QLatin1Char('/') + key;
        const QVariant inner = name == QLatin1String("org.freedesktop.appearance/color-scheme")               ? QVariant(1u)
                               : name == QLatin1String("org.gnome.desktop.interface/enable-animations") ? QVariant(false)
                                                                                                        : QVariant(QString());
        return QDBusVariant(QVariant::fromValue(QDBusVariant(inner)));
    }
};
} // namespace

class TestAppearancePortal : public QObject {
    Q_OBJECT
    QProcess m_bus;
    QString m_address;

    static void emitChange(const char *ns, const char *key, const QVariant &value)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.Settings"),
                                                         QStringLiteral("SettingChanged"));
        signal << QString::fromLatin1(ns) << QString::fromLatin1(key) << QVariant::fromValue(QDBusVariant(value));
        QVERIFY(QDBusConnection(QStringLiteral("portal")).send(signal));
    }

private slots:
    void initTestCase()
    {
        m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                    QStringLiteral("--print-address=1")});
        if (!m_bus.waitForStarted(5000))
            QSKIP("dbus-daemon is not available");
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine(), 10000);
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        // Before the first use of sessionBus(), which reads it once.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    }
    void cleanupTestCase() { m_bus.terminate(); m_bus.waitForFinished(5000); }

    void readsAndFollowsThePortal()
    {
        QDBusConnection portalBus = QDBusConnection::connectToBus(m_address, QStringLiteral("portal"));
        FakePortal portal;
        QVERIFY(portalBus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                         QDBusConnection::ExportAllSlots));
        QVERIFY(portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

        papelo::SystemAppearance appearance;
        appearance.start();
        QTRY_VERIFY(appearance.isDark());       // color-scheme 1: prefer dark
        QTRY_VERIFY(appearance.reduceMotion()); // animations disabled
        QCOMPARE(portal.reads, 2);

        QSignalSpy darkSpy(&appearance, &papelo::SystemAppearance::isDarkChanged);
        for (uint scheme : {2u, 1u, 0u}) { // prefer light, dark, no preference (light)
            emitChange("org.freedesktop.appearance", "color-scheme", QVariant::fromValue(scheme));
            QTRY_COMPARE(appearance.isDark(), scheme == 1);
        }
        QCOMPARE(darkSpy.count(), 3);

        // Other keys and malformed values change nothing.
        emitChange("org.freedesktop.appearance", "accent-color", QVariant::fromValue(1u));
        emitChange("org.freedesktop.appearance", "color-scheme", QStringLiteral("dark"));
        emitChange("org.gnome.desktop.interface", "enable-animations", true);
        QTRY_VERIFY(!appearance.reduceMotion());
        QCOMPARE(darkSpy.count(), 3);
        QVERIFY(!appearance.isDark());
    }
};

QTEST_MAIN(TestAppearancePortal)
#include "tst_appearance_portal.moc"
