// SystemAppearance against a desktop portal on a private session bus: the
// initial read, live SettingChanged signals, and the enable-animations key.
#include "appearance/SystemAppearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {
// A minimal org.freedesktop.portal.Settings answering Read as old portals
// do: the value wrapped in a second variant.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    uint colorScheme = 1;
    bool animations = false;
    int reads = 0;

public slots:
    QDBusVariant Read(const QString &ns, const QString &key)
    {
        ++reads;
        QVariant inner;
        if (ns == QLatin1String("org.freedesktop.appearance") && key == QLatin1String("color-scheme"))
            inner = QVariant::fromValue(colorScheme);
        else if (ns == QLatin1String("org.gnome.desktop.interface") && key == QLatin1String("enable-animations"))
            inner = QVariant::fromValue(animations);
        else
            inner = QVariant::fromValue(QString());
        return QDBusVariant(QVariant::fromValue(QDBusVariant(inner)));
    }
};
} // namespace

class TestAppearancePortal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void readsAndFollowsThePortal();

private:
    void emitChange(const QString &ns, const QString &key, const QVariant &value);
    QProcess m_bus;
    QString m_address;
};

void TestAppearancePortal::initTestCase()
{
    m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(5000))
        QSKIP("dbus-daemon is not available");
    QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine(), 10000);
    m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
    // Before the first use of sessionBus(), which reads it once.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

void TestAppearancePortal::cleanupTestCase()
{
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.terminate();
        m_bus.waitForFinished(5000);
    }
}

void TestAppearancePortal::emitChange(const QString &ns, const QString &key, const QVariant &value)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                     QStringLiteral("org.freedesktop.portal.Settings"),
                                                     QStringLiteral("SettingChanged"));
    signal << ns << key << QVariant::fromValue(QDBusVariant(value));
    QVERIFY(QDBusConnection(QStringLiteral("portal")).send(signal));
}

void TestAppearancePortal::readsAndFollowsThePortal()
{
    QDBusConnection portalBus = QDBusConnection::connectToBus(m_address, QStringLiteral("portal"));
    QVERIFY(portalBus.isConnected());
    FakePortal portal;
    QVERIFY(portalBus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                     QDBusConnection::ExportAllSlots));
    QVERIFY(portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    papelo::SystemAppearance appearance;
    QVERIFY(!appearance.isDark());
    appearance.start();
    QTRY_VERIFY(appearance.isDark());      // color-scheme 1: prefer dark
    QTRY_VERIFY(appearance.reduceMotion()); // animations disabled
    QCOMPARE(portal.reads, 2);

    QSignalSpy darkSpy(&appearance, &papelo::SystemAppearance::isDarkChanged);
    emitChange(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), QVariant::fromValue(2u));
    QTRY_VERIFY(!appearance.isDark());
    emitChange(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), QVariant::fromValue(1u));
    QTRY_VERIFY(appearance.isDark());
    emitChange(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), QVariant::fromValue(0u));
    QTRY_VERIFY(!appearance.isDark()); // no preference reads as light
    QCOMPARE(darkSpy.count(), 3);

    // Other keys and malformed values change nothing.
    emitChange(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("accent-color"), QVariant::fromValue(1u));
    emitChange(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), QStringLiteral("dark"));
    emitChange(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations"), true);
    QTRY_VERIFY(!appearance.reduceMotion());
    QCOMPARE(darkSpy.count(), 3);
    QVERIFY(!appearance.isDark());
}

QTEST_MAIN(TestAppearancePortal)
#include "tst_appearance_portal.moc"
