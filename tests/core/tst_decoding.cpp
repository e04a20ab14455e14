#include "core/Envelopes.h"
#include "DataTable.h"
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

// The shapes by the names the tables use.
Decoder decoderNamed(const QString &shape)
{
    static const QHash<QString, Decoder> all{
        {"tag", as<Tag>}, {"author", as<Author>}, {"article", as<Article>}, {"detail", as<ArticleDetail>},
        {"comment", as<Comment>}, {"list", as<ArticlesResponse>}, {"section", as<SectionResponse>},
        {"stats", as<StatsResponse>}, {"comment post", as<CommentPostResponse>}, {"bio", as<BioResponse>},
        {"login", as<LoginResponse>}, {"me", as<MeResponse>}, {"author page", as<AuthorDetailResponse>},
        {"error", as<APIError>}, {"tags", as<TagList>}, {"comments", as<CommentList>}, {"like", as<LikeResult>}, {"any", any}};
    return all.value(shape);
}

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
void row(const QString &name, const QString &shape, const QByteArray &body, const QByteArray &kept = {})
{
    QTest::newRow(qPrintable(name)) << shape << body << kept;
}

// Every rule for every key of one shape, nested objects included, from a body
// that holds all its keys: it decodes to itself; a value of another kind fails
// naming the key's path; a required key missing or null fails; an optional
// key null reads as absent.
using Wrap = std::function<QJsonObject(const QJsonObject &)>;
void everyKey(const QString &shape, const QJsonObject &valid, const QStringList &optional = {},
              const QString &prefix = {}, const Wrap &wrap = [](const QJsonObject &o) { return o; })
{
    if (prefix.isEmpty())
        row(shape, shape, fixtures::bytes(valid));
    for (auto it = valid.begin(); it != valid.end(); ++it) {
        const QString key = prefix + it.key();
        const QByteArray path = "!" + key.toUtf8();
        const auto body = [&](const QJsonObject &o) { return fixtures::bytes(wrap(o)); };
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
            row(shape + " " + key + " as " + fixtures::bytes(QJsonArray{w}).mid(1).chopped(1), shape,
                body(with(valid, it.key(), w)), path);
        const bool isOptional = optional.contains(key);
        row(shape + " null " + key, shape, body(with(valid, it.key(), QJsonValue::Null)),
            isOptional ? body(without(valid, it.key())) : path);
        if (!isOptional)
            row(shape + " no " + key, shape, body(without(valid, it.key())), path);
        if (it->isObject())
            everyKey(shape, it->toObject(), optional, key + ".",
                     [&](const QJsonObject &inner) { return wrap(with(valid, it.key(), inner)); });
    }
}
} // namespace

class DecodingTest : public QObject {
    Q_OBJECT
private slots:
    void shapes_data()
    {
        data::table<QString, QByteArray, QByteArray>("core/decoding-bodies.tsv");
        for (const QJsonValue &s : data::json("core/decoding-shapes.json").toArray())
            everyKey(s[u"shape"].toString(), s[u"valid"].toObject(), s[u"optional"].toVariant().toStringList());
        row("deep nesting", "any", QByteArray(100000, '['), "!");
    }
    void shapes()
    {
        QFETCH(QString, shape);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, kept);
        body = QByteArray::fromPercentEncoding(body);  // bytes that are no text fit the table so
        QVERIFY2(decoderNamed(shape), qPrintable(shape));
        const Result<QJsonValue> r = decoderNamed(shape)(body);
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
