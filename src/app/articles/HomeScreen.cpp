#include "articles/HomeScreen.h"

#include "core/Activity.h"
#include "core/Console.h"
#include "core/ServerConfig.h"

#include <QCoroTimer>
#include <QPointer>
#include <QVariantMap>

#include <chrono>

namespace papelo {

HomeScreen::HomeScreen(QObject *parent) : QObject(parent), m_baseUrl(ServerConfig::baseUrl())
{
    connect(&m_load, &LoadLifecycle::changed, this, &HomeScreen::statusChanged);
    m_articles.setImageBaseUrl(m_baseUrl);
}

QString HomeScreen::countText() const
{
    return QString::number(m_totalArticles) + QStringLiteral(" 篇文章");
}

void HomeScreen::setSearchText(const QString &text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    emit searchTextChanged();
}

QVariant HomeScreen::selectedTagValue() const
{
    return m_selectedTag ? QVariant(*m_selectedTag) : QVariant();
}

QVariantList HomeScreen::tagChips() const
{
    QVariantList chips;
    if (m_tags.isEmpty())
        return chips;
    QVariantMap all;
    all.insert(QStringLiteral("title"), QStringLiteral("全部"));
    all.insert(QStringLiteral("selected"), !m_selectedTag.has_value());
    chips.append(all);
    for (const Tag &tag : m_tags) {
        QVariantMap chip;
        chip.insert(QStringLiteral("title"), tag.name);
        chip.insert(QStringLiteral("selected"), m_selectedTag == tag.id);
        chips.append(chip);
    }
    return chips;
}

int HomeScreen::selectedChip() const
{
    if (!m_selectedTag)
        return 0;
    for (qsizetype i = 0; i < m_tags.size(); ++i) {
        if (m_tags.at(i).id == *m_selectedTag)
            return int(i) + 1;
    }
    return -1;
}

void HomeScreen::setBaseUrl(const QString &baseUrl)
{
    if (baseUrl == m_baseUrl)
        return;
    m_baseUrl = baseUrl;
    m_articles.setImageBaseUrl(baseUrl);
    emit baseUrlChanged();
}

std::optional<QString> HomeScreen::selectedTagFilter() const
{
    // The server filters by the tag's id in decimal, never by its name.
    if (!m_selectedTag)
        return std::nullopt;
    return QString::number(*m_selectedTag);
}

void HomeScreen::setAnimateCards(bool animate)
{
    if (animate == m_animateCards)
        return;
    m_animateCards = animate;
    emit animateCardsChanged();
}

// ---- triggers ----------------------------------------------------------------

void HomeScreen::appear()
{
    if (!m_articles.hasArticles())
        loadArticles(std::nullopt, std::nullopt);
    if (m_tags.isEmpty())
        loadTags();
}

void HomeScreen::refresh() { loadArticles(selectedTagFilter(), m_searchText); }

void HomeScreen::submitSearch() { loadArticles(selectedTagFilter(), m_searchText); }

void HomeScreen::clearSearch()
{
    setSearchText(QString());
    loadArticles(selectedTagFilter(), std::nullopt);
}

void HomeScreen::selectAll()
{
    m_selectedTag.reset();
    emit tagsChanged();
    loadArticles(std::nullopt, m_searchText);
}

void HomeScreen::selectTag(qint64 id)
{
    m_selectedTag = id;
    emit tagsChanged();
    loadArticles(selectedTagFilter(), m_searchText);
}

void HomeScreen::activateChip(int index)
{
    if (index == 0)
        selectAll();
    else if (index > 0 && index <= m_tags.size())
        selectTag(m_tags.at(index - 1).id);
}

void HomeScreen::retry() { loadArticles(std::nullopt, std::nullopt); }

// ---- loads -------------------------------------------------------------------

QCoro::Task<> HomeScreen::loadArticles(std::optional<QString> tag, std::optional<QString> q)
{
    QPointer<HomeScreen> guard(this);
    const Activity::Scope busy; // the 40 ms entrance delay affects what is shown too
    const LoadLifecycle::Ticket ticket = m_load.start(m_baseUrl, m_limits, LoadLifecycle::OnHide::KeepRunning);
    const std::shared_ptr<APIClient> client = ticket.client;
    auto statsTask = client->fetchStats();
    auto pageTask = client->fetchArticles(std::move(tag), std::move(q), std::nullopt, std::nullopt);

    const Result<StatsResponse> stats = co_await statsTask;
    std::optional<RequestError> failure;
    Result<ArticlesResponse> page;
    if (!stats) {
        // Without the count the load fails as a whole; the list request must not outlive it.
        client->cancelAll();
        co_await pageTask;
        failure = stats.error();
    } else {
        page = co_await pageTask;
        if (!page)
            failure = page.error();
    }
    if (!guard || !m_load.isCurrent(ticket))
        co_return;
    if (failure) {
        m_load.fail(ticket, QStringLiteral("加载失败：") + failure->description());
        co_return;
    }

    m_totalArticles = stats->totalArticles;
    setAnimateCards(false);
    QList<Article> items = std::move(page).value().items;
    m_articles.setArticles(items);
    emit statusChanged();

    co_await QCoro::sleepFor(std::chrono::milliseconds(40));
    if (!guard || !m_load.isCurrent(ticket))
        co_return;
    setAnimateCards(true);

    m_load.release(ticket); // a newer load must not cancel the enrichment below
    client->enrichCounts(std::move(items)); // runs on after this screen is gone; touches only the store
    m_load.finish(ticket);
}

QCoro::Task<> HomeScreen::loadTags()
{
    QPointer<HomeScreen> guard(this);
    auto client = APIClient::create(m_baseUrl, m_limits);
    const Result<QList<Tag>> tags = co_await client->fetchTags();
    if (!tags) {
        consoleLine(QStringLiteral("标签加载失败："), tags.error().description());
        co_return;
    }
    if (!guard)
        co_return;
    m_tags = tags.value();
    emit tagListChanged();
    emit tagsChanged();
}

} // namespace papelo
