#pragma once

#include "reading/CommentRowState.h"

#include <QAbstractListModel>
#include <QCoroTask>
#include <QFont>
#include <QPointer>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <vector>

namespace papelo {

class AuthManager;

// The comment rows of the article screen. A reloaded list is merged by
// comment id so every row keeps its own like state; rows of vanished
// comments go, new comments get fresh rows.
// Every row also knows its exact height before it is built: its header line
// and its text are laid out here the way the row's labels lay them out, a
// few milliseconds at a time so that thousands of comments never stall the
// UI thread.
// UI thread only.
class CommentListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by ArticleDetailScreen")
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // How a row lays out its name, time and text, and how tall it is besides.
    Q_PROPERTY(QFont nameFont READ nameFont WRITE setNameFont NOTIFY rowMetricsChanged)
    Q_PROPERTY(QFont timeFont READ timeFont WRITE setTimeFont NOTIFY rowMetricsChanged)
    Q_PROPERTY(QFont textFont READ textFont WRITE setTextFont NOTIFY rowMetricsChanged)
    Q_PROPERTY(qreal textWidth READ textWidth WRITE setTextWidth NOTIFY rowMetricsChanged)
    Q_PROPERTY(qreal fixedHeight READ fixedHeight WRITE setFixedHeight NOTIFY rowMetricsChanged)
public:
    enum Role {
        CommentIdRole = Qt::UserRole + 1,
        NameRole,
        ContentRole,
        TimeRole,       // first 10 characters of the server's time text
        LikeCountRole,
        IsLikedRole,
        RowHeightRole,
        MemberMarkRole, // the account's role for a member's comment, empty for a guest's
    };

    explicit CommentListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    int count() const { return int(m_rows.size()); }

    void setArticleId(qint64 id) { m_articleId = id; }
    void setBaseUrl(const QString &url) { m_baseUrl = url; }
    void setAuth(AuthManager *auth) { m_auth = auth; }

    QFont nameFont() const { return m_nameFont; }
    void setNameFont(const QFont &font);
    QFont timeFont() const { return m_timeFont; }
    void setTimeFont(const QFont &font);
    QFont textFont() const { return m_textFont; }
    void setTextFont(const QFont &font);
    qreal textWidth() const { return m_textWidth; }
    void setTextWidth(qreal width);
    qreal fixedHeight() const { return m_fixedHeight; }
    void setFixedHeight(qreal height);
    // Height of a plain-text label's text wrapped at `width` (0: unwrapped).
    static qreal textHeight(const QString &text, const QFont &font, qreal width);
    qreal rowHeight(int row) const;
    bool allMeasured() const { return m_measuredUpTo >= count(); }

    void setComments(const QList<Comment> &comments);
    const QList<CommentRowState> &rows() const { return m_rows; }
    int rowOf(qint64 commentId) const;

    // Likes or unlikes the comment in `row`; nothing changes before the
    // server answers true. Each press sends its own request.
    Q_INVOKABLE void like(int row);
    QCoro::Task<> likeComment(qint64 commentId);

signals:
    void countChanged();
    void rowMetricsChanged();

private:
    void emitRowChanged(int row);
    void remeasure();
    void measureSome();
    qreal variableHeight(const CommentRowState &row) const;

    QList<CommentRowState> m_rows;
    qint64 m_articleId = 0;
    QString m_baseUrl;
    QPointer<AuthManager> m_auth;

    QFont m_nameFont;
    QFont m_timeFont;
    QFont m_textFont;
    qreal m_textWidth = 0;
    qreal m_fixedHeight = 0;
    std::vector<qreal> m_textHeights;  // header and text of each row; from m_measuredUpTo on estimates
    int m_measuredUpTo = 0;
    QTimer m_measureTimer;
};

} // namespace papelo
