#include "info.h"

TFormInfo::TFormInfo(QWidget* parent) : SecondaryScreen(ReturnTarget::Opener, parent)
{
    ui.setupUi(this);
    InitScreen();
}

void TFormInfo::SelectTab(const QString& tabName)
{
    if (auto* tab = ui.TabControl1->findChild<QWidget*>(tabName)) ui.TabControl1->setCurrentWidget(tab);
}
