#include "core/Envelopes.h"
#include "Fixtures.h"

#include <QtTest>

using namespace papelo;

namespace {
// Decodes a body as one shape and gives back what was kept, as JSON: the
// record's own toJson(), a bare list's items, or LikeResult's ok().
using Decoder = Result<QJsonValue> (*)(const QByteArray &);
template <class T> Result<QJsonValue> as(const QByteArray &body)
{
    const Result<T> r = decodeJson<T>(body);
    if (!r)
        return r.error();
    if constexpr (requires { r->toJson(); })
        return QJsonValue(r->toJson());
    else if constexpr (requires { r->items; })
        return QJsonValue(toJsonArray(r->items));
    else
        return QJsonValue(r->ok());
}

QByteArray with(QJsonObject o, const char *key, const QJsonValue &v)
{
    o.insert(QLatin1String(key), v);
    return fixtures::bytes(o);
}

QByteArray without(QJsonObject o, const char *key)
{
    o.remove(QLatin1String(key));
    return fixtures::bytes(o);
}

QByteArray j(const QJsonObject &o) { return fixtures::bytes(o); }
} // namespace

Q_DECLARE_METATYPE(Decoder)

class DecodingTest : public QObject {
    Q_OBJECT
private slots:
    // Integers: exact kind and the signed 64-bit range. Numbers out of range
    // elsewhere in the body, or spelled inside strings, stay harmless.
    void integers_data()
    {
        QTest::addColumn<QByteArray>("idText");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<qint64>("expected");
        const auto row = [](const char *name, const char *text, bool decodes, qint64 expected = 0) {
            QTest::newRow(name) << QByteArray(text) << decodes << expected;
        };
        row("max", "9223372036854775807", true, std::numeric_limits<qint64>::max());
        row("max+1", "9223372036854775808", false);
        row("min", "-9223372036854775808", true, std::numeric_limits<qint64>::min());
        row("min-1", "-9223372036854775809", false);
        row("far below min", "-92233720368547758080", false);
        row("min-1 with zero fraction", "-9223372036854775809.0", false);
        row("2^53+1 exact", "9007199254740993", true, 9007199254740993LL);
        row("negative", "-42", true, -42);
        row("fraction", "1.5", false);
        row("tiny fraction", "0.0001", false);
        row("whole double", "1.0", true, 1);
        row("exponent", "1e3", true, 1000);
        row("upper exponent", "2E2", true, 200);
        row("huge exponent", "1e19", false);
        row("huge negative exponent", "-1e19", false);
        row("digits in string", "\"12\"", false);
        row("bool", "true", false);
        row("null", "null", false);
        row("array", "[1]", false);
        row("object", "{}", false);
    }
    void integers()
    {
        QFETCH(QByteArray, idText);
        QFETCH(bool, decodes);
        QFETCH(qint64, expected);
        const Result<Tag> r = decodeJson<Tag>("{\"x\":-9223372036854775809,\"id\":" + idText
                                              + ",\"name\":\"-9223372036854775809 \\\"-1e300\\\"\","
                                                "\"y\":[-1e300,-9223372036854775809.5]}");
        QCOMPARE(r.ok(), decodes);
        if (decodes) {
            QCOMPARE(r->id, expected);
            QCOMPARE(r->name, QStringLiteral("-9223372036854775809 \"-1e300\""));
        } else {
            QCOMPARE(r.error().kind(), RequestError::Kind::Decoding);
            QVERIFY2(r.error().description().contains(QLatin1String("id")), qPrintable(r.error().description()));
        }
    }

