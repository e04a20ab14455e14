// libFuzzer target for the strict decoder: every shape the reader decodes is
// fed the same bytes. Built and run by scripts/fuzz.sh (not part of ctest).
//
// Beyond "no crash, no sanitizer report" it checks two invariants:
//  - a refusal always carries a non-empty description;
//  - whatever decodes, written back with toJson(), decodes again to the same
//    JSON (the persisted sign-in relies on this for Author).

#include "core/Envelopes.h"

#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

using namespace papelo;

namespace {

[[noreturn]] void violated(const char *what)
{
    std::fprintf(stderr, "invariant violated: %s\n", what);
    std::abort();
}

template <typename T> const Result<T> decodeChecked(const QByteArray &bytes)
{
    Result<T> r = decodeJson<T>(bytes);
    if (!r.ok()) {
        if (r.error().kind() != RequestError::Kind::Decoding)
            violated("decoding failed with another kind of error");
        if (r.error().description().isEmpty())
            violated("empty error description");
    }
    return r;
}

template <typename T> void roundTrip(const QByteArray &bytes, const char *name)
{
    const Result<T> r = decodeChecked<T>(bytes);
    if (!r.ok())
        return;
    const QJsonObject written = r->toJson();
    const Result<T> again = decodeJson<T>(QJsonDocument(written).toJson(QJsonDocument::Compact));
    if (!again.ok() || again->toJson() != written)
        violated(name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    roundTrip<Author>(bytes, "Author");
    roundTrip<Tag>(bytes, "Tag");
    roundTrip<Article>(bytes, "Article");
    roundTrip<ArticleDetail>(bytes, "ArticleDetail");
    roundTrip<Comment>(bytes, "Comment");
    roundTrip<ArticlesResponse>(bytes, "ArticlesResponse");
    roundTrip<StatsResponse>(bytes, "StatsResponse");
    roundTrip<LoginResponse>(bytes, "LoginResponse");
    roundTrip<SectionResponse>(bytes, "SectionResponse");
    roundTrip<CommentPostResponse>(bytes, "CommentPostResponse");
    roundTrip<BioResponse>(bytes, "BioResponse");
    roundTrip<MeResponse>(bytes, "MeResponse");
    roundTrip<AuthorDetailResponse>(bytes, "AuthorDetailResponse");
    roundTrip<APIError>(bytes, "APIError");

    decodeChecked<TagList>(bytes);
    decodeChecked<CommentList>(bytes);
    const Result<LikeResult> like = decodeChecked<LikeResult>(bytes);
    if (like.ok() && like->ok() != like->values.value(QStringLiteral("ok"), false))
        violated("LikeResult ok()");
    return 0;
}
