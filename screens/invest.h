#pragma once
#include "common/Screen.h"
#include "ui_invest.h"

class TFormInvest : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormInvest(QWidget* parent = nullptr);

    // Puts the invested amount in the field (and works out its figures).
    void SetInvestedAmount(const QString& text);

public slots:
    void Button3Click();
    void val_invest_coinChangeTracking();
    void ComboBox1Change();
    // Leaves lab_end_rental as it was when the amount does not parse.
    void Calc_EndingRental();
    void Button1Click();
    void Text5Click();
    void Button4Click();

protected:
    void FormCreate();
    void FormShow() override;

private:
    // The amount field takes the selected coin's investment.
    void FollowInvestment();
    // The end-of-rental figure; throws when the amount does not parse.
    void EndingRental();

    Ui::TFormInvest ui;
};
