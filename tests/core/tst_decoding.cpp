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

// Refuses unless every shape refuses: bytes that are no JSON document.
Result<QJsonValue> any(const QByteArray &body)
{
    for (Decoder decode : {as<Tag>, as<TagList>, as<ArticlesResponse>, as<LikeResult>, as<APIError>})
        if (const Result<QJsonValue> r = decode(body);
            r || r.error().kind() != RequestError::Kind::Decoding || !fixtures::isChinese(r.error().description()))
            return r ? r : QJsonValue(r.error().description());
    return as<Tag>(body);
}

QByteArray j(const QJsonObject &o) { return fixtures::bytes(o); }

QJsonObject with(QJsonObject o, const QString &key, const QJsonValue &v)
{
    o.insert(key, v);
    return o;
}

QJsonObject without(QJsonObject o, const QString &key)
{
    o.remove(key);
    return o;
}

// A row: `kept` is the JSON the decoded value writes back (empty: the body
// itself), or "!" and the path the refusal must name.
void row(const QString &name, Decoder decode, const QByteArray &body, const QByteArray &kept = {})
{
    QTest::newRow(qPrintable(name)) << decode << body << kept;
}

// Every rule for every key of one shape, nested objects included, from a body
// that holds all its keys: it decodes to itself; a value of another kind fails
// naming the key's path; a required key missing or null fails; an optional
// key null reads as absent.
using Wrap = std::function<QJsonObject(const QJsonObject &)>;
void everyKey(const QString &shape, Decoder decode, const QJsonObject &valid, const QStringList &optional = {},
              const QString &prefix = {}, const Wrap &wrap = [](const QJsonObject &o) { return o; })
{
    if (prefix.isEmpty())
        row(shape, decode, j(valid));
    for (auto it = valid.begin(); it != valid.end(); ++it) {
        const QString key = prefix + it.key();
        const QByteArray path = "!" + key.toUtf8();
        const auto body = [&](const QJsonObject &o) { return j(wrap(o)); };
        QList<QJsonValue> wrong{QJsonObject()};
        if (it->isDouble())
            wrong = {QStringLiteral("5"), 1.5, true};
        else if (it->isBool())
            wrong = {1, QStringLiteral("true")};
        else if (it->isString())
            wrong = {5, QJsonObject()};
        else if (it->isObject())
            wrong = {QStringLiteral("林")};
        for (const QJsonValue &w : wrong)
            row(shape + " " + key + " as " + fixtures::bytes(QJsonArray{w}).mid(1).chopped(1), decode,
                body(with(valid, it.key(), w)), path);
        const bool isOptional = optional.contains(key);
        row(shape + " null " + key, decode, body(with(valid, it.key(), QJsonValue::Null)),
            isOptional ? body(without(valid, it.key())) : path);
        if (!isOptional)
            row(shape + " no " + key, decode, body(without(valid, it.key())), path);
        if (it->isObject())
            everyKey(shape, decode, it->toObject(), optional, key + ".",
                     [&](const QJsonObject &inner) { return wrap(with(valid, it.key(), inner)); });
    }
}
} // namespace

Q_DECLARE_METATYPE(Decoder)

