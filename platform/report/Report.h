#pragma once

#include "platform/data/Query.h"
#include "platform/report/PreparedReport.h"
#include "platform/report/ReportDefinition.h"

#include <QObject>
#include <QPointer>
#include <memory>

namespace txl::report {

class PreviewWindow;

// The report component a form holds: a definition (page and bands) bound to
// a query. It previews and prints through PreviewWindow.
class Report : public QObject {
    Q_OBJECT
public:
    explicit Report(QObject *parent = nullptr);
    ~Report() override;

    ReportDefinition &definition() { return m_definition; }
    const ReportDefinition &definition() const { return m_definition; }

    void setDataSet(Query *query) { m_dataSet = query; }
    Query *dataSet() const { return m_dataSet; }

    // Opens a preview and returns at once; it is not modal and deletes
    // itself when closed, or with `owner` when given. The preview works on
    // its own copy of the definition, so it may outlive this report.
    PreviewWindow *openPreview(QWidget *owner = nullptr);

    // The whole report at once, over the rows as they stand.
    std::shared_ptr<const PreparedReport> prepare() const;

private:
    ReportDefinition m_definition;
    QPointer<Query> m_dataSet;
};

} // namespace txl::report
