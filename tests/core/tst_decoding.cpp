#include "core/Envelopes.h"
#include "TestJson.h"

#include <QtTest>

using namespace papelo;

namespace {
template <typename T> RequestError failureOf(const QByteArray &body)
{
    const Result<T> r = decodeJson<T>(body);
    if (r.ok())
        return RequestError::decoding(QStringLiteral("<unexpectedly decoded>"));
    return r.error();
}

QByteArray withValue(QJsonObject o, const char *key, const QJsonValue &v)
{
    o.insert(QLatin1String(key), v);
    return testjson::bytes(o);
}

QByteArray without(QJsonObject o, const char *key)
{
    o.remove(QLatin1String(key));
    return testjson::bytes(o);
}
} // namespace

#define VERIFY_DECODING_FAILURE(T, body, pathFragment)                                                  \
    do {                                                                                                \
        const Result<T> r_ = decodeJson<T>(body);                                                       \
        QVERIFY2(!r_.ok(), "decoded although it must fail");                                            \
        QCOMPARE(r_.error().kind(), RequestError::Kind::Decoding);                                      \
        QVERIFY2(r_.error().description().contains(QStringLiteral(pathFragment)),                       \
                 qPrintable(r_.error().description()));                                                 \
        QVERIFY2(testjson::isChinese(r_.error().description()), qPrintable(r_.error().description())); \
    } while (false)

class DecodingTest : public QObject {
    Q_OBJECT
private slots:
    // ---- integers: exact kind and the signed 64-bit range --------------------
    void integerRange_data()
    {
        QTest::addColumn<QByteArray>("idText");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("max") << QByteArray("9223372036854775807") << true << std::numeric_limits<qint64>::max();
        QTest::newRow("max+1") << QByteArray("9223372036854775808") << false << qint64(0);
        QTest::newRow("min") << QByteArray("-9223372036854775808") << true << std::numeric_limits<qint64>::min();
        QTest::newRow("min-1") << QByteArray("-9223372036854775809") << false << qint64(0);
        QTest::newRow("far below min") << QByteArray("-92233720368547758080") << false << qint64(0);
        QTest::newRow("min with zero fraction") << QByteArray("-9223372036854775809.0") << false << qint64(0);
        QTest::newRow("2^53+1 exact") << QByteArray("9007199254740993") << true << qint64(9007199254740993LL);
        QTest::newRow("negative") << QByteArray("-42") << true << qint64(-42);
        QTest::newRow("fraction") << QByteArray("1.5") << false << qint64(0);
        QTest::newRow("tiny fraction") << QByteArray("0.0001") << false << qint64(0);
        QTest::newRow("whole double") << QByteArray("1.0") << true << qint64(1);
        QTest::newRow("exponent") << QByteArray("1e3") << true << qint64(1000);
        QTest::newRow("upper exponent") << QByteArray("2E2") << true << qint64(200);
        QTest::newRow("huge exponent") << QByteArray("1e19") << false << qint64(0);
        QTest::newRow("huge negative exponent") << QByteArray("-1e19") << false << qint64(0);
        QTest::newRow("digits in string") << QByteArray("\"12\"") << false << qint64(0);
        QTest::newRow("bool") << QByteArray("true") << false << qint64(0);
        QTest::newRow("null required") << QByteArray("null") << false << qint64(0);
        QTest::newRow("array") << QByteArray("[1]") << false << qint64(0);
        QTest::newRow("object") << QByteArray("{}") << false << qint64(0);
    }
    void integerRange()
    {
        QFETCH(QByteArray, idText);
        QFETCH(bool, decodes);
        QFETCH(qint64, expected);
        const QByteArray body = "{\"id\":" + idText + ",\"name\":\"t\"}";
        const Result<Tag> r = decodeJson<Tag>(body);
        QCOMPARE(r.ok(), decodes);
        if (decodes) {
            QCOMPARE(r->id, expected);
        } else {
            QCOMPARE(r.error().kind(), RequestError::Kind::Decoding);
            QVERIFY2(r.error().description().contains(QLatin1String("id")), qPrintable(r.error().description()));
        }
    }

