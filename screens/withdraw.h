#pragma once
#include "common/Screen.h"
#include "ui_withdraw.h"

class TFormWithdraw : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormWithdraw(QWidget* parent = nullptr);

    // The selected coin's title and fee terms, written by the dashboard before opening.
    void Prepare(const QString& title, const QString& feeText);

private:
    Ui::TFormWithdraw ui;
};
