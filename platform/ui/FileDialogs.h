#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace txl::ui {

// The platform's file dialogs, one place for all of them so tests can answer
// a dialog instead of showing it, the way BoxRecorder answers the boxes.

struct FileRequest {
    enum Mode { Open, Save } mode = Open;
    QString caption;
    // A folder, or for saving a folder and a proposed file name. Empty: the
    // working folder.
    QString start;
    QStringList filters; // "Name (*.ext *.ext2)", in the order offered
    QString selectedFilter; // the one chosen at first; empty: the first
    QString objectName; // of the dialog, for the curious
};

struct FileChoice {
    QString path; // empty when cancelled
    QString filter; // the filter chosen when the dialog closed
    bool cancelled() const { return path.isEmpty(); }
};

// Shows the file dialog, modal to parent. Open asks for an existing file;
// Save for any name, and while saving the dialog adds the first suffix of the
// chosen filter to a name typed without one.
FileChoice chooseFile(QWidget *parent, const FileRequest &request);

// The first suffix a filter names, "vcf" for "vCard (*.vcf *.vcard)"; empty
// when it names none ("All files (*)").
QString firstSuffixOf(const QString &filter);

// For tests: requests are recorded instead of shown, and answered with the
// queued choices in turn (cancelled when the queue is empty). A queued choice
// without a filter answers with the request's selected filter.
class FileDialogRecorder {
public:
    FileDialogRecorder();
    ~FileDialogRecorder();
    FileDialogRecorder(const FileDialogRecorder &) = delete;
    FileDialogRecorder &operator=(const FileDialogRecorder &) = delete;

    void queueAnswer(const QString &path, const QString &filter = QString()) { m_answers.append({ path, filter }); }
    const QList<FileRequest> &requests() const { return m_requests; }
    QStringList captions() const;

private:
    friend struct FileDialogRecorderAccess;
    QList<FileRequest> m_requests;
    QList<FileChoice> m_answers;
};

} // namespace txl::ui
