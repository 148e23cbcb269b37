#pragma once
#include "common/Screen.h"
#include "ui_free_coin.h"

class TFormFaucet : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormFaucet(QWidget* parent = nullptr);

private:
    Ui::TFormFaucet ui;
};
