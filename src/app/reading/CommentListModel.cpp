#include "reading/CommentListModel.h"

#include "core/APIClient.h"
#include "core/AuthManager.h"
#include "core/Console.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QHash>
#include <QTextLayout>

namespace papelo {

namespace {
constexpr qint64 kMeasureSliceNs = 4'000'000;  // per turn of the event loop
} // namespace

CommentListModel::CommentListModel(QObject *parent) : QAbstractListModel(parent)
{
    m_measureTimer.setInterval(0);
    connect(&m_measureTimer, &QTimer::timeout, this, &CommentListModel::measureSome);
}

int CommentListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant CommentListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_rows.size())
        return {};
    const CommentRowState &row = m_rows.at(index.row());
    switch (role) {
    case CommentIdRole: return row.comment.id;
    case NameRole: return row.comment.name;
    case ContentRole: return row.comment.content;
    case TimeRole: return row.shortTime();
    case LikeCountRole: return row.likeCount;
    case IsLikedRole: return row.isLiked;
    case RowHeightRole: return rowHeight(index.row());
    case MemberMarkRole: return row.memberMark();
    default: return {};
    }
}

QHash<int, QByteArray> CommentListModel::roleNames() const
{
    return {
        {CommentIdRole, "commentId"}, {NameRole, "name"},           {ContentRole, "content"},
        {TimeRole, "time"},           {LikeCountRole, "likeCount"}, {IsLikedRole, "isLiked"},
        {RowHeightRole, "rowHeight"},   {MemberMarkRole, "memberMark"},
    };
}

int CommentListModel::rowOf(qint64 commentId) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).comment.id == commentId)
            return i;
    }
    return -1;
}

void CommentListModel::setComments(const QList<Comment> &comments)
{
    bool sameOrder = comments.size() == m_rows.size();
    for (qsizetype i = 0; sameOrder && i < comments.size(); ++i)
        sameOrder = comments.at(i).id == m_rows.at(i).comment.id;

    if (sameOrder) {
        // Same rows in the same order: only update what changed, so delegates stay.
        for (int i = 0; i < comments.size(); ++i) {
            if (!m_rows[i].adopt(comments.at(i)))
                continue;
            if (i < m_measuredUpTo)
                m_textHeights[size_t(i)] = variableHeight(m_rows.at(i));
            emitRowChanged(i);
        }
        return;
    }

    QHash<qint64, CommentRowState> previous;
    for (const CommentRowState &row : std::as_const(m_rows))
        previous.insert(row.comment.id, row);
    QList<CommentRowState> merged;
    merged.reserve(comments.size());
    for (const Comment &comment : comments) {
        const auto it = previous.constFind(comment.id);
        if (it == previous.constEnd()) {
            merged.append(CommentRowState(comment));
        } else {
            CommentRowState kept = *it;
            kept.adopt(comment);
            merged.append(kept);
        }
    }
    const int before = count();
    beginResetModel();
    m_rows = std::move(merged);
    // Until measured, a row counts one line of header and one of text (fonts
    // are only looked at once a view has set them: a model may live without GUI).
    const qreal estimate =
        m_textWidth > 0 ? QFontMetricsF(m_textFont).height() + QFontMetricsF(m_nameFont).height() : 0;
    m_textHeights.assign(size_t(m_rows.size()), estimate);
    m_measuredUpTo = 0;
    endResetModel();
    measureSome();
    if (before != count())
        emit countChanged();
}

void CommentListModel::setNameFont(const QFont &font)
{
    if (font == m_nameFont)
        return;
    m_nameFont = font;
    emit rowMetricsChanged();
    remeasure();
}

void CommentListModel::setTimeFont(const QFont &font)
{
    if (font == m_timeFont)
        return;
    m_timeFont = font;
    emit rowMetricsChanged();
    remeasure();
}

void CommentListModel::setTextFont(const QFont &font)
{
    if (font == m_textFont)
        return;
    m_textFont = font;
    emit rowMetricsChanged();
    remeasure();
}

void CommentListModel::setTextWidth(qreal width)
{
    if (width == m_textWidth)
        return;
    m_textWidth = width;
    emit rowMetricsChanged();
    remeasure();
}

void CommentListModel::setFixedHeight(qreal height)
{
    if (height == m_fixedHeight)
        return;
    m_fixedHeight = height;
    emit rowMetricsChanged();
    if (!m_rows.isEmpty())
        emit dataChanged(index(0), index(count() - 1), {RowHeightRole});
}

qreal CommentListModel::textHeight(const QString &text, const QFont &font, qreal width)
{
    // As a plain-text Text item does it: line separators for line feeds,
    // design metrics, an empty text one empty line high.
    QString laidOut = text;
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(laidOut, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setUseDesignMetrics(true);
    layout.setTextOption(option);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width > 0 ? width : 1e6);
        height += line.height();
    }
    layout.endLayout();
    return height;
}

qreal CommentListModel::variableHeight(const CommentRowState &row) const
{
    // The header is one line of name and date, as tall as the taller of the
    // two (a name in Chinese is taller than a date); eliding a long name
    // keeps its first glyphs, so the whole name's line height stands for it.
    const qreal header = std::max(textHeight(row.comment.name, m_nameFont, 0), textHeight(row.shortTime(), m_timeFont, 0));
    return header + textHeight(row.comment.content, m_textFont, m_textWidth);
}

qreal CommentListModel::rowHeight(int row) const
{
    return row >= 0 && size_t(row) < m_textHeights.size() ? m_fixedHeight + m_textHeights[size_t(row)] : 0;
}

void CommentListModel::remeasure()
{
    // The old heights stand in until each row is measured again.
    m_measuredUpTo = 0;
    measureSome();
}

void CommentListModel::measureSome()
{
    if (m_textWidth <= 0 || m_measuredUpTo >= count()) {
        m_measureTimer.stop();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    int changedFrom = -1, changedTo = -1;
    for (; m_measuredUpTo < count() && clock.nsecsElapsed() < kMeasureSliceNs; ++m_measuredUpTo) {
        const qreal height = variableHeight(m_rows.at(m_measuredUpTo));
        qreal &known = m_textHeights[size_t(m_measuredUpTo)];
        if (height != known) {
            known = height;
            changedFrom = changedFrom < 0 ? m_measuredUpTo : changedFrom;
            changedTo = m_measuredUpTo;
        }
    }
    if (changedFrom >= 0)
        emit dataChanged(index(changedFrom), index(changedTo), {RowHeightRole});
    if (m_measuredUpTo < count())
        m_measureTimer.start();
    else
        m_measureTimer.stop();
}

void CommentListModel::emitRowChanged(int row)
{
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

void CommentListModel::like(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    likeComment(m_rows.at(row).comment.id);  // independent task; the model keeps no handle
}

QCoro::Task<> CommentListModel::likeComment(qint64 commentId)
{
    QPointer<CommentListModel> guard(this);
    auto client = APIClient::create(m_baseUrl);
    const std::optional<QString> token = m_auth ? m_auth->token() : std::nullopt;
    const Result<bool> answer = co_await client->like(LikeTarget(m_articleId, commentId), token);
    if (!answer) {
        consoleLine(QStringLiteral("评论点赞失败："), answer.error().description());
        co_return;
    }
    if (!guard || !answer.value())
        co_return;
    // The list may have been reloaded meanwhile: find the row again by id.
    const int row = rowOf(commentId);
    if (row < 0)
        co_return;
    m_rows[row].applyAcceptedLike();
    emitRowChanged(row);
}

} // namespace papelo
