#include "deposit.h"

#include "Login.h"
#include "Screens.h"

#include <QClipboard>
#include <QGuiApplication>

TFormDeposit::TFormDeposit(QWidget* parent) : SecondaryScreen(ReturnTarget::Dashboard, parent)
{
    ui.setupUi(this);
    InitScreen(488, 488);
    gifload = new FrameAnimation(ui.LoadingAnim, this);
    connect(gifload, &FrameAnimation::Process, this, &TFormDeposit::gifloadProcess);
    connect(ui.lab_dep_address, &ClickableLabel::clicked, this, &TFormDeposit::lab_dep_addressClick);
    connect(ui.ImgQrCode, &ClickableLabel::clicked, this, &TFormDeposit::lab_dep_addressClick);
    for (QLabel* l : {ui.name_form, ui.name_network, ui.mindep_coin, ui.LabBonusDeposit})
        l->setTextFormat(Qt::PlainText);
    ui.ImgQrCode->setScaledContents(false);
    // Neither the picture nor a long reply may resize the window.
    ui.ImgQrCode->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    ui.lab_dep_address->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TFormDeposit::FormShow()
{
    ui.LoadingAnim->show();
    ui.LoadingAnim->raise();
    gifload->SetEnabled(true);
    ui.PanelErrorMessage->hide();
}

void TFormDeposit::gifloadProcess()
{
    gifload->SetEnabled(!ui.LoadingAnim->isHidden());
}

void TFormDeposit::lab_dep_addressClick()
{
    const QString address = ui.lab_dep_address->text();
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(address);
    FormLogin->ShowErrorMessage(QStringLiteral("You copied your deposit address: ") + address, QString());
}
