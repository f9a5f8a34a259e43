#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

// The main window's import and export commands: the file dialogs, the
// progress of a long import and the summary (shared with the sync's). The work itself is the
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

// The summary after a bulk change (import, sync): a plain notice when there
// are no details, else a box of its own whose list scrolls, sized to fit the
// screen.
void showSummary(QWidget *parent, const QString &caption, const QString &summaryLine, QStringList details);
// One part of a summary's details: its title, at most 50 of the lines and
// the count of the rest, then an empty line; nothing for no lines.
QStringList listed(const QString &title, const QStringList &lines);

// For tests: a summary box, when it has records to list, is
// handed to this function (ready to show, not shown) instead of being shown.
using SummaryViewer = std::function<void(QDialog &box)>;
void setSummaryViewerForTests(SummaryViewer viewer);

} // namespace ContactExchange
