#pragma once

#include "core/ThemeMode.h"

#include <QObject>

#include <optional>

namespace papelo {

// The persisted appearance choice under "themeModeRaw", the reading text
// size under "textSizePercent", and the server chosen in the settings tab
// under "serverURL". Reads go to the store until
// this object writes; every write is stored at once and also kept in memory,
// so a store that cannot be written still changes the appearance for this
// run. UI thread only.
class AppSettings : public QObject {
    Q_OBJECT
    // 0 system, 1 light, 2 dark: the order of allThemeModes().
    Q_PROPERTY(int themeModeIndex READ themeModeIndex WRITE setThemeModeIndex NOTIFY changed)
    Q_PROPERTY(QString themeModeRaw READ themeModeRaw NOTIFY changed)
    // The article page's text in percent of its normal size.
    Q_PROPERTY(int textSizePercent READ textSizePercent WRITE setTextSizePercent NOTIFY textSizeChanged)
public:
    static constexpr int kMinTextSize = 80;
    static constexpr int kMaxTextSize = 200;
    static constexpr int kTextSizeStep = 10;
    static constexpr int kDefaultTextSize = 100;

    explicit AppSettings(QString settingsPath = {}, QObject *parent = nullptr);

    QString themeModeRaw() const;
    void setThemeModeRaw(const QString &raw);
    ThemeMode themeMode() const;
    void setThemeMode(ThemeMode mode);
    std::optional<ColorScheme> colorScheme() const;

    int themeModeIndex() const;
    void setThemeModeIndex(int index);

    // A stored text size that is not one of the steps reads as the default
    // and is left alone; a written one is put on the nearest step in range.
    int textSizePercent() const;
    void setTextSizePercent(int percent);
    // One step larger (1), smaller (-1), or back to the default (0), stored.
    Q_INVOKABLE void stepTextSize(int steps);
    // This run only, nothing stored (the screenshot mode).
    void setTextSizeForRun(int percent);
    // `steps` steps up (or down) from `percent`, within the range.
    static int steppedTextSize(int percent, int steps);
    static bool isTextSize(int percent);

    // The stored server address, normalised; none when nothing usable is stored.
    std::optional<QString> storedServer() const;
    void setStoredServer(const QString &baseUrl);

signals:
    void changed();
    void textSizeChanged();

private:
    QString m_settingsPath;
    std::optional<QString> m_written;
    mutable std::optional<int> m_textSize;  // read once, then kept
};

} // namespace papelo
