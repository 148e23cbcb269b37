#include "Screens.h"

#include "Login.h"
#include "Lotto.h"
#include "dashboard.h"
#include "deposit.h"
#include "free_coin.h"
#include "info.h"
#include "invest.h"
#include "refferal.h"
#include "settings.h"
#include "swapcoin.h"
#include "withdraw.h"

#include <QApplication>
#include <QFile>

TFormLogin* FormLogin = nullptr;
TFormDashboard* FormDashboard = nullptr;
TFormDeposit* FormDeposit = nullptr;
TFormInvest* FormInvest = nullptr;
TFormWithdraw* FormWithdraw = nullptr;
TFormSetting* FormSetting = nullptr;
TFormRefferal* FormRefferal = nullptr;
TFormInfo* FormInfo = nullptr;
TFormSwap* FormSwap = nullptr;
TFormFaucet* FormFaucet = nullptr;
TFormLotto* FormLotto = nullptr;

void CreateScreens()
{
    Q_INIT_RESOURCE(screens);
    QFile style(QStringLiteral(":/style.qss"));
    if (style.open(QIODevice::ReadOnly)) qApp->setStyleSheet(QString::fromUtf8(style.readAll()));

    FormLogin = new TFormLogin;
    FormDashboard = new TFormDashboard;
    FormDeposit = new TFormDeposit;
    FormInvest = new TFormInvest;
    FormWithdraw = new TFormWithdraw;
    FormSetting = new TFormSetting;
    FormRefferal = new TFormRefferal;
    FormInfo = new TFormInfo;
    FormSwap = new TFormSwap;
    FormFaucet = new TFormFaucet;
    FormLotto = new TFormLotto;
}

QList<QWidget*> AllScreens()
{
    QList<QWidget*> all{FormLogin,    FormDashboard, FormDeposit, FormInvest, FormWithdraw, FormSetting,
                        FormRefferal, FormInfo,      FormSwap,    FormFaucet, FormLotto};
    all.removeAll(nullptr);
    return all;
}

void DestroyScreens()
{
    const auto all = AllScreens();
    for (auto it = all.rbegin(); it != all.rend(); ++it) delete *it;
    FormLogin = nullptr;
    FormDashboard = nullptr;
    FormDeposit = nullptr;
    FormInvest = nullptr;
    FormWithdraw = nullptr;
    FormSetting = nullptr;
    FormRefferal = nullptr;
    FormInfo = nullptr;
    FormSwap = nullptr;
    FormFaucet = nullptr;
    FormLotto = nullptr;
}
