#include "core/APIClient.h"
#include "core/ServerConfig.h"
#include "DataTable.h"
#include "Fixtures.h"
#include "ServedTest.h"

#include <QCoroTask>
#include <QtTest>

using namespace papelo;
using Response = FakeServer::Response;

namespace {
// Runs one operation and renders what it handed back as JSON text, or its error.
using Call = std::function<QString(APIClient &)>;
template <class T> QString run(QCoro::Task<Result<T>> task)
{
    const Result<T> r = QCoro::waitFor(std::move(task));
    if (!r)
        return QStringLiteral("error: ") + r.error().description();
    if constexpr (requires { r->toJson(); })
        return QString::fromUtf8(fixtures::bytes(r->toJson()));
    else if constexpr (requires { toJsonArray(*r); })
        return QString::fromUtf8(fixtures::bytes(toJsonArray(*r)));
    else
        return QVariant(*r).toString();
}
} // namespace

// What every operation puts on the wire, and what it hands back.
class ApiClientRequestsTest : public ServedTest {
    Q_OBJECT

    // "METHOD target", then " | " and the Authorization header if sent, then
    // " " and the body if any: JSON bytes exactly as sent.
    QByteArray wire()
    {
        if (server().requests().size() != 1)
            return QByteArray::number(server().requests().size()) + " requests";
        const FakeServer::Request &r = server().requests().constFirst();
        return r.method + ' ' + r.target + (r.hasHeader("Authorization") ? " | " + r.header("Authorization") : "")
               + (r.body.isEmpty() ? "" : " " + r.body);
    }

private slots:
    void init()
    {
        ServedTest::init();
        // "ok" is handed on, never examined.
        const QJsonObject answers = data::json("core/endpoint-answers.json").toObject();
        for (auto it = answers.begin(); it != answers.end(); ++it)
            server().on(it.key().section(' ', 0, 0).toUtf8(), it.key().section(' ', 1).toUtf8(),
                        Response::raw(200, it->isArray() ? fixtures::bytes(it->toArray()) : fixtures::bytes(it->toObject())));
        server().on("POST", "/api/like", [](const FakeServer::Request &r) {
            return Response::raw(200, r.hasHeader("Authorization") ? R"({"ok":true})" : R"({"liked":true})");
        });
    }

    // Every endpoint shape: 64-bit ids travel as exact integers; a query value
    // is escaped but for unreserved characters ("+" never raw: many servers
    // read it as a space); an empty q is left out, an empty tag kept. A lone
    // surrogate cannot be written as UTF-8 JSON without changing the text.
    void endpoints_data() { data::table<QByteArray, QString>("core/endpoints.tsv"); }
    void endpoints()
    {
        using C = APIClient &;
        using S = std::optional<QString>;
        const QString lone = QString(QChar(0xD800)) + QStringLiteral("x");
        const QHash<QString, Call> calls{
            {"stats", [](C c) { return run(c.fetchStats()); }},
            {"tags", [](C c) { return run(c.fetchTags()); }},
            {"hot", [](C c) { return run(c.fetchHot()); }},
            {"latest", [](C c) { return run(c.fetchLatest()); }},
            {"random", [](C c) { return run(c.fetchRandom(3)); }},
            {"detail", [](C c) { return run(c.fetchArticleDetail(-5)); }},
            {"comments", [](C c) { return run(c.fetchComments(15)); }},
            {"author", [](C c) { return run(c.fetchAuthor(-3)); }},
            {"me", [](C c) { return run(c.fetchMe("tok-1")); }},
            {"articles", [](C c) { return run(c.fetchArticles({}, S(""), {}, {})); }},
            {"articles, empty tag", [](C c) { return run(c.fetchArticles(S(""), {}, {}, {})); }},
            {"articles, every item", [](C c) { return run(c.fetchArticles(S("5"), S("abc"), 0, -1)); }},
            {"articles, escaped", [](C c) { return run(c.fetchArticles(S("a b&c+d=e#f%20/?~"), S("中文 搜索"), {}, {})); }},
            {"comment", [](C c) { return run(c.postComment(42, "  好文 \n", {})); }},
            {"comment, empty name left out", [](C c) { return run(c.postComment(42, QString(), QString(""))); }},
            {"comment, named, 64-bit id", [](C c) { return run(c.postComment(std::numeric_limits<qint64>::max(), "c", " 访客 ")); }},
            {"like article", [](C c) { return run(c.like({7, {}}, {})); }},
            {"like comment", [](C c) { return run(c.like({7, -9}, "tok en")); }},
            {"like comment 0, empty token", [](C c) { return run(c.like({7, 0}, QString(""))); }},
            {"login", [](C c) { return run(c.login("林", " p\"w&d ")); }},
            {"register", [](C c) { return run(c.registerUser("", "a@b", "")); }},
            {"bio", [](C c) { return run(c.updateBio("tok-1", "")); }},
            {"comment not encodable", [lone](C c) { return run(c.postComment(1, lone, {})); }},
            {"bio not encodable", [lone](C c) { return run(c.updateBio("t", lone)); }}};
        QFETCH(QByteArray, wire);
        QFETCH(QString, result);
        const Call call = calls.value(QString::fromUtf8(QTest::currentDataTag()));
        QVERIFY2(call, QTest::currentDataTag());
        const QString handedBack = call(*APIClient::create(server().baseUrl()));
        QVERIFY2(handedBack.contains(result), qPrintable(handedBack));
        QCOMPARE(this->wire(), wire);
        // A JSON body is declared; a GET declares none.
        for (const FakeServer::Request &r : server().requests())
            QCOMPARE(r.header("Content-Type"), QByteArray(r.method == "POST" ? "application/json" : ""));
    }

    // create() uses the configured base URL (one client running operations
    // side by side is the enrichment's five workers).
    void createUsesTheConfiguredServer()
    {
        const QString saved = ServerConfig::baseUrl();
        ServerConfig::setBaseUrl(server().baseUrl());
        auto client = APIClient::create();
        ServerConfig::setBaseUrl(saved);
        QVERIFY(QCoro::waitFor(client->fetchTags()).ok());
        QCOMPARE(server().count("/api/tags"), 1);
    }
};

QTEST_GUILESS_MAIN(ApiClientRequestsTest)
#include "tst_apiclient_requests.moc"
