#include "articles/ArticleListModel.h"

#include "common/AvatarInitial.h"

#include "core/ArticleCountsStore.h"
#include "core/ImageUrl.h"
#include "core/ServerConfig.h"

#include <algorithm>


namespace papelo {

ArticleListModel::ArticleListModel(QObject *parent) : QAbstractListModel(parent)
{
    connect(&ArticleCountsStore::shared(), &ArticleCountsStore::changed, this, &ArticleListModel::onCountsChanged);
    connect(&ArticleCountsStore::shared(), &ArticleCountsStore::cleared, this, [this] {
        if (!m_articles.isEmpty())
            emit dataChanged(index(0), index(int(m_articles.size()) - 1));
    });
}

int ArticleListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_articles.size());
}

QVariant ArticleListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Article &a = m_articles.at(index.row());
    const auto stored = ArticleCountsStore::shared().lookup(a.id);
    switch (role) {
    case Qt::DisplayRole:
    case TitleRole:
        return a.title;
    case ArticleIdRole:
        return a.id;
    case LetterRole:
        return avatarInitial(a.title);
    case HasImageRole:
        return !imageUrlFor(a, m_imageBaseUrl).isEmpty();
    case ImageUrlRole:
        return imageUrlFor(a, m_imageBaseUrl);
    case ViewsRole:
        return a.views;
    case HasCommentCountRole:
        return stored.has_value() || a.comments.has_value();
    case CommentCountRole:
        return stored ? stored->comments : a.comments.value_or(0);
    case HasLikeCountRole:
        return stored.has_value() || a.likes.has_value();
    case LikeCountRole:
        return stored ? stored->likes : a.likes.value_or(0);
    case HasAuthorRole:
        return a.author.has_value();
    case AuthorRole:
        return a.author.value_or(QString());
    case DayRole:
        return dayFor(a.date);
    case AccessibleNameRole:
        return accessibleNameFor(a, stored ? std::optional(stored->comments) : a.comments,
                                 stored ? std::optional(stored->likes) : a.likes);
    default:
        return {};
    }
}

QHash<int, QByteArray> ArticleListModel::roleNames() const
{
    return {
        {ArticleIdRole, "articleId"},
        {TitleRole, "title"},
        {LetterRole, "letter"},
        {HasImageRole, "hasImage"},
        {ImageUrlRole, "imageUrl"},
        {ViewsRole, "views"},
        {HasCommentCountRole, "hasCommentCount"},
        {CommentCountRole, "commentCount"},
        {HasLikeCountRole, "hasLikeCount"},
        {LikeCountRole, "likeCount"},
        {HasAuthorRole, "hasAuthor"},
        {AuthorRole, "author"},
        {DayRole, "day"},
        {AccessibleNameRole, "accessibleName"},
    };
}

void ArticleListModel::setArticles(QList<Article> articles)
{
    // The same articles again (a reload on coming back): the cards stay, and
    // so does the keyboard focus on one of them.
    if (!m_articles.isEmpty()
        && std::equal(articles.cbegin(), articles.cend(), m_articles.cbegin(), m_articles.cend(),
                      [](const Article &a, const Article &b) { return a.id == b.id; })) {
        m_articles = std::move(articles);
        emit dataChanged(index(0), index(count() - 1));
        return;
    }
    const bool countChanges = articles.size() != m_articles.size();
    beginResetModel();
    m_articles = std::move(articles);
    m_rowsById.clear();
    m_rowsById.reserve(m_articles.size());
    for (int row = 0; row < m_articles.size(); ++row)
        m_rowsById[m_articles.at(row).id].append(row);
    endResetModel();
    if (countChanges)
        emit countChanged();
}

QVariant ArticleListModel::articleIdAt(int row) const
{
    if (row < 0 || row >= m_articles.size())
        return {};
    return m_articles.at(row).id;
}

QVariantList ArticleListModel::readingList() const
{
    QVariantList list;
    list.reserve(m_articles.size());
    for (const Article &article : m_articles)
        list.append(QVariantMap{{QStringLiteral("id"), article.id}, {QStringLiteral("title"), article.title}});
    return list;
}

QUrl ArticleListModel::imageUrlFor(const Article &article, const QString &baseUrl)
{
    // A present but empty thumb is taken as it is (letter tile), not replaced by the cover.
    const std::optional<QString> path = article.thumb ? article.thumb : article.cover;
    const auto url = fullImageURL(path, baseUrl.isEmpty() ? ServerConfig::baseUrl() : baseUrl);
    return url.value_or(QUrl());
}

QString ArticleListModel::dayFor(const QString &date)
{
    return date.left(10);
}

QString ArticleListModel::accessibleNameFor(const Article &article, std::optional<qint64> comments,
                                            std::optional<qint64> likes)
{
    QStringList parts{article.title};
    if (article.author)
        parts << *article.author;
    parts << dayFor(article.date) << QStringLiteral("%1 次阅读").arg(article.views);
    if (comments)
        parts << QStringLiteral("%1 条评论").arg(*comments);
    if (likes)
        parts << QStringLiteral("%1 个赞").arg(*likes);
    return parts.join(QStringLiteral("，"));
}

void ArticleListModel::onCountsChanged(qint64 id)
{
    const auto it = m_rowsById.constFind(id);
    if (it == m_rowsById.constEnd())
        return;
    static const QList<int> roles{HasCommentCountRole, CommentCountRole, HasLikeCountRole, LikeCountRole,
                                  AccessibleNameRole};
    for (int row : *it) {
        const QModelIndex i = index(row);
        emit dataChanged(i, i, roles);
    }
}

} // namespace papelo
