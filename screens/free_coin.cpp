#include "free_coin.h"

TFormFaucet::TFormFaucet(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen();
}
