#include "Lotto.h"
#include "common/Accessible.h"

#include "AccountModel.h"
#include "AppState.h"
#include "Digest.h"
#include "Json.h"
#include "Lottery.h"
#include "LotteryCheck.h"
#include "Requests.h"
#include "ServiceClient.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>

namespace {
constexpr int WinnerColumns = 3;
constexpr int WinnerRowHeight = 26;
constexpr int WinnerFontSize = 14;
constexpr int ConfirmArmingMs = 400;

QString BalanceOf(const QString& coinUpper)
{
    return Account().AmountText(AccountModel::Amount::Wallet, lotto::LowerAscii(coinUpper));
}
} // namespace

TFormLotto::TFormLotto(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(2000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TFormLotto::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(30000);
    connect(Timer2, &QTimer::timeout, this, &TFormLotto::Timer2Timer);
    Timer2->start();

    connect(&Account(), &AccountModel::CatalogueChanged, this, &TFormLotto::FillCoinList);

    connect(ui.ComboBox1, &QComboBox::currentIndexChanged, this, &TFormLotto::ComboBox1Change);
    connect(ui.Button3, &QPushButton::clicked, this, &TFormLotto::Button3Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TFormLotto::Button2Click);
    connect(ui.Button5, &QPushButton::clicked, this, &TFormLotto::Button5Click);

    QFont font = ui.ListBox1->font();
    font.setPixelSize(WinnerFontSize);
    ui.ListBox1->setFont(font);
    ui.ListBox1->setWrapping(true);
    ui.ListBox1->viewport()->installEventFilter(this);
    accessible::ReadAsRows(ui.ListBox1, WinnerColumns);
    m_check = new QLabel(this);
    m_check->setObjectName(QStringLiteral("LottoCheck"));
    m_check->setTextFormat(Qt::PlainText);
    m_check->setWordWrap(true);
    m_check->setAccessibleName(QStringLiteral("Draw check"));
    ui.MainLayout->insertWidget(ui.MainLayout->indexOf(ui.ListBox1) + 1, m_check);
    LayOutWinners();
}

void TFormLotto::FillCoinList(const QStringList& codes)
{
    ui.ComboBox1->clear();
    ui.ComboBox1->addItems(codes);
    ui.ComboBox1->setCurrentIndex(4);
}

void TFormLotto::FormShow()
{
    // The panel is cleared first, so that a failure of this very refresh stays readable.
    ui.PanelErrorMessage->hide();
    ComboBox1Change();
}

void TFormLotto::ComboBox1Change()
{
    if (!isVisible()) return;
    const AppState& st = State();
    m_coin = ui.ComboBox1->currentText();
    if (m_coin.isEmpty()) return; // no catalogue yet: there is no draw to ask for
    const QString coin = lotto::LowerAscii(m_coin);

    // The players file, then the winners file, each answered when it comes;
    // a transport failure ends the refresh. A newer refresh (another coin)
    // takes over from one still out.
    Service().Get(
        QStringLiteral("lottery_players"), ServiceClient::Channel::LotteryPlayers, lotto::PlayersUrl(st, coin), this,
        [this, coin](const HttpClient::Outcome& players) {
            if (!players.ok) {
                FileRequestError(players.description);
                return;
            }
            HTTPGetPlayersRequestCompleted(players.body);
            // The open draw's commitment, noted while it is open, is what its
            // revealed seed is checked against once it is drawn.
            Service().Get(
                QStringLiteral("lottery_draw"), ServiceClient::Channel::LotteryPlayers, lotto::DrawUrl(State(), coin),
                this,
                [coin](const HttpClient::Outcome& draw) {
                    if (draw.ok) lotto::NoteOpenDraw(coin, draw.body);
                },
                ServiceClient::Overlap::Supersede);
            Service().Get(
                QStringLiteral("lottery_winners"), ServiceClient::Channel::LotteryWinners,
                lotto::WinnersUrl(State(), coin), this, [this, coin](const HttpClient::Outcome& winners) {
                    if (!winners.ok) {
                        FileRequestError(winners.description);
                        return;
                    }
                    HTTPGetWinnerRequestCompleted(winners.body);
                    ShowChecks(winners.body, coin);
                    ShowCoin(coin);
                },
                ServiceClient::Overlap::Supersede);
        },
        ServiceClient::Overlap::Supersede);
}

void TFormLotto::ShowCoin(const QString& coin)
{
    ui.ListBoxItem5->setText(QStringLiteral("Value(") + m_coin + QLatin1Char(')'));
    const QPixmap icon = QIcon(QStringLiteral(":/icons/coin_%1.svg").arg(coin)).pixmap(32, 32);
    if (!icon.isNull()) ui.Image1->setPixmap(icon);
}

void TFormLotto::FileRequestError(const QString& description)
{
    // Shown here rather than in a modal box: with the service down, the
    // 30-second refresh would otherwise stack one box on another.
    ShowMessage(description);
}

void TFormLotto::ShowFigures(const QString& prize, const QString& deposit, const QString& players)
{
    ui.Label3->setText(prize);
    ui.Label5->setText(Account().Shown(deposit));
    ui.Label10->setText(players);
}

void TFormLotto::HTTPGetPlayersRequestCompleted(const QString& body)
{
    try {
        // The stake is found under the login the user entered with.
        const lotto::DrawFigures f =
            lotto::PlayersFigures(body, lotto::LowerAscii(State().UserLogin), m_coin);
        ShowFigures(f.prize, f.deposit, f.players);
        Timer1->start();
    } catch (const std::exception&) {
        // Not the expected file (an error page, a missing file): no figures, no message.
        const lotto::DrawFigures zero = lotto::ZeroFigures();
        ShowFigures(zero.prize, zero.deposit, zero.players);
    }
}

void TFormLotto::HTTPGetWinnerRequestCompleted(const QString& body)
{
    ui.ListBox1->clear();
    try {
        for (const QString& text : lotto::WinnerItems(body)) {
            auto* item = new QListWidgetItem(text, ui.ListBox1);
            item->setTextAlignment(Qt::AlignCenter);
            item->setToolTip(text);
        }
    } catch (const std::exception&) {
        ui.ListBox1->clear();
    }
}

void TFormLotto::ShowChecks(const QString& body, const QString& coin)
{
    const QList<lotto::DrawCheck> checks = lotto::CheckShownDraws(body, lotto::SeenCommitments(coin));
    QStringList names;
    for (qsizetype i = 0; i < checks.size(); ++i) {
        const int first = int(i) * WinnerColumns;
        if (first + WinnerColumns > ui.ListBox1->count()) break;
        names << ui.ListBox1->item(first)->text();
        const QString verdict = lotto::CheckText(checks[i]);
        const QIcon mark = style()->standardIcon(checks[i].verified ? QStyle::SP_DialogApplyButton
                                                                     : QStyle::SP_MessageBoxWarning);
        ui.ListBox1->item(first)->setIcon(mark);
        for (int c = 0; c < WinnerColumns; ++c) {
            QListWidgetItem* item = ui.ListBox1->item(first + c);
            item->setToolTip(item->text() + QStringLiteral(" - ") + verdict);
            item->setData(Qt::UserRole, checks[i].verified);
        }
    }
    // Only the draws the list shows are summed up (a file the list could not read shows none).
    m_check->setText(lotto::ChecksSummary(checks.mid(0, names.size()), names));
}

void TFormLotto::LayOutWinners()
{
    // Three items to a row: name, amount, date. The view keeps room for its
    // scroll bar when it wraps, so the cells leave that room too.
    const int room = ui.ListBox1->viewport()->width() - ui.ListBox1->verticalScrollBar()->sizeHint().width();
    const int width = (room - WinnerColumns) / WinnerColumns;
    ui.ListBox1->setGridSize(QSize(std::max(width, 1), WinnerRowHeight));
}

bool TFormLotto::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui.ListBox1->viewport() && event->type() == QEvent::Resize) LayOutWinners();
    return SecondaryScreen::eventFilter(watched, event);
}

