#include "platform/grid/DBGrid.h"

#include "platform/data/DataSource.h"

#include <QPainter>
#include <QStyleOptionHeader>

namespace txl::ui {

// ---- GridColumnsModel ------------------------------------------------------

GridColumnsModel::GridColumnsModel(QObject *parent)
    : QIdentityProxyModel(parent)
{
}

DataSource *GridColumnsModel::source() const
{
    return qobject_cast<DataSource *>(sourceModel());
}

void GridColumnsModel::setSourceModel(QAbstractItemModel *source)
{
    if (QAbstractItemModel *old = sourceModel())
        disconnect(old, nullptr, this, nullptr);
    QIdentityProxyModel::setSourceModel(source);
    if (!source)
        return;
    // The columns are the grid's own, so the identity proxy's column
    // signals would name the wrong ones: a changed cell is mapped here, and a
    // change to the source's columns or their names maps the fields afresh.
    disconnect(source, &QAbstractItemModel::dataChanged, this, nullptr);
    disconnect(source, &QAbstractItemModel::headerDataChanged, this, nullptr);
    connect(source, &QAbstractItemModel::dataChanged, this, &GridColumnsModel::sourceCellsChanged);
    connect(source, &QAbstractItemModel::headerDataChanged, this, [this](Qt::Orientation orientation) {
        if (orientation != Qt::Horizontal)
            return;
        beginResetModel();
        endResetModel();
    });
    const auto beginRemap = [this] { beginResetModel(); };
    const auto endRemap = [this] { endResetModel(); };
    for (const auto about :
        { &QAbstractItemModel::columnsAboutToBeInserted, &QAbstractItemModel::columnsAboutToBeRemoved }) {
        disconnect(source, about, this, nullptr);
        connect(source, about, this, beginRemap);
    }
    for (const auto done : { &QAbstractItemModel::columnsInserted, &QAbstractItemModel::columnsRemoved }) {
        disconnect(source, done, this, nullptr);
        connect(source, done, this, endRemap);
    }
    disconnect(source, &QAbstractItemModel::columnsAboutToBeMoved, this, nullptr);
    disconnect(source, &QAbstractItemModel::columnsMoved, this, nullptr);
    connect(source, &QAbstractItemModel::columnsAboutToBeMoved, this, beginRemap);
    connect(source, &QAbstractItemModel::columnsMoved, this, endRemap);
}

void GridColumnsModel::setColumns(const QList<GridColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    endResetModel();
}

// Called within every reset, the source's included, before views look again.
void GridColumnsModel::resetInternalData()
{
    QIdentityProxyModel::resetInternalData();
    m_map.clear();
    const QAbstractItemModel *s = sourceModel();
    const int sourceColumns = s ? s->columnCount() : 0;
    for (const GridColumn &c : m_columns) {
        int found = -1;
        for (int i = 0; i < sourceColumns && found < 0; ++i) {
            if (s->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString() == c.field)
                found = i;
        }
        m_map << found;
    }
}

void GridColumnsModel::sourceCellsChanged(
    const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    if (!topLeft.isValid() || topLeft.parent().isValid())
        return;
    // The grid columns showing any of the changed source columns.
    int first = -1;
    int last = -1;
    for (int c = 0; c < m_map.size(); ++c) {
        const int s = m_map.at(c);
        if (s < topLeft.column() || s > bottomRight.column())
            continue;
        if (first < 0)
            first = c;
        last = c;
    }
    if (first >= 0)
        emit dataChanged(index(topLeft.row(), first), index(bottomRight.row(), last), roles);
}

QModelIndex GridColumnsModel::index(int row, int column, const QModelIndex &parent) const
{
    return hasIndex(row, column, parent) ? createIndex(row, column) : QModelIndex();
}

QModelIndex GridColumnsModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

QModelIndex GridColumnsModel::sibling(int row, int column, const QModelIndex &) const
{
    return index(row, column);
}

int GridColumnsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->rowCount();
}

int GridColumnsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

bool GridColumnsModel::hasChildren(const QModelIndex &parent) const
{
    return !parent.isValid() && rowCount() > 0 && columnCount() > 0;
}

QModelIndex GridColumnsModel::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || !sourceModel())
        return QModelIndex();
    const int s = m_map.value(proxyIndex.column(), -1);
    return s < 0 ? QModelIndex() : sourceModel()->index(proxyIndex.row(), s);
}

QModelIndex GridColumnsModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.parent().isValid())
        return QModelIndex();
    const int c = int(m_map.indexOf(sourceIndex.column()));
    return c < 0 ? QModelIndex() : index(sourceIndex.row(), c);
}

QVariant GridColumnsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_columns.size())
        return m_columns.at(section).title;
    return {};
}

Qt::ItemFlags GridColumnsModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

// ---- RowIndicator ----------------------------------------------------------

