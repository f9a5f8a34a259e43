#include "platform/ui/FileDialogs.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace txl::ui {

namespace {
FileDialogRecorder *g_recorder = nullptr;
} // namespace

struct FileDialogRecorderAccess {
    static bool answer(const FileRequest &request, FileChoice *choice)
    {
        if (!g_recorder)
            return false;
        g_recorder->m_requests.append(request);
        *choice = g_recorder->m_answers.isEmpty() ? FileChoice {} : g_recorder->m_answers.takeFirst();
        if (choice->filter.isEmpty())
            choice->filter = request.selectedFilter.isEmpty() ? request.filters.value(0) : request.selectedFilter;
        return true;
    }
};

FileDialogRecorder::FileDialogRecorder()
{
    g_recorder = this;
}

FileDialogRecorder::~FileDialogRecorder()
{
    if (g_recorder == this)
        g_recorder = nullptr;
}

QStringList FileDialogRecorder::captions() const
{
    QStringList out;
    for (const FileRequest &r : m_requests)
        out << r.caption;
    return out;
}

QString firstSuffixOf(const QString &filter)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\*\.([^\s*()]+))"));
    return pattern.match(filter).captured(1);
}

FileChoice chooseFile(QWidget *parent, const FileRequest &request)
{
    FileChoice choice;
    if (FileDialogRecorderAccess::answer(request, &choice))
        return choice;

    QFileDialog dialog(parent, request.caption, request.start, request.filters.join(QStringLiteral(";;")));
    if (!request.objectName.isEmpty())
        dialog.setObjectName(request.objectName);
    const bool saving = request.mode == FileRequest::Save;
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.selectedFilter.isEmpty())
        dialog.selectNameFilter(request.selectedFilter);
    if (saving) {
        // A bare name gets the suffix of the kind chosen, and follows the
        // choice when it changes.
        dialog.setDefaultSuffix(firstSuffixOf(dialog.selectedNameFilter()));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog](const QString &filter) { dialog.setDefaultSuffix(firstSuffixOf(filter)); });
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return choice;
    choice.path = dialog.selectedFiles().constFirst();
    choice.filter = dialog.selectedNameFilter();
    return choice;
}

} // namespace txl::ui
