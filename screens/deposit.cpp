#include "deposit.h"

#include "DisplayText.h"
#include "QrCode.Tools.h"

#include <QClipboard>
#include <QGuiApplication>

TFormDeposit::TFormDeposit(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
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
