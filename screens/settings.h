#pragma once
#include "common/Screen.h"
#include "ui_settings.h"

class TFormSetting : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormSetting(QWidget* parent = nullptr);
    Ui::TFormSetting ui;
};
