#pragma once

#include "common/LoadLifecycle.h"
#include "core/AuthManager.h"
#include "reading/CommentListModel.h"
#include "core/Records.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <optional>

namespace papelo {

class APIClient;

// State and behaviour of the reading screen: the article, its comments, the
// like of the article and the comment form. Article and comments load
// together but fail apart: a failing comment list leaves the article shown,
// a failing article leaves the comments. UI thread only; every operation
// re-checks that the screen still exists after each server call.
class ArticleDetailScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qint64 articleId READ articleId WRITE setArticleId NOTIFY articleIdChanged)
    Q_PROPERTY(QString baseUrl READ baseUrl WRITE setBaseUrl NOTIFY baseUrlChanged)
    Q_PROPERTY(papelo::AuthManager *auth READ auth WRITE setAuth NOTIFY authChanged)

    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    // "loading", "article", "error" or "none": which main block is shown.
    Q_PROPERTY(QString mainBlock READ mainBlock NOTIFY mainBlockChanged)

    Q_PROPERTY(bool hasArticle READ hasArticle NOTIFY articleChanged)
    Q_PROPERTY(QString title READ title NOTIFY articleChanged)
    Q_PROPERTY(QString body READ body NOTIFY articleChanged)
    Q_PROPERTY(qint64 authorId READ authorId NOTIFY articleChanged)
    Q_PROPERTY(QString authorName READ authorName NOTIFY articleChanged)
    Q_PROPERTY(QString authorInitial READ authorInitial NOTIFY articleChanged)
    Q_PROPERTY(QStringList tagLabels READ tagLabels NOTIFY articleChanged)
    Q_PROPERTY(qint64 likes READ likes NOTIFY articleChanged)
    Q_PROPERTY(qint64 views READ views NOTIFY articleChanged)
    Q_PROPERTY(qint64 commentsCount READ commentsCount NOTIFY articleChanged)
    Q_PROPERTY(bool isLiked READ isLiked NOTIFY isLikedChanged)

    Q_PROPERTY(qreal webViewHeight READ webViewHeight WRITE setWebViewHeight NOTIFY webViewHeightChanged)
    Q_PROPERTY(bool webViewLoading READ webViewLoading NOTIFY webViewLoadingChanged)

    Q_PROPERTY(papelo::CommentListModel *comments READ comments CONSTANT)
    Q_PROPERTY(QString commentHeading READ commentHeading NOTIFY commentHeadingChanged)
    Q_PROPERTY(QString newComment READ newComment WRITE setNewComment NOTIFY newCommentChanged)
    Q_PROPERTY(QString guestName READ guestName WRITE setGuestName NOTIFY guestNameChanged)
    Q_PROPERTY(QString postError READ postError NOTIFY postErrorChanged)
    Q_PROPERTY(bool hasPostError READ hasPostError NOTIFY postErrorChanged)
    Q_PROPERTY(bool isPosting READ isPosting NOTIFY isPostingChanged)
    Q_PROPERTY(bool canSend READ canSend NOTIFY canSendChanged)
    Q_PROPERTY(bool showGuestField READ showGuestField NOTIFY showGuestFieldChanged)
    // The comment list failed on its own: shown in the comment section with
    // a retry, while the article stays.
    Q_PROPERTY(QString commentsError READ commentsError NOTIFY commentsErrorChanged)
    Q_PROPERTY(bool hasCommentsError READ hasCommentsError NOTIFY commentsErrorChanged)
    Q_PROPERTY(bool isLoadingComments READ isLoadingComments NOTIFY commentsErrorChanged)
