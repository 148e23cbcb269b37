#include "SecurityTab.h"

#include "AccountModel.h"
#include "AppState.h"
#include "Digest.h"
#include "QrCode.Tools.h"
#include "SafetyPrefs.h"
#include "ServiceClient.h"
#include "TwoFactor.h"
#include "common/Screen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

QString LockCaption(int minutes)
{
    if (minutes == 0) return QStringLiteral("Off");
    if (minutes == 1) return QStringLiteral("1 minute");
    if (minutes == 60) return QStringLiteral("1 hour");
    return QStringLiteral("%1 minutes").arg(minutes);
}

QLineEdit* CodeField(QWidget* parent, const QString& name, const QString& accessible)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setPlaceholderText(QStringLiteral("6-digit code"));
    e->setMaxLength(6);
    e->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    e->setAccessibleName(accessible);
    return e;
}

} // namespace

SecurityTab::SecurityTab(Screen* screen) : m_screen(screen)
{
    setObjectName(QStringLiteral("security"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setAccessibleName(QStringLiteral("Security"));
    outer->addWidget(scroll);
    auto* body = new QWidget(scroll);
    scroll->setWidget(body);
    auto* form = new QFormLayout(body);

    m_lock = new QComboBox(body);
    m_lock->setObjectName(QStringLiteral("AutoLockList"));
    m_lock->setAccessibleName(QStringLiteral("Lock after"));
    for (int minutes : SafetyPrefs::LockChoices()) m_lock->addItem(LockCaption(minutes), minutes);
    form->addRow(QStringLiteral("Lock after:"), m_lock);

    m_hide = new QCheckBox(QStringLiteral("Hide balances"), body);
    m_hide->setObjectName(QStringLiteral("HideBalances"));
    form->addRow(m_hide);

    m_status = new QLabel(body);
    m_status->setObjectName(QStringLiteral("TwofaStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    form->addRow(m_status);

    m_setup = new QPushButton(QStringLiteral("Set up two-factor codes"), body);
    m_setup->setObjectName(QStringLiteral("TwofaSetup"));
    form->addRow(m_setup);
    m_qr = new QLabel(body);
    m_qr->setObjectName(QStringLiteral("TwofaQr"));
    m_qr->setFixedSize(180, 180);
    m_qr->setAccessibleName(QStringLiteral("QR code for the authenticator app"));
    form->addRow(m_qr);
    m_secret = new QLabel(body);
    m_secret->setObjectName(QStringLiteral("TwofaSecret"));
    m_secret->setTextFormat(Qt::PlainText);
    m_secret->setWordWrap(true);
    m_secret->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    form->addRow(m_secret);
    m_code = CodeField(body, QStringLiteral("TwofaCode"), QStringLiteral("Code to turn two-factor codes on"));
    m_enable = new QPushButton(QStringLiteral("Turn on"), body);
    m_enable->setObjectName(QStringLiteral("TwofaEnable"));
    form->addRow(m_code, m_enable);

    m_offPass = new QLineEdit(body);
    m_offPass->setObjectName(QStringLiteral("TwofaPass"));
    m_offPass->setEchoMode(QLineEdit::Password);
    m_offPass->setPlaceholderText(QStringLiteral("Password"));
    m_offPass->setAccessibleName(QStringLiteral("Password"));
    form->addRow(m_offPass);
    m_offCode = CodeField(body, QStringLiteral("TwofaOffCode"), QStringLiteral("Code to turn two-factor codes off"));
    m_disable = new QPushButton(QStringLiteral("Turn off"), body);
    m_disable->setObjectName(QStringLiteral("TwofaDisable"));
    form->addRow(m_offCode, m_disable);

    if (SafetyPrefs* prefs = SafetyPrefs::Instance()) {
        m_lock->setCurrentIndex(std::max(0, m_lock->findData(prefs->LockMinutes())));
        m_hide->setChecked(prefs->HideBalances());
        connect(prefs, &SafetyPrefs::HideBalancesChanged, m_hide, &QCheckBox::setChecked);
    }
    connect(m_lock, &QComboBox::currentIndexChanged, this, [this] {
        if (SafetyPrefs* prefs = SafetyPrefs::Instance()) prefs->SetLockMinutes(m_lock->currentData().toInt());
    });
    connect(m_hide, &QCheckBox::toggled, this, [](bool on) {
        if (SafetyPrefs* prefs = SafetyPrefs::Instance()) prefs->SetHideBalances(on);
    });
    connect(m_setup, &QPushButton::clicked, this, &SecurityTab::SetupClick);
    connect(m_enable, &QPushButton::clicked, this, &SecurityTab::EnableClick);
    connect(m_disable, &QPushButton::clicked, this, &SecurityTab::DisableClick);
    connect(&Account(), &AccountModel::AccountChanged, this, &SecurityTab::Refresh);
    ForgetSetup();
    Refresh();
}

void SecurityTab::Refresh()
{
    const bool in = State().LoggedIn;
    const bool on = in && Account().TwoFactorOn();
    if (!in)
        m_status->setText(QStringLiteral("Log in to set up two-factor codes."));
    else if (on)
        m_status->setText(QStringLiteral("Two-factor codes are on: withdrawals and password changes ask for a code."));
    else
        m_status->setText(QStringLiteral("Two-factor codes are off."));
    m_setup->setVisible(in && !on);
    m_offPass->setVisible(on);
    m_offCode->setVisible(on);
    m_disable->setVisible(on);
    if (on || !in) ForgetSetup();
}

void SecurityTab::ForgetSetup()
{
    // The secret is shown only until codes are on (or the setup is left).
    m_qr->clear();
    m_qr->hide();
    m_secret->clear();
    m_secret->hide();
    m_code->clear();
    m_code->hide();
    m_enable->hide();
}

void SecurityTab::SetupClick()
{
    const AppState& st = State();
    const QPointer<QPushButton> button = m_setup;
    const bool sent = Service().Post(
        QStringLiteral("twofa_setup"), ServiceClient::Channel::Message, st.SecureApiUrl(),
        twofa::SetupFields(st.UserLogin, st.PassHash, digest::Gen_New_Session()), this,
        [this, button](const HttpClient::Outcome& outcome) {
            if (button) button->setEnabled(true);
            if (!outcome.ok) {
                m_screen->ShowMessage(QStringLiteral("MessageResult:") + outcome.description);
                return;
            }
            SetupAnswered(outcome.body);
        });
    if (sent) m_setup->setEnabled(false);
}

void SecurityTab::SetupAnswered(const QString& body)
{
    const std::optional<twofa::Setup> setup = twofa::ParseSetup(body);
    if (!setup) {
        // A refusal is a text ("Already on: ..."); anything else is not shown as a code.
        ForgetSetup();
        m_screen->ShowMessage(body.startsWith(QLatin1Char('{')) ? QStringLiteral("The service's answer is not a setup.")
                                                                : body);
        return;
    }
    m_qr->show();
    TQrCodeTools::Generate(setup->uri, m_qr);
    m_secret->setText(QStringLiteral("Scan the code with your authenticator app, or type this key: ") + setup->secret);
    m_secret->show();
    m_code->show();
    m_enable->show();
    m_code->setFocus(Qt::OtherFocusReason);
}

void SecurityTab::EnableClick()
{
    const QString code = twofa::CleanCode(m_code->text());
    if (code.isEmpty()) {
        m_screen->ShowMessage(QStringLiteral("Type the 6-digit code from your authenticator app."));
        return;
    }
    const AppState& st = State();
    m_screen->SendMessage(QStringLiteral("twofa_enable"),
                          twofa::EnableFields(st.UserLogin, st.PassHash, code, digest::Gen_New_Session()), m_enable,
                          [this](const QString& reply) {
                              if (reply.startsWith(QLatin1String("Done:"))) {
                                  ForgetSetup();
                                  Service().RefreshAccount();
                              }
                          });
}

void SecurityTab::DisableClick()
{
    const QString code = twofa::CleanCode(m_offCode->text());
    if (m_offPass->text().isEmpty()) {
        m_screen->ShowMessage(QStringLiteral("Enter the password"));
        return;
    }
    if (code.isEmpty()) {
        m_screen->ShowMessage(QStringLiteral("Type the 6-digit code from your authenticator app."));
        return;
    }
    const AppState& st = State();
    const QString digest = digest::MD5(m_offPass->text());
    m_offPass->clear();
    m_offCode->clear();
    m_screen->SendMessage(QStringLiteral("twofa_disable"),
                          twofa::DisableFields(st.UserLogin, digest, code, digest::Gen_New_Session()), m_disable,
                          [](const QString& reply) {
                              if (reply.startsWith(QLatin1String("Done:"))) Service().RefreshAccount();
                          });
}
