#pragma once

#include "core/Records.h"

namespace papelo {

// One comment row's own like state. It survives reloads of the comment list
// (rows are matched by comment id); a reloaded `likes` replaces the shown
// count while the reader's own `isLiked` stays.
struct CommentRowState {
    Comment comment;
    bool isLiked = false;
    qint64 likeCount = 0;

    explicit CommentRowState(Comment c = {}) : comment(std::move(c)), likeCount(comment.likes) {}

    // Takes the reloaded record of the same comment; true if anything shown changed.
    bool adopt(const Comment &reloaded);
    // A like answered true: flips isLiked and moves the count by one from its current value.
    void applyAcceptedLike();
    // The header shows only the date part of the server's time text.
    QString shortTime() const { return comment.time.left(10); }
    // A comment written by an account is marked beside its name with the
    // account's role, so a guest who took a member's name is told apart;
    // guests get no mark (an empty text).
    static QString memberMark(const Comment &comment);
    QString memberMark() const { return memberMark(comment); }
};

} // namespace papelo
