#include "dashboard.h"

#include "AccountModel.h"
#include "AppState.h"
#include "CoinRows.h"
#include "InvestCalc.h"
#include "Json.h"
#include "NumberText.h"
#include "PlatformSettings.h"
#include "Requests.h"
#include "ServiceClient.h"
#include "WalletFigures.h"
#include "WalletValue.h"
#include "common/LabelBinding.h"

#include <QGestureEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QSwipeGesture>

namespace {
constexpr CoinRowSize RowSize{28, 36};
} // namespace

const QStringList TFormDashboard::NetworkCoins = api::NetworkCoins();
const QStringList TFormDashboard::MainNetworkCaptions = api::MainNetworkCaptions();

const QStringList& TFormDashboard::ListCoins()
{
    return CoinListCodes();
}

TFormDashboard::TFormDashboard(QWidget* parent) : Screen(parent)
{
    ui.setupUi(this);
    InitScreen();
    CreateCoinRows(ui.ListBox1, QStringLiteral("wall_"), QStringLiteral("img_coin_"), QStringLiteral("balance"),
                   RowSize);
    new WalletValue(this); // the dollar values beside the balances and their total
    ui.ListBox1->setCurrentRow(4); // DOGE

    TimeCheckBalance = new QTimer(this);
    TimeCheckBalance->setObjectName(QStringLiteral("TimeCheckBalance"));
    TimeCheckBalance->setInterval(20000);
    connect(TimeCheckBalance, &QTimer::timeout, this, &TFormDashboard::TimeCheckBalanceTimer);
    TimeCheckBalance->start();

    // Every coin of the list must have a balance in a snapshot; the rows
    // and the selected coin redraw from each new one.
    QStringList shown;
    for (const QString& code : ListCoins()) shown << code.toLower();
    Account().SetShownCoins(shown);
    connect(&Account(), &AccountModel::AccountChanged, this, &TFormDashboard::AccountChanged);

    connect(ui.ListBox1, &QListWidget::itemClicked, this, &TFormDashboard::ListBox1ItemClick);
    connect(ui.SearchBox1, &QLineEdit::textChanged, this, &TFormDashboard::SearchBox1Change);
    connect(ui.Image2, &ClickableFrame::clicked, this, &TFormDashboard::Image2Click);
    connect(ui.APR_coin_panel, &ClickableFrame::clicked, this, &TFormDashboard::Label4Click);
    connect(ui.Label4, &ClickableLabel::clicked, this, &TFormDashboard::Label4Click);
    connect(ui.ButtonWithdraw, &QPushButton::clicked, this, &TFormDashboard::ButtonWithdrawClick);
    connect(ui.Button1, &QPushButton::clicked, this, &TFormDashboard::Button1Click);
    connect(ui.ButtonDeposit, &QPushButton::clicked, this, &TFormDashboard::ButtonDepositClick);
    connect(ui.Button3, &QPushButton::clicked, this, &TFormDashboard::Button3Click);
    connect(ui.Button4, &QPushButton::clicked, this, &TFormDashboard::Button4Click);
    connect(ui.Button5, &QPushButton::clicked, this, &TFormDashboard::Button5Click);
    connect(ui.Button6, &QPushButton::clicked, this, &TFormDashboard::Button6Click);
    connect(ui.Button7, &QPushButton::clicked, this, &TFormDashboard::Button7Click);
    connect(ui.Button8, &QPushButton::clicked, this, &TFormDashboard::Button8Click);
    connect(ui.Text2, &ClickableLabel::clicked, this, &TFormDashboard::Text2Click);
    connect(ui.Image4, &ClickableLabel::clicked, this, &TFormDashboard::Image4Click);
    connect(ui.freecoin_btn, &ClickableLabel::clicked, this, &TFormDashboard::freecoin_btnClick);
    connect(ui.Image3, &ClickableLabel::clicked, this, &TFormDashboard::Image3Click);
    connect(ui.swap_btn, &ClickableLabel::clicked, this, &TFormDashboard::swap_btnClick);
    connect(ui.ref_btn, &ClickableLabel::clicked, this, &TFormDashboard::ref_btnClick);
    connect(ui.setting_btn, &ClickableLabel::clicked, this, &TFormDashboard::setting_btnClick);
    connect(ui.activity_btn, &ClickableLabel::clicked, this, [this] { Open(QStringLiteral("activity")); });
    connect(ui.c_right_panel, &ClickableLabel::clicked, this, &TFormDashboard::c_right_panelClick);
    connect(ui.o_right_panel, &ClickableLabel::clicked, this, &TFormDashboard::o_right_panelClick);

    ui.panel_wallet->grabGesture(Qt::SwipeGesture);
    ui.panel_wallet->installEventFilter(this);

    FormCreate();
}

