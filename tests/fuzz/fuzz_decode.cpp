// libFuzzer target for the strict decoder: every shape the reader decodes is
// fed the same bytes. Built and run by scripts/fuzz.sh (not part of ctest).
//
// Beyond "no crash, no sanitizer report" it checks two invariants:
//  - a refusal is a decoding error with a non-empty description;
//  - whatever decodes, written back with toJson(), decodes again to the same
//    JSON (the persisted sign-in relies on this for Author).

#include "FuzzInput.h"
#include "core/Envelopes.h"

#include <QJsonDocument>

#include <typeinfo>

using namespace papelo;

namespace {

template <typename T> Result<T> decodeChecked(const QByteArray &bytes)
{
    Result<T> r = decodeJson<T>(bytes);
    if (!r && (r.error().kind() != RequestError::Kind::Decoding || r.error().description().isEmpty()))
        fuzz::violated("a refusal that is no decoding error with a description");
    return r;
}

template <typename... T> void roundTrips(const QByteArray &bytes)
{
    const auto one = [&bytes]<typename U>(U *) {
        const Result<U> r = decodeChecked<U>(bytes);
        if (!r)
            return;
        const QJsonObject written = r->toJson();
        const Result<U> again = decodeJson<U>(QJsonDocument(written).toJson(QJsonDocument::Compact));
        if (!again || again->toJson() != written)
            fuzz::violated(typeid(U).name());
    };
    (one(static_cast<T *>(nullptr)), ...);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    roundTrips<Author, Tag, Article, ArticleDetail, Comment, ArticlesResponse, StatsResponse, LoginResponse,
               SectionResponse, CommentPostResponse, BioResponse, MeResponse, AuthorDetailResponse, APIError>(bytes);
    decodeChecked<TagList>(bytes);
    decodeChecked<CommentList>(bytes);
    const Result<LikeResult> like = decodeChecked<LikeResult>(bytes);
    if (like && like->ok() != like->values.value(QStringLiteral("ok"), false))
        fuzz::violated("LikeResult ok()");
    return 0;
}