    // One row per rule. `kept` is the JSON the decoded value writes back
    // (empty: the body itself), or "!" and the path the refusal must name.
    void shapes_data()
    {
        QTest::addColumn<Decoder>("decode");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("kept");
        const auto row = [](const char *name, Decoder d, const QByteArray &body, const QByteArray &kept = {}) {
            QTest::newRow(name) << d << body << kept;
        };
        const QJsonObject a = fixtures::article(1).toJson();
        const QJsonObject d = fixtures::detail(3, 2, 1).toJson();
        const QJsonObject c = fixtures::comment(4).toJson();
        const QJsonObject u = fixtures::author().toJson();
        QJsonObject noRole = u;
        noRole.remove("role");

        // Every record refuses an id sent as a string.
        row("author id string", as<Author>, with(u, "id", "12"), "!id");
        row("article id string", as<Article>, with(a, "id", "12"), "!id");
        row("detail id string", as<ArticleDetail>, with(d, "id", "12"), "!id");
        row("comment id string", as<Comment>, with(c, "id", "12"), "!id");
        row("tag id string", as<Tag>, R"({"id":"12","name":"x"})", "!id");

        // Article: optional keys absent, null or present-but-empty; unknown keys ignored.
        row("article without counts", as<Article>, j(a));
        row("article required only", as<Article>, without(a, "author"));
        row("article null likes", as<Article>, with(a, "likes", QJsonValue::Null), j(a));
        QJsonObject full = a;
        const QJsonObject extra{{"filename", "f.md"}, {"author_id", 9}, {"thumb", "/t.png"},
                                {"cover", ""},        {"likes", 0},      {"comments", 4}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            full.insert(it.key(), it.value());
        row("article every key", as<Article>, with(full, "status", "published"), j(full));
        row("article strings exact", as<Article>, with(a, "title", QStringLiteral("  空格 \t\n\"引号\" \u00e9 😀 ")));
        row("no url", as<Article>, without(a, "url"), "!url");
        row("no date", as<Article>, without(a, "date"), "!date");
        row("no views", as<Article>, without(a, "views"), "!views");
        row("no title", as<Article>, without(a, "title"), "!title");
        row("null title", as<Article>, with(a, "title", QJsonValue::Null), "!title");
        row("number title", as<Article>, with(a, "title", 5), "!title");
        row("thumb number", as<Article>, with(a, "thumb", 5), "!thumb");
        row("likes string", as<Article>, with(a, "likes", "3"), "!likes");
        row("likes bool", as<Article>, with(a, "likes", true), "!likes");
        row("author_id fraction", as<Article>, with(a, "author_id", 1.5), "!author_id");
        row("author object", as<Article>, with(a, "author", u), "!author");
        row("array root", as<Article>, "[]", "!");

        // ArticleDetail: counts and body required, author nested, tags optional.
        row("detail", as<ArticleDetail>, j(d));
        row("detail empty tags", as<ArticleDetail>, with(d, "tags", QJsonArray()));
        row("detail null tags", as<ArticleDetail>, with(d, "tags", QJsonValue::Null), j(d));
        const QJsonArray tags{QJsonObject{{"id", 1}, {"name", "a"}}, QJsonObject{{"id", 2}, {"name", "b"}}};
        row("detail tags", as<ArticleDetail>, with(d, "tags", tags));
        row("detail tag name number", as<ArticleDetail>,
            with(d, "tags", QJsonArray{tags[0], QJsonObject{{"id", 2}, {"name", 3}}}), "!tags[1].name");
        row("detail tags object", as<ArticleDetail>, with(d, "tags", QJsonObject()), "!tags");
        row("detail no filename", as<ArticleDetail>, without(d, "filename"), "!filename");
        row("detail null likes", as<ArticleDetail>, with(d, "likes", QJsonValue::Null), "!likes");
        row("detail no comments", as<ArticleDetail>, without(d, "comments"), "!comments");
        row("detail no body", as<ArticleDetail>, without(d, "body"), "!body");
        row("detail author no role", as<ArticleDetail>, with(d, "author", noRole), "!author.role");
        row("detail author string", as<ArticleDetail>, with(d, "author", "林"), "!author");

        // Comment: a guest has no user; a member's user is a whole author.
        row("guest comment", as<Comment>, j(c));
        row("null user", as<Comment>, with(c, "user", QJsonValue::Null), j(c));
        row("member comment", as<Comment>, with(c, "user", fixtures::author(8).toJson()));
        row("user no role", as<Comment>, with(c, "user", noRole), "!user.role");
        row("user string", as<Comment>, with(c, "user", "林"), "!user");
        row("comment no likes", as<Comment>, without(c, "likes"), "!likes");
        row("comment no time", as<Comment>, without(c, "time"), "!time");

        // Author: bio optional; present-but-empty stays present.
        row("author", as<Author>, j(u));
        row("author empty bio", as<Author>, with(u, "bio", ""));
        row("author two-line bio", as<Author>, with(u, "bio", QStringLiteral("签名\n第二行")));
        row("author bio number", as<Author>, with(u, "bio", 1), "!bio");

        // Envelopes: the first failure fails the whole body and names its path.
        QJsonArray items = papelo::toJsonArray(fixtures::articles(0, 5));
        row("list order kept", as<ArticlesResponse>, j({{"total", 9}, {"items", items}}));
        items.replace(3, QJsonDocument::fromJson(without(a, "title")).object());
        row("list item broken", as<ArticlesResponse>, j({{"total", 5}, {"items", items}}), "!items[3].title");
        row("list no items", as<ArticlesResponse>, R"({"total":1})", "!items");
        row("list items object", as<ArticlesResponse>, R"({"total":1,"items":{}})", "!items");
        row("list item number", as<ArticlesResponse>, R"({"total":1,"items":[1]})", "!items[0]");
        row("list error body", as<ArticlesResponse>, R"({"error":"出错了"})", "!total");
        row("list total beyond int64", as<ArticlesResponse>, R"({"total":-18446744073709551616,"items":[]})", "!total");
        row("list item id beyond int64", as<ArticlesResponse>, R"({"total":1,"items":[{"id":-9223372036854775809}]})",
            "!items[0].id");
        row("section empty", as<SectionResponse>, R"({"count":0,"items":[],"section":"hot"})");
        row("section no count", as<SectionResponse>, j({{"section", "hot"}, {"items", QJsonArray{a}}}), "!count");
        row("bio ok false", as<BioResponse>, R"({"bio":"新签名","ok":false})"); // ok is not examined
        row("bio no ok", as<BioResponse>, R"({"bio":"x"})", "!ok");
        row("bio ok number", as<BioResponse>, R"({"ok":1,"bio":"x"})", "!ok");
        row("stats", as<StatsResponse>, R"({"dbArticles":4,"totalArticles":3})");
        row("stats apiVersion number", as<StatsResponse>, R"({"totalArticles":3,"dbArticles":4,"apiVersion":1})",
            "!apiVersion");
        row("comment post", as<CommentPostResponse>, R"({"id":3,"ok":true})");
        row("comment post ok number", as<CommentPostResponse>, R"({"id":3,"ok":1})", "!ok");
        row("comment post ok string", as<CommentPostResponse>, R"({"id":3,"ok":"true"})", "!ok");
        row("me stats incomplete", as<MeResponse>,
            j({{"user", u}, {"stats", QJsonObject{{"total", 1}, {"published", 1}}}, {"articles", QJsonArray()}}),
            "!stats.pending");
        row("author stats string", as<AuthorDetailResponse>,
            j({{"author", u}, {"stats", QJsonObject{{"total_articles", "2"}}}, {"articles", QJsonArray()}}),
            "!stats.total_articles");
        row("login empty token", as<LoginResponse>, j({{"token", ""}, {"user", u}}));
        row("login user no role", as<LoginResponse>, j({{"token", "t"}, {"user", noRole}}), "!user.role");

        // The server's error body: exactly a string `error`, other keys ignored.
        row("error", as<APIError>, R"({"error":"用户名已存在","code":409,"x":null})", R"({"error":"用户名已存在"})");
        row("error message only", as<APIError>, R"({"message":"x"})", "!error");
        row("error number", as<APIError>, R"({"error":5})", "!error");
        row("error null", as<APIError>, R"({"error":null})", "!error");
        row("error html", as<APIError>, "<html>oops</html>", "!");

        // Bare lists.
        row("tags", as<TagList>, R"([{"id":1,"name":"a"},{"id":-2,"name":""}])");
        row("tags object root", as<TagList>, R"({"items":[]})", "!数组");
        row("tag incomplete", as<TagList>, R"([{"id":1,"name":"a"},{"id":2}])", "![1].name");
        row("no comments", as<CommentList>, "[]");
        row("comment null", as<CommentList>, "[null]", "![0]");

        // LikeResult: an object of booleans only; ok() false unless "ok" is true.
        row("like ok", as<LikeResult>, R"({"ok":true})", "true");
        row("like not ok", as<LikeResult>, R"({"ok":false})", "false");
        row("like empty", as<LikeResult>, "{}", "false");
        row("like other booleans", as<LikeResult>, R"({"liked":true,"done":true})", "false");
        row("like count beside", as<LikeResult>, R"({"ok":true,"likes":3})", "!");
        row("like ok number", as<LikeResult>, R"({"ok":1})", "!");
        row("like ok null", as<LikeResult>, R"({"ok":null})", "!");
        row("like string beside", as<LikeResult>, R"({"ok":true,"msg":"x"})", "!");
        row("like array", as<LikeResult>, "[true]", "!");
    }
    void shapes()
    {
        QFETCH(Decoder, decode);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, kept);
        const Result<QJsonValue> r = decode(body);
        if (kept.startsWith('!')) {
            QVERIFY2(!r.ok(), "decoded although it must fail");
            const QString text = r.error().description();
            QCOMPARE(r.error().kind(), RequestError::Kind::Decoding);
            QVERIFY2(text.contains(QString::fromUtf8(kept.mid(1))), qPrintable(text));
            QVERIFY2(fixtures::isChinese(text), qPrintable(text));
            return;
        }
        QVERIFY2(r.ok(), qPrintable(r.ok() ? QString() : r.error().description()));
        const QJsonValue expected = QJsonDocument::fromJson("[" + (kept.isEmpty() ? body : kept) + "]").array().at(0);
        QVERIFY2(!expected.isUndefined(), "bad expectation");
        QVERIFY2(*r == expected, fixtures::bytes(QJsonArray{*r}).constData());
    }

