#include "Login.h"

#include "AccountSnapshot.h"
#include "AppState.h"
#include "BuildConfig.h"
#include "Credentials.h"
#include "Digest.h"
#include "HttpClient.h"
#include "Json.h"
#include "Lotto.h"
#include "PlatformSettings.h"
#include "Requests.h"
#include "Screens.h"
#include "common/LabelBinding.h"
#include "dashboard.h"
#include "info.h"
#include "settings.h"
#include "swapcoin.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QUrl>
#include <chrono>

namespace {
constexpr auto TelegramLink = "tg://resolve?domain=ambervale";

HttpClient::Options LoginClientOptions(HttpClient::Mode mode, int timeoutMs, bool keepCookies)
{
    HttpClient::Options o;
    o.mode = mode;
    o.connectTimeoutMs = o.sendTimeoutMs = o.responseTimeoutMs = timeoutMs;
    o.keepCookies = keepCookies;
    o.userAgent = HttpClient::BrowserUserAgent;
    return o;
}
} // namespace

TFormLogin::TFormLogin(QWidget* parent) : Screen(parent)
{
    ui.setupUi(this);
    InitScreen(576, 524);

    gifload = new FrameAnimation(ui.LoadingAnim, this);
    connect(gifload, &FrameAnimation::Process, this, &TFormLogin::gifloadProcess);
    ShowTimer = new QTimer(this);
    ShowTimer->setSingleShot(true);
    ShowTimer->setInterval(500);
    connect(ShowTimer, &QTimer::timeout, this, &TFormLogin::ShowTimerTimer);

    NetHTTPClient1 = new HttpClient(QStringLiteral("NetHTTPClient1"),
                                    LoginClientOptions(HttpClient::Mode::Background, 30000, false), this);
    NetHTTPClient_c_coin_name = new HttpClient(QStringLiteral("NetHTTPClient_c_coin_name"),
                                               LoginClientOptions(HttpClient::Mode::Background, 10000, true), this);
    NetHTTP_MessageResult = new HttpClient(QStringLiteral("NetHTTP_MessageResult"),
                                           LoginClientOptions(HttpClient::Mode::Blocking, 30000, true), this);
    connect(NetHTTPClient1, &HttpClient::RequestCompleted, this, &TFormLogin::NetHTTPClient1RequestCompleted);
    connect(NetHTTPClient1, &HttpClient::RequestError, this, &TFormLogin::NetHTTPClient1RequestError);
    connect(NetHTTPClient_c_coin_name, &HttpClient::RequestCompleted, this,
            &TFormLogin::NetHTTPClient_c_coin_nameRequestCompleted);
    connect(NetHTTPClient_c_coin_name, &HttpClient::RequestError, this,
            &TFormLogin::NetHTTPClient_c_coin_nameRequestError);
    connect(NetHTTP_MessageResult, &HttpClient::RequestCompleted, this,
            &TFormLogin::NetHTTP_MessageResultRequestCompleted);
    connect(NetHTTP_MessageResult, &HttpClient::RequestError, this, &TFormLogin::NetHTTP_MessageResultRequestError);

    connect(ui.BtnLogin, &QPushButton::clicked, this, [this] { BtnLoginClick(ui.BtnLogin); });
    connect(ui.BtnReg, &QPushButton::clicked, this, &TFormLogin::BtnRegClick);
    connect(ui.BtnGuest, &QPushButton::clicked, this, &TFormLogin::BtnGuestClick);
    connect(ui.PassEdit, &QLineEdit::textChanged, this, &TFormLogin::PassEditChange);
    connect(ui.CheckBox1, &QCheckBox::toggled, this, &TFormLogin::CheckBox1Change);
    connect(ui.Text1, &ClickableLabel::clicked, this, &TFormLogin::PrivacyPolicyTextClick);
    connect(ui.Button1, &QPushButton::clicked, this, &TFormLogin::Button1Click);
    connect(ui.S, &ClickableLabel::clicked, this, &TFormLogin::SClick);
    connect(ui.Image5, &ClickableLabel::clicked, this, &TFormLogin::Image5Click);
    connect(ui.Button3, &QPushButton::clicked, this, &TFormLogin::Button3Click);

    FormCreate();
}