RowIndicator::RowIndicator(QWidget *parent)
    : QHeaderView(Qt::Vertical, parent)
{
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

void RowIndicator::setCurrentRow(int row)
{
    if (row == m_current)
        return;
    m_current = row;
    viewport()->update();
}

QSize RowIndicator::sizeHint() const
{
    return QSize(12, defaultSectionSize());
}

void RowIndicator::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.text.clear();
    style()->drawControl(QStyle::CE_Header, &opt, painter, this);
    if (logicalIndex != m_current)
        return;
    // A small solid triangle pointing at the row.
    const int h = qMin(8, rect.height() - 4);
    const int w = h / 2 + 1;
    const QPoint c = rect.center();
    const QPoint pts[3] = { QPoint(c.x() - w / 2, c.y() - h / 2), QPoint(c.x() - w / 2, c.y() + h / 2),
        QPoint(c.x() - w / 2 + w, c.y()) };
    painter->save();
    // The style may leave a clip of its own behind; the section is ours.
    painter->setClipRect(rect);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::WindowText));
    painter->drawPolygon(pts, 3);
    painter->restore();
}

// ---- DBGrid ----------------------------------------------------------------

DBGrid::DBGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new GridColumnsModel(this))
    , m_indicator(new RowIndicator(this))
{
    setVerticalHeader(m_indicator);
    setModel(m_model);

    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);

    // One fixed row height: no per-row measuring, so 100,000 rows cost no
    // more than a screenful.
    const int rowHeight = fontMetrics().height() + 4;
    m_indicator->setMinimumSectionSize(1);
    m_indicator->setDefaultSectionSize(rowHeight);
    m_indicator->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView *titles = horizontalHeader();
    titles->setSectionsMovable(true);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setStretchLastSection(false);
    titles->setHighlightSections(false);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    titles->setMinimumSectionSize(1);

    connect(titles, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (!m_restoring && logical >= 0 && logical < m_widths.size())
            m_widths[logical] = size;
    });
    connect(titles, &QHeaderView::sectionMoved, this, [this] {
        if (!m_restoring)
            rememberLayout();
    });

    // While rows are replaced or removed the view's own current index moves
    // about; the data set's current row is the one to show afterwards.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_following = true;
        rememberLayout();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        restoreLayout();
        m_following = false;
        followDataSet(m_model->source() ? m_model->source()->currentRow() : -1);
    });
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { m_following = true; });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
        m_following = false;
        followDataSet(m_model->source() ? m_model->source()->currentRow() : -1);
    });
}

void DBGrid::setDataSource(DataSource *source)
{
    if (DataSource *old = m_model->source())
        disconnect(old, nullptr, this, nullptr);
    m_model->setSource(source);
    if (source)
        connect(source, &DataSource::currentRowChanged, this, &DBGrid::followDataSet);
}

DataSource *DBGrid::dataSource() const
{
    return m_model->source();
}

void DBGrid::setColumns(const QList<GridColumn> &columns)
{
    m_model->setColumns(columns);
    m_widths.clear();
    m_visualOrder.clear();
    m_restoring = true;
    for (int i = 0; i < columns.size(); ++i) {
        setColumnWidth(i, columns.at(i).width);
        m_widths << columns.at(i).width;
        m_visualOrder << i;
    }
    m_restoring = false;
}

void DBGrid::setColumnWidthAt(int column, int width)
{
    setColumnWidth(column, width);
}

int DBGrid::currentRow() const
{
    return m_indicator->currentRow();
}

void DBGrid::rememberLayout()
{
    QHeaderView *titles = horizontalHeader();
    const int n = titles->count();
    if (n != m_widths.size())
        return;
    m_visualOrder.clear();
    for (int v = 0; v < n; ++v)
        m_visualOrder << titles->logicalIndex(v);
}

void DBGrid::restoreLayout()
{
    QHeaderView *titles = horizontalHeader();
    if (titles->count() != m_widths.size())
        return;
    m_restoring = true;
    for (int i = 0; i < m_widths.size(); ++i)
        titles->resizeSection(i, m_widths.at(i));
    for (int v = 0; v < m_visualOrder.size(); ++v) {
        const int from = titles->visualIndex(m_visualOrder.at(v));
        if (from != v)
            titles->moveSection(from, v);
    }
    m_restoring = false;
}

void DBGrid::followDataSet(int row)
{
    if (m_following)
        return;
    m_following = true;
    QItemSelectionModel *sel = selectionModel();
    if (row < 0 || row >= m_model->rowCount()) {
        sel->clear();
        m_indicator->setCurrentRow(-1);
    } else {
        const int column = qMax(0, currentIndex().column());
        const QModelIndex target = m_model->index(row, qMin(column, qMax(0, m_model->columnCount() - 1)));
        sel->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_indicator->setCurrentRow(row);
        scrollTo(target);
    }
    m_following = false;
}

void DBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_following)
        return;
    m_indicator->setCurrentRow(current.isValid() ? current.row() : -1);
    if (current.isValid() && m_model->source())
        m_model->source()->setCurrentRow(current.row());
}

} // namespace txl::ui
