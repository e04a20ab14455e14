#include "common/RowWindow.h"

#include <QJSValue>

#include <algorithm>

namespace papelo {

RowWindow::RowWindow(QObject *parent) : QAbstractListModel(parent) {}

void RowWindow::setModel(const QVariant &model)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_model = model;
    m_source = qobject_cast<QAbstractItemModel *>(model.value<QObject *>());
    m_values = model.userType() == qMetaTypeId<QJSValue>() ? model.value<QJSValue>().toVariant().toList()
                                                          : model.toList();
    if (m_source)
        m_values.clear();
    connectSource();
    emit modelChanged();
    rebuild();
}

void RowWindow::connectSource()
{
    m_sourceHeightRole = -1;
    m_roles.clear();
    if (!m_source)
        return;
    m_roles = m_source->roleNames();
    m_sourceHeightRole = m_roles.key(QByteArrayLiteral("rowHeight"), -1);
    connect(m_source, &QAbstractItemModel::modelReset, this, &RowWindow::rebuild);
    connect(m_source, &QAbstractItemModel::layoutChanged, this, &RowWindow::rebuild);
    connect(m_source, &QAbstractItemModel::rowsInserted, this, &RowWindow::rebuild);
    connect(m_source, &QAbstractItemModel::rowsRemoved, this, &RowWindow::rebuild);
    connect(m_source, &QAbstractItemModel::rowsMoved, this, &RowWindow::rebuild);
    connect(m_source, &QAbstractItemModel::dataChanged, this, &RowWindow::sourceDataChanged);
}

void RowWindow::setRowHeight(qreal height)
{
    if (height == m_rowHeight)
        return;
    m_rowHeight = height;
    emit rowHeightChanged();
    relayout();
}

void RowWindow::setSpacing(qreal spacing)
{
    if (spacing == m_spacing)
        return;
    m_spacing = spacing;
    emit spacingChanged();
    relayout();
}

void RowWindow::setViewTop(qreal top)
{
    if (top == m_viewTop)
        return;
    m_viewTop = top;
    emit viewTopChanged();
    updateBuilt();
}

void RowWindow::setViewHeight(qreal height)
{
    if (height == m_viewHeight)
        return;
    m_viewHeight = height;
    emit viewHeightChanged();
    updateBuilt();
}

void RowWindow::setOverscan(qreal overscan)
{
    if (overscan == m_overscan)
        return;
    m_overscan = overscan;
    emit overscanChanged();
    updateBuilt();
}

void RowWindow::setPinnedRow(int row)
{
    if (row == m_pinned)
        return;
    m_pinned = row;
    emit pinnedRowChanged();
    updateBuilt();
}

qreal RowWindow::contentHeight() const { return rows() > 0 ? m_offsets.back() - m_spacing : 0; }

qreal RowWindow::rowY(int row) const { return row >= 0 && row < rows() ? m_offsets[size_t(row)] : 0; }

qreal RowWindow::heightOf(int row) const
{
    return row >= 0 && row < rows() ? m_offsets[size_t(row) + 1] - m_offsets[size_t(row)] - m_spacing : 0;
}

qreal RowWindow::revealedTop(int row, qreal viewTop, qreal viewHeight) const
{
    const qreal top = rowY(row);
    const qreal bottom = top + heightOf(row);
    if (top < viewTop)
        return top;
    if (bottom > viewTop + viewHeight)
        return std::min(top, bottom - viewHeight);
    return viewTop;
}

int RowWindow::stepRow(int row, int key, int modifiers) const
{
    const bool shift = Qt::KeyboardModifiers(modifiers) & Qt::ShiftModifier;
    int next = -1;
    if ((key == Qt::Key_Tab && !shift) || key == Qt::Key_Down)
        next = row + 1;
    else if (key == Qt::Key_Backtab || (key == Qt::Key_Tab && shift) || key == Qt::Key_Up)
        next = row - 1;
    return next >= 0 && next < rows() ? next : -1;
}

int RowWindow::indexOfRow(int row) const { return int(m_built.indexOf(row)); }

int RowWindow::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_built.size()); }

QVariant RowWindow::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_built.size())
        return {};
    const int row = m_built.at(index.row());
    switch (role) {
    case RowRole: return row;
    case RowYRole: return rowY(row);
    case RowHeightRole: return heightOf(row);
    case ModelDataRole: return m_values.value(row);
    default: return m_source ? m_source->data(m_source->index(row, 0), role) : QVariant();
    }
}

