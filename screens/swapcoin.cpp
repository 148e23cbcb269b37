#include "swapcoin.h"

TFormSwap::TFormSwap(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen(640, 480, "Button2");
}
