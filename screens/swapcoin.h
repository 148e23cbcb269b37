#pragma once
#include "common/Screen.h"
#include "ui_swapcoin.h"

class TFormSwap : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormSwap(QWidget* parent = nullptr);
    Ui::TFormSwap ui;
};