void TFormDashboard::FormCreate()
{
    ui.PanelErrorMessage->hide();
    ui.o_right_panel->hide();
    ui.get_network_deposit->hide();
    AddModalPanel(ui.get_network_deposit, ui.Button3, nullptr, ui.Text2);
    for (QLabel* l : {ui.fullname_coin, ui.lab_wall_coin, ui.lab_inv_coin, ui.lab_APR_coin, ui.lab_rental_coin,
                      ui.lab_dohod_coin}) {
        l->setTextFormat(Qt::PlainText);
        // Server figures of any length are cut at the label's edge: the window keeps its designed size.
        // The stretch gives the label the room its row's spacer would take, else it is drawn 0 wide.
        QSizePolicy policy(QSizePolicy::Ignored, l->sizePolicy().verticalPolicy());
        policy.setHorizontalStretch(1);
        l->setSizePolicy(policy);
    }
}

void TFormDashboard::EnsureCoinIcons()
{
    if (m_iconsDrawn) return;
    m_iconsDrawn = true;
    DrawCoinIcons(ui.ListBox1, QStringLiteral("img_coin_"), RowSize);
}

void TFormDashboard::FormShow()
{
    EnsureCoinIcons();
    ui.get_network_deposit->hide();
    show_full_balance();
}

void TFormDashboard::FormCloseQuery(bool& CanClose)
{
    State().LoggedIn = false; // closing the wallet logs out
    if (Host()) Host()->Return(Name());
    CanClose = true;
}

void TFormDashboard::AccountChanged()
{
    try {
        BindAmountLabels(this, QStringLiteral("wall"));
    } catch (const std::exception&) {
        // A coin of the list missing from the snapshot: the rows before it are
        // drawn, and the one who asked for the snapshot says what failed.
        return;
    }
    if (isVisible()) show_full_balance();
}

void TFormDashboard::show_full_balance()
{
    Guard(QStringLiteral("Error show_full_balance: "), [&] {
        AccountModel& account = Account();
        int row = ui.ListBox1->currentRow();
        if (row < 0) row = 0;
        const QString coin = ui.ListBox1->item(row)->text().toLower();
        // A coin the catalogue does not name keeps the last name shown.
        const QString fullName = account.FullName(coin);
        if (!fullName.isEmpty()) ui.fullname_coin->setText(fullName);
        account.SetCurrentCoin(coin, ui.fullname_coin->text());
        ui.lab_wall_coin->setText(account.Shown(account.AmountText(AccountModel::Amount::Wallet, coin)));
        ui.lab_inv_coin->setText(account.Shown(account.AmountText(AccountModel::Amount::Invested, coin)));
        ui.lab_APR_coin->setText(QString::number(account.Apr(coin)) + QLatin1Char('%'));
        ui.lab_rental_coin->setText(account.RentalDaysText(coin) + QStringLiteral(" Days"));
        // From the model, not the label: the label may show the figure hidden.
        ui.panel_rental->setVisible(
            numtext::ParseNumber(account.AmountText(AccountModel::Amount::Invested, coin)) > 0);
        ShowDailyEarning();
        if (auto* icon = findChild<QLabel*>(QStringLiteral("img_coin_") + coin))
            ui.image_main->setPixmap(icon->pixmap());
    });
}

void TFormDashboard::ShowDailyEarning()
{
    // What the invested amount earns a day at the coin's APR, in its unit; an
    // amount that gives no figure leaves the line as it was.
    const QString coin = Account().CurrentCoin();
    const auto amount = invest::EarningAmount(Account().AmountText(AccountModel::Amount::Invested, coin));
    if (!amount) return;
    const int apr = Account().Apr(coin);
    ui.lab_dohod_coin->setText(
        Account().Shown(invest::FigureText(invest::EarningsFor(*amount, apr).day, settings::UpperAscii(coin))) +
        QStringLiteral("/Day"));
}

void TFormDashboard::ListBox1ItemClick()
{
    show_full_balance();
}

void TFormDashboard::SearchBox1Change(const QString& text)
{
    FilterCoinRows(ui.ListBox1, text);
}

void TFormDashboard::Image2Click()
{
    Guard(QString(), [&] {
        const QString coin = Account().CurrentCoin();
        const int apr = Account().Apr(coin);
        const double amount =
            numtext::ParseNumber(Account().AmountText(AccountModel::Amount::Invested, coin));
        ::ShowMessage(Account().Shown(figures::EarningsProjection(amount, apr, settings::UpperAscii(coin))));
    });
}

void TFormDashboard::Label4Click()
{
    ::ShowMessage(figures::AprExplanation());
}

