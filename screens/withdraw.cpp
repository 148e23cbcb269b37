#include "withdraw.h"

#include "AccountModel.h"
#include "AppState.h"
#include "Digest.h"
#include "MoneyInput.h"
#include "Requests.h"
#include "ServiceClient.h"
#include "WalletFigures.h"
#include "WithdrawFee.h"

TFormWithdraw::TFormWithdraw(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();

    connect(ui.Button3, &QPushButton::clicked, this, &TFormWithdraw::Button3Click);
    connect(ui.val_withdraw_coin, &QLineEdit::textChanged, this, &TFormWithdraw::val_withdraw_coinChangeTracking);
    connect(ui.ComboBox1, &QComboBox::currentIndexChanged, this, &TFormWithdraw::ComboBox1Change);
    connect(ui.Button1, &QPushButton::clicked, this, &TFormWithdraw::Button1Click);
    connect(ui.Text5, &ClickableLabel::clicked, this, &TFormWithdraw::Text5Click);
    connect(ui.Button4, &QPushButton::clicked, this, &TFormWithdraw::Button4Click);

    FormCreate();
}

void TFormWithdraw::FormCreate()
{
    AddModalPanel(ui.panel_confirm_pass, ui.conf_pass, ui.Button4, ui.Text5);
    ui.panel_confirm_pass->hide();
    ui.Button1->setEnabled(false);
}

void TFormWithdraw::FormShow()
{
    ui.panel_confirm_pass->hide();
    // The network sent must be the one the list shows, also when "Main" was
    // already selected.
    ui.ComboBox1->setCurrentIndex(0);
    Account().SetCurrentNetwork(ui.ComboBox1->currentText());
    // The dashboard had the coin's minimum and fixed fee worked out before opening this screen.
    ui.Label1->setText(QStringLiteral("Withdraw ") + Account().CurrentCoinName());
    ui.fee_coin->setText(figures::WithdrawFeeText(Account().WithdrawFixedFee(), Account().WithdrawPercent()));
}

void TFormWithdraw::Button3Click()
{
    // Without a snapshot or a readable balance there is nothing to fill in: the
    // amount stays.
    try {
        ui.val_withdraw_coin->setText(Account().WalletMaxText(Account().CurrentCoin()));
    } catch (const std::exception&) {
    }
}

void TFormWithdraw::val_withdraw_coinChangeTracking()
{
    Guard(QStringLiteral("Error ChangeValCalculate: "), [&] {
        const withdraw::NetAmount net = withdraw::NetAfterFee(ui.val_withdraw_coin->text(), Account().WithdrawFixedFee(),
                                                              Account().WithdrawPercent());
        ui.total_with->setText(net.totalText);
        ui.Button1->setEnabled(net.canWithdraw);
    });
}

void TFormWithdraw::ComboBox1Change()
{
    Account().SetCurrentNetwork(ui.ComboBox1->currentText());
}

void TFormWithdraw::Button1Click()
{
    OpenConfirmPanel(ui.panel_confirm_pass);
    // The panel asks for one thing: what is typed next is the password.
    ui.conf_pass->setFocus(Qt::OtherFocusReason);
}

void TFormWithdraw::Text5Click()
{
    ui.panel_confirm_pass->hide();
}

void TFormWithdraw::Button4Click()
{
    SendConfirmed(
        ui.panel_confirm_pass, ui.conf_pass, ui.Button4, QStringLiteral("withdraw"),
        [this](const QString& digest) {
            const AccountModel& account = Account();
            return api::Withdraw(account.CurrentCoin(), ui.Edit1->text(), account.CurrentNetwork(),
                                 ui.val_withdraw_coin->text(), State().UserLogin, digest, digest::Gen_New_Session());
        },
        [](const QString&) {
            // The answer is in: the balances it changed are fetched now, so that
            // "MAX" offers only what is still held.
            if (State().LoggedIn) Service().RefreshAccount();
        });
}
