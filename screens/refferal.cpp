#include "refferal.h"

TFormRefferal::TFormRefferal(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen(584, 620, "Button2");
}
