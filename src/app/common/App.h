#pragma once

#include "common/AppCommands.h"
#include "core/AppSettings.h"
#include "core/ReadingPositions.h"
#include "core/AuthManager.h"
#include "appearance/SystemAppearance.h"
#include "appearance/Theme.h"
#include "core/ThemeMode.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QQmlEngine;
class QJSEngine;

namespace papelo {

// The window's shared objects (sign-in, appearance choice, menu commands,
// palette) and the shell state that outlives any one screen. One instance
// per process for the real window (shared()); tests build their own over a
// temporary settings file. UI thread only.
class App : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(papelo::AuthManager *auth READ auth CONSTANT)
    Q_PROPERTY(papelo::AppSettings *settings READ settings CONSTANT)
    Q_PROPERTY(papelo::ReadingPositions *readingPositions READ readingPositions CONSTANT)
    Q_PROPERTY(papelo::AppCommands *commands READ commands CONSTANT)
    Q_PROPERTY(bool isDark READ isDark NOTIFY appearanceChanged)
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)
    Q_PROPERTY(qreal windowWidth READ windowWidth WRITE setWindowWidth NOTIFY windowWidthChanged)
    Q_PROPERTY(bool compact READ compact NOTIFY compactChanged)
    Q_PROPERTY(int selectedTab READ selectedTab WRITE setSelectedTab NOTIFY selectedTabChanged)
    Q_PROPERTY(bool aboutVisible READ aboutVisible WRITE setAboutVisible NOTIFY aboutVisibleChanged)
    // Pages to open on the home tab at start (0 = none); for screenshots.
    Q_PROPERTY(double startArticleId READ startArticleId CONSTANT)
    Q_PROPERTY(double startAuthorId READ startAuthorId CONSTANT)
    Q_PROPERTY(bool startShortcuts READ startShortcuts CONSTANT)
    Q_PROPERTY(QString aboutMessage READ aboutMessage CONSTANT)
    // The server every screen talks to; --server or PAPELO_SERVER fix it for the run.
    Q_PROPERTY(QString serverUrl READ serverUrl NOTIFY serverChanged)
    Q_PROPERTY(bool serverFixed READ serverFixed CONSTANT)
public:
    // An empty settingsPath means the standard store; appearance may be
    // injected (tests) and is otherwise owned and not started.
    // No default constructor: QML must take the instance from create().
    App(QString settingsPath, SystemAppearance *appearance, QObject *parent = nullptr);
    ~App() override;

    static App *shared();
    static App *create(QQmlEngine *, QJSEngine *);

    AuthManager *auth() const { return m_auth; }
    AppSettings *settings() const { return m_settings; }
    ReadingPositions *readingPositions() const { return m_readingPositions; }
    AppCommands *commands() const { return m_commands; }
    Theme *theme() const { return m_theme; }
    SystemAppearance *systemAppearance() const { return m_appearance; }

    // The appearance for this run only (command line), whatever is stored;
    // never persisted. A scheme fixes it, none follows the desktop.
    void setThemeOverride(std::optional<ColorScheme> scheme);
    // Back to the stored choice.
    void clearThemeOverride();
    std::optional<ColorScheme> effectiveColorScheme() const;
    bool isDark() const;
    bool reduceMotion() const { return m_appearance->reduceMotion(); }

    qreal windowWidth() const { return m_windowWidth; }
    void setWindowWidth(qreal width);
    bool compact() const;

    int selectedTab() const { return m_selectedTab; }
    void setSelectedTab(int tab);
    bool aboutVisible() const { return m_aboutVisible; }
    void setAboutVisible(bool visible);

    double startArticleId() const { return double(m_startArticleId); }
    double startAuthorId() const { return double(m_startAuthorId); }
    void setStartPages(qint64 articleId, qint64 authorId);
    // The start article's picture (1-based) to show in the viewer once its
    // body has loaded; taking it hands it out once, then 0.
    void setStartPicture(int picture) { m_startPicture = picture; }
    Q_INVOKABLE int takeStartPicture(double articleId);
    void setStartFind(const QString &text) { m_startFind = text; }
    // The shortcut sheet shown at start-up (--shortcuts).
    bool startShortcuts() const { return m_startShortcuts; }
    void setStartShortcuts(bool shown) { m_startShortcuts = shown; }
    // The --find text for the start article, once.
    Q_INVOKABLE QString takeStartFind(double articleId);

    static QString aboutMessage();

    QString serverUrl() const;
    bool serverFixed() const { return m_serverFixed; }
    void setServerFixed(bool fixed) { m_serverFixed = fixed; }
    // Every screen moves to another server (a normalised base URL, already
    // checked): it is stored for later runs, the counts store forgets the
    // old server's ids, the sign-in follows the server, and serverChanged()
    // has the shell rebuild the tabs (pushed pages close, their loads are
    // cancelled). Ignored while the server is fixed for the run.
    void switchServer(const QString &baseUrl);

signals:
    void appearanceChanged();
    void reduceMotionChanged();
    void compactChanged();
    void windowWidthChanged();
    void selectedTabChanged();
    void aboutVisibleChanged();
    void serverChanged();

private:
    void updateAppearance();
    void openAbout() { setAboutVisible(true); }

    AuthManager *m_auth;
    AppSettings *m_settings;
    ReadingPositions *m_readingPositions;
    AppCommands *m_commands;
    Theme *m_theme;
    QPointer<SystemAppearance> m_appearance;
    bool m_overridden = false;
    std::optional<ColorScheme> m_override;
    bool m_dark = false;
    qreal m_windowWidth = 0;
    int m_selectedTab = 0;
    bool m_aboutVisible = false;
    qint64 m_startArticleId = 0;
    qint64 m_startAuthorId = 0;
    int m_startPicture = 0;
    QString m_startFind;
    bool m_startShortcuts = false;
    bool m_serverFixed = false;
};

} // namespace papelo
