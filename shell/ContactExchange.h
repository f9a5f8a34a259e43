#pragma once

class QWidget;

// The main window's import and export commands: the file dialogs, the
// progress of a long import and the summary. The work itself is the
// exchange library's, shared with the database tool.
namespace ContactExchange {

// Asks for a vCard or CSV file, adds its contacts in one transaction, reloads
// the list and shows what was imported and what was skipped.
void importContacts(QWidget *parent);

// Asks for a file name and writes the list as it stands in the window (all
// contacts, or the result of the last search) as vCard or CSV.
void exportContacts(QWidget *parent);

} // namespace ContactExchange
