#include "platform/report/LayoutJob.h"

#include "platform/data/DataError.h"
#include "platform/data/Query.h"

#include <exception>

namespace txl::report {

namespace {
// Positions are sums of band heights; a band that ends on the bottom margin
// itself still fits.
constexpr double kEpsilon = 1e-6;
} // namespace

LayoutJob::LayoutJob(const ReportDefinition &definition, Query *query, QObject *parent)
    : QObject(parent)
    , m_doc(std::make_shared<PreparedReport>(definition))
    , m_query(query)
{
    m_title = m_doc->templateIndex(BandType::Title);
    m_header = m_doc->templateIndex(BandType::ColumnHeader);
    m_detail = m_doc->templateIndex(BandType::Detail);
    m_bottom = m_doc->page().pageHeight() - m_doc->page().bottomMargin;

    if (m_query && m_query->isActive()) {
        m_rows = m_query->recordCount();
        m_generation = m_query->generation();
        if (m_detail >= 0) {
            for (const PreparedReport::Item &item : m_doc->templates()[static_cast<size_t>(m_detail)].items) {
                if (item.kind != ReportItem::Kind::Field)
                    continue;
                const int column = m_query->fieldIndex(item.text);
                if (column < 0)
                    throw DataError(m_query->objectName() + QStringLiteral(": Field '") + item.text
                        + QStringLiteral("' not found"));
                m_columns.push_back(column);
            }
        }
    }
    if (m_detail >= 0)
        m_texts.resize(static_cast<size_t>(m_doc->templates()[static_cast<size_t>(m_detail)].slotCount));

    m_timer.setSingleShot(true);
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &LayoutJob::slice);
}

LayoutJob::~LayoutJob()
{
    m_timer.stop();
}

void LayoutJob::start()
{
    if (m_state != State::Idle)
        return;
    m_state = State::Running;
    m_timer.start();
}

void LayoutJob::slice()
{
    // Nothing may escape into the event loop: a failure ends the walk with
    // the pages it has, and whoever listens to finished() tells the user.
    bool done = false;
    try {
        done = step(SliceMs);
    } catch (const std::exception &e) {
        fail(QString::fromUtf8(e.what()));
        return;
    } catch (...) {
        fail(QString());
        return;
    }
    if (!done && !isFinished() && m_state == State::Running) {
        emit progressed(percent(), completedPages());
        m_timer.start();
    }
}

int LayoutJob::completedPages() const
{
    const int pages = m_doc->pageCount();
    return isFinished() ? pages : std::max(0, pages - 1);
}

int LayoutJob::percent() const
{
    if (m_state == State::Complete)
        return 100;
    if (m_rows <= 0)
        return 0;
    return static_cast<int>(static_cast<qint64>(m_row) * 100 / m_rows);
}

bool LayoutJob::fits(double height) const
{
    return m_y + height <= m_bottom + kEpsilon;
}

void LayoutJob::newPage()
{
    m_doc->beginPage();
    m_y = m_doc->page().topMargin;
}

void LayoutJob::place(int band, const QString *texts)
{
    if (band < 0)
        return;
    const double height = m_doc->templates()[static_cast<size_t>(band)].height;
    // A band taller than the whole page is still placed, on a page of its own.
    if (!fits(height) && m_y > m_doc->page().topMargin + kEpsilon) {
        newPage();
        if (band == m_detail && m_header >= 0)
            place(m_header, nullptr);
    }
    m_doc->placeBand(band, m_y, texts);
    m_y += height;
}

void LayoutJob::begin()
{
    m_begun = true;
    newPage();
    place(m_title, nullptr);
    if (m_rows == 0) {
        // An empty list still shows one ruled row.
        std::fill(m_texts.begin(), m_texts.end(), QString());
        place(m_detail, m_texts.data());
        return;
    }
    place(m_header, nullptr);
}

bool LayoutJob::step(int budgetMs)
{
    if (isFinished())
        return true;
    m_state = State::Running;
    if (!m_begun) {
        begin();
        if (m_rows == 0) {
            finish(State::Complete);
            return true;
        }
    }
    // Between slices the main window may have searched, reloaded, closed or
    // deleted: the rows we would read are no longer the list we started.
    if (!m_query || !m_query->isActive() || m_query->generation() != m_generation || m_query->recordCount() != m_rows) {
        finish(State::DataChanged);
        return true;
    }
    QElapsedTimer clock;
    clock.start();
    const Query &query = *m_query;
    while (m_row < m_rows) {
        for (size_t s = 0; s < m_columns.size(); ++s)
            m_texts[s] = query.value(m_row, m_columns[s]);
        place(m_detail, m_texts.data());
        ++m_row;
        if ((m_row & 63) == 0 && clock.elapsed() >= budgetMs)
            return false;
    }
    finish(State::Complete);
    return true;
}

void LayoutJob::runToEnd()
{
    while (!step(1 << 30)) { }
}

void LayoutJob::cancel()
{
    if (isFinished())
        return;
    if (m_query && m_query->isActive() && m_query->generation() == m_generation && m_row > 0
        && m_query->state() != Query::State::Edit)
        m_query->setRecNo(m_row - 1);
    finish(State::Cancelled);
}

void LayoutJob::fail(const QString &error)
{
    if (isFinished())
        return;
    m_error = error;
    finish(State::Failed);
}

void LayoutJob::finish(State state)
{
    m_timer.stop();
    m_state = state;
    // The walk leaves the last row current, like a dataset walked to its end;
    // bound views hear of it once. A row being edited keeps its place.
    if (state == State::Complete && m_rows > 0 && m_query && m_query->isActive()
        && m_query->generation() == m_generation && m_query->state() != Query::State::Edit) {
        m_query->last();
    }
    std::fill(m_texts.begin(), m_texts.end(), QString());
    emit progressed(percent(), completedPages());
    emit finished(state);
}

} // namespace txl::report
