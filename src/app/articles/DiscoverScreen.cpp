#include "articles/DiscoverScreen.h"

#include "core/Activity.h"
#include "core/Console.h"
#include "core/ServerConfig.h"

#include <QPointer>

namespace papelo {

DiscoverScreen::DiscoverScreen(QObject *parent) : QObject(parent), m_baseUrl(ServerConfig::baseUrl())
{
    for (ArticleListModel *model : {&m_hot, &m_latest, &m_random})
        model->setImageBaseUrl(m_baseUrl);
    connect(&m_load, &LoadLifecycle::changed, this, &DiscoverScreen::isLoadingChanged);
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

void DiscoverScreen::appear() { loadData(); }

void DiscoverScreen::disappear()
{
    // Ends the running load through its failure path (console line, lists kept).
    m_load.hide();
}

QCoro::Task<> DiscoverScreen::loadData()
{
    QPointer<DiscoverScreen> guard(this);
    const Activity::Scope busy;
    const LoadLifecycle::Ticket ticket = m_load.start(m_baseUrl, m_limits);
    const std::shared_ptr<APIClient> client = ticket.client;
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
    if (!guard || !m_load.isCurrent(ticket))
        co_return;
    m_load.release(ticket);
    if (failure) {
        m_load.finish(ticket);
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
    m_load.finish(ticket);
}

} // namespace papelo
