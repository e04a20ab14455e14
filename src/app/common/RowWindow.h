#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <vector>

namespace papelo {

// The rows of a long list that are near the viewport of the page around it,
// for a Repeater whose delegates place themselves at `rowY`. Every row's
// place comes from the heights the list model reports (its "rowHeight"
// role) or from one fixed height, so the list is exactly as tall as all its
// rows before any of them is built, and scrolling never moves a row.
// A pinned row (the one holding the keyboard focus) stays built wherever
// the viewport goes. UI thread only.
class RowWindow : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    // A list model (its roles pass through) or a list of values (as modelData).
    Q_PROPERTY(QVariant model READ model WRITE setModel NOTIFY modelChanged)
    // Height of every row of a model without a "rowHeight" role.
    Q_PROPERTY(qreal rowHeight READ rowHeight WRITE setRowHeight NOTIFY rowHeightChanged)
    Q_PROPERTY(qreal spacing READ spacing WRITE setSpacing NOTIFY spacingChanged)
    // The page's viewport in list coordinates; rows this far beyond it are built too.
    Q_PROPERTY(qreal viewTop READ viewTop WRITE setViewTop NOTIFY viewTopChanged)
    Q_PROPERTY(qreal viewHeight READ viewHeight WRITE setViewHeight NOTIFY viewHeightChanged)
    Q_PROPERTY(qreal overscan READ overscan WRITE setOverscan NOTIFY overscanChanged)
    Q_PROPERTY(int pinnedRow READ pinnedRow WRITE setPinnedRow NOTIFY pinnedRowChanged)
    Q_PROPERTY(qreal contentHeight READ contentHeight NOTIFY layoutChanged)
    Q_PROPERTY(int rows READ rows NOTIFY layoutChanged)
public:
    explicit RowWindow(QObject *parent = nullptr);

    QVariant model() const { return m_model; }
    void setModel(const QVariant &model);
    qreal rowHeight() const { return m_rowHeight; }
    void setRowHeight(qreal height);
    qreal spacing() const { return m_spacing; }
    void setSpacing(qreal spacing);
    qreal viewTop() const { return m_viewTop; }
    void setViewTop(qreal top);
    qreal viewHeight() const { return m_viewHeight; }
    void setViewHeight(qreal height);
    qreal overscan() const { return m_overscan; }
    void setOverscan(qreal overscan);
    int pinnedRow() const { return m_pinned; }
    void setPinnedRow(int row);
    qreal contentHeight() const;
    int rows() const { return int(m_offsets.size()) - 1; }

    Q_INVOKABLE qreal rowY(int row) const;
    Q_INVOKABLE qreal heightOf(int row) const;
    // The viewport top after the least scrolling that shows `row` whole
    // (its top when it is taller than the viewport).
    Q_INVOKABLE qreal revealedTop(int row, qreal viewTop, qreal viewHeight) const;
    // The row the focus moves to from `row` for a key: Tab/Down next,
    // Backtab/Up previous; -1 past either end or for other keys.
    Q_INVOKABLE int stepRow(int row, int key, int modifiers) const;
    // Position of a built row among this model's rows, or -1.
    Q_INVOKABLE int indexOfRow(int row) const;
    const QList<int> &builtRows() const { return m_built; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void modelChanged();
    void rowHeightChanged();
    void spacingChanged();
    void viewTopChanged();
    void viewHeightChanged();
    void overscanChanged();
    // Rows moved, grew or shrank: contentHeight and rows may have changed.
    void layoutChanged();
    void pinnedRowChanged();

private:
    enum : int { RowRole = Qt::UserRole + 1000, RowYRole, RowHeightRole, ModelDataRole };

    void connectSource();
    void relayout();
    void rebuild();
    void updateBuilt();
    void applyWanted();
    void sourceDataChanged(const QModelIndex &from, const QModelIndex &to, const QList<int> &roles);

    QVariant m_model;
    QPointer<QAbstractItemModel> m_source;
    QVariantList m_values;
    int m_sourceHeightRole = -1;
    QHash<int, QByteArray> m_roles;
    qreal m_rowHeight = 0;
    qreal m_spacing = 0;
    qreal m_viewTop = 0;
    qreal m_viewHeight = 0;
    qreal m_overscan = 400;
    int m_pinned = -1;
    std::vector<qreal> m_offsets{0};  // top of every row, then the end
    QList<int> m_built;               // source rows, ascending
    bool m_changing = false;          // inside a reset, insertion or removal of rows
    bool m_again = false;
};

} // namespace papelo
