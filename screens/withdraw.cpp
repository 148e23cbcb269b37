#include "withdraw.h"

TFormWithdraw::TFormWithdraw(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen(384, 480, "Button2");
}
