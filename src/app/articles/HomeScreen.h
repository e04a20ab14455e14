#pragma once

#include "articles/ArticleListModel.h"
#include "common/LoadLifecycle.h"
#include "core/APIClient.h"
#include "core/Records.h"

#include <QCoroTask>
#include <QObject>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <optional>

namespace papelo {

// State of the home tab: the whole article list, the site's article count,
// the search text and the tag chips. The view only binds to these properties
// and forwards the user's actions to the trigger methods. UI thread only.
//
// Loads are not serialised; the newest trigger decides what is shown: a load
// that has been superseded is cancelled and its late result discarded.
class HomeScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(papelo::ArticleListModel *articles READ articles CONSTANT)
    Q_PROPERTY(qint64 totalArticles READ totalArticles NOTIFY statusChanged)
    Q_PROPERTY(QString countText READ countText NOTIFY statusChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY statusChanged)
    Q_PROPERTY(bool hasError READ hasError NOTIFY statusChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY statusChanged)
    Q_PROPERTY(bool showSkeleton READ showSkeleton NOTIFY statusChanged)
    Q_PROPERTY(bool showError READ showError NOTIFY statusChanged)
    Q_PROPERTY(bool showGrid READ showGrid NOTIFY statusChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(bool showClearButton READ showClearButton NOTIFY searchTextChanged)
    Q_PROPERTY(QVariant selectedTag READ selectedTagValue NOTIFY tagsChanged)
    Q_PROPERTY(bool showTags READ showTags NOTIFY tagsChanged)
    // The chip list changes only with the tags, so choosing a chip keeps
    // every chip (and the keyboard focus on it); selection is selectedChip.
    Q_PROPERTY(QVariantList tagChips READ tagChips NOTIFY tagListChanged)
    Q_PROPERTY(int selectedChip READ selectedChip NOTIFY tagsChanged)
    Q_PROPERTY(bool animateCards READ animateCards NOTIFY animateCardsChanged)
    Q_PROPERTY(QString baseUrl READ baseUrl WRITE setBaseUrl NOTIFY baseUrlChanged)
public:
    explicit HomeScreen(QObject *parent = nullptr);

    ArticleListModel *articles() { return &m_articles; }
    const ArticleListModel &articleList() const { return m_articles; }
    qint64 totalArticles() const { return m_totalArticles; }
    QString countText() const;
    bool isLoading() const { return m_load.isLoading(); }
    bool hasError() const { return m_load.errorMessage().has_value(); }
    QString errorMessage() const { return m_load.errorMessage().value_or(QString()); }
    // Exactly one of the three content areas is shown.
    bool showSkeleton() const { return isLoading() && !m_articles.hasArticles(); }
    bool showError() const { return !showSkeleton() && hasError() && !m_articles.hasArticles(); }
    bool showGrid() const { return !showSkeleton() && !showError(); }

    QString searchText() const { return m_searchText; }
    void setSearchText(const QString &text);
    bool showClearButton() const { return !m_searchText.isEmpty(); }

    const QList<Tag> &tags() const { return m_tags; }
    std::optional<qint64> selectedTag() const { return m_selectedTag; }
    QVariant selectedTagValue() const;
    bool showTags() const { return !m_tags.isEmpty(); }
    // "全部" first, then one chip per tag: {title, selected}.
    QVariantList tagChips() const;
    // Index into tagChips of the selected chip: 0 for "全部".
    int selectedChip() const;
    bool animateCards() const { return m_animateCards; }

    QString baseUrl() const { return m_baseUrl; }
    void setBaseUrl(const QString &baseUrl);
    void setClientLimits(ClientLimits limits) { m_limits = limits; }

    // Triggers.
    // Loads keep running while the tab is hidden: the list is the tab's content.
    Q_INVOKABLE void appear();
    Q_INVOKABLE void refresh();
    Q_INVOKABLE void submitSearch();
    Q_INVOKABLE void clearSearch();
    Q_INVOKABLE void selectAll();
    Q_INVOKABLE void selectTag(qint64 id);
    // Chip 0 is "全部", chip i the tag at i - 1.
    Q_INVOKABLE void activateChip(int index);
    Q_INVOKABLE void retry();

    // The loads themselves; they report through the properties, never fail.
    QCoro::Task<> loadArticles(std::optional<QString> tag, std::optional<QString> q);
    QCoro::Task<> loadTags();

signals:
    void statusChanged();
    void searchTextChanged();
    void tagsChanged();
    void tagListChanged();
    void animateCardsChanged();
    void baseUrlChanged();

private:
    std::optional<QString> selectedTagFilter() const;
    void setAnimateCards(bool animate);

    ArticleListModel m_articles;
    qint64 m_totalArticles = 0;
    QString m_searchText;
    QList<Tag> m_tags;
    std::optional<qint64> m_selectedTag;
    bool m_animateCards = false;

    QString m_baseUrl;
    ClientLimits m_limits;
    LoadLifecycle m_load;
};

} // namespace papelo
