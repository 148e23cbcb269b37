#pragma once
#include "common/Screen.h"
#include "ui_withdraw.h"

class TFormWithdraw : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormWithdraw(QWidget* parent = nullptr);
    Ui::TFormWithdraw ui;
};
