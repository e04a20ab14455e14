#include "store/CommentCost.h"

namespace {

// {"content":"","id":N,"likes":N,"name":"","time":"yyyy-MM-dd HH:mm:ss"} and
// the comma before it, with both numbers at their longest (20 digits).
constexpr qint64 recordBytes = 128;
// ,"user":{"bio":"","id":N,"role":"","username":""} with a 200-character
// signature of escapes, a 32-character name in CJK and a role of 64 bytes.
constexpr qint64 userBytes = 60 + 200 * 6 + 20 + 64 + 32 * 3;

} // namespace

qint64 commentCost::jsonTextBytes(const QString &text)
{
    qint64 bytes = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            bytes += 6;  // \u00XX at worst
        else if (u == '"' || u == '\\')
            bytes += 2;
        else if (u < 0x80)
            bytes += 1;
        else if (u < 0x800)
            bytes += 2;
        else if (c.isSurrogate())
            bytes += 6;  // a pair is 4 bytes; one alone may be escaped
        else
            bytes += 3;
    }
    return bytes;
}

qint64 commentCost::of(const QString &name, const QString &content, bool byAccount)
{
    return recordBytes + jsonTextBytes(name) + jsonTextBytes(content) + (byAccount ? userBytes : 0);
}
