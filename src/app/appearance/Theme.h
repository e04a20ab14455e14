#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace papelo {

// The palette every view draws with. Adaptive colours resolve from isDark,
// which App keeps equal to the window's effective appearance, so a change of
// appearance recolours every binding at once. Views reach it through the QML
// singleton Theme (Theme.qml), which forwards these properties and makes
// systemGray(level) calls re-evaluate when the appearance changes. UI thread only.
class Theme : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(ThemePalette)
    QML_SINGLETON
    Q_PROPERTY(bool isDark READ isDark NOTIFY changed)
    Q_PROPERTY(QColor accent READ accent NOTIFY changed)
    Q_PROPERTY(QColor accentHover READ accentHover CONSTANT)
    Q_PROPERTY(QColor accentSoft READ accentSoft NOTIFY changed)
    Q_PROPERTY(QColor appBackground READ appBackground NOTIFY changed)
    Q_PROPERTY(QColor surface READ surface NOTIFY changed)
    Q_PROPERTY(QColor ink READ ink NOTIFY changed)
    Q_PROPERTY(QColor muted READ muted NOTIFY changed)
    Q_PROPERTY(QColor border READ border NOTIFY changed)
    Q_PROPERTY(QColor surfaceFill READ surfaceFill NOTIFY changed)
    Q_PROPERTY(QColor danger READ danger CONSTANT)
    Q_PROPERTY(QColor warning READ warning CONSTANT)
    Q_PROPERTY(QColor success READ success CONSTANT)
    Q_PROPERTY(QColor primaryText READ primaryText NOTIFY changed)
    Q_PROPERTY(QColor secondaryText READ secondaryText NOTIFY changed)
    // Grouped-list look (settings tab): the list's own background and rows.
    Q_PROPERTY(QColor groupedBackground READ groupedBackground NOTIFY changed)
    Q_PROPERTY(QColor groupedRow READ groupedRow NOTIFY changed)
    Q_PROPERTY(QColor separator READ separator NOTIFY changed)
    Q_PROPERTY(int largeTitleSize MEMBER m_largeTitleSize CONSTANT)
    Q_PROPERTY(int title2Size MEMBER m_title2Size CONSTANT)
    Q_PROPERTY(int title3Size MEMBER m_title3Size CONSTANT)
    Q_PROPERTY(int headlineSize MEMBER m_headlineSize CONSTANT)
    Q_PROPERTY(int bodySize MEMBER m_bodySize CONSTANT)
    Q_PROPERTY(int subheadlineSize MEMBER m_subheadlineSize CONSTANT)
    Q_PROPERTY(int captionSize MEMBER m_captionSize CONSTANT)
    Q_PROPERTY(int caption2Size MEMBER m_caption2Size CONSTANT)
    Q_PROPERTY(QString iconFont READ iconFont CONSTANT)
public:
    // No default constructor: QML must take the instance from create().
    explicit Theme(QObject *parent);

    // The process's palette; App keeps its isDark current.
    static Theme *shared();
    static Theme *create(QQmlEngine *, QJSEngine *);

    // 0xRRGGBB, opaque; bits above 23 are ignored.
    static QColor hex(quint32 rgb);
    static QColor adaptive(QColor light, QColor dark, bool isDark) { return isDark ? dark : light; }
    // Neutral grey ramp: level 2 darkest ... 6 lightest in light appearance;
    // any other level gives 6.
    static QColor systemGray(int level, bool isDark);

    bool isDark() const { return m_dark; }
    void setDark(bool dark);

    QColor accent() const;
    QColor accentHover() const;
    QColor accentSoft() const;
    QColor appBackground() const;
    QColor surface() const;
    QColor ink() const;
    QColor muted() const;
    QColor border() const;
    QColor surfaceFill() const;
    QColor danger() const;
    QColor warning() const;
    QColor success() const;
    QColor primaryText() const;
    QColor secondaryText() const;
    QColor groupedBackground() const;
    QColor groupedRow() const;
    QColor separator() const;
    QString iconFont() const { return QStringLiteral("Material Icons"); }

    Q_INVOKABLE QColor systemGray(int level) const { return systemGray(level, m_dark); }
    Q_INVOKABLE QColor systemGrayFor(int level, bool isDark) const { return systemGray(level, isDark); }

signals:
    void changed();

private:
    bool m_dark = false;
    int m_largeTitleSize = 28;
    int m_title2Size = 20;
    int m_title3Size = 18;
    int m_headlineSize = 15;
    int m_bodySize = 14;
    int m_subheadlineSize = 13;
    int m_captionSize = 12;
    int m_caption2Size = 11;
};

} // namespace papelo