public:
    explicit ArticleDetailScreen(QObject *parent = nullptr);
    ~ArticleDetailScreen() override;

    qint64 articleId() const { return m_articleId; }
    void setArticleId(qint64 id);
    QString baseUrl() const { return m_baseUrl; }
    void setBaseUrl(const QString &url);
    AuthManager *auth() const { return m_auth; }
    void setAuth(AuthManager *auth);

    bool isLoading() const { return m_load.isLoading(); }
    QString errorMessage() const { return m_load.errorMessage().value_or(QString()); }
    bool hasError() const { return m_load.errorMessage().has_value(); }
    QString mainBlock() const;

    const std::optional<ArticleDetail> &article() const { return m_article; }
    bool hasArticle() const { return m_article.has_value(); }
    QString title() const { return m_article ? m_article->title : QString(); }
    QString body() const { return m_article ? m_article->body : QString(); }
    qint64 authorId() const { return m_article ? m_article->author.id : 0; }
    QString authorName() const { return m_article ? m_article->author.username : QString(); }
    QString authorInitial() const;
    QStringList tagLabels() const;
    qint64 likes() const { return m_article ? m_article->likes : 0; }
    qint64 views() const { return m_article ? m_article->views : 0; }
    qint64 commentsCount() const { return m_article ? m_article->comments : 0; }
    bool isLiked() const { return m_isLiked; }

    qreal webViewHeight() const { return m_webViewHeight; }
    void setWebViewHeight(qreal height);
    bool webViewLoading() const { return m_webViewLoading; }
    // The body host reports its first finished load; the flag is never raised again.
    Q_INVOKABLE void markWebViewLoaded();

    CommentListModel *comments() const { return m_comments; }
    QString commentHeading() const;
    QString newComment() const { return m_newComment; }
    void setNewComment(const QString &text);
    QString guestName() const { return m_guestName; }
    void setGuestName(const QString &name);
    QString postError() const { return m_postError.value_or(QString()); }
    bool hasPostError() const { return m_postError.has_value(); }
    bool isPosting() const { return m_isPosting; }
    bool canSend() const;
    bool showGuestField() const;
    QString commentsError() const { return m_commentsError.value_or(QString()); }
    bool hasCommentsError() const { return m_commentsError.has_value(); }
    bool isLoadingComments() const { return m_commentsClient != nullptr; }

    // The page came on / went off screen. A load started by appear() is
    // cancelled by disappear() and ends through the failure path.
    Q_INVOKABLE void appear();
    Q_INVOKABLE void disappear();
    // Retry button: a load that is not bound to visibility.
    Q_INVOKABLE void retry();
    // The comment section's retry: the comment list alone.
    Q_INVOKABLE void retryComments();
    Q_INVOKABLE void like();
    // Send button and Return key: does nothing while a comment is posting.
    Q_INVOKABLE void send();

    QCoro::Task<> loadContent(bool boundToVisibility = false);
    QCoro::Task<> toggleLike();
    QCoro::Task<> postComment();
    QCoro::Task<> loadComments();

signals:
    void articleIdChanged();
    void baseUrlChanged();
    void authChanged();
    void isLoadingChanged();
    void errorMessageChanged();
    void mainBlockChanged();
    void articleChanged();
    void isLikedChanged();
    void webViewHeightChanged();
    void webViewLoadingChanged();
    void commentHeadingChanged();
    void newCommentChanged();
    void guestNameChanged();
    void postErrorChanged();
    void isPostingChanged();
    void canSendChanged();
    void showGuestFieldChanged();
    void commentsErrorChanged();

private:
    void setArticle(ArticleDetail article);
    void setPosting(bool posting);
    void setPostError(std::optional<QString> message);
    void setCommentsError(std::optional<QString> message);
    void updateMainBlock();
    void updateCanSend();

    qint64 m_articleId = 0;
    QString m_baseUrl;
    QPointer<AuthManager> m_auth;
    QMetaObject::Connection m_authConnection;

    std::optional<ArticleDetail> m_article;
    QString m_mainBlock;
    bool m_isLiked = false;
    qreal m_webViewHeight = 400;
    bool m_webViewLoading = true;

    CommentListModel *m_comments = nullptr;
    QString m_newComment;
    QString m_guestName;
    std::optional<QString> m_postError;
    bool m_isPosting = false;
    bool m_canSend = false;
    bool m_showGuestField = true;
    std::optional<QString> m_commentsError;
    std::shared_ptr<APIClient> m_commentsClient;  // of a running comments retry

    LoadLifecycle m_load{true};
};

} // namespace papelo
