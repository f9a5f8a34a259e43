#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

// The main window's import and export commands: the file dialogs, the
// progress of a long import and the summary. The work itself is the
// exchange library's, shared with the database tool.
namespace ContactExchange {

// Asks for a vCard or CSV file, reads and checks it on a worker thread while
// a window-modal progress box (with Cancel) shows, adds its contacts in one
// transaction, reloads the list and shows what was imported and what was
// skipped.
void importContacts(QWidget *parent);

// Asks for a file name and writes the list as it stands in the window (all
// contacts, or the result of the last search) as vCard or CSV.
void exportContacts(QWidget *parent);

// For tests: the import's summary box, when it has records to list, is
// handed to this function (ready to show, not shown) instead of being shown.
using SummaryViewer = std::function<void(QDialog &box)>;
void setSummaryViewerForTests(SummaryViewer viewer);

} // namespace ContactExchange
