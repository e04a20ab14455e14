#pragma once

#include "core/ThemeMode.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

namespace papelo {

// What the command line asks for. Parsed before any application object
// exists, so that the web engine and platform can be set up from it.
struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };

    Action action = Action::Run;
    QString message;  // help/version text, or the reason for Fail
    QString baseUrl;  // normalised; empty keeps the configured default
    QString webOrigin;
    std::optional<ColorScheme> theme;  // --theme light|dark; none with themeGiven = the desktop's
    bool themeGiven = false;           // --theme system, too, overrides the stored choice for this run
    int tab = 0;
    QSize size;
    qint64 articleId = 0;
    qint64 authorId = 0;
    int picture = 0;  // --picture N: the article's Nth picture in the viewer
    int textSize = 0;  // --text-size PERCENT: this run's text size; 0 the stored one
    QString find;      // --find TEXT: the start article's find bar with TEXT
    bool shortcuts = false;  // --shortcuts: the shortcut sheet open from the start
    QString screenshotPath;
    QString tracePath;  // --trace: Chrome trace-event JSON written at exit

    // `environmentServer` is PAPELO_SERVER; the option wins over it.
    static CommandLine parse(const QStringList &arguments, const QString &environmentServer);
    static std::optional<int> tabFromName(const QString &name);
    static std::optional<QSize> sizeFromText(const QString &text);
};

} // namespace papelo
