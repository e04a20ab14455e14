#pragma once

#include "core/ThemeMode.h"

#include <QObject>

namespace papelo {

// The persisted appearance choice under "themeModeRaw". Every read goes to
// the store, every write is stored at once. UI thread only.
class AppSettings : public QObject {
    Q_OBJECT
    // 0 system, 1 light, 2 dark: the order of allThemeModes().
    Q_PROPERTY(int themeModeIndex READ themeModeIndex WRITE setThemeModeIndex NOTIFY changed)
    Q_PROPERTY(QString themeModeRaw READ themeModeRaw NOTIFY changed)
public:
    explicit AppSettings(QString settingsPath = {}, QObject *parent = nullptr);

    QString themeModeRaw() const;
    void setThemeModeRaw(const QString &raw);
    ThemeMode themeMode() const;
    void setThemeMode(ThemeMode mode);
    std::optional<ColorScheme> colorScheme() const;

    int themeModeIndex() const;
    void setThemeModeIndex(int index);

signals:
    void changed();

private:
    QString m_settingsPath;
};

} // namespace papelo
