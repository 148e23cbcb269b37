#include "swapcoin.h"

#include "AccountModel.h"
#include "AppState.h"
#include "Digest.h"
#include "HttpClient.h"
#include "Json.h"
#include "Requests.h"
#include "ServiceClient.h"
#include "SwapQuote.h"

#include <QMouseEvent>
#include <QSignalBlocker>

TFormSwap::TFormSwap(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();

    TimerCheckPrice = new QTimer(this);
    TimerCheckPrice->setObjectName(QStringLiteral("TimerCheckPrice"));
    TimerCheckPrice->setSingleShot(true);
    TimerCheckPrice->setInterval(2000);
    connect(TimerCheckPrice, &QTimer::timeout, this, &TFormSwap::TimerCheckPriceTimer);

    connect(&Account(), &AccountModel::CatalogueChanged, this, &TFormSwap::FillCoinLists);
    NetHTTP_get_swap = Service().Client(ServiceClient::Channel::Swap);
    connect(NetHTTP_get_swap, &HttpClient::RequestCompleted, this, &TFormSwap::NetHTTP_get_swapRequestCompleted);
    connect(NetHTTP_get_swap, &HttpClient::RequestError, this, &TFormSwap::NetHTTP_get_swapRequestError);

    AttachAmount();
    connect(ui.ComboBox1, &QComboBox::currentIndexChanged, this, &TFormSwap::edit_valChangeTracking);
    connect(ui.ComboBox2, &QComboBox::currentIndexChanged, this, &TFormSwap::edit_valChangeTracking);
    AttachReverse();
    connect(ui.Button1, &QPushButton::clicked, this, &TFormSwap::Button1Click);
    connect(ui.Button3, &QPushButton::clicked, this, &TFormSwap::Button3Click);
    connect(ui.Image2, &ClickableLabel::clicked, this, &TFormSwap::Image2Click);
    ui.edit_val->installEventFilter(this);
    ui.cur0_to_cur1->installEventFilter(this);
}

void TFormSwap::FillCoinLists(const QStringList& codes)
{
    // Replaced, not appended: every settings reply leaves the catalogue in the
    // lists once. Filling is no choice of the user's, so it arms no quote.
    const QSignalBlocker block1(ui.ComboBox1);
    const QSignalBlocker block2(ui.ComboBox2);
    ui.ComboBox1->clear();
    ui.ComboBox1->addItems(codes);
    ui.ComboBox1->setCurrentIndex(-1);
    ui.ComboBox2->clear();
    ui.ComboBox2->addItems(codes);
    ui.ComboBox2->setCurrentIndex(codes.size() > 6 ? 6 : -1);
}

void TFormSwap::FormShow()
{
    // The loader leaves the "from" list without a selection; a quote for no coin is of no use.
    if (ui.ComboBox1->currentIndex() < 0 && ui.ComboBox1->count() > 0) ui.ComboBox1->setCurrentIndex(0);
    ui.edit_val->setText(QStringLiteral("1"));
}

bool TFormSwap::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == ui.edit_val) edit_valClick();
        if (watched == ui.cur0_to_cur1) cur0_to_cur1Click();
    }
    return SecondaryScreen::eventFilter(watched, event);
}

void TFormSwap::AttachReverse()
{
    if (!m_reverse)
        m_reverse = connect(ui.cur0_to_cur1, &QLineEdit::textChanged, this, &TFormSwap::cur0_to_cur1ChangeTracking);
}

void TFormSwap::DetachReverse()
{
    disconnect(m_reverse);
    m_reverse = {};
}

void TFormSwap::AttachAmount()
{
    if (!m_amount) m_amount = connect(ui.edit_val, &QLineEdit::textChanged, this, &TFormSwap::edit_valChangeTracking);
}

void TFormSwap::DetachAmount()
{
    disconnect(m_amount);
    m_amount = {};
}

void TFormSwap::RequestSent()
{
    ++m_pending;
    ui.Button1->setEnabled(false);
}

void TFormSwap::ReplyArrived()
{
    if (m_pending > 0) --m_pending;
    if (m_pending == 0) ui.Button1->setEnabled(true);
}

void TFormSwap::SendDeferredQuote()
{
    if (m_pending == 0 && m_quoteDeferred) {
        m_quoteDeferred = false;
        TimerCheckPriceTimer();
    }
}

void TFormSwap::edit_valChangeTracking()
{
    if (ui.edit_val->text().isEmpty()) return;
    ui.Text1->setText(swapquote::PriceCaption(ui.ComboBox1->currentText()));
    ui.price_c0_c1->setText(QStringLiteral("..."));
    DetachReverse();
    // A running timer is not restarted: the quote leaves 2 s after the first
    // change.
    if (!TimerCheckPrice->isActive()) TimerCheckPrice->start();
}

