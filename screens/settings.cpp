#include "settings.h"

TFormSetting::TFormSetting(QWidget* parent) : SecondaryScreen(ReturnTarget::Opener, parent)
{
    ui.setupUi(this);
    InitScreen(372, 488, "Button2");
}