void TFormLogin::FormCreate()
{
    SetRegistrationFieldsVisible(false);
    ui.PanelPrivacyPolicy->hide();
    ui.PanelErrorMessage->hide();
    ui.LoadingAnim->hide();
    ui.WebBrowser1->hide(); // never shown and given no address: nothing loads behind the user's back
    ui.VerApp->setText(QStringLiteral("v") + ReadFileVersion());
}

void TFormLogin::FormShow()
{
    StartLoading();
    ShowTimer->start();
}

void TFormLogin::ShowTimerTimer()
{
    ShowTimer->stop(); // once per showing
    SaveOpenWallet(QStringLiteral("open"));
    ui.LoadingAnim->hide();
    if (State().ServerLoadPercent == 0) c_name_coin();
}

void TFormLogin::FormCloseQuery(bool& CanClose)
{
    CanClose = true;
    QCoreApplication::quit(); // the main window: closing it ends the program
}

void TFormLogin::StartLoading()
{
    ui.LoadingAnim->show();
    gifload->SetEnabled(true);
}

void TFormLogin::gifloadProcess()
{
    gifload->SetEnabled(!ui.LoadingAnim->isHidden());
}

void TFormLogin::SetRegistrationFieldsVisible(bool visible)
{
    for (QWidget* w :
         {static_cast<QWidget*>(ui.RePassEdit), static_cast<QWidget*>(ui.Label1), static_cast<QWidget*>(ui.InvCode),
          static_cast<QWidget*>(ui.Label2), static_cast<QWidget*>(ui.CheckBox1), static_cast<QWidget*>(ui.Text1)})
        w->setVisible(visible);
}

// ---- helpers shared by every screen ----

void TFormLogin::ShowErrorMessage(const QString& mes, const QString& formname)
{
    const QWidget* active = QApplication::activeWindow();
    for (QWidget* screen : AllScreens()) {
        if (screen->objectName() != formname && screen != active) continue;
        const auto children = screen->findChildren<QWidget*>();
        for (QWidget* w : children)
            if (auto* label = qobject_cast<QLabel*>(w); label && w->objectName() == QLatin1String("message_label"))
                label->setText(mes);
        for (QWidget* w : children)
            if (qobject_cast<QFrame*>(w) && w->objectName() == QLatin1String("PanelErrorMessage"))
                PresentMessagePanel(w);
    }
}

QString TFormLogin::MD5(const QString& texto) const
{
    return digest::MD5(texto);
}

QString TFormLogin::Gen_New_Session() const
{
    return digest::Gen_New_Session();
}

void TFormLogin::launchBrowser(const QString& myURL)
{
    QDesktopServices::openUrl(QUrl(myURL)); // the result is of no use to the user here
}

QString TFormLogin::ReadFileVersion()
{
    return QStringLiteral(AMBERVALE_VERSION);
}

