#include "shell/CommandLine.h"

#include "common/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ServerConfig.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace papelo {

namespace {
CommandLine failure(const QString &message)
{
    CommandLine line;
    line.action = CommandLine::Action::Fail;
    line.message = message;
    return line;
}

std::optional<qint64> positiveId(const QString &text)
{
    bool ok = false;
    const qint64 id = text.toLongLong(&ok);
    if (!ok || id <= 0)
        return std::nullopt;
    return id;
}
} // namespace

std::optional<int> CommandLine::tabFromName(const QString &name)
{
    static const QStringList names = {QStringLiteral("home"), QStringLiteral("discover"), QStringLiteral("profile"),
                                      QStringLiteral("settings")};
    const qsizetype index = names.indexOf(name);
    if (index < 0)
        return std::nullopt;
    return int(index);
}

std::optional<QSize> CommandLine::sizeFromText(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{2,5})[xX](\\d{2,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QSize size(match.captured(1).toInt(), match.captured(2).toInt());
    if (size.width() < 100 || size.height() < 100 || size.width() > 10000 || size.height() > 10000)
        return std::nullopt;
    return size;
}

CommandLine CommandLine::parse(const QStringList &arguments, const QString &environmentServer)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Papelo — a reader for the Papelo article server."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption server(QStringLiteral("server"),
                                    QStringLiteral("Server base URL (also PAPELO_SERVER)."), QStringLiteral("URL"));
    const QCommandLineOption webOrigin(QStringLiteral("web-origin"),
                                       QStringLiteral("Host name of the site's public web origin."),
                                       QStringLiteral("HOST"));
    const QCommandLineOption theme(QStringLiteral("theme"),
                                   QStringLiteral("Appearance for this run only: system, light or dark."),
                                   QStringLiteral("MODE"));
    const QCommandLineOption tab(QStringLiteral("tab"),
                                 QStringLiteral("Tab shown first: home, discover, profile or settings."),
                                 QStringLiteral("TAB"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Window size, e.g. 1200x800."),
                                  QStringLiteral("WxH"));
    const QCommandLineOption article(QStringLiteral("article"), QStringLiteral("Open this article on the home tab."),
                                     QStringLiteral("ID"));
    const QCommandLineOption author(QStringLiteral("author"), QStringLiteral("Open this author on the home tab."),
                                    QStringLiteral("ID"));
    const QCommandLineOption picture(QStringLiteral("picture"),
                                     QStringLiteral("With --article: show the article's Nth picture in the viewer."),
                                     QStringLiteral("N"));
    const QCommandLineOption textSize(QStringLiteral("text-size"),
                                      QStringLiteral("Text size for this run only, 80 to 200 (percent, steps of 10)."),
                                      QStringLiteral("PERCENT"));
    const QCommandLineOption find(QStringLiteral("find"),
                                  QStringLiteral("With --article: find TEXT in the article."), QStringLiteral("TEXT"));
    const QCommandLineOption shortcuts(QStringLiteral("shortcuts"), QStringLiteral("Show the shortcut sheet (F1)."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a PNG of the settled window to PATH and exit."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Record start-up, requests and decodes as a Chrome trace (JSON) "
                                                  "written to FILE at exit."),
                                   QStringLiteral("FILE"));
    parser.addOptions({server, webOrigin, theme, tab, size, article, author, picture, textSize, find, shortcuts, screenshot, trace});

    if (!parser.parse(arguments))
        return failure(parser.errorText());
    if (parser.isSet(help)) {
        CommandLine line;
        line.action = Action::ShowHelp;
        // Parsed before the application exists, Qt cannot name the program itself.
        const QString text = parser.helpText();
        line.message = QStringLiteral("Usage: papelo [options]") + text.mid(text.indexOf(QLatin1Char('\n')));
        return line;
    }
    if (parser.isSet(version)) {
        CommandLine line;
        line.action = Action::ShowVersion;
        line.message = QStringLiteral("%1 %2").arg(QString::fromUtf8(appinfo::product), QString::fromUtf8(appinfo::version));
        return line;
    }
    if (!parser.positionalArguments().isEmpty())
        return failure(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().constFirst()));

    CommandLine line;
    const QString optionServer = parser.isSet(server) ? parser.value(server) : QString();
    if (!optionServer.isEmpty() || !environmentServer.isEmpty()) {
        QString chosen;
        const auto resolved = ServerConfig::resolveBaseUrl(optionServer, environmentServer, &chosen);
        if (!resolved)
            return failure(QStringLiteral("Invalid server URL \"%1\": expected an absolute http(s) URL such as "
                                          "http://127.0.0.1:4000")
                               .arg(chosen));
        line.baseUrl = *resolved;
    } else if (parser.isSet(server)) {
        return failure(QStringLiteral("Invalid server URL \"\": expected an absolute http(s) URL"));
    }
    if (parser.isSet(webOrigin)) {
        const QString host = parser.value(webOrigin);
        if (!ServerConfig::isValidWebOrigin(host))
            return failure(QStringLiteral("Invalid web origin \"%1\": expected a bare host name").arg(host));
        line.webOrigin = host;
    }
    if (parser.isSet(theme)) {
        const auto mode = themeModeFromRaw(parser.value(theme));
        if (!mode)
            return failure(QStringLiteral("Invalid theme \"%1\": expected system, light or dark").arg(parser.value(theme)));
        line.themeGiven = true;
        line.theme = colorScheme(*mode);
    }
    if (parser.isSet(tab)) {
        const auto index = tabFromName(parser.value(tab));
        if (!index)
            return failure(QStringLiteral("Invalid tab \"%1\": expected home, discover, profile or settings")
                               .arg(parser.value(tab)));
        line.tab = *index;
    }
    if (parser.isSet(size)) {
        const auto parsed = sizeFromText(parser.value(size));
        if (!parsed)
            return failure(QStringLiteral("Invalid size \"%1\": expected WxH, e.g. 1200x800").arg(parser.value(size)));
        line.size = *parsed;
    }
    if (parser.isSet(article)) {
        const auto id = positiveId(parser.value(article));
        if (!id)
            return failure(QStringLiteral("Invalid article id \"%1\"").arg(parser.value(article)));
        line.articleId = *id;
    }
    if (parser.isSet(author)) {
        const auto id = positiveId(parser.value(author));
        if (!id)
            return failure(QStringLiteral("Invalid author id \"%1\"").arg(parser.value(author)));
        line.authorId = *id;
    }
    if (parser.isSet(picture)) {
        const auto number = positiveId(parser.value(picture));
        if (!number || *number > 1000 || line.articleId == 0)
            return failure(QStringLiteral("Invalid picture \"%1\": expected a number from 1 with --article")
                               .arg(parser.value(picture)));
        line.picture = int(*number);
    }
    if (parser.isSet(textSize)) {
        bool ok = false;
        const int percent = parser.value(textSize).toInt(&ok);
        if (!ok || !AppSettings::isTextSize(percent))
            return failure(QStringLiteral("Invalid text size \"%1\": expected 80 to 200 in steps of 10")
                               .arg(parser.value(textSize)));
        line.textSize = percent;
    }
    if (parser.isSet(find)) {
        line.find = parser.value(find);
        if (line.find.isEmpty() || line.articleId == 0)
            return failure(QStringLiteral("--find needs a text and --article"));
    }
    line.shortcuts = parser.isSet(shortcuts);
    if (parser.isSet(screenshot)) {
        line.screenshotPath = parser.value(screenshot);
        if (line.screenshotPath.isEmpty())
            return failure(QStringLiteral("--screenshot needs a file path"));
    }
    if (parser.isSet(trace)) {
        line.tracePath = parser.value(trace);
        if (line.tracePath.isEmpty())
            return failure(QStringLiteral("--trace needs a file path"));
    }
    return line;
}

} // namespace papelo
