#include "reading/CommentRowState.h"

namespace papelo {

bool CommentRowState::adopt(const Comment &reloaded)
{
    const bool changed = reloaded.name != comment.name || reloaded.content != comment.content
        || reloaded.time != comment.time || reloaded.likes != comment.likes;
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

} // namespace papelo
