#pragma once
#include "common/Screen.h"
#include "ui_info.h"

class TFormInfo : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormInfo(QWidget* parent = nullptr);
    Ui::TFormInfo ui;
};
