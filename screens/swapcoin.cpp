#include "swapcoin.h"

TFormSwap::TFormSwap(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen();
}

void TFormSwap::FillCoinLists(const QStringList& codes)
{
    // Replaced, not appended: every settings reply leaves the catalogue in the lists once.
    ui.ComboBox1->clear();
    ui.ComboBox1->addItems(codes);
    ui.ComboBox1->setCurrentIndex(-1);
    ui.ComboBox2->clear();
    ui.ComboBox2->addItems(codes);
    ui.ComboBox2->setCurrentIndex(6);
}
