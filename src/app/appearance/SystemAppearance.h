#pragma once

#include <QObject>

#include <QDBusVariant>

namespace papelo {

// The desktop's appearance preferences: dark colour scheme and reduced
// motion. start() follows the XDG desktop portal (org.freedesktop.appearance
// color-scheme, org.gnome.desktop.interface enable-animations) live; without
// a portal the platform palette's lightness decides dark. Tests drive the
// setters directly instead of starting it. UI thread only.
class SystemAppearance : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isDark READ isDark NOTIFY isDarkChanged)
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)
public:
    explicit SystemAppearance(QObject *parent = nullptr);

    bool isDark() const { return m_dark; }
    bool reduceMotion() const { return m_reduceMotion; }
    void setDark(bool dark);
    void setReduceMotion(bool reduce);

    // Reads the current values and subscribes to changes on the session bus.
    void start();

    // Portal values: color-scheme 1 prefers dark; 0 (none) and 2 (light) do not.
    static bool darkFromColorScheme(uint value) { return value == 1; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void isDarkChanged();
    void reduceMotionChanged();

private slots:
    void onSettingChanged(const QString &ns, const QString &key, const QDBusVariant &value);

private:
    void onPaletteChanged();
    void readPortal(const QString &ns, const QString &key);
    void applySetting(const QString &ns, const QString &key, const QVariant &value);
    bool paletteLooksDark() const;

    bool m_dark = false;
    bool m_reduceMotion = false;
    bool m_portalAnswered = false;
};

} // namespace papelo
