#include "common/App.h"
#include "common/AppInfo.h"
#include "shell/CommandLine.h"
#include "shell/FrameWatcher.h"
#include "shell/ScreenshotController.h"
#include "shell/ShellCommands.h"
#include "core/ServerConfig.h"
#include "core/Trace.h"
#include "reading/ArticleDocumentServer.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <algorithm>
#include <cstdio>
#include <vector>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

namespace {

QStringList rawArguments(int argc, char *argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

void writeTrace()
{
    QString error;
    if (!papelo::trace::flush(&error))
        std::fputs(qPrintable(QStringLiteral("papelo: cannot write the trace: ") + error + QLatin1Char('\n')), stderr);
}

// The article pages render in Chromium, which does not see our palette: tell
// it the appearance when it is fixed (an explicit --theme or a stored choice).
// The engine takes its switches from the arguments after --webEngineArgs,
// unless QTWEBENGINE_CHROMIUM_FLAGS is set: that replaces them all. So the
// switch joins the variable only when the user set it, and otherwise the
// arguments, where it cannot drop switches the user gave there.
void preferWebColorScheme(std::optional<papelo::ColorScheme> scheme, QList<QByteArray> &arguments)
{
    if (!scheme)
        return;
    const QByteArray setting = *scheme == papelo::ColorScheme::Dark ? "--blink-settings=preferredColorScheme=0"
                                                                    : "--blink-settings=preferredColorScheme=1";
    if (qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (!flags.contains("preferredColorScheme"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.isEmpty() ? setting : flags + ' ' + setting);
        return;
    }
    const qsizetype marker = arguments.indexOf("--webEngineArgs");
    if (marker >= 0 && std::any_of(arguments.cbegin() + marker, arguments.cend(),
                                   [](const QByteArray &a) { return a.contains("preferredColorScheme"); }))
        return;
    if (marker < 0)
        arguments.append("--webEngineArgs");
    arguments.append(setting);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QString::fromUtf8(papelo::appinfo::organization));
    QCoreApplication::setApplicationName(QStringLiteral("Papelo"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(papelo::appinfo::version));

    const papelo::CommandLine line =
        papelo::CommandLine::parse(rawArguments(argc, argv), qEnvironmentVariable("PAPELO_SERVER"));
    switch (line.action) {
    case papelo::CommandLine::Action::ShowHelp:
    case papelo::CommandLine::Action::ShowVersion:
        std::fputs(qPrintable(line.message + QLatin1Char('\n')), stdout);
        return 0;
    case papelo::CommandLine::Action::Fail:
        std::fputs(qPrintable(QStringLiteral("papelo: ") + line.message + QLatin1Char('\n')), stderr);
        return 2;
    case papelo::CommandLine::Action::Run:
        break;
    }
    if (!line.tracePath.isEmpty()) {
        papelo::trace::start(line.tracePath);
        papelo::trace::instant("main");
    }

    // A screenshot needs no display: render offscreen when there is none.
    if (!line.screenshotPath.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(argv[i]);
    preferWebColorScheme(line.themeGiven ? line.theme : papelo::AppSettings().colorScheme(), arguments);
    std::vector<char *> appArgv;
    for (QByteArray &argument : arguments)
        appArgv.push_back(argument.data());
    appArgv.push_back(nullptr);
    int appArgc = int(arguments.size());

    // Qt WebEngine keeps the article bodies away from screen readers on Linux
    // unless the variable is set before it starts; a value the user set stays.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
        qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");

    qint64 phaseUs = papelo::trace::enabled() ? papelo::trace::nowUs() : 0;
    // Article documents come from a scheme of the reader's own (before the app object).
    papelo::ArticleDocumentServer::registerScheme();
    QtWebEngineQuick::initialize();
    QGuiApplication app(appArgc, appArgv.data());
    if (papelo::trace::enabled()) {
        papelo::trace::complete("startup", QStringLiteral("web engine and application"), phaseUs,
                                papelo::trace::nowUs());
    }
    QGuiApplication::setDesktopFileName(QStringLiteral("papelo"));

    // --server and PAPELO_SERVER decide the run; otherwise the server chosen
    // in the settings tab, then the compiled default.
    if (!line.baseUrl.isEmpty())
        papelo::ServerConfig::setBaseUrl(line.baseUrl);
    else if (const auto stored = papelo::AppSettings().storedServer())
        papelo::ServerConfig::setBaseUrl(*stored);
    if (!line.webOrigin.isEmpty())
        papelo::ServerConfig::setWebOrigin(line.webOrigin);

    QQuickStyle::setStyle(QStringLiteral("Basic"));
    papelo::App *shell = papelo::App::shared();
    papelo::connectShellCommands(shell);
    shell->setServerFixed(!line.baseUrl.isEmpty());
    if (line.themeGiven)
        shell->setThemeOverride(line.theme);
    shell->setSelectedTab(line.tab);
    shell->setStartPages(line.articleId, line.authorId);
    shell->setStartPicture(line.picture);
    shell->setStartFind(line.find);
    shell->setStartShortcuts(line.shortcuts);
    if (line.textSize > 0)
        shell->settings()->setTextSizeForRun(line.textSize);
    shell->systemAppearance()->start();

    QQmlApplicationEngine engine;
    phaseUs = papelo::trace::enabled() ? papelo::trace::nowUs() : 0;
    engine.load(QUrl(QStringLiteral("qrc:/Papelo/Main.qml")));
    if (papelo::trace::enabled())
        papelo::trace::complete("startup", QStringLiteral("QML load"), phaseUs, papelo::trace::nowUs());
    auto *window = engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst());
    if (!window) {
        std::fputs("papelo: the main window could not be created\n", stderr);
        return 1;
    }
    if (line.size.isValid())
        window->resize(line.size);
    std::optional<papelo::FrameWatcher> frames;
    if (papelo::trace::enabled())
        frames.emplace(window);

    if (line.screenshotPath.isEmpty()) {
        const int code = app.exec();
        writeTrace();
        return code;
    }

    papelo::ScreenshotController screenshot(window, line.screenshotPath);
    int exitCode = 0;
    QObject::connect(&screenshot, &papelo::ScreenshotController::finished, &app,
                     [&exitCode](int code, const QString &message) {
                         writeTrace();
                         exitCode = code;
                         if (code != 0)
                             std::fputs(qPrintable(QStringLiteral("papelo: ") + message + QLatin1Char('\n')), stderr);
                         QCoreApplication::exit(code);
                     });
    screenshot.start();
    app.exec();
    writeTrace();
    return exitCode;
}
