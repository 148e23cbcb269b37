#include "withdraw.h"

#include "AccountModel.h"
#include "AddressCheck.h"
#include "AppState.h"
#include "Digest.h"
#include "MoneyInput.h"
#include "Requests.h"
#include "ServiceClient.h"
#include "TwoFactor.h"
#include "WalletFigures.h"
#include "WithdrawFee.h"

#include <QSignalBlocker>

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
    connect(ui.AddressBookList, &QComboBox::currentIndexChanged, this, &TFormWithdraw::AddressBookPicked);
    connect(ui.SaveAddress, &QPushButton::clicked, this, &TFormWithdraw::SaveAddressClick);

    FormCreate();
}

void TFormWithdraw::FormCreate()
{
    AddModalPanel(ui.panel_confirm_pass, ui.conf_pass, ui.Button4, ui.Text5);
    ui.panel_confirm_pass->hide();
    ui.conf_otp->hide();
    ui.Button1->setEnabled(false);
}

void TFormWithdraw::FormShow()
{
    ui.panel_confirm_pass->hide();
    // The book is read again on every visit: another window of the program may have saved to it.
    m_book.Load();
    if (!m_book.LoadMessage().isEmpty()) ShowMessage(m_book.LoadMessage());
    ui.conf_otp->clear();
    ui.conf_otp->setVisible(Account().TwoFactorOn());
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
    FillAddressBook();
}

void TFormWithdraw::FillAddressBook()
{
    const QSignalBlocker quiet(ui.AddressBookList);
    ui.AddressBookList->clear();
    for (const AddressBook::Entry& e : m_book.For(Account().CurrentCoin(), ui.ComboBox1->currentText()))
        ui.AddressBookList->addItem(e.label + QStringLiteral(": ") + e.address, e.address);
    ui.AddressBookList->setCurrentIndex(-1);
}

void TFormWithdraw::AddressBookPicked(int index)
{
    if (index >= 0) ui.Edit1->setText(ui.AddressBookList->itemData(index).toString());
}

void TFormWithdraw::SaveAddressClick()
{
    // Only an address that checks for this coin and network is kept.
    const QString address = ui.Edit1->text().trimmed();
    const addresscheck::Result check =
        addresscheck::Check(Account().CurrentCoin(), ui.ComboBox1->currentText(), address);
    if (!check.ok) {
        ShowMessage(check.message);
        return;
    }
    const QString refused =
        m_book.Save({Account().CurrentCoin(), ui.ComboBox1->currentText(), ui.AddressLabel->text(), address});
    if (!refused.isEmpty()) {
        ShowMessage(refused);
        return;
    }
    ui.AddressLabel->clear();
    FillAddressBook();
}

void TFormWithdraw::Button1Click()
{
    // A mistyped address or one of another network loses the money for good:
    // it is stopped here, before the confirmation, with what is wrong.
    const addresscheck::Result check =
        addresscheck::Check(Account().CurrentCoin(), ui.ComboBox1->currentText(), ui.Edit1->text());
    if (!check.ok) {
        ShowMessage(check.message);
        return;
    }
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
    // With two-factor codes on the service refuses a withdrawal without one:
    // asked for here, with the panel still open.
    QString code;
    if (Account().TwoFactorOn()) {
        code = twofa::CleanCode(ui.conf_otp->text());
        if (code.isEmpty()) {
            ShowMessage(QStringLiteral("Type the 6-digit code from your authenticator app."));
            return;
        }
    }
    if (!ui.conf_pass->text().isEmpty()) ui.conf_otp->clear();
    SendConfirmed(
        ui.panel_confirm_pass, ui.conf_pass, ui.Button4, QStringLiteral("withdraw"),
        [this, code](const QString& digest) {
            const AccountModel& account = Account();
            return twofa::WithCode(api::Withdraw(account.CurrentCoin(), ui.Edit1->text(), account.CurrentNetwork(),
                                                 ui.val_withdraw_coin->text(), State().UserLogin, digest,
                                                 digest::Gen_New_Session()),
                                   code);
        },
        [](const QString&) {
            // The answer is in: the balances it changed are fetched now, so that
            // "MAX" offers only what is still held.
            if (State().LoggedIn) Service().RefreshAccount();
        });
}
