#pragma once
#include "common/Screen.h"
#include "ui_Login.h"

#include <QJsonObject>
#include <QTimer>


class TFormLogin : public Screen {
    Q_OBJECT
public:
    explicit TFormLogin(QWidget* parent = nullptr);

    QTimer* ShowTimer;

    // Shows mes on the active screen and on the screen named formname, even hidden.
    void ShowErrorMessage(const QString& mes, const QString& formname);
    QString MD5(const QString& texto) const;
    QString Gen_New_Session() const;
    void launchBrowser(const QString& myURL);
    static QString ReadFileVersion();

    // Sends the account request com. A refresh (byUser false) is answered
    // through the account client's handlers; a login or registration the user
    // (or the automatic login) asked for is one at a time: its buttons are
    // disabled until the answer, and a second one meanwhile sends nothing.
    void CheckBalance(const QString& com, bool byUser = false);
    void OpenWalletFunc();
    void c_name_coin();
    // Takes an account reply the service accepted the login with; a failure is shown here.
    void ParseJsonUserAcc(const QJsonObject& account);
    void SaveOpenWallet(const QString& com);

    // A uniformly random number from 0 to 999 999 999 drawn from the system's
    // cryptographic source: a guest's password must not be guessable.
    static quint32 GuestNumber();

    // Automatic re-logins after replies starting with "T" wait 1, 2, 4 ... up
    // to 60 seconds, so a service stuck in that answer is not flooded.
    QTimer* ReloginTimer;
    static int ReloginDelayMs(int streak);

public slots:
    void BtnLoginClick(QObject* Sender);
    void BtnRegClick();
    void BtnGuestClick();
    void PassEditChange();
    void CheckBox1Change();
    void PrivacyPolicyTextClick();
    void Button1Click();
    void SClick();
    void Image5Click();
    void Button3Click();
    void ShowTimerTimer();

    void NetHTTPClient1RequestCompleted(const QString& body);
    void NetHTTPClient1RequestError(const QString& description);
    void NetHTTPClient_c_coin_nameRequestCompleted(const QString& body);
    void NetHTTPClient_c_coin_nameRequestError(const QString& description);

protected:
    void FormCreate();
    void FormShow() override;
    void FormCloseQuery(bool& CanClose) override;

private:
    Ui::TFormLogin ui;
    void SetRegistrationFieldsVisible(bool visible);
    void ScheduleRelogin();
    void SetAccountButtonsEnabled(bool enabled);
    bool m_regEnabled = true;      // BtnReg's state to come back to once a login is answered
    bool m_rememberOnAccept = false; // a button sent typed credentials: remember them once accepted
    int m_reloginStreak = 0;       // automatic re-logins since the last account reply not starting with "T"
    bool m_snapshotFailed = false; // the last ParseJsonUserAcc stopped at a failure
};
