#include "core/ServerConfig.h"
#include "core/StyledHtml.h"

#include <QtTest>

using namespace papelo;

namespace {
const QString kOrigin = QStringLiteral("papelo.example");
const QString kTail = QStringLiteral("\n</body>\n</html>");

// The document around an empty body: what every body is placed into. Its
// styles are measured where they take effect, in the real engine (tst_webview).
QString emptyDocument() { return styledHTML(QString(), kOrigin).chopped(kTail.size()); }
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
        QCOMPARE(styledHTML(body, kOrigin), emptyDocument() + (rewritten.isNull() ? body : rewritten) + kTail);
    }

    // A fixed-width viewport, links resolved against the https origin, one
    // style sheet with its dark variant, and the body last, indented.
    void documentAroundTheBody()
    {
        const QString head = emptyDocument();
        QVERIFY(head.startsWith(QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n    <meta name=\"viewport\" content=\"width=device-width, "
                                               "initial-scale=1.0, maximum-scale=1.0\">\n    <base href=\"https://papelo.example/\">\n")));
        QVERIFY(head.contains(QStringLiteral("font-size: 17px; line-height: 1.7;")) && head.count(QStringLiteral("<style>")) == 1);
        QVERIFY(head.contains(QStringLiteral("@media (prefers-color-scheme: dark)")));
        QVERIFY(head.endsWith(QStringLiteral("    </style>\n</head>\n<body>\n    ")));
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
