#pragma once
#include "common/Screen.h"
#include "ui_invest.h"

class TFormInvest : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormInvest(QWidget* parent = nullptr);
    Ui::TFormInvest ui;
};
