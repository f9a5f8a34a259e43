#include "contacts/Unit_add.h"

#include "platform/data/Query.h"
#include "platform/text/Cp936.h"
#include "platform/ui/Dialogs.h"
#include "store/Unit_Dm.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShowEvent>

Tfrm_Add *frm_Add = nullptr;

using txl::text::trim;
using txl::ui::showNotice;

Tfrm_Add::Tfrm_Add(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    // Fixed dialog border with only the close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
        | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(393, 271);
    setModal(true);
    // Neither button is a default: Enter presses nothing.
    BitBtn1->setDefault(false);
    BitBtn2->setDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &Tfrm_Add::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &Tfrm_Add::BitBtn2Click);
}

Tfrm_Add::~Tfrm_Add()
{
    if (frm_Add == this)
        frm_Add = nullptr;
}

void Tfrm_Add::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    FormShow();
}

void Tfrm_Add::keyPressEvent(QKeyEvent *event)
{
    // Only the buttons and the close box act: Esc does not close, Enter
    // confirms nothing.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

namespace {
const QString kName = QStringLiteral("姓名");
const QString kSex = QStringLiteral("性别");
const QString kGroup = QStringLiteral("组名");
} // namespace

// The free-text boxes and the columns they hold.
QList<QPair<QString, QLineEdit *>> Tfrm_Add::textBoxes() const
{
    return {
        { QStringLiteral("QQ号码"), Edit5 },
        { QStringLiteral("手机号码"), Edit2 },
        { QStringLiteral("电子邮件"), Edit3 },
        { QStringLiteral("家庭住址"), Edit4 },
    };
}

void Tfrm_Add::setMode(Mode mode)
{
    m_mode = mode;
    const QString caption = mode == Mode::Add ? QStringLiteral("添加") : QStringLiteral("修改");
    GroupBox1->setTitle(mode == Mode::Add ? QStringLiteral("添加好友") : caption);
    BitBtn1->setText(caption);
    Edit1->setEnabled(mode == Mode::Add);
}

void Tfrm_Add::loadContact(const txl::Query &q)
{
    Edit1->setText(q.fieldByName(kName));
    ComboBox1->setEditText(q.fieldByName(kSex));
    for (const auto &box : textBoxes())
        box.second->setText(q.fieldByName(box.first));
    // A stored group that is none of the seven selects nothing.
    ComboBox2->setCurrentIndex(ComboBox2->findText(q.fieldByName(kGroup)));
}

bool Tfrm_Add::isAddMode() const
{
    return m_mode == Mode::Add;
}

void Tfrm_Add::FormShow()
{
    txl::ui::guarded([&] {
        // In modify mode the opener has already chosen the stored group.
        if (isAddMode())
            ComboBox2->setCurrentIndex(0);
    });
}

void Tfrm_Add::BitBtn1Click()
{
    txl::ui::guarded([&] {
        // The name is stored trimmed, so a name of spaces counts as empty.
        if (trim(Edit1->text()).isEmpty() || ComboBox2->currentText().isEmpty()) {
            showNotice(QStringLiteral("你输入的内容不完整或组名为空！"), QStringLiteral("警告"));
            return;
        }
        if (isAddMode())
            addContact();
        else
            modifyContact();
    });
}

void Tfrm_Add::BitBtn2Click()
{
    txl::ui::guarded([&] { close(); });
}

void Tfrm_Add::done(int result)
{
    txl::ui::guarded([&] { cancelPendingEdit(); });
    QDialog::done(result);
}

void Tfrm_Add::addContact()
{
    txl::Query *q = Dm->addquery;
    const QString name = trim(Edit1->text());

    // The name travels as a parameter: a quote in it is just a character.
    q->close();
    q->clearSql();
    q->addSql(QStringLiteral("select * from data where 姓名=:p0"));
    q->setParam(QStringLiteral("p0"), name);
    q->open();
    if (q->recordCount() > 0) {
        // The list behind keeps showing the contact of that name.
        showNotice(QStringLiteral("该用户名已经存在！请选择其他用户名！"), QStringLiteral("警告"));
        return;
    }

    q->close();
    q->clearSql();
    q->addSql(QStringLiteral("insert into data  values(:p0,:p1,:p2,:p3,:p4,:p5,:p6)"));
    q->setParam(QStringLiteral("p0"), name);
    // The sex is the selected item, not the box's text, and is not trimmed.
    const int sex = ComboBox1->currentIndex();
    q->setParam(QStringLiteral("p1"), sex >= 0 ? ComboBox1->itemText(sex) : QString());
    q->setParam(QStringLiteral("p2"), trim(Edit5->text()));
    q->setParam(QStringLiteral("p3"), trim(Edit2->text()));
    q->setParam(QStringLiteral("p4"), trim(Edit3->text()));
    q->setParam(QStringLiteral("p5"), trim(Edit4->text()));
    q->setParam(QStringLiteral("p6"), trim(ComboBox2->currentText()));
    q->execSql();

    Dm->reloadAll();

    showNotice(QStringLiteral("添加成功！"), QStringLiteral("提示"));
    close();
}

void Tfrm_Add::modifyContact()
{
    txl::Query *q = Dm->addquery;
    // After a refused write the row is still in editing (edit() then keeps
    // it); confirming again retries the same write.
    q->edit();
    m_editPending = true;
    // The name is never written; the sex is the box's text, untrimmed.
    q->setFieldByName(kSex, ComboBox1->currentText());
    for (const auto &box : textBoxes())
        q->setFieldByName(box.first, trim(box.second->text()));
    q->setFieldByName(kGroup, trim(ComboBox2->currentText()));
    q->post();
    m_editPending = false;

    showNotice(QStringLiteral("修改成功！"), QStringLiteral("提示"));
    close();
}

void Tfrm_Add::cancelPendingEdit()
{
    if (!m_editPending)
        return;
    m_editPending = false;
    if (Dm && Dm->addquery->state() == txl::Query::State::Edit)
        Dm->addquery->cancel();
}