    void outOfRangeIntegersElsewhereStayHarmless()
    {
        // Only the field that reads such a number fails; strings holding the
        // digits and keys the record ignores are untouched.
        const QByteArray body = "{\"x\":-9223372036854775809,\"id\":-9223372036854775808,"
                                "\"name\":\"-9223372036854775809 \\\"-99999999999999999999\\\"\","
                                "\"y\":[-1e300,-9223372036854775809.5]}";
        const Result<Tag> r = decodeJson<Tag>(body);
        QVERIFY2(r.ok(), qPrintable(r.ok() ? QString() : r.error().description()));
        QCOMPARE(r->id, std::numeric_limits<qint64>::min());
        QCOMPARE(r->name, QStringLiteral("-9223372036854775809 \"-99999999999999999999\""));
        VERIFY_DECODING_FAILURE(ArticlesResponse, QByteArray(R"({"total":-18446744073709551616,"items":[]})"), "total");
        VERIFY_DECODING_FAILURE(ArticlesResponse, QByteArray(R"({"total":1,"items":[{"id":-9223372036854775809}]})"),
                                "items[0].id");
    }

    void idAsStringFailsEveryRecord()
    {
        QVERIFY(decodeJson<Author>(testjson::bytes(testjson::author(12))).ok());
        VERIFY_DECODING_FAILURE(Author, withValue(testjson::author(), "id", "12"), "id");
        QVERIFY(decodeJson<Article>(testjson::bytes(testjson::article(12))).ok());
        VERIFY_DECODING_FAILURE(Article, withValue(testjson::article(1), "id", "12"), "id");
        QVERIFY(decodeJson<ArticleDetail>(testjson::bytes(testjson::detail(12, 1, 1))).ok());
        VERIFY_DECODING_FAILURE(ArticleDetail, withValue(testjson::detail(1, 1, 1), "id", "12"), "id");
        QVERIFY(decodeJson<Comment>(testjson::bytes(testjson::comment(12))).ok());
        VERIFY_DECODING_FAILURE(Comment, withValue(testjson::comment(1), "id", "12"), "id");
        VERIFY_DECODING_FAILURE(Tag, QByteArray(R"({"id":"12","name":"x"})"), "id");
    }

    // ---- Article -------------------------------------------------------------
    void articleOptionalFields()
    {
        QJsonObject o = testjson::article(5);
        o.insert("likes", QJsonValue::Null);
        const Result<Article> r = decodeJson<Article>(testjson::bytes(o));
        QVERIFY(r.ok());
        QCOMPARE(r->id, 5);
        QCOMPARE(r->title, QStringLiteral("标题 5"));
        QVERIFY(!r->likes && !r->comments && !r->filename && !r->author && !r->author_id && !r->thumb && !r->cover);

        QJsonObject full = testjson::article(6);
        full.insert("filename", "f.md");
        full.insert("author", "林");
        full.insert("author_id", 9);
        full.insert("thumb", "/t.png");
        full.insert("cover", "");
        full.insert("likes", 0);
        full.insert("comments", 4);
        full.insert("status", "published"); // unknown keys are ignored
        const Result<Article> f = decodeJson<Article>(testjson::bytes(full));
        QVERIFY(f.ok());
        QCOMPARE(*f->filename, QStringLiteral("f.md"));
        QCOMPARE(*f->author_id, 9);
        QCOMPARE(*f->likes, 0);
        QCOMPARE(*f->comments, 4);
        QVERIFY(f->cover.has_value()); // an empty string is a present value
        QVERIFY(f->cover->isEmpty());
    }

