#pragma once
#include "common/FrameAnimation.h"
#include "common/Screen.h"
#include "ui_deposit.h"

class TFormDeposit : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormDeposit(QWidget* parent = nullptr);

    Ui::TFormDeposit ui;
    FrameAnimation* gifload;

public slots:
    void gifloadProcess();
    void lab_dep_addressClick();

protected:
    void FormShow() override;
};