    // Bytes that are no JSON document: every shape refuses them readably.
    void malformedBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        static const char nulBetween[] = "{\"id\":1,\0\"name\":\"a\"}";
        static const char nulAfter[] = "{\"id\":1,\"name\":\"a\"}\0";
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("whitespace") << QByteArray("  \n");
        QTest::newRow("truncated") << QByteArray(R"({"id":1,"name":)");
        QTest::newRow("trailing comma") << QByteArray(R"({"id":1,"name":"a",})");
        QTest::newRow("trailing garbage") << QByteArray(R"({"id":1,"name":"a"}x)");
        QTest::newRow("html") << QByteArray("<html><body>502</body></html>");
        QTest::newRow("invalid utf-8") << QByteArray("{\"id\":1,\"name\":\"\xff\xfe\"}");
        QTest::newRow("overlong utf-8") << QByteArray("{\"id\":1,\"name\":\"\xc0\xaf\"}");
        QTest::newRow("nul between members") << QByteArray(nulBetween, sizeof nulBetween - 1);
        QTest::newRow("nul after the document") << QByteArray(nulAfter, sizeof nulAfter - 1);
        QTest::newRow("top-level number") << QByteArray("42");
        QTest::newRow("top-level string") << QByteArray("\"tag\"");
        QTest::newRow("top-level true") << QByteArray("true");
        QTest::newRow("top-level null") << QByteArray("null");
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
    }
    void malformedBodies()
    {
        QFETCH(QByteArray, body);
        for (Decoder decode : {as<Tag>, as<TagList>, as<ArticlesResponse>, as<LikeResult>, as<APIError>}) {
            const Result<QJsonValue> r = decode(body);
            QVERIFY2(!r.ok(), body.left(40).constData());
            QCOMPARE(r.error().kind(), RequestError::Kind::Decoding);
            QVERIFY2(fixtures::isChinese(r.error().description()), qPrintable(r.error().description()));
        }
    }

    void malformedTextNamesOffset()
    {
        const QByteArray body(R"({"id":1,"name":})");
        QJsonParseError parseError{};
        QJsonDocument::fromJson(body, &parseError);
        QVERIFY(parseError.error != QJsonParseError::NoError);
        const QString text = decodeJson<Tag>(body).error().description();
        QVERIFY2(text.contains(QStringLiteral("位置")) && text.contains(QString::number(parseError.offset)),
                 qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(DecodingTest)
#include "tst_decoding.moc"
