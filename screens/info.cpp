#include "info.h"

TFormInfo::TFormInfo(QWidget* parent) : SecondaryScreen(ReturnTarget::Opener, parent)
{
    ui.setupUi(this);
    InitScreen(372, 476, "Button2");
}
