#include "appearance/Theme.h"

#include <QCoreApplication>
#include <QJSEngine>
#include <QPointer>

namespace papelo {

Theme::Theme(QObject *parent) : QObject(parent) {}

Theme *Theme::shared()
{
    // One palette per process; parented to the application so it goes first.
    static QPointer<Theme> instance;
    if (!instance)
        instance = new Theme(QCoreApplication::instance());
    return instance;
}

Theme *Theme::create(QQmlEngine *, QJSEngine *)
{
    Theme *theme = shared();
    QJSEngine::setObjectOwnership(theme, QJSEngine::CppOwnership);
    return theme;
}

QColor Theme::hex(quint32 rgb)
{
    return QColor::fromRgb(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

QColor Theme::systemGray(int level, bool isDark)
{
    static const quint32 light[] = {0xAEAEB2, 0xC7C7CC, 0xD1D1D6, 0xE5E5EA, 0xF2F2F7};
    static const quint32 dark[] = {0x636366, 0x48484A, 0x3A3A3C, 0x2C2C2E, 0x1C1C1E};
    const int index = (level >= 2 && level <= 5) ? level - 2 : 4;
    return hex(isDark ? dark[index] : light[index]);
}

void Theme::setDark(bool dark)
{
    if (dark == m_dark)
        return;
    m_dark = dark;
    emit changed();
}

QColor Theme::accent() const { return adaptive(hex(0x0F7B6C), hex(0x57B8A8), m_dark); }
QColor Theme::accentHover() const { return hex(0x0C6358); }

QColor Theme::accentSoft() const
{
    QColor c = accent();
    c.setAlphaF(0.12f);
    return c;
}

QColor Theme::appBackground() const { return adaptive(hex(0xF9F8F6), hex(0x111210), m_dark); }
QColor Theme::surface() const { return adaptive(hex(0xFFFFFF), hex(0x1B1C1A), m_dark); }
QColor Theme::ink() const { return adaptive(hex(0x1F1D1A), hex(0xF0EFEC), m_dark); }
QColor Theme::muted() const { return adaptive(hex(0x787570), hex(0x9B968F), m_dark); }
QColor Theme::border() const { return adaptive(hex(0xECEBE8), hex(0x2A2B28), m_dark); }
QColor Theme::surfaceFill() const { return adaptive(hex(0xF3F2EF), hex(0x222321), m_dark); }
QColor Theme::danger() const { return hex(0xD13438); }
QColor Theme::warning() const { return hex(0xFF8C00); }
QColor Theme::success() const { return hex(0x107C10); }
QColor Theme::primaryText() const { return adaptive(hex(0x000000), hex(0xFFFFFF), m_dark); }

QColor Theme::secondaryText() const
{
    // Secondary label: the primary ink at reduced opacity over any surface.
    QColor c = adaptive(hex(0x3C3C43), hex(0xEBEBF5), m_dark);
    c.setAlphaF(0.6f);
    return c;
}

QColor Theme::groupedBackground() const { return adaptive(hex(0xF2F2F7), hex(0x000000), m_dark); }
QColor Theme::groupedRow() const { return adaptive(hex(0xFFFFFF), hex(0x1C1C1E), m_dark); }
QColor Theme::separator() const { return adaptive(hex(0xC6C6C8), hex(0x38383A), m_dark); }

} // namespace papelo
