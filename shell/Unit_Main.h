#pragma once

#include "ui_Unit_Main.h"

#include <QMainWindow>

class QCloseEvent;
class QMenu;
class QTimer;
class QToolButton;

namespace txl::ui {
class ImageList;
}

// The main window: the contact list with its toolbar, menus, search frame
// and status bar. Controls are public, as every form's are: the other units
// reach them through frm_Main. Handlers are virtual so each entry's route can
// be watched.
class Tfrm_Main : public QMainWindow, public Ui::Tfrm_Main {
    Q_OBJECT
public:
    // Later: the first load (FormCreate) is left to the caller, so start-up
    // can build the window while the contacts file's key is still derived.
    enum class FirstLoad { Now, Later };
    explicit Tfrm_Main(QWidget *parent = nullptr, FirstLoad firstLoad = FirstLoad::Now);
    ~Tfrm_Main() override;

    QToolButton *ToolButton1 = nullptr;
    QToolButton *ToolButton3 = nullptr;
    QToolButton *ToolButton5 = nullptr;
    QToolButton *ToolButton7 = nullptr;
    QToolButton *ToolButton9 = nullptr;
    QToolButton *ToolButton11 = nullptr;
    QToolButton *ToolButton13 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QTimer *Timer1 = nullptr;
    txl::ui::ImageList *ImageList1 = nullptr;

    QString panelText(int index) const;
    void setPanelText(int index, const QString &text);

public slots:
    virtual void FormCreate();
    virtual void FormClose(QCloseEvent *event);
    virtual void ToolButton1Click();
    virtual void ToolButton9Click();
    virtual void ToolButton3Click();
    virtual void ToolButton11Click();
    virtual void ToolButton13Click();
    virtual void N11Click();
    virtual void N4Click();
    virtual void N6Click();
    virtual void N8Click();
    virtual void N9Click();
    virtual void ToolButton5Click();
    virtual void ToolButton7Click();
    virtual void BitBtn1Click();
    virtual void BitBtn2Click();
    virtual void Timer1Timer();
    virtual void Edit1MouseMove();
    virtual void DBGrid1MouseMove();
    virtual void NImportClick();
    virtual void NExportClick();
    virtual void NSyncSetupClick();
    virtual void NSyncNowClick();

    // The desktop session is ending: the window closes without the question.
    void sessionEnding();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setUpToolBar();
    void setUpMenus();
    void setUpGrid();
    void setUpStatusBar();
    void setUpKeyboard();

    bool m_sessionEnding = false;
};

extern Tfrm_Main *frm_Main;
