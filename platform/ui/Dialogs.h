#pragma once

#include <QString>
#include <QStringList>
#include <exception>
#include <functional>

class QWidget;

namespace txl::ui {

// The platform's message boxes, one place for all of them so tests can
// answer or record a box instead of showing it.

enum class Icon { None, Information, Warning, Question, Stop };

// The standard message box: text, caption, icon, one OK button, modal.
void showNotice(const QString &text, const QString &caption, Icon icon = Icon::Information);

enum class QuestionKind {
    Confirmation, // caption "Confirm", question icon
    Information, // caption "Information", information icon
};
// Yes/No question centred on the screen; Enter answers Yes, Escape and the
// close box answer No. True only for Yes.
bool askYesNo(const QString &text, QuestionKind kind);

// The general error report: modal, stop icon, OK, captioned with the
// application title; the text gets its closing full stop (withFullStop).
void showErrorReport(const QString &message);

// "." is appended unless the text is empty or its last character's code is
// 46 or less; a text ending in a double-byte character always gets one.
QString withFullStop(const QString &text);

// The program file's name without folder and from its first full stop on,
// every character after the first in lower case.
QString applicationTitleFor(const QString &programPath);
QString applicationTitle();

// Runs a handler body; any exception ends it and reaches the error report.
// Nothing escapes into Qt.
void guarded(const std::function<void()> &body) noexcept;

// For tests: boxes are recorded instead of shown, and questions take the
// queued answers (No when the queue is empty).
struct ShownBox {
    enum Kind { Notice, Question, ErrorReport } kind;
    QString text;
    QString caption;
    Icon icon;
    QStringList buttons;
};
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;

    void queueAnswer(bool yes) { m_answers.append(yes); }
    const QList<ShownBox> &boxes() const { return m_boxes; }
    QStringList texts() const;
    void clear() { m_boxes.clear(); }

private:
    friend struct BoxRecorderAccess;
    QList<ShownBox> m_boxes;
    QList<bool> m_answers;
};

} // namespace txl::ui
