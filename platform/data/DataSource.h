#pragma once

#include <QAbstractTableModel>
#include <QPointer>

#include "platform/data/Query.h"

namespace txl {

// Presents a query to item views: read-only, one column per field, headers
// from the field names. Follows the query as it opens, closes, loses rows and
// changes values; the current row is shared both ways (currentRow /
// setCurrentRow). Cells are read from the query on demand: nothing is stored
// per cell, so a scroll costs only the visible rows.
class DataSource : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataSource(QObject *parent = nullptr);

    void setDataSet(Query *query);
    Query *dataSet() const { return m_query; }

    int currentRow() const; // -1 when closed or empty

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

public slots:
    // Moves the query's current row (a view's selection moved). Never throws.
    void setCurrentRow(int row);

signals:
    void currentRowChanged(int row);

private:
    void onReset();

    QPointer<Query> m_query;
    int m_rows = 0;
    int m_columns = 0;
};

} // namespace txl
