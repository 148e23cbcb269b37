#include "settings.h"

#include "AppState.h"
#include "HttpClient.h"
#include "Login.h"
#include "PasswordChange.h"
#include "Requests.h"
#include "Screens.h"

#include <QTabBar>

TFormSetting::TFormSetting(QWidget* parent) : SecondaryScreen(ReturnTarget::Opener, parent)
{
    ui.setupUi(this);
    InitScreen();

    ui.TabControl1->tabBar()->setAccessibleName(QStringLiteral("Settings sections"));
    connect(ui.Button6, &QPushButton::clicked, this, &TFormSetting::Button6Click);
    connect(ui.Button7, &QPushButton::clicked, this, &TFormSetting::Button7Click);
}

void TFormSetting::FormShow()
{
    ui.ResetPass_login->setText(State().UserLogin);
}

void TFormSetting::SetPassCaption(const QString& caption)
{
    ui.Label24->setText(caption);
}

void TFormSetting::Button6Click()
{
    const password::ChangeCheck check =
        password::CheckChange(ui.ResetPass_newpass->text(), ui.ResetPass_repass->text(), ui.ResetPass_oldpass->text());
    if (check != password::ChangeCheck::Ok) {
        ::ShowMessage(password::CheckMessage(check));
        return;
    }
    Guard(QStringLiteral("MessageResult:"), [&] {
        // The old password or the security code goes as typed: the server cannot
        // tell a code from a digest.
        const FormFields fields = api::ChangePass(ui.ResetPass_login->text(), ui.ResetPass_newpass->text(),
                                                  ui.ResetPass_oldpass->text(), FormLogin->Gen_New_Session());
        FormLogin->NetHTTP_MessageResult->Post(State().SecureApiUrl(), fields);
    });
}

void TFormSetting::Button7Click()
{
    Guard(QStringLiteral("MessageResult:"), [&] {
        FormLogin->NetHTTP_MessageResult->Post(
            State().SecureApiUrl(), api::ResetPass(ui.ResetPass_login->text(), FormLogin->Gen_New_Session()));
    });
}
