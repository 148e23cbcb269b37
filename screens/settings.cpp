#include "settings.h"

#include "AccountModel.h"
#include "AppState.h"
#include "Credentials.h"
#include "Digest.h"
#include "PasswordChange.h"
#include "SecurityTab.h"
#include "TwoFactor.h"
#include "Requests.h"

#include <QHideEvent>
#include <QTabBar>

TFormSetting::TFormSetting(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();

    ui.TabControl1->tabBar()->setAccessibleName(QStringLiteral("Settings sections"));
    connect(ui.Button6, &QPushButton::clicked, this, &TFormSetting::Button6Click);
    connect(ui.Button7, &QPushButton::clicked, this, &TFormSetting::Button7Click);
    m_security = new SecurityTab(this);
    ui.TabControl1->addTab(m_security, QStringLiteral("Security"));
}

void TFormSetting::FormShow()
{
    ui.ResetPass_login->setText(State().UserLogin);
    // Opened from the login screen the old password may be a security code.
    if (OpenedFrom() == QLatin1String("login"))
        SetPassCaption(QStringLiteral("Security code:"));
    else if (OpenedFrom() == QLatin1String("dashboard"))
        SetPassCaption(QStringLiteral("Old Pass:"));
    m_security->Refresh();
}

void TFormSetting::hideEvent(QHideEvent* event)
{
    // Typed secrets do not wait here for the next visitor of the screen.
    if (!event->spontaneous()) {
        ui.ResetPass_newpass->clear();
        ui.ResetPass_repass->clear();
        ui.ResetPass_oldpass->clear();
        ui.ResetPass_otp->clear();
    }
    SecondaryScreen::hideEvent(event);
}

void TFormSetting::ChangeAnswered(const QString& login, const QString& newDigest, const QString& reply)
{
    if (login.isEmpty() || !password::ChangeAccepted(reply)) return;
    // The service refuses the old digest from now on: the running session and
    // the credentials file take the new one, or the next refresh logs out.
    if (password::SameLogin(login, State().UserLogin)) State().PassHash = newDigest;
    const QString path = credentials::FilePath();
    const credentials::Loaded file = credentials::Open(path);
    if (file.login && password::SameLogin(login, *file.login)) credentials::Save(path, *file.login, newDigest);
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
    // With two-factor codes on (or a code typed, when the account is not known
    // here: a change with a reset code) the code goes as "otp".
    const QString code = twofa::CleanCode(ui.ResetPass_otp->text());
    if (code.isEmpty() && (!ui.ResetPass_otp->text().trimmed().isEmpty() || (State().LoggedIn && Account().TwoFactorOn()))) {
        ::ShowMessage(QStringLiteral("Type the 6-digit code from your authenticator app."));
        return;
    }
    Guard(QStringLiteral("MessageResult:"), [&] {
        // The old password or the security code goes as typed: the server cannot
        // tell a code from a digest.
        const FormFields fields = twofa::WithCode(api::ChangePass(ui.ResetPass_login->text(), ui.ResetPass_newpass->text(),
                                                                  ui.ResetPass_oldpass->text(), digest::Gen_New_Session()),
                                                  code);
        ui.ResetPass_otp->clear();
        SendMessage(QStringLiteral("changepass"), fields, ui.Button6,
                    [this, login = ui.ResetPass_login->text(), newDigest = digest::MD5(ui.ResetPass_newpass->text())](
                        const QString& reply) { ChangeAnswered(login, newDigest, reply); });
    });
}

void TFormSetting::Button7Click()
{
    Guard(QStringLiteral("MessageResult:"), [&] {
        SendMessage(QStringLiteral("resetpass"), api::ResetPass(ui.ResetPass_login->text(), digest::Gen_New_Session()),
                    ui.Button7);
    });
}
