#pragma once

#include <QString>

namespace papelo {

// The one character drawn in an author's round avatar: the first
// user-perceived character (a whole emoji or CJK character, never half a
// surrogate pair), or "?" for an empty name.
QString avatarInitial(const QString &name);

} // namespace papelo