void TFormLotto::Timer1Timer()
{
    Timer1->stop();
    Guard(QString(), [&] { ui.Label12->setText(Account().Shown(BalanceOf(m_coin)) + QLatin1Char(' ') + m_coin); });
}

void TFormLotto::Timer2Timer()
{
    if (isVisible()) ComboBox1Change();
}

void TFormLotto::Button3Click()
{
    Guard(QString(), [&] { ui.Edit1->setText(BalanceOf(m_coin)); });
}

void TFormLotto::Button5Click()
{
    QMessageBox::information(this, windowTitle(), lotto::RulesText(), QMessageBox::Ok);
    RegainFront();
}

void TFormLotto::RegainFront()
{
    // Without a window manager nothing gives the focus back when a dialog
    // closes, and the server's answer goes to the active screen.
    QApplication::setActiveWindow(this);
}

void TFormLotto::Button2Click()
{
    AppState& st = State();
    QMessageBox confirm(QMessageBox::Question, windowTitle(), lotto::ConfirmText(ui.Edit1->text(), m_coin),
                        QMessageBox::Yes | QMessageBox::No, this);
    confirm.setDefaultButton(QMessageBox::No);
    confirm.setTextFormat(Qt::PlainText);
    // The second click of a double-click on "Send" must not answer a box the
    // user has not seen: "Yes" takes no click, key or mnemonic until the box
    // has been in view for a moment.
    QAbstractButton* yes = confirm.button(QMessageBox::Yes);
    yes->setEnabled(false);
    QTimer::singleShot(ConfirmArmingMs, yes, [yes] { yes->setEnabled(true); });
    const int answer = confirm.exec();
    RegainFront();
    if (answer != QMessageBox::Yes) return;

    SendMessage(QStringLiteral("buylottonew"),
                api::BuyLotto(st.UserLogin, st.PassHash, m_coin, ui.Edit1->text(), digest::Gen_New_Session()),
                ui.Button2, [this](const QString&) {
                    Service().RefreshAccount();
                    ComboBox1Change();
                });
}
