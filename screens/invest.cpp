#include "invest.h"

TFormInvest::TFormInvest(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen();
}

void TFormInvest::SetTitle(const QString& text)
{
    ui.Label1->setText(text);
}

void TFormInvest::SetInvestedAmount(const QString& text)
{
    ui.val_invest_coin->setText(text);
}
