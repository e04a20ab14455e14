#include "core/ServerConfig.h"
#include "core/StyledHtml.h"
#include "DataTable.h"

#include <QtTest>

using namespace papelo;

namespace {
const QString kOrigin = QStringLiteral("papelo.example");

// The reading document written out by hand, independently of the code.
QString expectedHead() { return QString::fromUtf8(data::bytes(QStringLiteral("core/styled-head.html"))); }

const QString kTail = QStringLiteral("\n</body>\n</html>");
} // namespace

class StyledHtmlTest : public QObject {
    Q_OBJECT
private slots:
    // Only "http://" followed by exactly the origin becomes https; nothing
    // else in the body changes, not even by escaping.
    void originRewrite_data() { data::table<QString, QString>(QStringLiteral("core/origin-rewrite.tsv")); }
    void originRewrite()
    {
        QFETCH(QString, body);
        QFETCH(QString, rewritten);
        QCOMPARE(styledHTML(body, kOrigin), expectedHead() + (rewritten.isEmpty() ? body : rewritten) + kTail);
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
