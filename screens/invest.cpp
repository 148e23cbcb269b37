#include "invest.h"

TFormInvest::TFormInvest(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen(484, 516, "Button2");
}
