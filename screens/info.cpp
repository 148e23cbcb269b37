#include "info.h"

#include "AccountModel.h"
#include "AppState.h"
#include "CoinRows.h"
#include "Community.h"
#include "Json.h"
#include "common/LabelBinding.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QTabBar>

namespace {
const QString RowValuePrefix = QStringLiteral("earned_inv_");
const QString RowIconPrefix = QStringLiteral("image_coin_");

// The package's data folder relative to the installed program (e.g. ../share/ambervale).
#ifndef AMBERVALE_GUIDE_INSTALL_DIR
#define AMBERVALE_GUIDE_INSTALL_DIR ""
#endif
QString InstalledGuideDirectory()
{
    const QString relative = QStringLiteral(AMBERVALE_GUIDE_INSTALL_DIR);
    if (relative.isEmpty()) return {};
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + relative;
}
} // namespace

const char* const TFormInfo::ChatLink = "https://t.me/ambervale_chat";
const char* const TFormInfo::ChannelLink = "https://t.me/ambervale_news";
const char* const TFormInfo::ProfileLink = "https://x.com/ambervale_app";

TFormInfo::TFormInfo(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();
    CreateCoinRows(ui.ListBox1, RowValuePrefix, RowIconPrefix, QStringLiteral("earned on investments"));

    connect(ui.TabControl1, &QTabWidget::currentChanged, this, &TFormInfo::TabControl1Change);
    connect(ui.ListBox1, &QListWidget::itemClicked, this, &TFormInfo::ListBox1ItemClick);
    connect(ui.SearchBox1, &QLineEdit::textChanged, this, &TFormInfo::SearchBox1Change);
    connect(ui.Text4, &ClickableLabel::clicked, this, &TFormInfo::Text4Click);
    connect(ui.Text13, &ClickableLabel::clicked, this, &TFormInfo::Text13Click);
    connect(ui.Text10, &ClickableLabel::clicked, this, &TFormInfo::Text10Click);

    FormCreate();
}

void TFormInfo::FormCreate()
{
    ui.PanelErrorMessage->hide();
    ui.TabControl1->tabBar()->setAccessibleName(QStringLiteral("Information sections"));
}

void TFormInfo::FormShow()
{
    DrawCoinIcons(ui.ListBox1, RowIconPrefix);
    // From the login screen the user comes for the contacts, from the dashboard for the guides.
    const QString from = OpenedFrom();
    const QString tab = from == QLatin1String("login")       ? QStringLiteral("TabFeedBack")
                        : from == QLatin1String("dashboard") ? QStringLiteral("TabGuides")
                                                             : QString();
    if (!tab.isEmpty() && ui.TabControl1->currentWidget()->objectName() != tab) {
        SelectTab(tab); // its change handler fills the tab
        return;
    }
    TabControl1Change();
}

void TFormInfo::SelectTab(const QString& tabName)
{
    if (auto* tab = ui.TabControl1->findChild<QWidget*>(tabName)) ui.TabControl1->setCurrentWidget(tab);
}

void TFormInfo::TabControl1Change()
{
    Guard(QStringLiteral("Error ChangeTab: "), [&] {
        QWidget* tab = ui.TabControl1->currentWidget();
        if (tab == ui.TabGuides) {
            // Below the working directory, where the program is started from, not the program's folder;
            // an installed program started elsewhere shows the guide its package ships.
            ui.WebBrowser1->Navigate(community::GuideUrl(QDir::currentPath(), InstalledGuideDirectory()));
        } else if (tab == ui.TabStatistic) {
            if (!State().LoggedIn) {
                ::ShowMessage(community::NotLoggedInText());
                return;
            }
            BindAmountLabels(this, QStringLiteral("earn"));
            show_full_statistic();
        }
    });
}

void TFormInfo::show_full_statistic()
{
    Guard(QStringLiteral("Error show_full_statistic: "), [&] {
        AccountModel& account = Account();
        QListWidgetItem* row = ui.ListBox1->currentItem();
        // A row the search has hidden counts as none selected.
        if (!row || row->isHidden()) row = ui.ListBox1->item(0);
        const QString coin = row->text().toLower();
        // A coin the catalogue does not name keeps the last name shown.
        const QString fullName = account.FullName(coin);
        if (!fullName.isEmpty()) ui.fullname_coin->setText(fullName);
        account.SetCurrentCoin(coin, ui.fullname_coin->text());
        using Amount = AccountModel::Amount;
        ui.lab_earned_inv->setText(account.Shown(account.AmountText(Amount::EarnedOnInvestments, coin)));
        ui.lab_deposit_total->setText(account.Shown(account.AmountText(Amount::Deposited, coin)));
        ui.lab_earn_ref->setText(account.Shown(account.AmountText(Amount::EarnedOnReferrals, coin)));
        // From the model: the labels may show the figures hidden.
        ui.lab_total_earn->setText(account.Shown(community::TotalEarned(
            account.AmountText(Amount::EarnedOnInvestments, coin), account.AmountText(Amount::EarnedOnReferrals, coin))));
        if (auto* icon = findChild<QLabel*>(RowIconPrefix + coin)) ui.main_img->setPixmap(icon->pixmap());
    });
}

void TFormInfo::ListBox1ItemClick()
{
    show_full_statistic();
}

void TFormInfo::SearchBox1Change(const QString& text)
{
    FilterCoinRows(ui.ListBox1, text);
}

void TFormInfo::Text4Click()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(ChatLink)));
}

void TFormInfo::Text13Click()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(ChannelLink)));
}

void TFormInfo::Text10Click()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(ProfileLink)));
}
