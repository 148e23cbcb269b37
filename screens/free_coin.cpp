#include "free_coin.h"

#include "AppState.h"
#include "Community.h"
#include "Digest.h"
#include "NumberText.h"
#include "Requests.h"
#include "ServiceClient.h"

#include <QRandomGenerator>

TFormFaucet::TFormFaucet(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(30000);
    connect(Timer1, &QTimer::timeout, this, &TFormFaucet::Timer1Timer);
    Timer1->start();

    connect(ui.Button1, &QPushButton::clicked, this, &TFormFaucet::Button1Click);
    connect(ui.Button4, &QPushButton::clicked, this, &TFormFaucet::Button4Click);
    connect(ui.Text5, &ClickableLabel::clicked, this, &TFormFaucet::Text5Click);

    FormCreate();
}

void TFormFaucet::FormCreate()
{
    ui.PanelErrorMessage->hide();
    // Enter in the answer sends it, Escape closes the question.
    AddModalPanel(ui.panel_captha, ui.conf_randomResult, ui.Button4, ui.Text5);
    ui.panel_captha->hide();
}

QString TFormFaucet::AdsBaseUrl()
{
    return community::AdsBaseUrl(community::HostPort(State().ServerAddress));
}

void TFormFaucet::LoadAdverts()
{
    const QString base = AdsBaseUrl();
    ui.WebBrowser1->Navigate(QUrl(base + community::AdsPages().at(0)));
    ui.WebBrowser2->Navigate(QUrl(base + community::AdsPages().at(1)));
}

void TFormFaucet::FormShow()
{
    LoadAdverts();
}

void TFormFaucet::Timer1Timer()
{
    if (isActiveWindow()) LoadAdverts();
}

void TFormFaucet::Button1Click()
{
    LoadAdverts();
    startRandomResult();
}

void TFormFaucet::startRandomResult()
{
    const community::FaucetQuestion question = community::RandomQuestion(*QRandomGenerator::global());
    State().FaucetAnswer = question.answer;
    ui.Text1->setText(question.text);
    CentreIn(ui.panel_captha, rect());
    ui.panel_captha->show();
}

void TFormFaucet::Button4Click()
{
    int answer = 0;
    try {
        answer = numtext::ParseWhole(ui.conf_randomResult->text());
    } catch (const numtext::ConversionError& e) {
        // Not a number at all: said at once, nothing sent, the question stays.
        ::ShowMessage(e.message());
        return;
    }
    if (answer != State().FaucetAnswer) {
        ::ShowMessage(QStringLiteral("You did not count correctly.."));
        return;
    }
    const AppState& st = State();
    SendMessage(QStringLiteral("free_coin"), api::FreeCoin(st.UserLogin, st.PassHash, digest::Gen_New_Session()),
                ui.Button4, [](const QString&) {
                    // The reward is in the account now: fetched at once rather
                    // than at the dashboard's next refresh.
                    if (State().LoggedIn) Service().RefreshAccount();
                });
    ui.panel_captha->hide();
}

void TFormFaucet::Text5Click()
{
    ui.panel_captha->hide();
}
