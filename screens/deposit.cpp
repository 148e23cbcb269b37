#include "deposit.h"

#include "AccountModel.h"
#include "AppState.h"
#include "DepositReply.h"
#include "Digest.h"
#include "DisplayText.h"
#include "Json.h"
#include "NumberText.h"
#include "PlatformSettings.h"
#include "QrCode.Tools.h"
#include "Requests.h"
#include "ServiceClient.h"

#include <QClipboard>
#include <QGuiApplication>

TFormDeposit::TFormDeposit(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();
    connect(ui.lab_dep_address, &ClickableLabel::clicked, this, &TFormDeposit::lab_dep_addressClick);
    connect(ui.ImgQrCode, &ClickableLabel::clicked, this, &TFormDeposit::lab_dep_addressClick);
    ui.ImgQrCode->setScaledContents(false);
    // Neither the picture nor a long reply may resize the window.
    ui.ImgQrCode->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    ui.lab_dep_address->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TFormDeposit::FormShow()
{
    ShowLoading();
    ui.PanelErrorMessage->hide();
    // Opened from the dashboard: the address of the coin and network picked there.
    if (OpenedFrom() == QLatin1String("dashboard")) RequestAddress();
}

void TFormDeposit::RequestAddress()
{
    const AppState& st = State();
    const AccountModel& account = Account();
    const QString coin = account.CurrentCoin();
    const QString network = account.CurrentNetwork();
    ClearAddress();
    Prepare(QStringLiteral("Coin: ") + account.CurrentCoinName(),
            QStringLiteral("Network: ") + api::DepositNetworkText(coin, network));
    Guard(QStringLiteral("Error Get_Deposit_Address: "), [&] {
        SetTerms(account.MinDepositText(coin) + QLatin1Char(' ') + settings::UpperAscii(coin),
                 QLatin1Char('+') + account.DepositBonusText() + QStringLiteral(" %"));
        const FormFields fields = api::DepositAddress(api::DepositCoin(coin, network), st.UserLogin, st.PassHash,
                                                      digest::Gen_New_Session());
        // Never over plain HTTP: there the address could be swapped. A request
        // still out answers for the coin and network it asked about: this one
        // takes over and the earlier answer goes unheard.
        Service().Post(QStringLiteral("get_deposit_address"), ServiceClient::Channel::Deposit, st.SecureApiUrl(),
                       fields, this, [this](const HttpClient::Outcome& outcome) { AddressAnswered(outcome); },
                       ServiceClient::Overlap::Supersede);
    });
}

void TFormDeposit::AddressAnswered(const HttpClient::Outcome& outcome)
{
    if (!outcome.ok) {
        HideLoading();
        // The failure stays beside the empty address, also when another screen is in front.
        ::ShowMessage(QStringLiteral("Error:") + outcome.description, objectName());
        return;
    }
    if (const std::optional<QString> address = deposit::ReadAddress(outcome.body)) {
        ShowAddress(*address);
    } else {
        CloseScreen(); // back to the dashboard
        ::ShowMessage(QStringLiteral("Something went wrong. Try changing the network or coin."));
        HideLoading();
    }
}

void TFormDeposit::Prepare(const QString& coinText, const QString& networkText)
{
    ui.name_form->setText(coinText);
    ui.name_network->setText(networkText);
}

void TFormDeposit::SetTerms(const QString& minimumText, const QString& bonusText)
{
    ui.mindep_coin->setText(minimumText);
    ui.LabBonusDeposit->setText(bonusText);
}

void TFormDeposit::ShowAddress(const QString& address)
{
    TQrCodeTools::Generate(address, ui.ImgQrCode);
    // Shown elided, copied whole.
    ui.lab_dep_address->setText(display::Elide(address));
    ui.lab_dep_address->setProperty("address", address);
    ui.lab_dep_address->setAccessibleName(QStringLiteral("Deposit address ") + ui.lab_dep_address->text());
    HideLoading();
}

void TFormDeposit::ClearAddress()
{
    ui.ImgQrCode->clear();
    ui.lab_dep_address->clear();
    ui.lab_dep_address->setProperty("address", QVariant());
    ui.lab_dep_address->setAccessibleName(QStringLiteral("Deposit address"));
}

void TFormDeposit::lab_dep_addressClick()
{
    const QVariant whole = ui.lab_dep_address->property("address");
    const QString address = whole.isValid() ? whole.toString() : ui.lab_dep_address->text();
    if (address.isEmpty()) return; // nothing to copy while no address is shown
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(address);
    ::ShowMessage(QStringLiteral("You copied your deposit address: ") + address);
}
