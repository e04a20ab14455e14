#pragma once

#include "core/Records.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QUrl>
#include <optional>
#include <QtQml/qqmlregistration.h>

namespace papelo {

// The cards of one article list. Everything a card shows is decided here:
// counts prefer ArticleCountsStore over the record (zero is a value, absence
// hides the item), the image address or the letter tile, the day text.
// A new list resets the model once; a count arriving in the store changes
// only the rows of that article. UI thread only.
class ArticleListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by a screen")
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(bool hasArticles READ hasArticles NOTIFY countChanged)
public:
    enum Role {
        ArticleIdRole = Qt::UserRole + 1,
        TitleRole,
        LetterRole,
        HasImageRole,
        ImageUrlRole,
        ViewsRole,
        HasCommentCountRole,
        CommentCountRole,
        HasLikeCountRole,
        LikeCountRole,
        HasAuthorRole,
        AuthorRole,
        DayRole,
        AccessibleNameRole,
    };
    Q_ENUM(Role)

    explicit ArticleListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_articles.size()); }
    bool hasArticles() const { return !m_articles.isEmpty(); }
    const QList<Article> &articles() const { return m_articles; }
    void setArticles(QList<Article> articles);

    // Base of relative image paths; empty means the configured server.
    void setImageBaseUrl(const QString &baseUrl) { m_imageBaseUrl = baseUrl; }

    Q_INVOKABLE QVariant articleIdAt(int row) const;
    // [{id, title}] in the order shown: the list an article opened from here reads on in.
    Q_INVOKABLE QVariantList readingList() const;
    static QUrl imageUrlFor(const Article &article, const QString &baseUrl);
    static QString dayFor(const QString &date);
    // What a screen reader says for a card: "标题，作者，日期，N 次阅读，N 条评论，N 个赞",
    // leaving out what the card leaves out.
    static QString accessibleNameFor(const Article &article, std::optional<qint64> comments, std::optional<qint64> likes);

signals:
    void countChanged();

private:
    void onCountsChanged(qint64 id);

    QList<Article> m_articles;
    QHash<qint64, QList<int>> m_rowsById; // an article may appear in several rows
    QString m_imageBaseUrl;
};

} // namespace papelo
