#include "Login.h"

#include "AccountModel.h"
#include "AppState.h"
#include "BuildConfig.h"
#include "Credentials.h"
#include "Digest.h"
#include "HttpClient.h"
#include "Json.h"
#include "Requests.h"
#include "ServiceClient.h"
#include "pictures/Pictures.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QRandomGenerator>
#include <QUrl>
#include <algorithm>
#include <utility>

namespace {
constexpr auto TelegramLink = "tg://resolve?domain=ambervale";
} // namespace

TFormLogin::TFormLogin(QWidget* parent) : Screen(parent)
{
    ui.setupUi(this);
    // Drawn at build time: the first paint needs no SVG plugin (the form sets no pixmap).
    ui.Image1->setPixmap(pictures::LoginHeader(devicePixelRatioF()));
    ui.Image5->setPixmap(pictures::InfoIcon(devicePixelRatioF()));
    {
        // The symbol at the end of the community button's text is drawn as our
        // own picture, so the first paint needs no emoji font.
        QString shown = ui.Button3->text();
        while (!shown.isEmpty() && shown.back().isSurrogate()) shown.chop(1);
        ui.Button3->DrawAs(shown, pictures::Alien(devicePixelRatioF()));
    }
    InitScreen();

    ShowTimer = new QTimer(this);
    ShowTimer->setSingleShot(true);
    ShowTimer->setInterval(500);
    connect(ShowTimer, &QTimer::timeout, this, &TFormLogin::ShowTimerTimer);
    ReloginTimer = new QTimer(this);
    ReloginTimer->setSingleShot(true);
    // A coarse timer may fire 5 % early: the back-off promises whole seconds.
    ReloginTimer->setTimerType(Qt::PreciseTimer);
    connect(ReloginTimer, &QTimer::timeout, this, [this] { BtnLoginClick(this); });

    // The login screen composes the account and settings requests (it holds
    // the typed login); the service client carries them.
    ServiceClient& service = Service();
    HttpClient* account = service.Client(ServiceClient::Channel::Account);
    HttpClient* settings = service.Client(ServiceClient::Channel::Settings);
    connect(account, &HttpClient::RequestCompleted, this, &TFormLogin::NetHTTPClient1RequestCompleted);
    connect(account, &HttpClient::RequestError, this, &TFormLogin::NetHTTPClient1RequestError);
    connect(settings, &HttpClient::RequestCompleted, this, &TFormLogin::NetHTTPClient_c_coin_nameRequestCompleted);
    connect(settings, &HttpClient::RequestError, this, &TFormLogin::NetHTTPClient_c_coin_nameRequestError);
    connect(&service, &ServiceClient::AccountRefreshWanted, this, [this] { CheckBalance(QStringLiteral("useraccount")); });

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
    AddModalPanel(ui.PanelPrivacyPolicy, ui.Memo, ui.Button1, ui.Button1);
    ui.WebBrowser1->hide(); // never shown and given no address: nothing loads behind the user's back
    ui.VerApp->setText(QStringLiteral("v") + ReadFileVersion());
}

void TFormLogin::FormShow()
{
    ShowLoading();
    ShowTimer->start();
}

void TFormLogin::ShowTimerTimer()
{
    ShowTimer->stop(); // once per showing
    SaveOpenWallet(QStringLiteral("open"));
    HideLoading();
    if (State().ServerLoadPercent == 0) c_name_coin();
}