class DecodingTest : public QObject {
    Q_OBJECT
private slots:
    void shapes_data()
    {
        QTest::addColumn<Decoder>("decode");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("kept");
        const QJsonObject u = fixtures::author().toJson();
        const QJsonObject a = fixtures::article(1).toJson();
        const QJsonObject d = fixtures::detail(3, 2, 1).toJson();
        const QJsonArray tags{QJsonObject{{"id", 1}, {"name", "a"}}, QJsonObject{{"id", -2}, {"name", ""}}};
        const QJsonArray one{a};
        QJsonObject full = a;
        for (const char *k : {"filename", "thumb", "cover"})
            full.insert(k, QStringLiteral("/%1").arg(k));
        for (const char *k : {"author_id", "likes", "comments"})
            full.insert(k, 0);
        // Integers: exact kind and the signed 64-bit range. Numbers out of range
        // elsewhere in the body, or spelled inside strings, stay harmless.
        const auto id = [](const char *label, const QByteArray &text, const QByteArray &kept = {}) {
            const QByteArray name = "\"name\":\"-1e300 \\\"-9223372036854775809\\\"\"";
            row(label, as<Tag>, "{\"x\":-9223372036854775809,\"id\":" + text + "," + name + ",\"y\":[-1e300,-9223372036854775809.5]}",
                kept.isEmpty() ? "!id" : "{\"id\":" + kept + "," + name + "}");
        };
        id("max", "9223372036854775807", "9223372036854775807");
        id("max+1", "9223372036854775808");
        id("min", "-9223372036854775808", "-9223372036854775808");
        id("min-1", "-9223372036854775809");
        id("far below min", "-92233720368547758080");
        id("min-1 with zero fraction", "-9223372036854775809.0");
        id("2^53+1 exact", "9007199254740993", "9007199254740993");
        id("negative", "-42", "-42");
        id("fraction", "1.5");
        id("tiny fraction", "0.0001");
        id("whole double", "1.0", "1");
        id("exponent", "1e3", "1000");
        id("upper exponent", "2E2", "200");
        id("huge exponent", "1e19");
        id("huge negative exponent", "-1e19");
        id("digits in string", "\"12\"");
        id("bool", "true");
        id("null", "null");
        id("array", "[1]");
        id("object", "{}");
        everyKey("tag", as<Tag>, tags[0].toObject());
        everyKey("author", as<Author>, with(u, "bio", QStringLiteral("签名\n第二行")), {"bio"});
        everyKey("article", as<Article>, full, {"filename", "author", "author_id", "thumb", "cover", "likes", "comments"});
        everyKey("detail", as<ArticleDetail>, with(with(d, "cover", "/c.png"), "tags", tags), {"cover", "tags"});
        everyKey("comment", as<Comment>, with(fixtures::comment(4).toJson(), "user", u), {"user"});
        everyKey("list", as<ArticlesResponse>, {{"total", 9}, {"items", papelo::toJsonArray(fixtures::articles(0, 5))}});
        everyKey("section", as<SectionResponse>, {{"section", "hot"}, {"count", 0}, {"items", one}});
        everyKey("stats", as<StatsResponse>, {{"totalArticles", 3}, {"dbArticles", 4}, {"apiVersion", "2"}}, {"apiVersion"});
        everyKey("comment post", as<CommentPostResponse>, {{"id", 3}, {"ok", true}});
        everyKey("bio", as<BioResponse>, {{"ok", false}, {"bio", "新签名"}}); // ok is required, not examined
        everyKey("login", as<LoginResponse>, {{"token", ""}, {"user", u}});
        everyKey("me", as<MeResponse>,
                 {{"user", u}, {"stats", QJsonObject{{"total", 1}, {"published", 1}, {"pending", 0}}}, {"articles", one}});
        everyKey("author page", as<AuthorDetailResponse>,
                 {{"author", u}, {"stats", QJsonObject{{"total_articles", 2}}}, {"articles", QJsonArray()}});
        everyKey("error", as<APIError>, {{"error", "用户名已存在"}});

        // One broken item fails the whole list, naming its path.
        row("detail tag name number", as<ArticleDetail>, j(with(d, "tags", QJsonArray{tags[0], with({}, "id", 2)})),
            "!tags[1].name");
        QJsonArray items = papelo::toJsonArray(fixtures::articles(0, 5));
        items.replace(3, without(a, "title"));
        row("list item broken", as<ArticlesResponse>, j({{"total", 5}, {"items", items}}), "!items[3].title");
        row("list item number", as<ArticlesResponse>, R"({"total":1,"items":[1]})", "!items[0]");
        row("list total beyond int64", as<ArticlesResponse>, R"({"total":-18446744073709551616,"items":[]})", "!total");
        row("list item id beyond int64", as<ArticlesResponse>, R"({"total":1,"items":[{"id":-9223372036854775809}]})",
            "!items[0].id");
        row("array root", as<Article>, "[]", "!");
        row("article unknown key ignored", as<Article>, j(with(a, "status", "published")), j(a));
        row("article title kept exactly", as<Article>, j(with(a, "title", QStringLiteral("  空格 \t\n\"引号\" é 😀 "))));
        row("detail empty tags kept", as<ArticleDetail>, j(with(d, "tags", QJsonArray())));
        row("author empty bio kept", as<Author>, j(with(u, "bio", "")));
        row("error other keys ignored", as<APIError>, R"({"error":"x","code":409,"x":null})", R"({"error":"x"})");
        row("error html", as<APIError>, "<html>oops</html>", "!");

        // Bare lists.
        row("tags", as<TagList>, fixtures::bytes(tags));
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

        // Bytes that are no JSON document: every shape refuses them readably.
        static const char nulBetween[] = "{\"id\":1,\0\"name\":\"a\"}";
        static const char nulAfter[] = "{\"id\":1,\"name\":\"a\"}\0";
        static const char nulInside[] = "{\"id\":1,\"name\":\"a\0b\"}";
        row("empty", any, {}, "!");
        row("whitespace", any, "  \n", "!");
        row("truncated", any, R"({"id":1,"name":)", "!");
        row("trailing comma", any, R"({"id":1,"name":"a",})", "!");
        row("trailing garbage", any, R"({"id":1,"name":"a"}x)", "!");
        row("html", any, "<html><body>502</body></html>", "!");
        row("invalid utf-8", any, "{\"id\":1,\"name\":\"\xff\xfe\"}", "!");
        row("overlong utf-8", any, "{\"id\":1,\"name\":\"\xc0\xaf\"}", "!");
        row("nul between members", any, QByteArray(nulBetween, sizeof nulBetween - 1), "!");
        row("nul after the document", any, QByteArray(nulAfter, sizeof nulAfter - 1), "!");
        row("nul inside a string", any, QByteArray(nulInside, sizeof nulInside - 1), "!");
        row("raw line break inside a string", any, "{\"id\":1,\"name\":\"a\nb\"}", "!");
        row("top-level number", any, "42", "!");
        row("top-level string", any, "\"tag\"", "!");
        row("top-level true", any, "true", "!");
        row("top-level null", any, "null", "!");
        row("deep nesting", any, QByteArray(100000, '['), "!");
        // A parse failure names where it stopped.
        QJsonParseError stop{};
        QJsonDocument::fromJson(R"({"id":1,"name":})", &stop);
        row("offset named", any, R"({"id":1,"name":})", "!（位置 " + QByteArray::number(stop.offset) + "）");
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
            QVERIFY2(text.contains(QString::fromUtf8(kept.mid(1))) && fixtures::isChinese(text), qPrintable(text));
            return;
        }
        QVERIFY2(r.ok(), qPrintable(r.ok() ? QString() : r.error().description()));
        // Compared as text: 64-bit integers must come back exact.
        QCOMPARE(fixtures::bytes(QJsonArray{*r}), "[" + (kept.isEmpty() ? body : kept) + "]");
    }
};

QTEST_GUILESS_MAIN(DecodingTest)
#include "tst_decoding.moc"
