#include "DiscoverScreen.h"

#include "Activity.h"
#include "Console.h"
#include "ServerConfig.h"

#include <QPointer>

namespace papelo {

DiscoverScreen::DiscoverScreen(QObject *parent) : QObject(parent), m_baseUrl(ServerConfig::baseUrl())
{
    for (ArticleListModel *model : {&m_hot, &m_latest, &m_random})
        model->setImageBaseUrl(m_baseUrl);
}

void DiscoverScreen::setBaseUrl(const QString &baseUrl)
{
    if (baseUrl == m_baseUrl)
        return;
    m_baseUrl = baseUrl;
    for (ArticleListModel *model : {&m_hot, &m_latest, &m_random})
        model->setImageBaseUrl(baseUrl);
    emit baseUrlChanged();
}

void DiscoverScreen::setIsLoading(bool loading)
{
    if (loading == m_isLoading)
        return;
    m_isLoading = loading;
    emit isLoadingChanged();
}

void DiscoverScreen::appear() { loadData(); }

void DiscoverScreen::disappear()
{
    // Ends the running load through its failure path (console line, lists kept).
    if (m_loadClient)
        m_loadClient->cancelAll();
}

QCoro::Task<> DiscoverScreen::loadData()
{
    QPointer<DiscoverScreen> guard(this);
    const Activity::Scope busy;
    const quint64 generation = ++m_loadGeneration;
    setIsLoading(true);

    auto client = APIClient::create(m_baseUrl, m_limits);
    m_loadClient = client;
    auto hotTask = client->fetchHot(kSectionLimit);
    auto latestTask = client->fetchLatest(kSectionLimit);
    auto randomTask = client->fetchRandom(kSectionLimit);

    // Awaited in section order; the first failure cancels the requests not yet awaited.
    const Result<QList<Article>> hot = co_await hotTask;
    Result<QList<Article>> latest;
    Result<QList<Article>> random;
    std::optional<RequestError> failure;
    if (!hot) {
        failure = hot.error();
        client->cancelAll();
        co_await latestTask;
        co_await randomTask;
    } else {
        latest = co_await latestTask;
        if (!latest) {
            failure = latest.error();
            client->cancelAll();
            co_await randomTask;
        } else {
            random = co_await randomTask;
            if (!random)
                failure = random.error();
        }
    }

    if (failure)
        consoleLine(QStringLiteral("发现页加载失败："), failure->description());
    if (!guard || generation != m_loadGeneration)
        co_return;
    m_loadClient.reset();
    if (failure) {
        setIsLoading(false);
        co_return;
    }

    m_hot.setArticles(hot.value());
    m_latest.setArticles(latest.value());
    m_random.setArticles(random.value());

    // Repeats across sections stay: the enrichment skips what the store already has.
    QList<Article> joined = hot.value();
    joined.append(latest.value());
    joined.append(random.value());
    client->enrichCounts(std::move(joined)); // not part of the load; hiding does not cancel it
    setIsLoading(false);
}

} // namespace papelo
