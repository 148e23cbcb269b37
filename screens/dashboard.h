#pragma once
#include "common/Screen.h"
#include "ui_dashboard.h"

#include <QStringList>
#include <QTimer>

class TFormDashboard : public Screen {
    Q_OBJECT
public:
    explicit TFormDashboard(QWidget* parent = nullptr);

    QTimer* TimeCheckBalance;

    // The coin list's rows, top to bottom.
    static const QStringList& ListCoins();
    // Coins whose deposit asks for a network, and the caption of their main one.
    static const QStringList NetworkCoins;
    static const QStringList MainNetworkCaptions;

    void show_full_balance();
    // Opens the deposit screen for the selected coin and network.
    void Get_Deposit_Address();

    // The navigation strip: open (right margin 0) or slid away (-53).
    bool NavigationStripOpen() const;
    int Panel1RightMargin() const;

    enum class Swipe { Left, Right, Other };
    void panel_walletGesture(Swipe gesture);

public slots:
    void ListBox1ItemClick();
    void SearchBox1Change(const QString& text);
    void Image2Click();
    void Label4Click();
    void ButtonWithdrawClick();
    void Button1Click();
    void ButtonDepositClick();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Text2Click();
    void Image4Click();
    void freecoin_btnClick();
    void Image3Click();
    void swap_btnClick();
    void ref_btnClick();
    void setting_btnClick();
    void c_right_panelClick();
    void o_right_panelClick();
    void TimeCheckBalanceTimer();

protected:
    void FormCreate();
    void FormShow() override;
    void FormCloseQuery(bool& CanClose) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Ui::TFormDashboard ui;
    // Fifteen SVG icons cost start-up time: they are drawn when the list is first seen.
    void EnsureCoinIcons();
    bool m_iconsDrawn = false;
    void SetNavigationStripOpen(bool open);
    void PickNetwork(const QString& network);
    // A new snapshot: the rows and the selected coin redraw.
    void AccountChanged();
    // "0,00041096 DOGE/Day": the selected coin's investment over a day.
    void ShowDailyEarning();
    QPoint m_swipeStart;
};
