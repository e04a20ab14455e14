pragma Singleton
import QtQuick
import Papelo

// The palette for views. Values come from the C++ ThemePalette; systemGray()
// is defined here so that a binding calling it reads isDark and is
// re-evaluated when the appearance changes.
QtObject {
    readonly property bool isDark: ThemePalette.isDark
    readonly property color accent: ThemePalette.accent
    readonly property color accentHover: ThemePalette.accentHover
    readonly property color accentSoft: ThemePalette.accentSoft
    readonly property color appBackground: ThemePalette.appBackground
    readonly property color surface: ThemePalette.surface
    readonly property color ink: ThemePalette.ink
    readonly property color muted: ThemePalette.muted
    readonly property color border: ThemePalette.border
    readonly property color surfaceFill: ThemePalette.surfaceFill
    readonly property color danger: ThemePalette.danger
    readonly property color warning: ThemePalette.warning
    readonly property color success: ThemePalette.success
    readonly property color primaryText: ThemePalette.primaryText
    readonly property color secondaryText: ThemePalette.secondaryText
    readonly property color groupedBackground: ThemePalette.groupedBackground
    readonly property color groupedRow: ThemePalette.groupedRow
    readonly property color separator: ThemePalette.separator
    readonly property int largeTitleSize: ThemePalette.largeTitleSize
    readonly property int title2Size: ThemePalette.title2Size
    readonly property int title3Size: ThemePalette.title3Size
    readonly property int headlineSize: ThemePalette.headlineSize
    readonly property int bodySize: ThemePalette.bodySize
    readonly property int subheadlineSize: ThemePalette.subheadlineSize
    readonly property int captionSize: ThemePalette.captionSize
    readonly property int caption2Size: ThemePalette.caption2Size
    readonly property string iconFont: ThemePalette.iconFont

    function systemGray(level) {
        return ThemePalette.systemGrayFor(level, isDark)
    }
}
