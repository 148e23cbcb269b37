#include "Login.h"

#include "AccountSnapshot.h"
#include "AppState.h"
#include "BuildConfig.h"
#include "ClientPresets.h"
#include "Credentials.h"
#include "Digest.h"
#include "HttpClient.h"
#include "Json.h"
#include "Lotto.h"
#include "PlatformSettings.h"
#include "Requests.h"
#include "Screens.h"
#include "common/LabelBinding.h"
#include "pictures/Pictures.h"
#include "dashboard.h"
#include "info.h"
#include "settings.h"
#include "swapcoin.h"

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
    InitScreen();

    ShowTimer = new QTimer(this);
    ShowTimer->setSingleShot(true);
    ShowTimer->setInterval(500);
    connect(ShowTimer, &QTimer::timeout, this, &TFormLogin::ShowTimerTimer);
    ReloginTimer = new QTimer(this);
    ReloginTimer->setSingleShot(true);
    connect(ReloginTimer, &QTimer::timeout, this, [this] { BtnLoginClick(this); });

    NetHTTPClient1 = clients::Make(QStringLiteral("NetHTTPClient1"), clients::Preset::Account, this);
    NetHTTPClient_c_coin_name =
        clients::Make(QStringLiteral("NetHTTPClient_c_coin_name"), clients::Preset::Settings, this);
    NetHTTP_MessageResult = clients::Make(QStringLiteral("NetHTTP_MessageResult"), clients::Preset::Message, this);
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

// ---- the shared message client ----

void TFormLogin::NetHTTP_MessageResultRequestCompleted(const QString& body)
{
    FormSetting->ChangeAnswered(body);
    ShowErrorMessage(body, QString());
}

void TFormLogin::NetHTTP_MessageResultRequestError(const QString& description)
{
    HideLoading();
    ShowErrorMessage(QStringLiteral("MessageResult:") + description, QString());
}

// ---- platform settings ----

void TFormLogin::c_name_coin()
{
    static const QStringList actions{QStringLiteral("all_json_setting")};
    for (const QString& action : actions)
        NetHTTPClient_c_coin_name->Post(State().ApiUrl(), api::Settings(action, Gen_New_Session()));
    ShowLoading();
}

void TFormLogin::NetHTTPClient_c_coin_nameRequestCompleted(const QString& body)
{
    Guard(QStringLiteral("Error Client_c_coin_nameRequest: "), [&] {
        if (body.isEmpty()) throw json::JsonError(QStringLiteral("the reply is empty"));
        if (body.startsWith(QLatin1Char('{'))) {
            settings::ApplyReply(json::ParseObject(body), State(), [](const QStringList& codes) {
                FormSwap->FillCoinLists(codes);
                FormLotto->FillCoinList(codes);
            });
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

void TFormLogin::CheckBalance(const QString& com)
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
    NetHTTPClient1->Post(st.SecureApiUrl(), fields);
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
            st.UserAccountJson = json::ParseObject(body);
            // Written only once the service took them: a refused attempt must
            // not replace the way back into the account last used.
            if (remember) SaveOpenWallet(QStringLiteral("save"));
            st.LoggedIn = true;
            ParseJsonUserAcc();
            // A failed derivation keeps the screens as they are: opening the dashboard
            // would replace its message with a later step's "member not found".
            if (!m_snapshotFailed && (FormDashboard->isVisible() || isVisible())) OpenWalletFunc();
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
        FormDashboard->show();
        hide();
    } else {
        show();
        FormDashboard->hide();
    }
}

void TFormLogin::ParseJsonUserAcc()
{
    m_snapshotFailed = true;
    Guard(QStringLiteral("Error ParseJsonUserAcc: "), [&] {
        AppState& st = State();
        if (st.LoggedIn) {
            QJsonObject& balance = st.BalanceJson.emplace();
            if (!st.CoinNames) throw json::JsonError(QStringLiteral("the coin catalogue has not been loaded"));
            snapshot::DeriveBalance(st.UserAccountJson.value_or(QJsonObject()), *st.CoinNames, balance);
            BindLabelsByName(FormDashboard, QStringLiteral("wall"), balance);
        }
        m_snapshotFailed = false;
        if (FormDashboard->isVisible()) FormDashboard->show_full_balance();
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
    CheckBalance(QStringLiteral("useraccount"));
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
    CheckBalance(QStringLiteral("tg_new_user"));
}

void TFormLogin::BtnGuestClick()
{
    ui.LoginEdit->setText(QStringLiteral("Guest") + QString::number(GuestNumber()));
    ui.PassEdit->setText(QStringLiteral("pass") + MD5(QString::number(GuestNumber())));
    ui.RePassEdit->setText(ui.PassEdit->text());
    State().PassHash = MD5(ui.PassEdit->text());
    ui.LoadingAnim->show();
    m_rememberOnAccept = true;
    CheckBalance(QStringLiteral("tg_new_user"));
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
    FormSetting->SetPassCaption(QStringLiteral("Security code:"));
    State().SettingsReturnTo = QStringLiteral("login");
}

void TFormLogin::Image5Click()
{
    FormInfo->show();
    hide();
    FormInfo->SelectTab(QStringLiteral("TabFeedBack"));
    State().SettingsReturnTo = QStringLiteral("login");
}

void TFormLogin::Button3Click()
{
    launchBrowser(QString::fromLatin1(TelegramLink));
}
