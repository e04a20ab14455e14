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
        "<!DOCTYPE html>\n"
        "<html>\n"
        "<head>\n"
        "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0, maximum-scale=1.0\">\n"
        "    <base href=\"https://papelo.example/\">\n"
        "    <style>\n"
        "        body {\n"
        "            font-family: -apple-system, system-ui; padding: 16px; margin: 0;\n"
        "            word-break: break-word; font-size: 17px; line-height: 1.7;\n"
        "            background: #F9F8F6; color: #1F1D1A;\n"
        "        }\n"
        "        p { margin: 12px 0; }\n"
        "        h1, h2, h3, h4 { line-height: 1.3; margin: 20px 0 10px; }\n"
        "        a { color: #0F7B6C; text-decoration: none; }\n"
        "        img {\n"
        "            max-width: 100%; height: auto; display: block; margin: 8px auto;\n"
        "            border-radius: 8px; opacity: 0; animation: fadeIn 0.4s ease forwards;\n"
        "        }\n"
        "        figure { margin: 12px 0; }\n"
        "        figcaption { font-size: 12px; color: #787570; text-align: center; margin-top: 4px; }\n"
        "        blockquote {\n"
        "            margin: 12px 0; padding: 10px 14px; border-left: 3px solid #0F7B6C;\n"
        "            background: rgba(15,123,108,.08); border-radius: 6px;\n"
        "        }\n"
        "        code {\n"
        "            background: rgba(15,123,108,.12); color: #0C6358; padding: 2px 5px;\n"
        "            border-radius: 4px; font-size: .9em;\n"
        "        }\n"
        "        pre {\n"
        "            white-space: pre-wrap; overflow-x: auto; background: #1F1D1A; color: #F0EFEC;\n"
        "            padding: 12px; border-radius: 8px;\n"
        "        }\n"
        "        table { border-collapse: collapse; width: 100%; margin: 12px 0; }\n"
        "        th, td { border: 1px solid #ECEBE8; padding: 6px 10px; }\n"
        "        @keyframes fadeIn { from { opacity: 0; } to { opacity: 1; } }\n"
        "        @media (prefers-color-scheme: dark) {\n"
        "            body { background: #111210; color: #E6E4E0; }\n"
        "            a { color: #57B8A8; }\n"
        "            figcaption { color: #9B968F; }\n"
        "            blockquote { border-left-color: #57B8A8; background: rgba(87,184,168,.10); }\n"
        "            code { color: #57B8A8; background: rgba(87,184,168,.14); }\n"
        "            th, td { border-color: #2A2B28; }\n"
        "        }\n"
        "    </style>\n"
        "</head>\n"
        "<body>\n"
        "    ");
}

const QString kTail = QStringLiteral("\n</body>\n</html>");
} // namespace

class StyledHtmlTest : public QObject {
    Q_OBJECT
private slots:
    void emptyBody()
    {
        const QString doc = styledHTML(QString(), kOrigin);
        QCOMPARE(doc, expectedHead() + kTail);
        QVERIFY(doc.contains(QStringLiteral("\n<body>\n    \n</body>\n</html>")));
        QVERIFY(!doc.endsWith(QLatin1Char('\n')));
        QCOMPARE(doc.count(QLatin1Char('\n')), expectedHead().count(QLatin1Char('\n')) + 2);
    }

    void originRewrite_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("rewritten");
        QTest::newRow("image path") << QStringLiteral("<img src=\"http://papelo.example/img/a.png\">")
                                    << QStringLiteral("<img src=\"https://papelo.example/img/a.png\">");
        QTest::newRow("port") << QStringLiteral("<a href=\"http://papelo.example:8080/x\">x</a>")
                              << QStringLiteral("<a href=\"https://papelo.example:8080/x\">x</a>");
        QTest::newRow("longer host, text match only") << QStringLiteral("http://papelo.example.evil.test/")
                                                      << QStringLiteral("https://papelo.example.evil.test/");
        QTest::newRow("several, left to right") << QStringLiteral("http://papelo.example http://papelo.examplehttp://papelo.example")
                                                << QStringLiteral("https://papelo.example https://papelo.examplehttps://papelo.example");
        QTest::newRow("upper-case scheme untouched") << QStringLiteral("HTTP://papelo.example/a Http://papelo.example/b")
                                                     << QStringLiteral("HTTP://papelo.example/a Http://papelo.example/b");
        QTest::newRow("upper-case host untouched") << QStringLiteral("http://Papelo.Example/a")
                                                   << QStringLiteral("http://Papelo.Example/a");
        QTest::newRow("https untouched") << QStringLiteral("https://papelo.example/a")
                                         << QStringLiteral("https://papelo.example/a");
        QTest::newRow("other host untouched") << QStringLiteral("<img src=\"http://cdn.test/papelo.example.png\">")
                                              << QStringLiteral("<img src=\"http://cdn.test/papelo.example.png\">");
        QTest::newRow("relative untouched") << QStringLiteral("<img src=\"/img.png\">")
                                            << QStringLiteral("<img src=\"/img.png\">");
        QTest::newRow("no escaping, multi-line")
            << QStringLiteral("<p>a &amp; <b>b</b></p>\n<script>x<1</script>\n中文 %1 \\n")
            << QStringLiteral("<p>a &amp; <b>b</b></p>\n<script>x<1</script>\n中文 %1 \\n");
    }
    void originRewrite()
    {
        QFETCH(QString, body);
        QFETCH(QString, rewritten);
        QCOMPARE(styledHTML(body, kOrigin), expectedHead() + rewritten + kTail);
    }

    void deterministic()
    {
        const QString body = QStringLiteral("<p>http://papelo.example/x</p>");
        const QString first = styledHTML(body, kOrigin);
        const QString second = styledHTML(body, kOrigin);
        QCOMPARE(first.toUtf8(), second.toUtf8());
    }

    void emptyOriginRewritesNothing()
    {
        const QString body = QStringLiteral("<a href=\"http://other.test/\">x</a>");
        const QString doc = styledHTML(body, QString());
        QVERIFY(doc.contains(QStringLiteral("\n    ") + body + kTail));
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
