#include "Lotto.h"

TFormLotto::TFormLotto(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen();
}

void TFormLotto::FillCoinList(const QStringList& codes)
{
    ui.ComboBox1->clear();
    ui.ComboBox1->addItems(codes);
    ui.ComboBox1->setCurrentIndex(4);
}
