#pragma once
#include "common/Screen.h"
#include "ui_free_coin.h"

#include <QTimer>

class TFormFaucet : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormFaucet(QWidget* parent = nullptr);

    QTimer* Timer1; // reloads the adverts every 30 s while this is the active window

    // "https://" + the service's host + "/morec/ads/"
    static QString AdsBaseUrl();

    void startRandomResult();

public slots:
    void Timer1Timer();
    void Button1Click();
    void Button4Click();
    void Text5Click();

protected:
    void FormCreate();
    void FormShow() override;

private:
    void LoadAdverts();
    Ui::TFormFaucet ui;
};
