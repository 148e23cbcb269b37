#include "refferal.h"

#include "AccountModel.h"
#include "AppState.h"
#include "CoinRows.h"
#include "Community.h"
#include "Json.h"
#include "common/LabelBinding.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {
const QString RowIconPrefix = QStringLiteral("image_ref_coin_");
}

TFormRefferal::TFormRefferal(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();
    CreateCoinRows(ui.ListBox1, QStringLiteral("earned_ref_"), RowIconPrefix, QStringLiteral("earned on referrals"));

    connect(ui.lab_ref_code, &ClickableLabel::clicked, this, &TFormRefferal::lab_ref_codeClick);
    connect(ui.lab_ref_link, &ClickableLabel::clicked, this, &TFormRefferal::lab_ref_linkClick);
    connect(ui.SearchBox1, &QLineEdit::textChanged, this, &TFormRefferal::SearchBox1Change);

    FormCreate();
}

void TFormRefferal::FormCreate()
{
    ui.PanelErrorMessage->hide();
}

void TFormRefferal::FormShow()
{
    DrawCoinIcons(ui.ListBox1, RowIconPrefix);
    Guard(QStringLiteral("Error ParseJsonRefEarn: "), [&] {
        const AppState& st = State();
        ui.lab_ref_code->setText(Account().ReferralCode());
        ui.lab_refcol->setText(Account().ReferralCountText());
        // A whole web address, so that a browser or a chat opens it as a link.
        ui.lab_ref_link->setText(QStringLiteral("https://") +
                                 community::InviteLink(community::HostPort(st.ServerAddress), ui.lab_ref_code->text()));
        ui.lab_ref_code->setAccessibleName(QStringLiteral("Referral code ") + ui.lab_ref_code->text());
        ui.lab_ref_link->setAccessibleName(QStringLiteral("Invite link ") + ui.lab_ref_link->text());
        BindAmountLabels(this, QStringLiteral("earn"));
    });
}

void TFormRefferal::Copy(const QString& text)
{
    if (!ClipboardOffered) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text);
}

void TFormRefferal::lab_ref_codeClick()
{
    Copy(ui.lab_ref_code->text());
    ::ShowMessage(QStringLiteral("You copied invite code: ") + ui.lab_ref_code->text());
}

void TFormRefferal::lab_ref_linkClick()
{
    Copy(ui.lab_ref_link->text());
    ::ShowMessage(QStringLiteral("You copied Referral Link: ") + ui.lab_ref_link->text());
}

void TFormRefferal::SearchBox1Change(const QString& text)
{
    FilterCoinRows(ui.ListBox1, text);
}
