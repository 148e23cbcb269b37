#include "Lotto.h"

TFormLotto::TFormLotto(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen(348, 604, "Button1");
}
