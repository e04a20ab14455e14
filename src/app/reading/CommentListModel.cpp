#include "reading/CommentListModel.h"

#include "core/APIClient.h"
#include "core/AuthManager.h"
#include "core/Console.h"

#include <QHash>

namespace papelo {

CommentListModel::CommentListModel(QObject *parent) : QAbstractListModel(parent) {}

int CommentListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant CommentListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_rows.size())
        return {};
    const CommentRowState &row = m_rows.at(index.row());
    switch (role) {
    case CommentIdRole: return row.comment.id;
    case NameRole: return row.comment.name;
    case ContentRole: return row.comment.content;
    case TimeRole: return row.shortTime();
    case LikeCountRole: return row.likeCount;
    case IsLikedRole: return row.isLiked;
    default: return {};
    }
}

QHash<int, QByteArray> CommentListModel::roleNames() const
{
    return {
        {CommentIdRole, "commentId"}, {NameRole, "name"},           {ContentRole, "content"},
        {TimeRole, "time"},           {LikeCountRole, "likeCount"}, {IsLikedRole, "isLiked"},
    };
}

int CommentListModel::rowOf(qint64 commentId) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).comment.id == commentId)
            return i;
    }
    return -1;
}

void CommentListModel::setComments(const QList<Comment> &comments)
{
    bool sameOrder = comments.size() == m_rows.size();
    for (qsizetype i = 0; sameOrder && i < comments.size(); ++i)
        sameOrder = comments.at(i).id == m_rows.at(i).comment.id;

    if (sameOrder) {
        // Same rows in the same order: only update what changed, so delegates stay.
        for (int i = 0; i < comments.size(); ++i) {
            if (m_rows[i].adopt(comments.at(i)))
                emitRowChanged(i);
        }
        return;
    }

    QHash<qint64, CommentRowState> previous;
    for (const CommentRowState &row : std::as_const(m_rows))
        previous.insert(row.comment.id, row);
    QList<CommentRowState> merged;
    merged.reserve(comments.size());
    for (const Comment &comment : comments) {
        const auto it = previous.constFind(comment.id);
        if (it == previous.constEnd()) {
            merged.append(CommentRowState(comment));
        } else {
            CommentRowState kept = *it;
            kept.adopt(comment);
            merged.append(kept);
        }
    }
    const int before = count();
    beginResetModel();
    m_rows = std::move(merged);
    endResetModel();
    if (before != count())
        emit countChanged();
}

void CommentListModel::emitRowChanged(int row)
{
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

void CommentListModel::like(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    likeComment(m_rows.at(row).comment.id);  // independent task; the model keeps no handle
}

QCoro::Task<> CommentListModel::likeComment(qint64 commentId)
{
    QPointer<CommentListModel> guard(this);
    auto client = APIClient::create(m_baseUrl);
    const std::optional<QString> token = m_auth ? m_auth->token() : std::nullopt;
    const Result<bool> answer = co_await client->like(LikeTarget(m_articleId, commentId), token);
    if (!answer) {
        consoleLine(QStringLiteral("评论点赞失败："), answer.error().description());
        co_return;
    }
    if (!guard || !answer.value())
        co_return;
    // The list may have been reloaded meanwhile: find the row again by id.
    const int row = rowOf(commentId);
    if (row < 0)
        co_return;
    m_rows[row].applyAcceptedLike();
    emitRowChanged(row);
}

} // namespace papelo
