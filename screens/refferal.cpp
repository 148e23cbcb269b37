#include "refferal.h"

TFormRefferal::TFormRefferal(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen();
}
