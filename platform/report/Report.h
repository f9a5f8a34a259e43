#pragma once

#include "platform/data/Query.h"
#include "platform/report/PreparedReport.h"
#include "platform/report/ReportDefinition.h"

#include <QList>
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

    // Opens a preview and keeps the event loop running until that preview
    // has closed (or the application quits). The preview is not modal.
    void preview();
    // Opens a preview and returns at once; it deletes itself when closed.
    PreviewWindow *openPreview();

    // The whole report at once, over the rows as they stand.
    std::shared_ptr<const PreparedReport> prepare() const;

signals:
    void previewClosed();

private:
    ReportDefinition m_definition;
    QPointer<Query> m_dataSet;
    QList<QPointer<PreviewWindow>> m_previews;
};

} // namespace txl::report