std::mt19937& TFormLogin::Random()
{
    static std::mt19937 generator(
        static_cast<std::mt19937::result_type>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    return generator;
}

// ---- the shared message client ----

void TFormLogin::NetHTTP_MessageResultRequestCompleted(const QString& body)
{
    ShowErrorMessage(body, QString());
}

void TFormLogin::NetHTTP_MessageResultRequestError(const QString& description)
{
    ui.LoadingAnim->hide();
    ShowErrorMessage(QStringLiteral("MessageResult:") + description, QString());
}

// ---- platform settings ----

void TFormLogin::c_name_coin()
{
    static const QStringList actions{QStringLiteral("all_json_setting")};
    for (const QString& action : actions)
        NetHTTPClient_c_coin_name->Post(State().ApiUrl(), api::Settings(action, Gen_New_Session()));
    StartLoading();
}

void TFormLogin::NetHTTPClient_c_coin_nameRequestCompleted(const QString& body)
{
    try {
        if (body.isEmpty()) throw json::JsonError(QStringLiteral("the reply is empty"));
        if (body.startsWith(QLatin1Char('{'))) {
            settings::ApplyReply(json::ParseObject(body), State(), [](const QStringList& codes) {
                // Replaced, not appended: every reply leaves the catalogue in the lists once.
                FormSwap->ui.ComboBox1->clear();
                FormSwap->ui.ComboBox1->addItems(codes);
                FormSwap->ui.ComboBox1->setCurrentIndex(-1);
                FormSwap->ui.ComboBox2->clear();
                FormSwap->ui.ComboBox2->addItems(codes);
                FormLotto->ui.ComboBox1->clear();
                FormLotto->ui.ComboBox1->addItems(codes);
                FormSwap->ui.ComboBox2->setCurrentIndex(6);
                FormLotto->ui.ComboBox1->setCurrentIndex(4);
            });
        }
        ui.LoadingAnim->hide();
        State().ServerLoadPercent = 100;
        if (!State().PassHash.isEmpty() && State().AutoLoginPending == 1) {
            BtnLoginClick(this);
            State().AutoLoginPending = 0;
        }
    } catch (const std::exception& e) {
        ShowErrorMessage(QStringLiteral("Error Client_c_coin_nameRequest: ") + ErrorText(e), QString());
    }
}

void TFormLogin::NetHTTPClient_c_coin_nameRequestError(const QString& description)
{
    State().ServerScheme =
        State().ServerScheme == QLatin1String("https") ? QStringLiteral("http") : QStringLiteral("https");
    State().ServerLoadPercent = 0;
    ui.LoadingAnim->hide();
    ShowErrorMessage(QStringLiteral("c_coin_name:") + description, QString());
}

// ---- the account request ----

void TFormLogin::CheckBalance(const QString& com)
{
    AppState& st = State();
    st.UserLogin = ui.LoginEdit->text();
    const FormFields fields = api::Account(com, ui.InvCode->text(), st.UserLogin, st.PassHash, Gen_New_Session());
    if (ui.RePassEdit->text() != ui.PassEdit->text()) {
        ShowErrorMessage(QStringLiteral("Check if the password is written correctly"), QString());
        return;
    }
    NetHTTPClient1->Post(st.ApiUrl(), fields);
}

void TFormLogin::NetHTTPClient1RequestCompleted(const QString& body)
{
    try {
        AppState& st = State();
        if (st.ServerLoadPercent < 100) {
            ShowErrorMessage(QStringLiteral("Wait for the server to fully load and try again"), QString());
            c_name_coin();
            return;
        }
        ui.LoadingAnim->hide();
        if (body.isEmpty()) throw json::JsonError(QStringLiteral("the reply is empty"));
        if (body.startsWith(QLatin1Char('{'))) {
            st.UserAccountJson = json::ParseObject(body);
            st.LoggedIn = true;
            ParseJsonUserAcc();
            if (FormDashboard->isVisible() || isVisible()) OpenWalletFunc();
        } else if (body.startsWith(QLatin1Char('T'))) {
            BtnLoginClick(this);
            ShowErrorMessage(body, QStringLiteral("FormDashboard"));
        } else {
            st.LoggedIn = false;
            OpenWalletFunc();
            ShowErrorMessage(body, QString());
        }
    } catch (const std::exception& e) {
        ShowErrorMessage(QStringLiteral("Error Client1Request: ") + ErrorText(e), QString());
    }
}

void TFormLogin::NetHTTPClient1RequestError(const QString& description)
{
    ui.LoadingAnim->hide();
    ShowErrorMessage(QStringLiteral("Error:") + description, QString());
}

void TFormLogin::OpenWalletFunc()
{
    if (State().LoggedIn) {
        FormDashboard->show();
        hide();
    } else {
        show();
        FormDashboard->hide();
    }
}

void TFormLogin::ParseJsonUserAcc()
{
    try {
        AppState& st = State();
        if (st.LoggedIn) {
            QJsonObject& balance = st.BalanceJson.emplace();
            if (!st.CoinNames) throw json::JsonError(QStringLiteral("the coin catalogue has not been loaded"));
            snapshot::DeriveBalance(st.UserAccountJson.value_or(QJsonObject()), *st.CoinNames, balance);
            BindLabelsByName(FormDashboard, QStringLiteral("wall"), balance);
        }
        if (FormDashboard->isVisible()) FormDashboard->show_full_balance();
    } catch (const std::exception& e) {
        ShowErrorMessage(QStringLiteral("Error ParseJsonUserAcc: ") + ErrorText(e), QString());
    }
}

// ---- remembered credentials ----

void TFormLogin::SaveOpenWallet(const QString& com)
{
    const QString path = credentials::FilePath();
    if (com == QLatin1String("save")) {
        if (State().PassHash.isEmpty()) State().PassHash = MD5(ui.PassEdit->text());
        credentials::Save(path, ui.LoginEdit->text(), State().PassHash);
    } else if (com == QLatin1String("open")) {
        const credentials::Loaded loaded = credentials::Open(path);
        if (loaded.login) ui.LoginEdit->setText(*loaded.login);
        if (loaded.pass) State().PassHash = *loaded.pass;
        if (loaded.complete()) ui.BtnGuest->hide();
    }
}

// ---- buttons ----

void TFormLogin::BtnLoginClick(QObject* Sender)
{
    Q_UNUSED(Sender);
    if (State().PassHash.isEmpty()) State().PassHash = MD5(ui.PassEdit->text());
    ui.RePassEdit->setText(ui.PassEdit->text());
    SetRegistrationFieldsVisible(false);
    StartLoading();
    CheckBalance(QStringLiteral("useraccount"));
    SaveOpenWallet(QStringLiteral("save"));
}

void TFormLogin::BtnRegClick()
{
    if (ui.RePassEdit->isHidden()) {
        ui.RePassEdit->clear();
        SetRegistrationFieldsVisible(true);
        return;
    }
    State().PassHash = MD5(ui.PassEdit->text());
    StartLoading();
    CheckBalance(QStringLiteral("tg_new_user"));
    SaveOpenWallet(QStringLiteral("save"));
}

void TFormLogin::BtnGuestClick()
{
    std::uniform_int_distribution<quint32> draw(0, 999999999);
    ui.LoginEdit->setText(QStringLiteral("Guest") + QString::number(draw(Random())));
    ui.PassEdit->setText(QStringLiteral("pass") + MD5(QString::number(draw(Random()))));
    ui.RePassEdit->setText(ui.PassEdit->text());
    State().PassHash = MD5(ui.PassEdit->text());
    ui.LoadingAnim->show();
    CheckBalance(QStringLiteral("tg_new_user"));
    SaveOpenWallet(QStringLiteral("save"));
}

void TFormLogin::PassEditChange()
{
    State().PassHash.clear();
    if (ui.RePassEdit->isHidden()) ui.RePassEdit->setText(ui.PassEdit->text());
}

void TFormLogin::CheckBox1Change()
{
    ui.BtnReg->setEnabled(ui.CheckBox1->isChecked());
}

void TFormLogin::PrivacyPolicyTextClick()
{
    if (ui.Memo->document()->isEmpty()) {
        // Laid out on first reading, not at start: a long text costs start-up time.
        QFile terms(QStringLiteral(":/terms.txt"));
        if (terms.open(QIODevice::ReadOnly)) ui.Memo->setPlainText(QString::fromUtf8(terms.readAll()));
    }
    CentreIn(ui.PanelPrivacyPolicy, rect());
    ui.PanelPrivacyPolicy->show();
}

void TFormLogin::Button1Click()
{
    ui.PanelPrivacyPolicy->hide();
}

void TFormLogin::SClick()
{
    hide();
    FormSetting->show();
    FormSetting->ui.Label24->setText(QStringLiteral("Security code:"));
    State().SettingsReturnTo = QStringLiteral("login");
}

void TFormLogin::Image5Click()
{
    FormInfo->show();
    hide();
    FormInfo->ui.TabControl1->setCurrentWidget(FormInfo->ui.TabFeedBack);
    State().SettingsReturnTo = QStringLiteral("login");
}

void TFormLogin::Button3Click()
{
    launchBrowser(QString::fromLatin1(TelegramLink));
}
