#include "AuthorDetailScreen.h"

#include "APIClient.h"
#include "AvatarInitial.h"
#include "ServerConfig.h"

namespace papelo {

AuthorDetailScreen::AuthorDetailScreen(QObject *parent)
    : QObject(parent), m_baseUrl(ServerConfig::baseUrl()), m_articles(new ArticleListModel(this))
{
    m_articles->setImageBaseUrl(m_baseUrl);
    updateMainBlock();
}

AuthorDetailScreen::~AuthorDetailScreen()
{
    if (m_visibleLoad)
        m_visibleLoad->cancelAll();
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
    if (m_isLoading)
        block = QStringLiteral("loading");
    else if (m_detail)
        block = QStringLiteral("author");
    else if (m_errorMessage)
        block = QStringLiteral("error");
    if (block != m_mainBlock) {
        m_mainBlock = block;
        emit mainBlockChanged();
    }
}

void AuthorDetailScreen::setLoading(bool loading)
{
    if (loading == m_isLoading)
        return;
    m_isLoading = loading;
    emit isLoadingChanged();
    updateMainBlock();
}

void AuthorDetailScreen::setErrorMessage(std::optional<QString> message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
    updateMainBlock();
}

void AuthorDetailScreen::appear() { loadData(true); }

void AuthorDetailScreen::disappear()
{
    if (m_visibleLoad) {
        m_visibleLoad->cancelAll();
        m_visibleLoad.reset();
    }
}

void AuthorDetailScreen::retry() { loadData(false); }

QCoro::Task<> AuthorDetailScreen::loadData(bool boundToVisibility)
{
    QPointer<AuthorDetailScreen> guard(this);
    const quint64 serial = ++m_loadSerial;
    setLoading(true);
    setErrorMessage(std::nullopt);
    auto client = APIClient::create(m_baseUrl);
    if (boundToVisibility)
        m_visibleLoad = client;
    const Result<AuthorDetailResponse> response = co_await client->fetchAuthor(m_authorId);
    if (!guard)
        co_return;
    if (m_visibleLoad == client)
        m_visibleLoad.reset();
    // A newer load owns the screen: an older one ending (often cancelled by
    // hiding) must neither end its spinner nor leave its error behind.
    if (serial != m_loadSerial)
        co_return;
    if (!response) {
        setErrorMessage(QStringLiteral("加载失败：") + response.error().description());
        setLoading(false);
        co_return;
    }
    m_detail = response.value();
    m_articles->setArticles(m_detail->articles);
    emit authorChanged();
    updateMainBlock();
    // Not awaited: the cards pick the counts up from the store as they arrive.
    client->enrichCounts(m_detail->articles);
    setLoading(false);
}

} // namespace papelo
