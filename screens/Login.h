#pragma once
#include "common/FrameAnimation.h"
#include "common/Screen.h"
#include "ui_Login.h"

#include <QTimer>
#include <random>

class HttpClient;

class TFormLogin : public Screen {
    Q_OBJECT
public:
    explicit TFormLogin(QWidget* parent = nullptr);

    Ui::TFormLogin ui;
    FrameAnimation* gifload;
    QTimer* ShowTimer;
    HttpClient* NetHTTPClient1;            // account request
    HttpClient* NetHTTPClient_c_coin_name; // platform settings
    HttpClient* NetHTTP_MessageResult;     // blocking; shows whatever the server answers

    // Shows mes on the active screen and on the screen named formname, even hidden.
    void ShowErrorMessage(const QString& mes, const QString& formname);
    QString MD5(const QString& texto) const;
    QString Gen_New_Session() const;
    void launchBrowser(const QString& myURL);
    static QString ReadFileVersion();

    void CheckBalance(const QString& com);
    void OpenWalletFunc();
    void c_name_coin();
    void ParseJsonUserAcc();
    void SaveOpenWallet(const QString& com);

    // The guest generator, seeded once per run from a high-resolution clock.
    static std::mt19937& Random();

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
    void gifloadProcess();

    void NetHTTPClient1RequestCompleted(const QString& body);
    void NetHTTPClient1RequestError(const QString& description);
    void NetHTTPClient_c_coin_nameRequestCompleted(const QString& body);
    void NetHTTPClient_c_coin_nameRequestError(const QString& description);
    void NetHTTP_MessageResultRequestCompleted(const QString& body);
    void NetHTTP_MessageResultRequestError(const QString& description);

protected:
    void FormCreate();
    void FormShow() override;
    void FormCloseQuery(bool& CanClose) override;

private:
    void SetRegistrationFieldsVisible(bool visible);
    void StartLoading();
};
