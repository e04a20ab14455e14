#include "reading/CommentRowState.h"

namespace papelo {

bool CommentRowState::adopt(const Comment &reloaded)
{
    const bool changed = reloaded.name != comment.name || reloaded.content != comment.content
        || reloaded.time != comment.time || reloaded.likes != comment.likes
        || memberMark(reloaded) != memberMark(comment);
    if (reloaded.likes != comment.likes)
        likeCount = reloaded.likes;
    comment = reloaded;
    return changed;
}

void CommentRowState::applyAcceptedLike()
{
    isLiked = !isLiked;
    likeCount += isLiked ? 1 : -1;
}

QString CommentRowState::memberMark(const Comment &comment)
{
    if (!comment.user)
        return {};
    // The role as the server sends it; an account without one is still an account.
    const QString role = comment.user->role.simplified();
    return role.isEmpty() ? QStringLiteral("注册用户") : role;
}

} // namespace papelo
