#pragma once
#include "common/Screen.h"
#include "ui_refferal.h"

class TFormRefferal : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormRefferal(QWidget* parent = nullptr);

private:
    Ui::TFormRefferal ui;
};
