#include "reading/ArticleFind.h"

#include "core/AuthManager.h"
#include "reading/CommentListModel.h"

#include <cmath>

namespace papelo {

void ArticleFind::setQuery(const QString &query)
{
    if (query == m_query)
        return;
    m_query = query;
    m_bodyCount = 0;  // until the body script has counted this query
    emit queryChanged();
    searchComments();
}

void ArticleFind::setComments(CommentListModel *comments)
{
    if (comments == m_comments)
        return;
    if (m_comments)
        disconnect(m_comments, nullptr, this, nullptr);
    m_comments = comments;
    if (m_comments)
        connect(m_comments, &QAbstractItemModel::modelReset, this, &ArticleFind::searchComments);
    emit queryChanged();
    searchComments();
}

int ArticleFind::occurrences(const QString &text, const QString &query)
{
    if (query.isEmpty())
        return 0;
    int count = 0;
    for (qsizetype at = text.indexOf(query, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(query, at + query.size(), Qt::CaseInsensitive))
        ++count;
    return count;
}

void ArticleFind::searchComments()
{
    m_commentMatches.clear();
    if (m_comments) {
        const auto &rows = m_comments->rows();
        for (int row = 0; row < rows.size(); ++row)
            m_commentMatches.insert(m_commentMatches.end(), size_t(occurrences(rows.at(row).comment.content, m_query)), row);
    }
    emit resultsChanged();
    setCurrent(total() > 0 ? 0 : -1);
}

void ArticleFind::setBodyCount(const QString &query, const QVariant &count)
{
    const int type = count.typeId();
    if (query != m_query || (type != QMetaType::Double && type != QMetaType::Int && type != QMetaType::LongLong))
        return;
    const double value = count.toDouble();
    if (!std::isfinite(value) || value < 0 || value > 1e6 || value != std::floor(value))
        return;
    m_bodyCount = int(value);
    emit resultsChanged();
    // The body comes first: its first match is where the search starts.
    setCurrent(total() > 0 ? 0 : -1);
}

QString ArticleFind::status() const
{
    if (m_query.isEmpty())
        return {};
    return total() == 0 ? QStringLiteral("无匹配") : QStringLiteral("第 %1 / %2 处").arg(m_current + 1).arg(total());
}

int ArticleFind::commentRow() const
{
    const int k = m_current - m_bodyCount;
    return m_current >= 0 && k >= 0 && size_t(k) < m_commentMatches.size() ? m_commentMatches[size_t(k)] : -1;
}

void ArticleFind::setCurrent(int current)
{
    m_current = current;
    // Also unchanged: the same index may now stand for another match.
    emit currentChanged();
}

void ArticleFind::step(int delta)
{
    if (total() > 0)
        setCurrent(((m_current + delta) % total() + total()) % total());
}

} // namespace papelo
