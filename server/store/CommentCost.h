#pragma once

#include <QString>

// The most bytes a comment can ever take in its article's comments answer
// (compact JSON: non-ASCII as UTF-8, control characters escaped), including
// what may change later: its counts growing, and for an account's comment
// the user record with the longest signature. Summed per article, this keeps
// every answer under a ceiling however the comments are written.
namespace commentCost {

// Bytes of the text as a JSON string body: 3 per CJK character, up to 6 per escape.
qint64 jsonTextBytes(const QString &text);
qint64 of(const QString &name, const QString &content, bool byAccount);

} // namespace commentCost
