#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace papelo {

// Grid and width rules shared by every article list and reading page.
class LayoutRules : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(qreal adaptiveMaxWidth READ adaptiveMaxWidth CONSTANT)
    Q_PROPERTY(qreal columnSpacing READ columnSpacing CONSTANT)
public:
    using QObject::QObject;

    static constexpr qreal kAdaptiveMaxWidth = 1100;
    // A window narrower than this is "compact" (two card columns).
    static constexpr qreal kCompactBreakpoint = 700;
    static constexpr qreal kColumnSpacing = 16;

    qreal adaptiveMaxWidth() const { return kAdaptiveMaxWidth; }
    qreal columnSpacing() const { return kColumnSpacing; }

    Q_INVOKABLE static int articleGridColumns(bool compact) { return compact ? 2 : 3; }
    Q_INVOKABLE static bool isCompact(qreal windowWidth) { return windowWidth > 0 && windowWidth < kCompactBreakpoint; }
    // Width the content gets inside `available`: min(available, 1100).
    Q_INVOKABLE static qreal contentWidth(qreal available) { return qMax<qreal>(0, qMin(available, kAdaptiveMaxWidth)); }
    // Free space left of centred content.
    Q_INVOKABLE static qreal sideInset(qreal available) { return qMax<qreal>(0, (available - contentWidth(available)) / 2); }
    // Width of one of `columns` equal columns sharing `available` with 16-pt gaps.
    Q_INVOKABLE static qreal columnWidth(qreal available, int columns)
    {
        if (columns < 1)
            return qMax<qreal>(0, available);
        return qMax<qreal>(10, (available - kColumnSpacing * (columns - 1)) / columns);
    }
};

} // namespace papelo
