#pragma once
// The eleven screens, one instance each, created at start-up in this order and
// kept for the whole run. Screens reach each other through these pointers.
#include <QList>

class QWidget;
class TFormLogin;
class TFormDashboard;
class TFormDeposit;
class TFormInvest;
class TFormWithdraw;
class TFormSetting;
class TFormRefferal;
class TFormInfo;
class TFormSwap;
class TFormFaucet;
class TFormLotto;

extern TFormLogin* FormLogin;
extern TFormDashboard* FormDashboard;
extern TFormDeposit* FormDeposit;
extern TFormInvest* FormInvest;
extern TFormWithdraw* FormWithdraw;
extern TFormSetting* FormSetting;
extern TFormRefferal* FormRefferal;
extern TFormInfo* FormInfo;
extern TFormSwap* FormSwap;
extern TFormFaucet* FormFaucet;
extern TFormLotto* FormLotto;

// Applies the style and creates all screens, none shown.
void CreateScreens();
// Start-up: applies the style, creates and shows the login screen, and creates
// the other screens right after its first paint (in the same order).
void StartScreens();
// The two halves of CreateScreens(); each does nothing the second time.
void CreateLoginScreen();
void CreateOtherScreens();
// Destroys them (tests start each case from a fresh set).
void DestroyScreens();
// In creation order.
QList<QWidget*> AllScreens();