    void articleRequiredAndWrongKinds_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("path");
        const QJsonObject a = testjson::article(1);
        QTest::newRow("no url") << without(a, "url") << "url";
        QTest::newRow("no date") << without(a, "date") << "date";
        QTest::newRow("no views") << without(a, "views") << "views";
        QTest::newRow("no title") << without(a, "title") << "title";
        QTest::newRow("null title") << withValue(a, "title", QJsonValue::Null) << "title";
        QTest::newRow("number title") << withValue(a, "title", 5) << "title";
        QTest::newRow("thumb number") << withValue(a, "thumb", 5) << "thumb";
        QTest::newRow("likes string") << withValue(a, "likes", "3") << "likes";
        QTest::newRow("likes bool") << withValue(a, "likes", true) << "likes";
        QTest::newRow("author_id fraction") << withValue(a, "author_id", 1.5) << "author_id";
        QTest::newRow("author object") << withValue(a, "author", testjson::author()) << "author";
        QTest::newRow("array root") << QByteArray("[]") << QString();
    }
    void articleRequiredAndWrongKinds()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, path);
        const Result<Article> r = decodeJson<Article>(body);
        QVERIFY(!r.ok());
        QCOMPARE(r.error().kind(), RequestError::Kind::Decoding);
        QVERIFY2(r.error().description().contains(path), qPrintable(r.error().description()));
        QVERIFY(testjson::isChinese(r.error().description()));
    }

    void stringsKeptExactly()
    {
        QJsonObject o = testjson::article(1);
        o.insert("title", QStringLiteral("  空格 \t\n\"引号\" \u00e9 😀 "));
        const Result<Article> r = decodeJson<Article>(testjson::bytes(o));
        QVERIFY(r.ok());
        QCOMPARE(r->title, QStringLiteral("  空格 \t\n\"引号\" \u00e9 😀 "));
    }

    // ---- ArticleDetail, Comment, Author ---------------------------------------
    void articleDetailRules()
    {
        const QJsonObject d = testjson::detail(3, 2, 1);
        const Result<ArticleDetail> ok = decodeJson<ArticleDetail>(testjson::bytes(d));
        QVERIFY(ok.ok());
        QCOMPARE(ok->likes, 2);
        QCOMPARE(ok->comments, 1);
        QCOMPARE(ok->author.username, QStringLiteral("林"));
        QVERIFY(!ok->tags.has_value());
        QVERIFY(!ok->cover.has_value());

        VERIFY_DECODING_FAILURE(ArticleDetail, without(d, "filename"), "filename");
        VERIFY_DECODING_FAILURE(ArticleDetail, withValue(d, "likes", QJsonValue::Null), "likes");
        VERIFY_DECODING_FAILURE(ArticleDetail, without(d, "comments"), "comments");
        VERIFY_DECODING_FAILURE(ArticleDetail, without(d, "body"), "body");

        QJsonObject noRole = testjson::author();
        noRole.remove("role");
        VERIFY_DECODING_FAILURE(ArticleDetail, withValue(d, "author", noRole), "author.role");
        VERIFY_DECODING_FAILURE(ArticleDetail, withValue(d, "author", "林"), "author");

        const Result<ArticleDetail> empty = decodeJson<ArticleDetail>(withValue(d, "tags", QJsonArray()));
        QVERIFY(empty.ok());
        QVERIFY(empty->tags.has_value());
        QVERIFY(empty->tags->isEmpty());
        const Result<ArticleDetail> nullTags = decodeJson<ArticleDetail>(withValue(d, "tags", QJsonValue::Null));
        QVERIFY(nullTags.ok());
        QVERIFY(!nullTags->tags.has_value());

        const QJsonArray tags{QJsonObject{{"id", 1}, {"name", "a"}}, QJsonObject{{"id", 2}, {"name", 3}}};
        VERIFY_DECODING_FAILURE(ArticleDetail, withValue(d, "tags", tags), "tags[1].name");
        VERIFY_DECODING_FAILURE(ArticleDetail, withValue(d, "tags", QJsonObject()), "tags");
        const QJsonArray good{QJsonObject{{"id", 1}, {"name", "a"}}, QJsonObject{{"id", 2}, {"name", "b"}}};
        const Result<ArticleDetail> withTags = decodeJson<ArticleDetail>(withValue(d, "tags", good));
        QVERIFY(withTags.ok());
        QCOMPARE(withTags->tags->size(), 2);
        QCOMPARE(withTags->tags->at(1).name, QStringLiteral("b"));
    }

    void commentRules()
    {
        const QJsonObject c = testjson::comment(4);
        const Result<Comment> guest = decodeJson<Comment>(testjson::bytes(c));
        QVERIFY(guest.ok());
        QVERIFY(!guest->user.has_value());
        const Result<Comment> nullUser = decodeJson<Comment>(withValue(c, "user", QJsonValue::Null));
        QVERIFY(nullUser.ok());
        QVERIFY(!nullUser->user.has_value());
        const Result<Comment> member = decodeJson<Comment>(withValue(c, "user", testjson::author(8)));
        QVERIFY(member.ok());
        QCOMPARE(member->user->id, 8);

        QJsonObject noRole = testjson::author();
        noRole.remove("role");
        VERIFY_DECODING_FAILURE(Comment, withValue(c, "user", noRole), "user.role");
        VERIFY_DECODING_FAILURE(Comment, withValue(c, "user", "林"), "user");
        VERIFY_DECODING_FAILURE(Comment, without(c, "likes"), "likes");
        VERIFY_DECODING_FAILURE(Comment, without(c, "time"), "time");
    }

    void authorEncodeDecode()
    {
        Author a;
        a.id = std::numeric_limits<qint64>::max();
        a.username = QStringLiteral("作者");
        a.role = QStringLiteral("admin");
        const QJsonObject written = a.toJson();
        QCOMPARE(written.keys(), (QStringList{"id", "role", "username"}));
        const QByteArray text = testjson::bytes(written);
        QVERIFY2(!text.contains("bio"), text.constData());
        QVERIFY2(text.contains("9223372036854775807"), text.constData());
        const Result<Author> back = decodeJson<Author>(text);
        QVERIFY(back.ok());
        QCOMPARE(back->id, a.id);
        QCOMPARE(back->username, a.username);
        QCOMPARE(back->role, a.role);
        QVERIFY(!back->bio.has_value());

        a.bio = QString(); // present but empty stays present
        const Result<Author> emptyBio = decodeJson<Author>(testjson::bytes(a.toJson()));
        QVERIFY(emptyBio.ok());
        QVERIFY(emptyBio->bio.has_value());
        QVERIFY(emptyBio->bio->isEmpty());

        a.bio = QStringLiteral("签名\n第二行");
        const Result<Author> withBio = decodeJson<Author>(testjson::bytes(a.toJson()));
        QVERIFY(withBio.ok());
        QCOMPARE(*withBio->bio, *a.bio);

        VERIFY_DECODING_FAILURE(Author, withValue(testjson::author(), "bio", 1), "bio");
    }

    // ---- envelopes -----------------------------------------------------------
    void articlesResponseFailsWhole()
    {
        QJsonArray items;
        for (int i = 0; i < 5; ++i)
            items.append(testjson::article(i));
        QJsonObject broken = testjson::article(3);
        broken.remove("title");
        items.replace(3, broken);
        const QByteArray body = testjson::bytes(QJsonObject{{"total", 5}, {"items", items}});
        VERIFY_DECODING_FAILURE(ArticlesResponse, body, "items[3].title");

        items.replace(3, testjson::article(3));
        const Result<ArticlesResponse> ok = decodeJson<ArticlesResponse>(testjson::bytes(QJsonObject{{"total", 9}, {"items", items}}));
        QVERIFY(ok.ok());
        QCOMPARE(ok->total, 9);
        QCOMPARE(ok->items.size(), 5);
        QCOMPARE(ok->items.at(4).id, 4); // server order kept

        VERIFY_DECODING_FAILURE(ArticlesResponse, QByteArray(R"({"total":1})"), "items");
        VERIFY_DECODING_FAILURE(ArticlesResponse, QByteArray(R"({"total":1,"items":{}})"), "items");
        VERIFY_DECODING_FAILURE(ArticlesResponse, QByteArray(R"({"total":1,"items":[1]})"), "items[0]");
        VERIFY_DECODING_FAILURE(ArticlesResponse, QByteArray(R"({"error":"出错了"})"), "total");
    }

    void otherEnvelopes()
    {
        // SectionResponse: count is required although only items are used.
        const QJsonArray one{testjson::article(1)};
        VERIFY_DECODING_FAILURE(SectionResponse, testjson::bytes(QJsonObject{{"section", "hot"}, {"items", one}}), "count");
        const Result<SectionResponse> empty =
            decodeJson<SectionResponse>(QByteArray(R"({"section":"hot","count":0,"items":[]})"));
        QVERIFY(empty.ok());
        QVERIFY(empty->items.isEmpty());

        // BioResponse: ok must be present and boolean, its value is not examined.
        const Result<BioResponse> bio = decodeJson<BioResponse>(QByteArray(R"({"ok":false,"bio":"新签名"})"));
        QVERIFY(bio.ok());
        QCOMPARE(bio->bio, QStringLiteral("新签名"));
        VERIFY_DECODING_FAILURE(BioResponse, QByteArray(R"({"bio":"x"})"), "ok");
        VERIFY_DECODING_FAILURE(BioResponse, QByteArray(R"({"ok":1,"bio":"x"})"), "ok");

        // StatsResponse: apiVersion optional but typed.
        const Result<StatsResponse> stats = decodeJson<StatsResponse>(QByteArray(R"({"totalArticles":3,"dbArticles":4})"));
        QVERIFY(stats.ok());
        QVERIFY(!stats->apiVersion);
        QCOMPARE(stats->dbArticles, 4);
        VERIFY_DECODING_FAILURE(StatsResponse, QByteArray(R"({"totalArticles":3,"dbArticles":4,"apiVersion":1})"),
                                "apiVersion");

        // CommentPostResponse: no 0/1 for booleans.
        QVERIFY(decodeJson<CommentPostResponse>(QByteArray(R"({"id":3,"ok":true})")).ok());
        VERIFY_DECODING_FAILURE(CommentPostResponse, QByteArray(R"({"id":3,"ok":1})"), "ok");
        VERIFY_DECODING_FAILURE(CommentPostResponse, QByteArray(R"({"id":3,"ok":"true"})"), "ok");

        // Nested failures name the nested path.
        const QJsonObject me{{"user", testjson::author()},
                             {"stats", QJsonObject{{"total", 1}, {"published", 1}}},
                             {"articles", QJsonArray()}};
        VERIFY_DECODING_FAILURE(MeResponse, testjson::bytes(me), "stats.pending");
        const QJsonObject author{{"author", testjson::author()},
                                 {"stats", QJsonObject{{"total_articles", "2"}}},
                                 {"articles", QJsonArray()}};
        VERIFY_DECODING_FAILURE(AuthorDetailResponse, testjson::bytes(author), "stats.total_articles");
        const QJsonObject login{{"token", "t"}, {"user", QJsonObject{{"id", 1}, {"username", "u"}}}};
        VERIFY_DECODING_FAILURE(LoginResponse, testjson::bytes(login), "user.role");
        const Result<LoginResponse> loginOk =
            decodeJson<LoginResponse>(testjson::bytes(QJsonObject{{"token", ""}, {"user", testjson::author(2)}}));
        QVERIFY(loginOk.ok());
        QVERIFY(loginOk->token.isEmpty());
    }

    void apiErrorShape()
    {
        const Result<APIError> e = decodeJson<APIError>(QByteArray(R"({"error":"用户名已存在","code":409,"x":null})"));
        QVERIFY(e.ok());
        QCOMPARE(e->error, QStringLiteral("用户名已存在"));
        QVERIFY(!decodeJson<APIError>(QByteArray(R"({"message":"x"})")).ok());
        QVERIFY(!decodeJson<APIError>(QByteArray(R"({"error":5})")).ok());
        QVERIFY(!decodeJson<APIError>(QByteArray(R"({"error":null})")).ok());
        QVERIFY(!decodeJson<APIError>(QByteArray("<html>oops</html>")).ok());
        QVERIFY(!decodeJson<APIError>(QByteArray()).ok());
    }

    // ---- bare shapes ---------------------------------------------------------
    void bareLists()
    {
        const Result<TagList> tags = decodeJson<TagList>(QByteArray(R"([{"id":1,"name":"a"},{"id":-2,"name":""}])"));
        QVERIFY(tags.ok());
        QCOMPARE(tags->items.size(), 2);
        QCOMPARE(tags->items.at(1).id, -2);
        VERIFY_DECODING_FAILURE(TagList, QByteArray(R"({"items":[]})"), "数组");
        VERIFY_DECODING_FAILURE(TagList, QByteArray(R"([{"id":1,"name":"a"},{"id":2}])"), "[1].name");

        const Result<CommentList> none = decodeJson<CommentList>(QByteArray("[]"));
        QVERIFY(none.ok());
        QVERIFY(none->items.isEmpty());
        VERIFY_DECODING_FAILURE(CommentList, QByteArray(R"([null])"), "[0]");
    }

    void likeResult_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<bool>("ok");
        QTest::newRow("ok true") << QByteArray(R"({"ok":true})") << true << true;
        QTest::newRow("ok false") << QByteArray(R"({"ok":false})") << true << false;
        QTest::newRow("empty object") << QByteArray("{}") << true << false;
        QTest::newRow("other booleans") << QByteArray(R"({"liked":true,"done":true})") << true << false;
        QTest::newRow("count beside ok") << QByteArray(R"({"ok":true,"likes":3})") << false << false;
        QTest::newRow("ok as number") << QByteArray(R"({"ok":1})") << false << false;
        QTest::newRow("ok null") << QByteArray(R"({"ok":null})") << false << false;
        QTest::newRow("string beside") << QByteArray(R"({"ok":true,"msg":"x"})") << false << false;
        QTest::newRow("array") << QByteArray("[true]") << false << false;
    }
    void likeResult()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, decodes);
        QFETCH(bool, ok);
        const Result<LikeResult> r = decodeJson<LikeResult>(body);
        QCOMPARE(r.ok(), decodes);
        if (decodes)
            QCOMPARE(r->ok(), ok);
        else
            QCOMPARE(r.error().kind(), RequestError::Kind::Decoding);
    }

    // ---- bytes that are not a JSON document ----------------------------------
    void malformedBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("whitespace") << QByteArray("  \n");
        QTest::newRow("truncated") << QByteArray(R"({"id":1,"name":)");
        QTest::newRow("trailing comma") << QByteArray(R"({"id":1,"name":"a",})");
        QTest::newRow("trailing garbage") << QByteArray(R"({"id":1,"name":"a"}x)");
        QTest::newRow("html") << QByteArray("<html><body>502</body></html>");
        QTest::newRow("invalid utf-8") << QByteArray("{\"id\":1,\"name\":\"\xff\xfe\"}");
        QTest::newRow("overlong utf-8") << QByteArray("{\"id\":1,\"name\":\"\xc0\xaf\"}");
        QTest::newRow("nul byte") << QByteArray("{\"id\":1,\0\"name\":\"a\"}", 22);
        QTest::newRow("top-level number") << QByteArray("42");
        QTest::newRow("top-level string") << QByteArray("\"tag\"");
        QTest::newRow("top-level true") << QByteArray("true");
        QTest::newRow("top-level null") << QByteArray("null");
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
    }
    void malformedBodies()
    {
        QFETCH(QByteArray, body);
        // Every shape refuses it with a readable Chinese text; nothing crashes.
        const RequestError errors[] = {failureOf<Tag>(body), failureOf<TagList>(body), failureOf<ArticlesResponse>(body),
                                       failureOf<LikeResult>(body), failureOf<APIError>(body)};
        for (const RequestError &e : errors) {
            QCOMPARE(e.kind(), RequestError::Kind::Decoding);
            QVERIFY2(e.description() != QLatin1String("<unexpectedly decoded>"), body.left(40).constData());
            QVERIFY2(testjson::isChinese(e.description()), qPrintable(e.description()));
        }
    }

    void malformedTextNamesOffset()
    {
        // "{"id":1,"name":}" breaks at the closing brace.
        const QByteArray body(R"({"id":1,"name":})");
        QJsonParseError parseError{};
        QJsonDocument::fromJson(body, &parseError);
        QVERIFY(parseError.error != QJsonParseError::NoError);
        const RequestError e = failureOf<Tag>(body);
        QVERIFY2(e.description().contains(QString::number(parseError.offset)), qPrintable(e.description()));
        QVERIFY2(e.description().contains(QStringLiteral("位置")), qPrintable(e.description()));
    }
};

QTEST_GUILESS_MAIN(DecodingTest)
#include "tst_decoding.moc"