void TFormLogin::FormCloseQuery(bool& CanClose)
{
    CanClose = true;
    QCoreApplication::quit(); // the main window: closing it ends the program
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
    ::ShowMessage(mes, formname);
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

quint32 TFormLogin::GuestNumber()
{
    return QRandomGenerator::system()->bounded(1000000000u);
}

// ---- platform settings ----

void TFormLogin::c_name_coin()
{
    static const QStringList actions{QStringLiteral("all_json_setting")};
    for (const QString& action : actions)
        Service().Client(ServiceClient::Channel::Settings)->Post(State().ApiUrl(), api::Settings(action, Gen_New_Session()));
    ShowLoading();
}

void TFormLogin::NetHTTPClient_c_coin_nameRequestCompleted(const QString& body)
{
    Guard(QStringLiteral("Error Client_c_coin_nameRequest: "), [&] {
        if (body.isEmpty()) throw json::JsonError(QStringLiteral("the reply is empty"));
        if (body.startsWith(QLatin1Char('{'))) {
            Account().ApplySettings(json::ParseObject(body));
        }
        HideLoading();
        State().ServerLoadPercent = 100;
        if (!State().PassHash.isEmpty() && State().AutoLoginPending == 1) {
            BtnLoginClick(this);
            State().AutoLoginPending = 0;
        }
    });
}

void TFormLogin::NetHTTPClient_c_coin_nameRequestError(const QString& description)
{
    State().SwitchSchemeAfterSettingsFailure(); // the account request keeps its scheme
    State().ServerLoadPercent = 0;
    HideLoading();
    ShowErrorMessage(QStringLiteral("c_coin_name:") + description, QString());
}

// ---- the account request ----

void TFormLogin::CheckBalance(const QString& com, bool byUser)
{
    AppState& st = State();
    st.UserLogin = ui.LoginEdit->text();
    const FormFields fields = api::Account(com, ui.InvCode->text(), st.UserLogin, st.PassHash, Gen_New_Session());
    if (ui.RePassEdit->text() != ui.PassEdit->text()) {
        m_rememberOnAccept = false;
        HideLoading(); // nothing is awaited
        ShowErrorMessage(QStringLiteral("Check if the password is written correctly"), QString());
        return;
    }
    if (!byUser) {
        Service().Client(ServiceClient::Channel::Account)->Post(st.SecureApiUrl(), fields);
        return;
    }
    const bool sent = Service().Post(QStringLiteral("login"), ServiceClient::Channel::Account, st.SecureApiUrl(),
                                     fields, this, [this](const HttpClient::Outcome& outcome) {
                                         SetAccountButtonsEnabled(true);
                                         if (outcome.ok)
                                             NetHTTPClient1RequestCompleted(outcome.body);
                                         else
                                             NetHTTPClient1RequestError(outcome.description);
                                     });
    if (sent) SetAccountButtonsEnabled(false);
}

void TFormLogin::SetAccountButtonsEnabled(bool enabled)
{
    if (!enabled) m_regEnabled = ui.BtnReg->isEnabled();
    ui.BtnLogin->setEnabled(enabled);
    ui.BtnGuest->setEnabled(enabled);
    ui.BtnReg->setEnabled(enabled && m_regEnabled);
}

void TFormLogin::NetHTTPClient1RequestCompleted(const QString& body)
{
    Guard(QStringLiteral("Error Client1Request: "), [&] {
        AppState& st = State();
        if (st.ServerLoadPercent < 100) {
            // The service answered over the starting scheme, so it is back: fetch
            // the settings there and log in as soon as they arrive, without a
            // second click.
            ShowErrorMessage(QStringLiteral("Wait for the server to fully load and try again"), QString());
            st.ReturnToStartingScheme();
            if (!st.PassHash.isEmpty()) st.AutoLoginPending = 1;
            c_name_coin();
            return;
        }
        HideLoading();
        if (body.isEmpty()) throw json::JsonError(QStringLiteral("the reply is empty"));
        if (!body.startsWith(QLatin1Char('T'))) m_reloginStreak = 0;
        const bool remember = std::exchange(m_rememberOnAccept, false);
        if (body.startsWith(QLatin1Char('{'))) {
            const QJsonObject account = json::ParseObject(body);
            // Written only once the service took them: a refused attempt must
            // not replace the way back into the account last used.
            if (remember) SaveOpenWallet(QStringLiteral("save"));
            st.LoggedIn = true;
            ParseJsonUserAcc(account);
            // A failed derivation keeps the screens as they are: opening the dashboard
            // would replace its message with a later step's "member not found".
            if (!m_snapshotFailed && (IsShown(QStringLiteral("dashboard")) || isVisible())) OpenWalletFunc();
        } else if (body.startsWith(QLatin1Char('T'))) {
            ScheduleRelogin();
            ShowErrorMessage(body, QStringLiteral("FormDashboard"));
        } else {
            st.LoggedIn = false;
            OpenWalletFunc();
            ShowErrorMessage(body, QString());
        }
    });
}

int TFormLogin::ReloginDelayMs(int streak)
{
    return std::min(1000 << std::clamp(streak, 0, 6), 60000);
}

void TFormLogin::ScheduleRelogin()
{
    if (ReloginTimer->isActive()) return; // one re-login at a time, however many "T" replies arrive
    ReloginTimer->start(ReloginDelayMs(m_reloginStreak));
    ++m_reloginStreak;
}

void TFormLogin::NetHTTPClient1RequestError(const QString& description)
{
    m_rememberOnAccept = false;
    HideLoading();
    ShowErrorMessage(QStringLiteral("Error:") + description, QString());
}

void TFormLogin::OpenWalletFunc()
{
    if (State().LoggedIn) {
        Open(QStringLiteral("dashboard"));
    } else {
        show();
        if (Screen* dashboard = ScreenByName(QStringLiteral("dashboard"))) dashboard->hide();
    }
}

void TFormLogin::ParseJsonUserAcc(const QJsonObject& account)
{
    m_snapshotFailed = true;
    Guard(QStringLiteral("Error ParseJsonUserAcc: "), [&] {
        // The dashboard redraws from the model.
        if (State().LoggedIn) Account().TakeSnapshot(account);
        m_snapshotFailed = false;
    });
}

// ---- remembered credentials ----

void TFormLogin::SaveOpenWallet(const QString& com)
{
    const QString path = credentials::FilePath();
    if (com == QLatin1String("save")) {
        credentials::Save(path, State().UserLogin, State().PassHash);
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
    ShowLoading();
    m_rememberOnAccept = true;
    CheckBalance(QStringLiteral("useraccount"), true);
}

void TFormLogin::BtnRegClick()
{
    if (ui.RePassEdit->isHidden()) {
        ui.RePassEdit->clear();
        SetRegistrationFieldsVisible(true);
        return;
    }
    State().PassHash = MD5(ui.PassEdit->text());
    ShowLoading();
    m_rememberOnAccept = true;
    CheckBalance(QStringLiteral("tg_new_user"), true);
}

void TFormLogin::BtnGuestClick()
{
    ui.LoginEdit->setText(QStringLiteral("Guest") + QString::number(GuestNumber()));
    ui.PassEdit->setText(QStringLiteral("pass") + MD5(QString::number(GuestNumber())));
    ui.RePassEdit->setText(ui.PassEdit->text());
    State().PassHash = MD5(ui.PassEdit->text());
    ShowLoading();
    m_rememberOnAccept = true;
    CheckBalance(QStringLiteral("tg_new_user"), true);
}

void TFormLogin::PassEditChange()
{
    State().PassHash.clear();
    if (ui.RePassEdit->isHidden()) ui.RePassEdit->setText(ui.PassEdit->text());
}

void TFormLogin::CheckBox1Change()
{
    // While a login is out the button stays disabled and takes this state after.
    if (Service().Busy(QStringLiteral("login")))
        m_regEnabled = ui.CheckBox1->isChecked();
    else
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
    Open(QStringLiteral("settings"));
}

void TFormLogin::Image5Click()
{
    Open(QStringLiteral("info"));
}

void TFormLogin::Button3Click()
{
    launchBrowser(QString::fromLatin1(TelegramLink));
}
