#pragma once

#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QList>
#include <QPointer>
#include <QTableView>

#include "platform/data/DataSource.h"

namespace txl::ui {

// One column of a data grid: the field it shows, its title and width.
struct GridColumn {
    QString field;
    QString title;
    int width = 64;
};

// The grid's columns over a data source: listed fields in the listed order,
// under their own titles; fields not listed are not shown, and a listed
// field the source lacks shows empty cells. A proxy: rows, resets and layout
// changes pass through as Qt forwards them, cells are read from the source on
// demand.
class GridColumnsModel : public QIdentityProxyModel {
    Q_OBJECT
public:
    explicit GridColumnsModel(QObject *parent = nullptr);

    void setSource(DataSource *source) { setSourceModel(source); }
    DataSource *source() const;
    void setSourceModel(QAbstractItemModel *source) override;
    void setColumns(const QList<GridColumn> &columns);
    const QList<GridColumn> &columns() const { return m_columns; }

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

protected slots:
    void resetInternalData() override;

private:
    void sourceCellsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles);

    QList<GridColumn> m_columns;
    QList<int> m_map; // grid column -> source column, -1 when the field is absent
};

// The row indicator: a narrow header column that marks the current row with
// a triangle.
class RowIndicator : public QHeaderView {
    Q_OBJECT
public:
    explicit RowIndicator(QWidget *parent = nullptr);
    void setCurrentRow(int row);
    int currentRow() const { return m_current; }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sizeHint() const override;

private:
    int m_current = -1;
};

// A read-only, whole-row data grid bound to a data source. The selected row
// is the data set's current row, in both directions. Users may resize and
// move columns; such changes last while the grid exists and survive the data
// set being reopened.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    explicit DBGrid(QWidget *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const;
    void setColumns(const QList<GridColumn> &columns);
    const QList<GridColumn> &columns() const { return m_model->columns(); }

    // Width of a grid column, by its index in the column list (not moved
    // position).
    int columnWidthAt(int column) const { return columnWidth(column); }
    void setColumnWidthAt(int column, int width);

    // The row marked current (-1 when the list is empty or closed).
    int currentRow() const;
    RowIndicator *indicator() const { return m_indicator; }
    GridColumnsModel *columnsModel() const { return m_model; }

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void rememberLayout();
    void restoreLayout();
    void followDataSet(int row);

    GridColumnsModel *m_model;
    RowIndicator *m_indicator;
    QList<int> m_widths; // by logical column
    QList<int> m_visualOrder; // logical column at each visual position
    bool m_following = false;
    bool m_restoring = false;
};

} // namespace txl::ui
