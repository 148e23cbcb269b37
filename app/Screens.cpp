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
#include <QEvent>
#include <QFile>
#include <QTimer>

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

void CreateLoginScreen()
{
    if (FormLogin) return;
    Q_INIT_RESOURCE(screens);
    QFile style(QStringLiteral(":/style.qss"));
    if (style.open(QIODevice::ReadOnly)) qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    FormLogin = new TFormLogin;
}

void CreateOtherScreens()
{
    if (FormDashboard) return;
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

void CreateScreens()
{
    CreateLoginScreen();
    CreateOtherScreens();
}

namespace {

// Creates the other screens once the login window has been painted: the user
// sees the window sooner, and nothing reaches another screen before that.
class AfterFirstPaint : public QObject {
public:
    explicit AfterFirstPaint(QWidget* window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued, so the painted frame reaches the screen first.
            QMetaObject::invokeMethod(qApp, &CreateOtherScreens, Qt::QueuedConnection);
            deleteLater();
        }
        return false;
    }
};

} // namespace

void StartScreens()
{
    CreateLoginScreen();
    new AfterFirstPaint(FormLogin);
    // Should no paint come (a window system that never exposes the window),
    // the screens still exist before the login screen's own start-up timer runs.
    QTimer::singleShot(300, qApp, &CreateOtherScreens);
    FormLogin->show();
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
