#pragma once

#include "platform/data/Query.h"
#include "platform/report/PreparedReport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

namespace txl::report {

// Lays a report out over the rows of a query, a slice at a time inside the
// event loop, so the pages appear as they are completed and the windows stay
// responsive. Rows are read by position (Query::value), never through the
// shared current row: while the walk waits between slices the user may
// select, modify or delete rows, and those commands must act on the row the
// user selected. At the end the last row becomes current (bound views follow
// once). When the query's rows are replaced, closed or lose a row under the
// walk, it ends cleanly with the pages it has (DataChanged).
class LayoutJob : public QObject {
    Q_OBJECT
public:
    // Failed: a slice in the event loop threw; errorText() tells why.
    enum class State { Idle, Running, Complete, DataChanged, Cancelled, Failed };
    Q_ENUM(State)

    // A null or closed query gives the page of an empty list.
    // Throws txl::DataError when a field item names no field of the query.
    LayoutJob(const ReportDefinition &definition, Query *query, QObject *parent = nullptr);
    ~LayoutJob() override;

    // Starts the slices in the event loop (finished() ends them).
    void start();
    // Lays out for about budgetMs milliseconds; true once the walk has ended.
    bool step(int budgetMs);
    // The whole layout at once.
    void runToEnd();
    // Ends a running walk; the row it had reached stays current.
    void cancel();

    State state() const { return m_state; }
    bool isFinished() const { return m_state != State::Idle && m_state != State::Running; }
    int percent() const;
    int rowsDone() const { return m_row; }
    int rowCount() const { return m_rows; }
    QString errorText() const { return m_error; }

    // Pages so far; the last one is still being filled until the walk ends.
    const PreparedReport &document() const { return *m_doc; }
    std::shared_ptr<const PreparedReport> sharedDocument() const { return m_doc; }
    int completedPages() const;

    // Budget of one slice in the event loop.
    static constexpr int SliceMs = 12;

signals:
    void progressed(int percent, int completedPages);
    void finished(txl::report::LayoutJob::State state);

private:
    void slice();
    void begin();
    bool fits(double height) const;
    void newPage();
    void place(int band, const QString *texts);
    void finish(State state);
    void fail(const QString &error);

    std::shared_ptr<PreparedReport> m_doc;
    QPointer<Query> m_query;
    QTimer m_timer;
    State m_state = State::Idle;
    bool m_begun = false;
    quint64 m_generation = 0;
    int m_rows = 0;
    int m_row = 0; // next row to lay out
    double m_y = 0;
    double m_bottom = 0;
    int m_title = -1, m_header = -1, m_detail = -1;
    std::vector<int> m_columns; // query column of each detail slot (-1: none)
    std::vector<QString> m_texts;
    QString m_error;
};

} // namespace txl::report
