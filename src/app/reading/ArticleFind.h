#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <vector>

namespace papelo {

class CommentListModel;

// Find in the article: the body's matches (counted by the body script, in
// document order) come first, then the comments' (counted here from their
// model, since most rows are not built), in row order. Next and previous
// wrap around. UI thread only.
class ArticleFind : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(papelo::CommentListModel *comments READ comments WRITE setComments NOTIFY queryChanged)
    Q_PROPERTY(int total READ total NOTIFY resultsChanged)
    // 0-based; -1 without matches.
    Q_PROPERTY(int current READ current NOTIFY currentChanged)
    // "第 N / M 处", "无匹配", or empty while there is nothing to find.
    Q_PROPERTY(QString status READ status NOTIFY currentChanged)
    // Where the current match is: the body's match index or a comment row; -1 otherwise.
    Q_PROPERTY(int bodyIndex READ bodyIndex NOTIFY currentChanged)
    Q_PROPERTY(int commentRow READ commentRow NOTIFY currentChanged)
public:
    using QObject::QObject;

    QString query() const { return m_query; }
    void setQuery(const QString &query);
    CommentListModel *comments() const { return m_comments; }
    void setComments(CommentListModel *comments);
    int total() const { return m_bodyCount + int(m_commentMatches.size()); }
    int current() const { return m_current; }
    QString status() const;
    int bodyIndex() const { return m_current >= 0 && m_current < m_bodyCount ? m_current : -1; }
    int commentRow() const;

    // The body script's count for `query`; an answer for an older query, or
    // one that is not a count, is ignored.
    Q_INVOKABLE void setBodyCount(const QString &query, const QVariant &count);
    Q_INVOKABLE void next() { step(1); }
    Q_INVOKABLE void previous() { step(-1); }
    // Occurrences of `query` in `text`, case aside, not overlapping.
    static int occurrences(const QString &text, const QString &query);

signals:
    void queryChanged();
    void resultsChanged();
    void currentChanged();

private:
    void searchComments();
    void setCurrent(int current);
    void step(int delta);

    QString m_query;
    QPointer<CommentListModel> m_comments;
    int m_bodyCount = 0;
    std::vector<int> m_commentMatches;  // the row of each match
    int m_current = -1;
};

} // namespace papelo
