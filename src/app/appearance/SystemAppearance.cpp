#include "appearance/SystemAppearance.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QEvent>
#include <QPalette>

namespace papelo {

namespace {
const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kAppearanceNs = QStringLiteral("org.freedesktop.appearance");
const QString kColorSchemeKey = QStringLiteral("color-scheme");
const QString kInterfaceNs = QStringLiteral("org.gnome.desktop.interface");
const QString kAnimationsKey = QStringLiteral("enable-animations");

// Read answers v (ReadOne) or v wrapped in another v (old Read); unwrap all.
QVariant unwrap(QVariant value)
{
    for (int i = 0; i < 3; ++i) {
        if (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
            value = value.value<QDBusVariant>().variant();
        else if (value.userType() == qMetaTypeId<QDBusArgument>()) {
            QDBusVariant inner;
            value.value<QDBusArgument>() >> inner;
            value = inner.variant();
        } else
            break;
    }
    return value;
}
} // namespace

SystemAppearance::SystemAppearance(QObject *parent) : QObject(parent) {}

void SystemAppearance::setDark(bool dark)
{
    if (dark == m_dark)
        return;
    m_dark = dark;
    emit isDarkChanged();
}

void SystemAppearance::setReduceMotion(bool reduce)
{
    if (reduce == m_reduceMotion)
        return;
    m_reduceMotion = reduce;
    emit reduceMotionChanged();
}

bool SystemAppearance::paletteLooksDark() const
{
    if (!qGuiApp)
        return false;
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

void SystemAppearance::start()
{
    setDark(paletteLooksDark());
    if (qGuiApp)
        qGuiApp->installEventFilter(this);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // QtDBus matches the slot's argument types by metatype id; an id not yet
    // registered makes connect() fail silently and no change ever arrives.
    qMetaTypeId<QDBusVariant>();
    bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    readPortal(kAppearanceNs, kColorSchemeKey);
    readPortal(kInterfaceNs, kAnimationsKey);
}

void SystemAppearance::readPortal(const QString &ns, const QString &key)
{
    // The deprecated Read exists on every portal version; ReadOne only on newer ones.
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
    message << ns << key;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, ns, key] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        applySetting(ns, key, unwrap(reply.arguments().constFirst()));
    });
}

bool SystemAppearance::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qGuiApp && event->type() == QEvent::ApplicationPaletteChange)
        onPaletteChanged();
    return QObject::eventFilter(watched, event);
}

void SystemAppearance::onPaletteChanged()
{
    // Once the portal has spoken it is the authority; the palette is only the fallback.
    if (!m_portalAnswered)
        setDark(paletteLooksDark());
}

void SystemAppearance::onSettingChanged(const QString &ns, const QString &key, const QDBusVariant &value)
{
    applySetting(ns, key, unwrap(value.variant()));
}

void SystemAppearance::applySetting(const QString &ns, const QString &key, const QVariant &value)
{
    if (ns == kAppearanceNs && key == kColorSchemeKey) {
        bool ok = false;
        const uint scheme = value.toUInt(&ok);
        if (ok) {
            m_portalAnswered = true;
            setDark(darkFromColorScheme(scheme));
        }
    } else if (ns == kInterfaceNs && key == kAnimationsKey && value.canConvert<bool>()) {
        setReduceMotion(!value.toBool());
    }
}

} // namespace papelo
