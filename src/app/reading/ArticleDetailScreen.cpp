#include "reading/ArticleDetailScreen.h"

#include "core/APIClient.h"
#include "core/ArticleCountsStore.h"
#include "common/AvatarInitial.h"
#include "core/Console.h"
#include "core/ServerConfig.h"
#include "core/Trace.h"

namespace papelo {

ArticleDetailScreen::ArticleDetailScreen(QObject *parent)
    : QObject(parent), m_baseUrl(ServerConfig::baseUrl()), m_comments(new CommentListModel(this))
{
    m_comments->setBaseUrl(m_baseUrl);
    connect(m_comments, &CommentListModel::countChanged, this, &ArticleDetailScreen::commentHeadingChanged);
    connect(&m_load, &LoadLifecycle::changed, this, [this] {
        emit isLoadingChanged();
        emit errorMessageChanged();
        updateMainBlock();
    });
    updateMainBlock();
}

ArticleDetailScreen::~ArticleDetailScreen()
{
    // A load still running has nobody left to show it to.
    m_load.hide();
}

void ArticleDetailScreen::setArticleId(qint64 id)
{
    if (id == m_articleId)
        return;
    m_articleId = id;
    m_comments->setArticleId(id);
    emit articleIdChanged();
}

void ArticleDetailScreen::setBaseUrl(const QString &url)
{
    if (url == m_baseUrl)
        return;
    m_baseUrl = url;
    m_comments->setBaseUrl(url);
    emit baseUrlChanged();
}

void ArticleDetailScreen::setAuth(AuthManager *auth)
{
    if (auth == m_auth)
        return;
    disconnect(m_authConnection);
    m_auth = auth;
    m_comments->setAuth(auth);
    if (auth) {
        m_authConnection = connect(auth, &AuthManager::changed, this, [this] {
            const bool show = showGuestField();
            if (show != m_showGuestField) {
                m_showGuestField = show;
                emit showGuestFieldChanged();
            }
        });
    }
    m_showGuestField = showGuestField();
    emit authChanged();
    emit showGuestFieldChanged();
}

QString ArticleDetailScreen::mainBlock() const { return m_mainBlock; }

void ArticleDetailScreen::updateMainBlock()
{
    QString block = QStringLiteral("none");
    if (m_load.isLoading())
        block = QStringLiteral("loading");
    else if (m_article)
        block = QStringLiteral("article");
    else if (m_load.errorMessage())
        block = QStringLiteral("error");
    if (block != m_mainBlock) {
        m_mainBlock = block;
        emit mainBlockChanged();
    }
}

QString ArticleDetailScreen::authorInitial() const { return avatarInitial(authorName()); }

QStringList ArticleDetailScreen::tagLabels() const
{
    QStringList labels;
    if (m_article && m_article->tags) {
        for (const Tag &tag : *m_article->tags)
            labels.append(QLatin1Char('#') + tag.name);
    }
    return labels;
}

void ArticleDetailScreen::setWebViewHeight(qreal height)
{
    // Applied even when unchanged: the body host reports every measurement.
    m_webViewHeight = height;
    emit webViewHeightChanged();
}

void ArticleDetailScreen::markWebViewLoaded()
{
    if (!m_webViewLoading)
        return;
    m_webViewLoading = false;
    emit webViewLoadingChanged();
}

QString ArticleDetailScreen::commentHeading() const
{
    return QStringLiteral("评论 ") + QString::number(m_comments->count());
}

void ArticleDetailScreen::setNewComment(const QString &text)
{
    if (text == m_newComment)
        return;
    m_newComment = text;
    emit newCommentChanged();
    updateCanSend();
}

void ArticleDetailScreen::setGuestName(const QString &name)
{
    if (name == m_guestName)
        return;
    m_guestName = name;
    emit guestNameChanged();
}

bool ArticleDetailScreen::canSend() const { return !m_isPosting && !m_newComment.trimmed().isEmpty(); }

void ArticleDetailScreen::updateCanSend()
{
    if (canSend() != m_canSend) {
        m_canSend = canSend();
        emit canSendChanged();
    }
}

bool ArticleDetailScreen::showGuestField() const { return !(m_auth && m_auth->user()); }

void ArticleDetailScreen::setArticle(ArticleDetail article)
{
    m_article = std::move(article);
    emit articleChanged();
    updateMainBlock();
}

void ArticleDetailScreen::setPosting(bool posting)
{
    if (posting == m_isPosting)
        return;
    m_isPosting = posting;
    emit isPostingChanged();
    updateCanSend();
}

void ArticleDetailScreen::setPostError(std::optional<QString> message)
{
    if (message == m_postError)
        return;
    m_postError = std::move(message);
    emit postErrorChanged();
}

void ArticleDetailScreen::setCommentsError(std::optional<QString> message)
{
    if (message == m_commentsError)
        return;
    m_commentsError = std::move(message);
    emit commentsErrorChanged();
}

void ArticleDetailScreen::appear() { loadContent(true); }

void ArticleDetailScreen::disappear()
{
    m_load.hide();
}

void ArticleDetailScreen::retry() { loadContent(false); }
void ArticleDetailScreen::retryComments() { loadComments(); }
void ArticleDetailScreen::like() { toggleLike(); }
void ArticleDetailScreen::send() { postComment(); }

QCoro::Task<> ArticleDetailScreen::loadContent(bool boundToVisibility)
{
    QPointer<ArticleDetailScreen> guard(this);
    const LoadLifecycle::Ticket ticket =
        m_load.start(m_baseUrl, {}, boundToVisibility ? LoadLifecycle::OnHide::Cancel : LoadLifecycle::OnHide::KeepRunning);

    const std::shared_ptr<APIClient> client = ticket.client;
    const qint64 id = m_articleId;
    trace::instant("article-requested");
    // Both requests start here, before either is awaited.
    QCoro::Task<Result<ArticleDetail>> articleRequest = client->fetchArticleDetail(id);
    QCoro::Task<Result<QList<Comment>>> commentsRequest = client->fetchComments(id);

    const Result<ArticleDetail> article = co_await articleRequest;
    if (!guard)
        co_return;
    // A failed article shows at once; the comments still land when they come.
    if (!article)
        m_load.fail(ticket, QStringLiteral("加载失败：") + article.error().description());
    const Result<QList<Comment>> comments = co_await commentsRequest;
    if (!guard)
        co_return;
    m_load.release(ticket);
    // A load started after this one owns the screen now; a hidden-and-shown
    // page must not have its fresh load's spinner ended by the cancelled one.
    if (!m_load.isCurrent(ticket))
        co_return;

    if (article)
        setArticle(article.value());
    if (comments)
        m_comments->setComments(comments.value());
    setCommentsError(comments ? std::nullopt
                              : std::optional(QStringLiteral("评论加载失败：") + comments.error().description()));
    if (article)
        m_load.finish(ticket);
}

QCoro::Task<> ArticleDetailScreen::loadComments()
{
    QPointer<ArticleDetailScreen> guard(this);
    const std::shared_ptr<APIClient> client = APIClient::create(m_baseUrl);
    if (m_commentsClient)
        m_commentsClient->cancelAll();
    m_commentsClient = client;
    emit commentsErrorChanged();
    const Result<QList<Comment>> comments = co_await client->fetchComments(m_articleId);
    if (!guard || m_commentsClient != client)
        co_return;
    m_commentsClient.reset();
    if (comments)
        m_comments->setComments(comments.value());
    m_commentsError = comments ? std::nullopt
                               : std::optional(QStringLiteral("评论加载失败：") + comments.error().description());
    emit commentsErrorChanged();
}

QCoro::Task<> ArticleDetailScreen::toggleLike()
{
    QPointer<ArticleDetailScreen> guard(this);
    if (!m_article)
        co_return;
    const qint64 id = m_article->id;
    const std::optional<QString> token = m_auth ? m_auth->token() : std::nullopt;
    auto client = APIClient::create(m_baseUrl);
    const Result<bool> answer = co_await client->like(LikeTarget(id, std::nullopt), token);
    if (!answer) {
        consoleLine(QStringLiteral("点赞失败："), answer.error().description());
        co_return;
    }
    if (!guard || !answer.value() || !m_article)
        co_return;
    m_isLiked = !m_isLiked;
    // Counted from the article as it is now, not as it was at the press:
    // two quick presses must bring the count back to where it started.
    ArticleDetail updated = *m_article;
    updated.likes += m_isLiked ? 1 : -1;
    const qint64 newCount = updated.likes;
    setArticle(std::move(updated));
    emit isLikedChanged();
    ArticleCountsStore &store = ArticleCountsStore::shared();
    if (const auto entry = store.lookup(id))
        store.set(newCount, entry->comments, id);
}

QCoro::Task<> ArticleDetailScreen::postComment()
{
    QPointer<ArticleDetailScreen> guard(this);
    if (m_isPosting)
        co_return;
    const QString content = m_newComment.trimmed();
    if (content.isEmpty())
        co_return;
    setPosting(true);
    setPostError(std::nullopt);

    const std::optional<Author> user = m_auth ? m_auth->user() : std::nullopt;
    const QString name = user ? user->username : m_guestName;
    const qint64 id = m_articleId;
    auto client = APIClient::create(m_baseUrl);
    const Result<CommentPostResponse> posted = co_await client->postComment(id, content, name);
    if (!guard)
        co_return;
    if (!posted) {
        setPostError(posted.error().description());
        setPosting(false);
        co_return;
    }
    setNewComment(QString());
    setGuestName(QString());

    const Result<QList<Comment>> reloaded = co_await client->fetchComments(id);
    if (!guard)
        co_return;
    if (!reloaded) {
        setPostError(reloaded.error().description());
        setPosting(false);
        co_return;
    }
    m_comments->setComments(reloaded.value());
    ArticleCountsStore &store = ArticleCountsStore::shared();
    if (const auto entry = store.lookup(id))
        store.set(entry->likes, qint64(reloaded->size()), id);
    setPosting(false);
}

} // namespace papelo
