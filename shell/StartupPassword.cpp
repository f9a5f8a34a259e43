#include "shell/StartupPassword.h"

#include "platform/ui/Dialogs.h"
#include "platform/ui/PasswordBox.h"

bool askContactsPassword(int attempt, QString &password)
{
    return txl::ui::PasswordBox::ask(txl::ui::applicationTitle(), QStringLiteral("请输入通讯录密码："),
        attempt > 1 ? QStringLiteral("密码错误，请重新输入。") : QString(), password);
}
