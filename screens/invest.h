#pragma once
#include "common/Screen.h"
#include "ui_invest.h"

class TFormInvest : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormInvest(QWidget* parent = nullptr);

    // The title and the invested amount, written by the dashboard.
    void SetTitle(const QString& text);
    void SetInvestedAmount(const QString& text);

private:
    Ui::TFormInvest ui;
};
