#include "core/ServerConfig.h"
#include "core/StyledHtml.h"

#include <QtTest>

using namespace papelo;

namespace {
const QString kOrigin = QStringLiteral("papelo.example");

// The reading document written out by hand, independently of the code.
QString expectedHead()
{
    return QStringLiteral(
        "<!DOCTYPE html>\n<html>\n<head>\n"
        "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0, maximum-scale=1.0\">\n"
        "    <base href=\"https://papelo.example/\">\n    <style>\n        body {\n"
        "            font-family: -apple-system, system-ui; padding: 16px; margin: 0;\n"
        "            word-break: break-word; font-size: 17px; line-height: 1.7;\n"
        "            background: #F9F8F6; color: #1F1D1A;\n        }\n        p { margin: 12px 0; }\n"
        "        h1, h2, h3, h4 { line-height: 1.3; margin: 20px 0 10px; }\n"
        "        a { color: #0F7B6C; text-decoration: none; }\n        img {\n"
        "            max-width: 100%; height: auto; display: block; margin: 8px auto;\n"
        "            border-radius: 8px; opacity: 0; animation: fadeIn 0.4s ease forwards;\n        }\n"
        "        figure { margin: 12px 0; }\n"
        "        figcaption { font-size: 12px; color: #787570; text-align: center; margin-top: 4px; }\n"
        "        blockquote {\n            margin: 12px 0; padding: 10px 14px; border-left: 3px solid #0F7B6C;\n"
        "            background: rgba(15,123,108,.08); border-radius: 6px;\n        }\n        code {\n"
        "            background: rgba(15,123,108,.12); color: #0C6358; padding: 2px 5px;\n"
        "            border-radius: 4px; font-size: .9em;\n        }\n        pre {\n"
        "            white-space: pre-wrap; overflow-x: auto; background: #1F1D1A; color: #F0EFEC;\n"
        "            padding: 12px; border-radius: 8px;\n        }\n"
        "        table { border-collapse: collapse; width: 100%; margin: 12px 0; }\n"
        "        th, td { border: 1px solid #ECEBE8; padding: 6px 10px; }\n"
        "        @keyframes fadeIn { from { opacity: 0; } to { opacity: 1; } }\n"
        "        @media (prefers-color-scheme: dark) {\n"
        "            body { background: #111210; color: #E6E4E0; }\n            a { color: #57B8A8; }\n"
        "            figcaption { color: #9B968F; }\n"
        "            blockquote { border-left-color: #57B8A8; background: rgba(87,184,168,.10); }\n"
        "            code { color: #57B8A8; background: rgba(87,184,168,.14); }\n"
        "            th, td { border-color: #2A2B28; }\n        }\n    </style>\n</head>\n<body>\n    ");
}

const QString kTail = QStringLiteral("\n</body>\n</html>");
} // namespace

class StyledHtmlTest : public QObject {
    Q_OBJECT
private slots:
    // Only "http://" followed by exactly the origin becomes https; nothing
    // else in the body changes, not even by escaping.
    void originRewrite_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("rewritten"); // null: unchanged
        const auto row = [](const char *name, const char *body, const char *rewritten = nullptr) {
            QTest::newRow(name) << QString::fromUtf8(body) << (rewritten ? QString::fromUtf8(rewritten) : QString());
        };
        row("empty", "");
        row("image path", "<img src=\"http://papelo.example/img/a.png\">", "<img src=\"https://papelo.example/img/a.png\">");
        row("port", "<a href=\"http://papelo.example:8080/x\">x</a>", "<a href=\"https://papelo.example:8080/x\">x</a>");
        row("longer host, text match only", "http://papelo.example.evil.test/", "https://papelo.example.evil.test/");
        row("several, left to right", "http://papelo.example http://papelo.examplehttp://papelo.example",
            "https://papelo.example https://papelo.examplehttps://papelo.example");
        row("upper-case scheme", "HTTP://papelo.example/a Http://papelo.example/b");
        row("upper-case host", "http://Papelo.Example/a");
        row("https", "https://papelo.example/a");
        row("other host", "<img src=\"http://cdn.test/papelo.example.png\">");
        row("relative", "<img src=\"/img.png\">");
        row("no escaping, multi-line", "<p>a &amp; <b>b</b></p>\n<script>x<1</script>\n中文 %1 \\n");
    }
    void originRewrite()
    {
        QFETCH(QString, body);
        QFETCH(QString, rewritten);
        QCOMPARE(styledHTML(body, kOrigin), expectedHead() + (rewritten.isNull() ? body : rewritten) + kTail);
    }

    void emptyOriginRewritesNothing()
    {
        const QString body = QStringLiteral("<a href=\"http://other.test/\">x</a>");
        QVERIFY(styledHTML(body, QString()).endsWith(QStringLiteral("\n    ") + body + kTail));
    }

    void configuredOrigin()
    {
        const QString saved = ServerConfig::webOrigin();
        ServerConfig::setWebOrigin(QStringLiteral("blog.test"));
        const QString doc = styledHTML(QStringLiteral("<img src=\"http://blog.test/a.png\">"));
        ServerConfig::setWebOrigin(saved);
        QVERIFY(doc.contains(QStringLiteral("    <base href=\"https://blog.test/\">\n")));
        QVERIFY(doc.contains(QStringLiteral("\n    <img src=\"https://blog.test/a.png\">\n</body>")));
    }
};

QTEST_GUILESS_MAIN(StyledHtmlTest)
#include "tst_styledhtml.moc"
