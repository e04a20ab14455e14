#include "articles/AuthorDetailScreen.h"

#include "core/APIClient.h"
#include "common/AvatarInitial.h"
#include "core/ServerConfig.h"

namespace papelo {

AuthorDetailScreen::AuthorDetailScreen(QObject *parent)
    : QObject(parent), m_baseUrl(ServerConfig::baseUrl()), m_articles(new ArticleListModel(this))
{
    m_articles->setImageBaseUrl(m_baseUrl);
    connect(&m_load, &LoadLifecycle::changed, this, [this] {
        emit isLoadingChanged();
        emit errorMessageChanged();
        updateMainBlock();
    });
    updateMainBlock();
}

AuthorDetailScreen::~AuthorDetailScreen()
{
    m_load.hide();
}

void AuthorDetailScreen::setAuthorId(qint64 id)
{
    if (id == m_authorId)
        return;
    m_authorId = id;
    emit authorIdChanged();
}

void AuthorDetailScreen::setBaseUrl(const QString &url)
{
    if (url == m_baseUrl)
        return;
    m_baseUrl = url;
    m_articles->setImageBaseUrl(url);
    emit baseUrlChanged();
}

QString AuthorDetailScreen::initial() const { return avatarInitial(username()); }

QString AuthorDetailScreen::articlesHeading() const
{
    return username() + QStringLiteral(" 的文章 (") + QString::number(articleCount()) + QLatin1Char(')');
}

void AuthorDetailScreen::updateMainBlock()
{
    // A held author wins over a later error.
    QString block = QStringLiteral("none");
    if (m_load.isLoading())
        block = QStringLiteral("loading");
    else if (m_detail)
        block = QStringLiteral("author");
    else if (m_load.errorMessage())
        block = QStringLiteral("error");
    if (block != m_mainBlock) {
        m_mainBlock = block;
        emit mainBlockChanged();
    }
}

void AuthorDetailScreen::appear() { loadData(true); }

void AuthorDetailScreen::disappear()
{
    m_load.hide();
}

void AuthorDetailScreen::retry() { loadData(false); }

QCoro::Task<> AuthorDetailScreen::loadData(bool boundToVisibility)
{
    QPointer<AuthorDetailScreen> guard(this);
    const LoadLifecycle::Ticket ticket =
        m_load.start(m_baseUrl, {}, boundToVisibility ? LoadLifecycle::OnHide::Cancel : LoadLifecycle::OnHide::KeepRunning);
    const std::shared_ptr<APIClient> client = ticket.client;
    const Result<AuthorDetailResponse> response = co_await client->fetchAuthor(m_authorId);
    if (!guard)
        co_return;
    m_load.release(ticket);
    // A newer load owns the screen: an older one ending (often cancelled by
    // hiding) must neither end its spinner nor leave its error behind.
    if (!m_load.isCurrent(ticket))
        co_return;
    if (!response) {
        m_load.fail(ticket, QStringLiteral("加载失败：") + response.error().description());
        co_return;
    }
    m_detail = response.value();
    m_articles->setArticles(m_detail->articles);
    emit authorChanged();
    updateMainBlock();
    // Not awaited: the cards pick the counts up from the store as they arrive.
    client->enrichCounts(m_detail->articles);
    m_load.finish(ticket);
}

} // namespace papelo
