#include "invest.h"

#include "AccountModel.h"
#include "AppState.h"
#include "Digest.h"
#include "InvestCalc.h"
#include "Json.h"
#include "MoneyInput.h"
#include "NumberText.h"
#include "PlatformSettings.h"
#include "Requests.h"
#include "ServiceClient.h"

TFormInvest::TFormInvest(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();

    connect(ui.Button3, &QPushButton::clicked, this, &TFormInvest::Button3Click);
    connect(ui.val_invest_coin, &QLineEdit::textChanged, this, &TFormInvest::val_invest_coinChangeTracking);
    connect(ui.ComboBox1, &QComboBox::currentIndexChanged, this, &TFormInvest::ComboBox1Change);
    connect(ui.Button1, &QPushButton::clicked, this, &TFormInvest::Button1Click);
    connect(ui.Text5, &ClickableLabel::clicked, this, &TFormInvest::Text5Click);
    connect(ui.Button4, &QPushButton::clicked, this, &TFormInvest::Button4Click);
    // The amount follows the selected coin's investment.
    connect(&Account(), &AccountModel::AccountChanged, this, &TFormInvest::FollowInvestment);
    connect(&Account(), &AccountModel::CurrentCoinChanged, this, &TFormInvest::FollowInvestment);

    FormCreate();
}

void TFormInvest::FormCreate()
{
    AddModalPanel(ui.panel_confirm_pass, ui.conf_pass, ui.Button4, ui.Text5);
    ui.panel_confirm_pass->hide();
}

void TFormInvest::FormShow()
{
    ui.panel_confirm_pass->hide();
    Button3Click();
    ui.Label1->setText(QStringLiteral("Invest ") + Account().CurrentCoinName());
}

void TFormInvest::FollowInvestment()
{
    const AccountModel& account = Account();
    if (const auto invested = account.FindAmountText(AccountModel::Amount::Invested, account.CurrentCoin()))
        SetInvestedAmount(*invested);
}

void TFormInvest::SetInvestedAmount(const QString& text)
{
    // Another coin may hold the same amount: its figures (and the dashboard's
    // daily line) are still due, in its own unit.
    if (ui.val_invest_coin->text() == text)
        val_invest_coinChangeTracking();
    else
        ui.val_invest_coin->setText(text);
}

void TFormInvest::Button3Click()
{
    // Without a snapshot or a readable balance there is nothing to fill in: the
    // amount stays.
    try {
        ui.val_invest_coin->setText(Account().WalletMaxText(Account().CurrentCoin()));
    } catch (const std::exception&) {
    }
}

void TFormInvest::val_invest_coinChangeTracking()
{
    Guard(QStringLiteral("Error ChangeValCalculate: "), [&] {
        const std::optional<qint64> amount = invest::EarningAmount(ui.val_invest_coin->text());
        if (!amount) return;
        const int apr = Account().Apr(Account().CurrentCoin());
        const invest::Earnings e = invest::EarningsFor(*amount, apr);
        const QString coin = settings::UpperAscii(Account().CurrentCoin());
        ui.Text_dohod_year->setText(invest::FigureText(e.year, coin));
        ui.Text_dohod_6month->setText(invest::FigureText(e.halfYear, coin));
        ui.Text_dohod_3month->setText(invest::FigureText(e.quarter, coin));
        ui.Text_dohod_1month->setText(invest::FigureText(e.month, coin));
        ui.Text_dohod_week->setText(invest::FigureText(e.week, coin));
        ui.Text_dohod_day->setText(invest::FigureText(e.day, coin));
        EndingRental();
    });
}

void TFormInvest::ComboBox1Change()
{
    Calc_EndingRental();
}

void TFormInvest::Calc_EndingRental()
{
    try {
        EndingRental();
    } catch (const std::exception&) {
        // An empty or unreadable amount has no end-of-rental figure; the last one
        // stays.
    }
}

void TFormInvest::EndingRental()
{
    const int index = ui.ComboBox1->currentIndex();
    if (index == invest::PlaceholderRentalIndex) {
        // The placeholder cannot stay selected; the new selection runs this again.
        ui.ComboBox1->setCurrentIndex(invest::DefaultRentalIndex);
        return;
    }
    ui.lab_end_rental->setText(
        invest::EndingRentalText(ui.val_invest_coin->text(), index, settings::UpperAscii(Account().CurrentCoin())));
}

void TFormInvest::Button1Click()
{
    OpenConfirmPanel(ui.panel_confirm_pass);
    // The panel asks for one thing: what is typed next is the password.
    ui.conf_pass->setFocus(Qt::OtherFocusReason);
}

void TFormInvest::Text5Click()
{
    ui.panel_confirm_pass->hide();
}

void TFormInvest::Button4Click()
{
    SendConfirmed(
        ui.panel_confirm_pass, ui.conf_pass, ui.Button4, QStringLiteral("invest_coin"),
        [this](const QString& digest) {
            return api::InvestCoin(QString::number(ui.ComboBox1->currentIndex()), Account().CurrentCoin(),
                                   ui.val_invest_coin->text(), State().UserLogin, digest, digest::Gen_New_Session());
        },
        [](const QString&) {
            // The answer is in: the balances it changed are fetched now, so that
            // "MAX" offers only what is still held.
            if (State().LoggedIn) Service().RefreshAccount();
        });
}
