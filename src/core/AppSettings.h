#pragma once

#include "core/ThemeMode.h"

#include <QObject>

#include <optional>

namespace papelo {

// The persisted appearance choice under "themeModeRaw", and the server
// chosen in the settings tab under "serverURL". Reads go to the store until
// this object writes; every write is stored at once and also kept in memory,
// so a store that cannot be written still changes the appearance for this
// run. UI thread only.
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

    // The stored server address, normalised; none when nothing usable is stored.
    std::optional<QString> storedServer() const;
    void setStoredServer(const QString &baseUrl);

signals:
    void changed();

private:
    QString m_settingsPath;
    std::optional<QString> m_written;
};

} // namespace papelo
