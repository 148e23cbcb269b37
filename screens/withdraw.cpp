#include "withdraw.h"

TFormWithdraw::TFormWithdraw(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen();
}

void TFormWithdraw::Prepare(const QString& title, const QString& feeText)
{
    ui.Label1->setText(title);
    ui.fee_coin->setText(feeText);
}
