#include "platform/data/DataSource.h"

#include "platform/data/Query.h"
#include "platform/text/Lines.h"

namespace txl {

DataSource::DataSource(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void DataSource::setDataSet(Query *query)
{
    if (m_query == query)
        return;
    beginResetModel();
    if (m_query)
        disconnect(m_query, nullptr, this, nullptr);
    m_query = query;
    m_rows = 0;
    m_columns = 0;
    if (m_query) {
        m_rows = m_query->isActive() ? m_query->recordCount() : 0;
        m_columns = m_query->isActive() ? m_query->fieldCount() : 0;
        connect(m_query, &Query::resultReset, this, &DataSource::onReset);
        connect(
            m_query, &Query::rowAboutToBeRemoved, this, [this](int row) { beginRemoveRows(QModelIndex(), row, row); });
        connect(m_query, &Query::rowRemoved, this, [this](int) {
            --m_rows;
            endRemoveRows();
        });
        connect(m_query, &Query::rowChanged, this, [this](int row) {
            if (row >= 0 && row < m_rows && m_columns > 0)
                emit dataChanged(index(row, 0), index(row, m_columns - 1));
        });
        connect(m_query, &Query::currentRowChanged, this, &DataSource::currentRowChanged);
    }
    endResetModel();
}

void DataSource::onReset()
{
    beginResetModel();
    const bool active = m_query && m_query->isActive();
    m_rows = active ? m_query->recordCount() : 0;
    m_columns = active ? m_query->fieldCount() : 0;
    endResetModel();
}

int DataSource::currentRow() const
{
    if (!m_query || !m_query->isActive())
        return -1;
    return m_query->recNo();
}

void DataSource::setCurrentRow(int row)
{
    if (!m_query || !m_query->isActive() || row < 0 || row >= m_rows || row == m_query->recNo())
        return;
    try {
        m_query->setRecNo(row);
    } catch (...) {
        // Leaving a row posts a pending edit; a refused write keeps the row
        // where it is, and the editor that started the edit reports it.
    }
}

int DataSource::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DataSource::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant DataSource::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_query)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::ToolTipRole) {
        if (role == Qt::ToolTipRole)
            return QVariant();
        const QString text = m_query->value(index.row(), index.column());
        // A grid cell shows one line of a value.
        return role == Qt::DisplayRole ? QVariant(text::firstLine(text).toString()) : QVariant(text);
    }
    return QVariant();
}

QVariant DataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !m_query)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return m_query->fieldName(section);
    return QVariant();
}

Qt::ItemFlags DataSource::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace txl
