#include "settings.h"

TFormSetting::TFormSetting(QWidget* parent) : SecondaryScreen(ReturnTarget::Opener, parent)
{
    ui.setupUi(this);
    InitScreen();
}

void TFormSetting::SetPassCaption(const QString& caption)
{
    ui.Label24->setText(caption);
}