QHash<int, QByteArray> RowWindow::roleNames() const
{
    QHash<int, QByteArray> names = m_roles;
    names.remove(m_sourceHeightRole);
    names.insert(RowRole, "row");
    names.insert(RowYRole, "rowY");
    names.insert(RowHeightRole, "rowHeight");
    if (!m_source)
        names.insert(ModelDataRole, "modelData");
    return names;
}

void RowWindow::relayout()
{
    const int n = m_source ? m_source->rowCount() : int(m_values.size());
    std::vector<qreal> offsets(size_t(n) + 1, 0);
    for (int i = 0; i < n; ++i) {
        const qreal height = m_sourceHeightRole >= 0 ? m_source->data(m_source->index(i, 0), m_sourceHeightRole).toReal()
                                                     : m_rowHeight;
        offsets[size_t(i) + 1] = offsets[size_t(i)] + height + m_spacing;
    }
    const bool moved = offsets != m_offsets;
    m_offsets = std::move(offsets);
    if (!moved)
        return;
    // Without roles: delegates with required properties ignore a change of named roles.
    if (!m_built.isEmpty())
        emit dataChanged(index(0), index(int(m_built.size()) - 1));
    emit layoutChanged();
    updateBuilt();
}

void RowWindow::rebuild()
{
    m_changing = true;
    beginResetModel();
    m_built.clear();
    endResetModel();
    m_changing = false;
    relayout();
    emit layoutChanged();
    updateBuilt();
}

void RowWindow::updateBuilt()
{
    // Delegates built or dropped during a change may move the focus, which
    // moves the pinned row: that change waits until this one is complete.
    if (m_changing) {
        m_again = true;
        return;
    }
    m_changing = true;
    do {
        m_again = false;
        applyWanted();
    } while (m_again);
    m_changing = false;
}

void RowWindow::applyWanted()
{
    QList<int> wanted;
    const int n = rows();
    // Without heights every row would sit in the viewport.
    const bool placed = m_sourceHeightRole >= 0 || m_rowHeight > 0;
    if (n > 0 && m_viewHeight > 0 && placed) {
        const qreal from = m_viewTop - m_overscan;
        const qreal to = m_viewTop + m_viewHeight + m_overscan;
        // First row ending below `from`, first row starting at or after `to`.
        const auto begin = m_offsets.begin();
        const int first = int(std::upper_bound(begin + 1, begin + n + 1, from + m_spacing) - begin) - 1;
        const int last = int(std::lower_bound(begin, begin + n, to) - begin);
        for (int row = std::max(0, first); row < last; ++row)
            wanted.append(row);
    }
    if (m_pinned >= 0 && m_pinned < n && !wanted.contains(m_pinned))
        wanted.insert(std::lower_bound(wanted.begin(), wanted.end(), m_pinned) - wanted.begin(), m_pinned);
    // Not QList::operator==: Qt 6.4 hands memcmp the null data of two empty lists.
    if (std::equal(wanted.cbegin(), wanted.cend(), m_built.cbegin(), m_built.cend()))
        return;

    // Rows leaving, from the back so positions stay valid, in contiguous runs.
    for (int i = int(m_built.size()) - 1; i >= 0;) {
        if (std::binary_search(wanted.begin(), wanted.end(), m_built.at(i))) {
            --i;
            continue;
        }
        int first = i;
        while (first > 0 && !std::binary_search(wanted.begin(), wanted.end(), m_built.at(first - 1)))
            --first;
        beginRemoveRows({}, first, i);
        m_built.remove(first, i - first + 1);
        endRemoveRows();
        i = first - 1;
    }
    // Rows arriving, in contiguous runs.
    for (int i = 0; i < wanted.size();) {
        if (i < m_built.size() && m_built.at(i) == wanted.at(i)) {
            ++i;
            continue;
        }
        int end = i;
        while (end < wanted.size() && !(i < m_built.size() && m_built.at(i) == wanted.at(end)))
            ++end;
        beginInsertRows({}, i, end - 1);
        for (int k = i; k < end; ++k)
            m_built.insert(k, wanted.at(k));
        endInsertRows();
        i = end;
    }
}

void RowWindow::sourceDataChanged(const QModelIndex &from, const QModelIndex &to, const QList<int> &roles)
{
    if (roles.isEmpty() || roles.contains(m_sourceHeightRole))
        relayout();
    for (int i = 0; i < m_built.size(); ++i) {
        const int row = m_built.at(i);
        if (row >= from.row() && row <= to.row())
            emit dataChanged(index(i), index(i));
    }
}

} // namespace papelo