void TFormSwap::TimerCheckPriceTimer()
{
    TimerCheckPrice->stop();
    if (m_pending > 0 && m_swapCommand == QLatin1String("swap")) {
        // The swap's answer must not be taken for a quote: ask once it is in.
        m_quoteDeferred = true;
        return;
    }
    ShowLoading();
    m_swapCommand = QStringLiteral("get");
    try {
        const AppState& st = State();
        NetHTTP_get_swap->Post(st.SecureApiUrl(), api::SwapCoin(m_swapCommand, ui.ComboBox1->currentText(),
                                                          ui.ComboBox2->currentText(), ui.edit_val->text(),
                                                          st.UserLogin, st.PassHash, digest::Gen_New_Session()));
        RequestSent();
    } catch (const std::exception&) {
        HideLoading();
    }
}

void TFormSwap::NetHTTP_get_swapRequestCompleted(const QString& body)
{
    HideLoading();
    ReplyArrived();
    if (m_swapCommand == QLatin1String("get")) {
        try {
            const swapquote::Quote q = swapquote::ReadQuote(body, ui.edit_val->text());
            m_swapRate = q.swapRate;
            m_swapPriceText = q.priceText;
            ui.price_c0_c1->setText(m_swapPriceText + QLatin1Char(' ') + ui.ComboBox2->currentText());
            DetachReverse();
            ui.cur0_to_cur1->setText(swapquote::ShownAmount(q.quoted));
            AttachReverse();
            m_quoteFailure.clear();
        } catch (const swapquote::ServiceText& refusal) {
            // The service's own words, not a parse error about them.
            QuoteFailed(refusal.message());
        } catch (const std::exception& e) {
            QuoteFailed(QStringLiteral("Error Result Swap: ") + ErrorText(e));
        }
        return;
    }
    Service().RefreshAccount();
    // On this screen only, also when the user has gone back meanwhile.
    ShowMessage(body);
    SendDeferredQuote();
}

void TFormSwap::QuoteFailed(const QString& message)
{
    m_quoteFailure = message;
    ShowMessage(message);
    // No rate to convert back with until the next good quote.
    DetachReverse();
    ui.cur0_to_cur1->setText(QStringLiteral("0"));
}

void TFormSwap::NetHTTP_get_swapRequestError(const QString& description)
{
    HideLoading();
    ReplyArrived();
    const QString message = QStringLiteral("get_swap Error:") + description;
    // A quote that never came is a failed quote: no swap at an unknown price.
    if (m_swapCommand == QLatin1String("get")) m_quoteFailure = message;
    ShowMessage(message);
    SendDeferredQuote();
}

void TFormSwap::cur0_to_cur1ChangeTracking()
{
    if (ui.cur0_to_cur1->text().isEmpty()) return;
    DetachAmount();
    try {
        ui.edit_val->setText(swapquote::ReverseAmountToSend(m_swapRate, ui.cur0_to_cur1->text()));
    } catch (const std::exception&) {
        // A "to" amount that is not a number converts to nothing; the amount stays.
    }
    AttachAmount();
}

void TFormSwap::Button1Click()
{
    if (!m_quoteFailure.isEmpty()) {
        // The last quote failed: the swap would go out at a price nobody saw.
        ::ShowMessage(m_quoteFailure, QStringLiteral("FormSwap"));
        return;
    }
    m_swapCommand = QStringLiteral("swap");
    ShowLoading();
    const AppState& st = State();
    // Both coins go with the swap: without them the service cannot know which
    // pair to exchange.
    NetHTTP_get_swap->Post(st.SecureApiUrl(),
                           api::SwapCoin(m_swapCommand, ui.ComboBox1->currentText(), ui.ComboBox2->currentText(),
                                         ui.edit_val->text(), st.UserLogin, st.PassHash, digest::Gen_New_Session()));
    RequestSent();
}

void TFormSwap::Button3Click()
{
    ui.edit_val->clear();
    const auto balance = Account().FindAmountText(AccountModel::Amount::Wallet, ui.ComboBox1->currentText().toLower());
    if (balance) ui.edit_val->setText(*balance);
}

void TFormSwap::Image2Click()
{
    const int from = ui.ComboBox1->currentIndex();
    const int to = ui.ComboBox2->currentIndex();
    ui.ComboBox2->setCurrentIndex(from);
    ui.ComboBox1->setCurrentIndex(to);
}

void TFormSwap::edit_valClick()
{
    ui.edit_val->clear();
}

void TFormSwap::cur0_to_cur1Click()
{
    ui.cur0_to_cur1->clear();
}