void TFormDashboard::ButtonWithdrawClick()
{
    Guard(QString(), [&] {
        Account().PrepareWithdrawal();
        Open(QStringLiteral("withdraw"));
    });
}

void TFormDashboard::Button1Click()
{
    Open(QStringLiteral("invest"));
}

// ---- navigation ----

void TFormDashboard::Image4Click()
{
    Open(QStringLiteral("lottery"));
}

void TFormDashboard::freecoin_btnClick()
{
    Open(QStringLiteral("faucet"));
}

void TFormDashboard::Image3Click()
{
    Open(QStringLiteral("info"));
}

void TFormDashboard::swap_btnClick()
{
    Open(QStringLiteral("swap"));
}

void TFormDashboard::ref_btnClick()
{
    Open(QStringLiteral("referral"));
}

void TFormDashboard::setting_btnClick()
{
    Open(QStringLiteral("settings"));
}

// ---- navigation strip ----

bool TFormDashboard::NavigationStripOpen() const
{
    return !ui.Panel1->isHidden();
}

int TFormDashboard::Panel1RightMargin() const
{
    // Layouts take no negative margins: a strip slid out of view is one that takes no room.
    return NavigationStripOpen() ? 0 : -53;
}

void TFormDashboard::SetNavigationStripOpen(bool open)
{
    ui.Panel1->setVisible(open);
    ui.o_right_panel->setVisible(!open);
}

void TFormDashboard::c_right_panelClick()
{
    SetNavigationStripOpen(false);
}

void TFormDashboard::o_right_panelClick()
{
    SetNavigationStripOpen(true);
}

void TFormDashboard::panel_walletGesture(Swipe gesture)
{
    if (gesture == Swipe::Right)
        SetNavigationStripOpen(false);
    else if (gesture == Swipe::Left)
        SetNavigationStripOpen(true);
}

bool TFormDashboard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui.panel_wallet) {
        if (event->type() == QEvent::Gesture) {
            auto* ge = static_cast<QGestureEvent*>(event);
            if (auto* swipe = static_cast<QSwipeGesture*>(ge->gesture(Qt::SwipeGesture));
                swipe && swipe->state() == Qt::GestureFinished) {
                const auto dir = swipe->horizontalDirection();
                panel_walletGesture(dir == QSwipeGesture::Left    ? Swipe::Left
                                    : dir == QSwipeGesture::Right ? Swipe::Right
                                                                  : Swipe::Other);
                return true;
            }
        } else if (event->type() == QEvent::MouseButtonPress) {
            m_swipeStart = static_cast<QMouseEvent*>(event)->position().toPoint();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            // A mouse drag across the wallet counts as a swipe on the desktop.
            const QPoint delta = static_cast<QMouseEvent*>(event)->position().toPoint() - m_swipeStart;
            if (std::abs(delta.x()) > 80 && std::abs(delta.x()) > 2 * std::abs(delta.y()))
                panel_walletGesture(delta.x() > 0 ? Swipe::Right : Swipe::Left);
        }
    }
    return Screen::eventFilter(watched, event);
}

// ---- periodic refresh ----

void TFormDashboard::TimeCheckBalanceTimer()
{
    if (State().LoggedIn && isVisible()) Service().RefreshAccount();
}

// ---- deposit ----

void TFormDashboard::ButtonDepositClick()
{
    const qsizetype i = NetworkCoins.indexOf(Account().CurrentCoin());
    if (i >= 0) {
        ui.Button3->setText(MainNetworkCaptions.at(i));
        CentreIn(ui.get_network_deposit, ui.panel_wallet->geometry());
        ui.get_network_deposit->show();
        return;
    }
    Account().SetCurrentNetwork(QStringLiteral("Main"));
    ui.Button3->setText(QStringLiteral("Main"));
    Get_Deposit_Address();
}

void TFormDashboard::PickNetwork(const QString& network)
{
    ui.get_network_deposit->hide();
    Account().SetCurrentNetwork(network);
    Get_Deposit_Address();
}

void TFormDashboard::Button3Click()
{
    PickNetwork(QStringLiteral("Main"));
}
void TFormDashboard::Button4Click()
{
    PickNetwork(QStringLiteral("bep20"));
}
void TFormDashboard::Button5Click()
{
    PickNetwork(QStringLiteral("erc20"));
}
void TFormDashboard::Button6Click()
{
    PickNetwork(QStringLiteral("trc20"));
}
void TFormDashboard::Button7Click()
{
    PickNetwork(QStringLiteral("sol"));
}
void TFormDashboard::Button8Click()
{
    PickNetwork(QStringLiteral("prc20"));
}

void TFormDashboard::Text2Click()
{
    ui.get_network_deposit->hide();
}

void TFormDashboard::Get_Deposit_Address()
{
    Open(QStringLiteral("deposit"));
}
