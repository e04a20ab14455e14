#pragma once

#include "reading/CommentRowState.h"

#include <QAbstractListModel>
#include <QCoroTask>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace papelo {

class AuthManager;

// The comment rows of the article screen. A reloaded list is merged by
// comment id so every row keeps its own like state; rows of vanished
// comments go, new comments get fresh rows. UI thread only.
class CommentListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by ArticleDetailScreen")
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    enum Role {
        CommentIdRole = Qt::UserRole + 1,
        NameRole,
        ContentRole,
        TimeRole,       // first 10 characters of the server's time text
        LikeCountRole,
        IsLikedRole,
    };

    explicit CommentListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    int count() const { return int(m_rows.size()); }

    void setArticleId(qint64 id) { m_articleId = id; }
    void setBaseUrl(const QString &url) { m_baseUrl = url; }
    void setAuth(AuthManager *auth) { m_auth = auth; }

    void setComments(const QList<Comment> &comments);
    const QList<CommentRowState> &rows() const { return m_rows; }
    int rowOf(qint64 commentId) const;

    // Likes or unlikes the comment in `row`; nothing changes before the
    // server answers true. Each press sends its own request.
    Q_INVOKABLE void like(int row);
    QCoro::Task<> likeComment(qint64 commentId);

signals:
    void countChanged();

private:
    void emitRowChanged(int row);

    QList<CommentRowState> m_rows;
    qint64 m_articleId = 0;
    QString m_baseUrl;
    QPointer<AuthManager> m_auth;
};

} // namespace papelo
