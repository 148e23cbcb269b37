// Getting in: settings, log in, register, guest, remembered credentials, the account reply.
#include "ScreenTestSupport.h"

#include "Credentials.h"
#include "Digest.h"
#include "HttpClient.h"
#include "Login.h"
#include "Lotto.h"
#include "Tls.h"
#include "dashboard.h"
#include "info.h"
#include "invest.h"
#include "settings.h"
#include "swapcoin.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <atomic>
#include <memory>

using namespace support;

namespace {
QStringList Items(QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}
QStringList FieldNames(const RecordedRequest& r)
{
    QStringList out;
    for (const auto& f : r.fields) out << f.first;
    return out;
}
QList<RecordedRequest> WithAction(const FakeService& fake, const QString& action)
{
    QList<RecordedRequest> out;
    for (const auto& r : fake.requests())
        if (r.field("a") == action) out << r;
    return out;
}
} // namespace

class LoginTest : public ScreenTest {
    Q_OBJECT

    // Replies by action: settings and account replies can be swapped per test.
    QByteArray settingsBody;
    QByteArray accountBody;
    QMutex mutex;

    void Serve()
    {
        fake->setHandler([this](const RecordedRequest& r) {
            QMutexLocker lock(&mutex);
            ScriptedReply reply;
            const QString a = r.field("a");
            reply.body = a == "all_json_setting" ? settingsBody : accountBody;
            return reply;
        });
    }
    void SetAccountBody(const QByteArray& body)
    {
        QMutexLocker lock(&mutex);
        accountBody = body;
    }
    void SetSettingsBody(const QByteArray& body)
    {
        QMutexLocker lock(&mutex);
        settingsBody = body;
    }
    void StartAndWaitForSettings()
    {
        Get<TFormLogin>("login")->show();
        QTRY_COMPARE(State().ServerLoadPercent, 100);
    }
    void SaveCredentialsFile(const QString& login, const QString& hash)
    {
        QVERIFY(credentials::Save(credentials::FilePath(), login, hash));
    }

    void Script() override
    {
        settingsBody = Json(SettingsReply());
        accountBody = Json(AccountReply());
        Serve();
    }

private slots:

    void firstStartWithoutFileSendsOnlyTheSettings()
    {
        Get<TFormLogin>("login")->show();
        QVERIFY(!Child<QLabel>(Get<TFormLogin>("login"), "LoadingAnim")->isHidden());
        QTRY_COMPARE(State().ServerLoadPercent, 100);
        QTest::qWait(200);
        QCOMPARE(fake->requestCount(), 1);
        const RecordedRequest r = fake->requests().at(0);
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.pathWithoutQuery(), QByteArray("/api.php"));
        QCOMPARE(FieldNames(r), (QStringList{"a", "session"}));
        QCOMPARE(r.field("a"), QStringLiteral("all_json_setting"));
        QCOMPARE(r.header("Content-Type"), QByteArray("application/x-www-form-urlencoded; charset=utf-8"));
        QCOMPARE(r.header("User-Agent"), QByteArray(HttpClient::BrowserUserAgent));
        QVERIFY(Child<QPushButton>(Get<TFormLogin>("login"), "BtnGuest")->isVisible());
        QVERIFY(!State().LoggedIn);
        QVERIFY(Child<QLabel>(Get<TFormLogin>("login"), "LoadingAnim")->isHidden());
    }

    void savedCredentialsLogInOnceSettingsArrive()
    {
        const QString hash = digest::MD5("secret");
        SaveCredentialsFile("alice", hash);
        StartAndWaitForSettings();
        QCOMPARE(Child<QLineEdit>(Get<TFormLogin>("login"), "LoginEdit")->text(), QStringLiteral("alice"));
        QVERIFY(Child<QLineEdit>(Get<TFormLogin>("login"), "PassEdit")->text().isEmpty());
        QVERIFY(Child<QPushButton>(Get<TFormLogin>("login"), "BtnGuest")->isHidden());
        QTRY_VERIFY(State().LoggedIn);
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormLogin>("login")->isVisible());
        const auto logins = WithAction(*fake, "useraccount");
        QCOMPARE(logins.size(), 1);
        QCOMPARE(FieldNames(logins[0]), (QStringList{"a", "ref", "s", "pass", "session"}));
        QCOMPARE(logins[0].field("s"), QStringLiteral("alice"));
        QCOMPARE(logins[0].field("pass"), hash);
        QCOMPARE(logins[0].field("ref"), QString(""));
        QCOMPARE(State().AutoLoginPending, 0);

        // A second settings reply does not log in again.
        Get<TFormLogin>("login")->c_name_coin();
        QTRY_COMPARE(WithAction(*fake, "all_json_setting").size(), 2);
        QTest::qWait(300);
        QCOMPARE(WithAction(*fake, "useraccount").size(), 1);
    }

    void loginBeforeSettingsWaitsForThem()
    {
        // Clicked at once, before the start-up timer asks for the settings.
        Child<QLineEdit>(Get<TFormLogin>("login"), "LoginEdit")->setText("bob");
        Child<QLineEdit>(Get<TFormLogin>("login"), "PassEdit")->setText("pw");
        Activate(Get<TFormLogin>("login"));
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnLogin"), Qt::LeftButton);
        QCOMPARE(State().ServerLoadPercent, 0);
        QTRY_VERIFY(PanelShown(Get<TFormLogin>("login")));
        QTRY_COMPARE(PanelText(Get<TFormLogin>("login")), QStringLiteral("Wait for the server to fully load and try again"));
        // The settings are requested, and once in, the login runs by itself.
        QTRY_VERIFY(WithAction(*fake, "all_json_setting").size() >= 1);
        QTRY_COMPARE(WithAction(*fake, "useraccount").size(), 2);
        QTRY_VERIFY(State().LoggedIn);
        // The dropped reply came before any settings request was answered.
        const auto all = fake->requests();
        QCOMPARE(all.at(0).field("a"), QStringLiteral("useraccount"));
    }

    void typedPasswordReplacesTheSavedDigest()
    {
        SaveCredentialsFile("carol", digest::MD5("old"));
        SetAccountBody("Wrong password");
        StartAndWaitForSettings();
        QTRY_COMPARE(WithAction(*fake, "useraccount").size(), 1); // the automatic one
        // Its answer is in: until then the login button takes no press.
        QTRY_VERIFY(Child<QPushButton>(Get<TFormLogin>("login"), "BtnLogin")->isEnabled());
        Child<QLineEdit>(Get<TFormLogin>("login"), "PassEdit")->setText("new password");
        QVERIFY(State().PassHash.isEmpty());
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnLogin"), Qt::LeftButton);
        QTRY_COMPARE(WithAction(*fake, "useraccount").size(), 2);
        QCOMPARE(WithAction(*fake, "useraccount").at(1).field("pass"), digest::MD5("new password"));
        // Refused: the file keeps the digest it had. (The panel may still show the automatic
        // login's refusal: the button taking presses again says this answer is in.)
        QTRY_VERIFY(Child<QPushButton>(Get<TFormLogin>("login"), "BtnLogin")->isEnabled());
        QTRY_VERIFY(PanelShown(Get<TFormLogin>("login")));
        QCOMPARE(*credentials::Open(credentials::FilePath()).pass, digest::MD5("old"));
        // Accepted: the file takes the new one.
        SetAccountBody(Json(AccountReply()));
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnLogin"), Qt::LeftButton);
        QTRY_VERIFY(State().LoggedIn);
        QCOMPARE(*credentials::Open(credentials::FilePath()).pass, digest::MD5("new password"));
    }

    // The file holds the credentials that last got in: an attempt the service
    // refuses (or never answers) leaves it alone, so a guest typing another
    // login by mistake does not lose the way back into the guest account.
    void credentialsRememberedOnlyOnceAccepted_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("remembered");
        const QByteArray accepted = Json(AccountReply());
        const QByteArray refused = "Wrong login or password.";
        QTest::newRow("log in accepted") << "BtnLogin" << accepted << true;
        QTest::newRow("log in refused") << "BtnLogin" << refused << false;
        QTest::newRow("registration accepted") << "BtnReg" << accepted << true;
        QTest::newRow("registration refused") << "BtnReg" << QByteArray("This login is already taken") << false;
        QTest::newRow("guest accepted") << "BtnGuest" << accepted << true;
        QTest::newRow("guest refused") << "BtnGuest" << QByteArray("Too many registrations, wait") << false;
        QTest::newRow("log in unanswered") << "BtnLogin" << QByteArray() << false;
    }
    void credentialsRememberedOnlyOnceAccepted()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, reply);
        QFETCH(bool, remembered);
        StartAndWaitForSettings();
        const QString guestDigest = digest::MD5("pass0123");
        SaveCredentialsFile("Guest77", guestDigest);
        if (reply.isEmpty()) {
            ScriptedReply drop;
            drop.dropConnection = true;
            fake->setHandler([drop](const RecordedRequest&) { return drop; });
        } else {
            SetAccountBody(reply);
        }
        Activate(Get<TFormLogin>("login"));
        const int before = fake->requestCount();
        if (button == "BtnReg") QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnReg"), Qt::LeftButton);
        if (button != "BtnGuest") {
            Type(Get<TFormLogin>("login"), "LoginEdit", "mallory");
            Type(Get<TFormLogin>("login"), "PassEdit", "typed pw");
            if (button == "BtnReg") Type(Get<TFormLogin>("login"), "RePassEdit", "typed pw");
        }
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), button), Qt::LeftButton);
        QTRY_VERIFY(fake->requestCount() > before);
        QTRY_VERIFY(State().LoggedIn || PanelShown(Get<TFormLogin>("login")));
        const RecordedRequest sent = fake->requests().last();
        const credentials::Loaded file = credentials::Open(credentials::FilePath());
        QVERIFY(file.complete());
        if (remembered) {
            QCOMPARE(*file.login, sent.field("s"));
            QCOMPARE(*file.pass, sent.field("pass"));
        } else {
            QCOMPARE(*file.login, QStringLiteral("Guest77"));
            QCOMPARE(*file.pass, guestDigest);
        }
    }

    // Started while the service was down (the settings request failed and
    // fell back to plain HTTP), the service back: one click on "Log in" logs in.
    void oneClickLogsInOnceTheServiceIsBack()
    {
        fake = std::make_unique<FakeService>(FakeService::Transport::Https);
        QVERIFY(fake->isListening());
        QVERIFY(tls::TrustExtraCaFile(fake->caCertificatePath()) > 0);
        const auto down = std::make_shared<std::atomic<bool>>(true);
        fake->setHandler([down](const RecordedRequest& r) {
            ScriptedReply reply;
            reply.dropConnection = *down;
            reply.body = r.field("a") == "all_json_setting" ? Json(SettingsReply()) : Json(AccountReply());
            return reply;
        });
        State().ServerScheme = QStringLiteral("https");
        State().ServerAddress = QStringLiteral("://") + fake->hostPort() + QStringLiteral("/");
        Get<TFormLogin>("login")->show();
        QTRY_VERIFY_WITH_TIMEOUT(PanelShown(Get<TFormLogin>("login")), 15000);
        QTRY_VERIFY2(PanelText(Get<TFormLogin>("login")).startsWith("c_coin_name:"), qPrintable(PanelText(Get<TFormLogin>("login"))));
        QCOMPARE(State().ServerLoadPercent, 0);

        *down = false;
        Activate(Get<TFormLogin>("login"));
        Click(Get<TFormLogin>("login"), "Button2");
        Type(Get<TFormLogin>("login"), "LoginEdit", "back@example.com");
        Type(Get<TFormLogin>("login"), "PassEdit", "pw");
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnLogin"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(State().LoggedIn, 20000);
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QCOMPARE(WithAction(*fake, "useraccount").last().field("pass"), digest::MD5("pw"));
        // Nothing secret went over plain HTTP on the way.
        for (const RecordedRequest& r : fake->requests()) QVERIFY(r.encrypted);
    }

    void differentPasswordsSendNothing()
    {
        StartAndWaitForSettings();
        const int before = fake->requestCount();
        Activate(Get<TFormLogin>("login"));
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnReg"), Qt::LeftButton); // first click: registration fields only
        QVERIFY(!Child<QLineEdit>(Get<TFormLogin>("login"), "RePassEdit")->isHidden());
        QVERIFY(!Child<QLineEdit>(Get<TFormLogin>("login"), "InvCode")->isHidden());
        QCOMPARE(fake->requestCount(), before);
        QTest::keyClicks(Child<QLineEdit>(Get<TFormLogin>("login"), "LoginEdit"), "dave");
        QTest::keyClicks(Child<QLineEdit>(Get<TFormLogin>("login"), "PassEdit"), "one");
        QTest::keyClicks(Child<QLineEdit>(Get<TFormLogin>("login"), "RePassEdit"), "two");
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnReg"), Qt::LeftButton);
        QTRY_COMPARE(PanelText(Get<TFormLogin>("login")), QStringLiteral("Check if the password is written correctly"));
        // Nothing is awaited, so nothing turns.
        QVERIFY(Child<QLabel>(Get<TFormLogin>("login"), "LoadingAnim")->isHidden());
        QTest::qWait(200);
        QCOMPARE(fake->requestCount(), before);
        // Unchecking the terms box disables the button.
        Child<QCheckBox>(Get<TFormLogin>("login"), "CheckBox1")->setChecked(false);
        QVERIFY(!Child<QPushButton>(Get<TFormLogin>("login"), "BtnReg")->isEnabled());
        Child<QCheckBox>(Get<TFormLogin>("login"), "CheckBox1")->setChecked(true);
        QVERIFY(Child<QPushButton>(Get<TFormLogin>("login"), "BtnReg")->isEnabled());
    }

    void registrationSendsTheInvitationCode()
    {
        StartAndWaitForSettings();
        Activate(Get<TFormLogin>("login"));
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnReg"), Qt::LeftButton);
        Child<QLineEdit>(Get<TFormLogin>("login"), "LoginEdit")->setText("erin & co=1");
        Child<QLineEdit>(Get<TFormLogin>("login"), "PassEdit")->setText("pw +1");
        Child<QLineEdit>(Get<TFormLogin>("login"), "RePassEdit")->setText("pw +1");
        Child<QLineEdit>(Get<TFormLogin>("login"), "InvCode")->setText("INV 7");
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnReg"), Qt::LeftButton);
        QTRY_COMPARE(WithAction(*fake, "tg_new_user").size(), 1);
        const RecordedRequest r = WithAction(*fake, "tg_new_user").at(0);
        QCOMPARE(FieldNames(r), (QStringList{"a", "ref", "s", "pass", "session"}));
        QCOMPARE(r.field("ref"), QStringLiteral("INV 7"));
        QCOMPARE(r.field("s"), QStringLiteral("erin & co=1"));
        QCOMPARE(r.field("pass"), digest::MD5("pw +1"));
        QVERIFY(r.body.contains("s=erin+%26+co%3D1"));
        QTRY_VERIFY(State().LoggedIn);
    }

    void guestEntryRegistersAnInventedAccount()
    {
        StartAndWaitForSettings();
        Activate(Get<TFormLogin>("login"));
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnGuest"), Qt::LeftButton);
        QTRY_COMPARE(WithAction(*fake, "tg_new_user").size(), 1);
        const RecordedRequest r = WithAction(*fake, "tg_new_user").at(0);
        QVERIFY(QRegularExpression("^Guest(0|[1-9]\\d{0,8})$").match(r.field("s")).hasMatch());
        const QString password = Child<QLineEdit>(Get<TFormLogin>("login"), "PassEdit")->text();
        QVERIFY(QRegularExpression("^pass[0-9A-F]{32}$").match(password).hasMatch());
        QCOMPARE(r.field("pass"), digest::MD5(password));
        QCOMPARE(r.field("ref"), QString(""));
        const auto loaded = credentials::Open(credentials::FilePath());
        QCOMPARE(*loaded.login, r.field("s"));
        QCOMPARE(*loaded.pass, r.field("pass"));
    }

    void settingsFillTheCoinListsOnce()
    {
        SetSettingsBody(Json(SettingsReply({"btc", "ltc", "bnb", "eth", "doge", "trx", "usdt"})));
        StartAndWaitForSettings();
        const QStringList codes{"BTC", "LTC", "BNB", "ETH", "DOGE", "TRX", "USDT"};
        QCOMPARE(Items(Child<QComboBox>(Get<TFormSwap>("swap"), "ComboBox1")), codes);
        QCOMPARE(Items(Child<QComboBox>(Get<TFormSwap>("swap"), "ComboBox2")), codes);
        QCOMPARE(Items(Child<QComboBox>(Get<TFormLotto>("lottery"), "ComboBox1")), codes);
        QCOMPARE(Child<QComboBox>(Get<TFormSwap>("swap"), "ComboBox2")->currentText(), QStringLiteral("USDT"));
        QCOMPARE(Child<QComboBox>(Get<TFormLotto>("lottery"), "ComboBox1")->currentText(), QStringLiteral("DOGE"));
        QCOMPARE(Child<QComboBox>(Get<TFormSwap>("swap"), "ComboBox1")->currentIndex(), -1);
        QCOMPARE(Account().WithdrawPercent(), 3);
        QCOMPARE(Account().Codes(), QStringList({"btc", "ltc", "bnb", "eth", "doge", "trx", "usdt"}));
        QCOMPARE(Account().FullName("doge"), FullName("doge"));
        // Another reply leaves the catalogue in the lists once, not twice.
        Get<TFormLogin>("login")->c_name_coin();
        QTRY_COMPARE(WithAction(*fake, "all_json_setting").size(), 2);
        QTest::qWait(200);
        QCOMPARE(Items(Child<QComboBox>(Get<TFormSwap>("swap"), "ComboBox1")), codes);
        QCOMPARE(Items(Child<QComboBox>(Get<TFormLotto>("lottery"), "ComboBox1")), codes);
    }

    void badSettingsFailWithTheirPrefix_data()
    {
        QTest::addColumn<QByteArray>("body");
        QJsonObject fractional = SettingsReply();
        QJsonObject limits = fractional["min_withdraw_coin"].toObject();
        limits["perc_withdraw"] = "5.5";
        fractional["min_withdraw_coin"] = limits;
        QTest::newRow("fractional percentage") << Json(fractional);
        QJsonObject asString = SettingsReply();
        asString["min_withdraw_coin"] = QString::fromUtf8(Json(limits));
        QTest::newRow("object sent as text") << Json(asString);
        QTest::newRow("broken json") << QByteArray("{\"min_withdraw_coin\": ");
        QTest::newRow("empty body") << QByteArray();
        QJsonObject missing = SettingsReply();
        missing.remove("arr_fullname_coin");
        QTest::newRow("missing full names") << Json(missing);
    }

    void badSettingsFailWithTheirPrefix()
    {
        QFETCH(QByteArray, body);
        SetSettingsBody(body);
        Activate(Get<TFormLogin>("login"));
        QTRY_VERIFY(PanelShown(Get<TFormLogin>("login")));
        QTRY_VERIFY2(PanelText(Get<TFormLogin>("login")).startsWith("Error Client_c_coin_nameRequest: "),
                 qPrintable(PanelText(Get<TFormLogin>("login"))));
        QCOMPARE(State().ServerLoadPercent, 0);
        QVERIFY(!Child<QLabel>(Get<TFormLogin>("login"), "LoadingAnim")->isHidden());
        if (QTest::currentDataTag() == QLatin1String("fractional percentage")) {
            QVERIFY(Account().HasSettings()); // the limits were taken before the failing step
            QCOMPARE(Account().WithdrawPercent(), 0);
            QVERIFY(!Account().HasCatalogue());
        }
    }

    void plainTextSettingsCountAsLoadedSilently()
    {
        SetSettingsBody("Server notice");
        Activate(Get<TFormLogin>("login"));
        QTRY_COMPARE(State().ServerLoadPercent, 100);
        QVERIFY(!PanelShown(Get<TFormLogin>("login")));
        QVERIFY(!Account().HasCatalogue());
    }

    void settingsFailuresAlternateTheScheme()
    {
        State().ServerScheme = "https";
        State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(ClosedPort());
        State().ServerLoadPercent = 0;
        const QStringList expected{"http", "https", "http"};
        for (const QString& scheme : expected) {
            Child<MessagePanel>(Get<TFormLogin>("login"), "PanelErrorMessage")->hide();
            Get<TFormLogin>("login")->c_name_coin();
            QTRY_COMPARE(State().ServerScheme, scheme);
            QCOMPARE(State().ServerLoadPercent, 0);
            QVERIFY(State().ApiUrl().toString().startsWith(scheme + "://"));
        }
    }

    void replyStartingWithTLogsInAgain()
    {
        StartAndWaitForSettings();
        SetAccountBody("Token expired, retrying");
        Activate(Get<TFormLogin>("login"));
        Child<QLineEdit>(Get<TFormLogin>("login"), "LoginEdit")->setText("frank");
        Child<QLineEdit>(Get<TFormLogin>("login"), "PassEdit")->setText("pw");
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnLogin"), Qt::LeftButton);
        QTRY_VERIFY(WithAction(*fake, "useraccount").size() >= 2);
        SetAccountBody(Json(AccountReply()));
        QTRY_VERIFY(State().LoggedIn);
        QTRY_COMPARE(PanelText(Get<TFormDashboard>("dashboard")), QStringLiteral("Token expired, retrying"));
        QVERIFY(PanelShown(Get<TFormDashboard>("dashboard")));
    }

    void plainTextReplyLogsOut()
    {
        StartAndWaitForSettings();
        State().LoggedIn = true;
        Get<TFormLogin>("login")->hide();
        Activate(Get<TFormDashboard>("dashboard"));
        SetAccountBody("<html><body><h1>500 Internal Server Error</h1></body></html>");
        fake->setHandler([](const RecordedRequest& r) {
            ScriptedReply reply;
            reply.body = "<html><body><h1>500 Internal Server Error</h1></body></html>";
            reply.status = r.field("a") == "useraccount" ? 500 : 200;
            return reply;
        });
        Get<TFormLogin>("login")->CheckBalance("useraccount");
        QTRY_VERIFY(!State().LoggedIn);
        QTRY_VERIFY(Get<TFormLogin>("login")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
        // Shown on the login screen now in front, whole and as plain text.
        QTRY_COMPARE(PanelText(Get<TFormLogin>("login")), QStringLiteral("<html><body><h1>500 Internal Server Error</h1></body></html>"));
    }

    void refreshWhileAnotherScreenIsInFrontUpdatesWithoutSwitching()
    {
        StartAndWaitForSettings();
        State().LoggedIn = true;
        Get<TFormLogin>("login")->hide();
        Activate(Get<TFormInvest>("invest"));
        SetAccountBody(Json(AccountReply("2.5")));
        Get<TFormLogin>("login")->CheckBalance("useraccount");
        QTRY_COMPARE(Account().FindAmountText(AccountModel::Amount::Wallet, "btc"), std::optional<QString>("2,50000000"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "wall_btc")->text(), QStringLiteral("2,50000000"));
        QVERIFY(Get<TFormInvest>("invest")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormLogin>("login")->isVisible());
    }

    void badAccountRepliesKeepTheState_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("empty") << QByteArray() << "Error Client1Request: ";
        QTest::newRow("broken json") << QByteArray("{\"wall_btc\":") << "Error Client1Request: ";
        QTest::newRow("json array") << QByteArray("{}[") << "Error Client1Request: ";
        QJsonObject missing = AccountReply();
        missing.remove("earned_ref_doge");
        QTest::newRow("missing member") << Json(missing) << "Error ParseJsonUserAcc: ";
        QJsonObject wrong = AccountReply();
        wrong["wall_eth"] = QJsonArray{1, 2};
        QTest::newRow("wrong type") << Json(wrong) << "Error ParseJsonUserAcc: ";
        QTest::newRow("huge text") << QByteArray(2 * 1024 * 1024, 'x') << "";
    }

    void badAccountRepliesKeepTheState()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, prefix);
        StartAndWaitForSettings();
        Activate(Get<TFormLogin>("login"));
        SetAccountBody(body);
        Get<TFormLogin>("login")->CheckBalance("useraccount");
        QTRY_VERIFY(PanelShown(Get<TFormLogin>("login")));
        QTRY_VERIFY2(PanelText(Get<TFormLogin>("login")).startsWith(prefix), qPrintable(PanelText(Get<TFormLogin>("login")).left(120)));
        if (prefix == "Error Client1Request: ") QVERIFY(!State().LoggedIn);
        // Nothing of a reply that cannot be read whole is taken: no figures, the labels as they were.
        QVERIFY(!Account().HasSnapshot());
        QVERIFY(!Account().FindAmountText(AccountModel::Amount::Wallet, "btc"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "wall_btc")->text(), QStringLiteral("0"));
    }

    void catalogueWithoutALabelledCoinStopsAtItsLabel()
    {
        QStringList codes = Catalogue();
        codes.removeAll("matic");
        SetSettingsBody(Json(SettingsReply(codes)));
        StartAndWaitForSettings();
        Activate(Get<TFormLogin>("login"));
        SetAccountBody(Json(AccountReply("0.5", codes)));
        Get<TFormLogin>("login")->CheckBalance("useraccount");
        QTRY_VERIFY(PanelShown(Get<TFormLogin>("login")));
        QVERIFY(PanelText(Get<TFormLogin>("login")).startsWith("Error ParseJsonUserAcc: "));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "wall_sol")->text(), QStringLiteral("0,50000000"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "wall_matic")->text(), QStringLiteral("0"));
    }

    void resetPasswordAndInfoOpenFromLogin()
    {
        Activate(Get<TFormLogin>("login"));
        QTest::mouseClick(Child<ClickableLabel>(Get<TFormLogin>("login"), "S"), Qt::LeftButton);
        QVERIFY(Get<TFormSetting>("settings")->isVisible());
        QVERIFY(!Get<TFormLogin>("login")->isVisible());
        QCOMPARE(Child<QLabel>(Get<TFormSetting>("settings"), "Label24")->text(), QStringLiteral("Security code:"));
        QCOMPARE(State().SettingsReturnTo, QStringLiteral("login"));
        Get<TFormSetting>("settings")->close();
        QVERIFY(Get<TFormLogin>("login")->isVisible());

        QTest::mouseClick(Child<ClickableLabel>(Get<TFormLogin>("login"), "Image5"), Qt::LeftButton);
        QVERIFY(Get<TFormInfo>("info")->isVisible());
        QCOMPARE(Child<QTabWidget>(Get<TFormInfo>("info"), "TabControl1")->currentWidget(), Child<QWidget>(Get<TFormInfo>("info"), "TabFeedBack"));
        QCOMPARE(State().SettingsReturnTo, QStringLiteral("login"));
    }

    void termsPanelOpensAndCloses()
    {
        Activate(Get<TFormLogin>("login"));
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "BtnReg"), Qt::LeftButton);
        QVERIFY(Child<QFrame>(Get<TFormLogin>("login"), "PanelPrivacyPolicy")->isHidden());
        QTest::mouseClick(Child<ClickableLabel>(Get<TFormLogin>("login"), "Text1"), Qt::LeftButton);
        QVERIFY(Child<QFrame>(Get<TFormLogin>("login"), "PanelPrivacyPolicy")->isVisible());
        QVERIFY(Child<QPlainTextEdit>(Get<TFormLogin>("login"), "Memo")->toPlainText().contains("Risk warning"));
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "Button1"), Qt::LeftButton);
        QVERIFY(Child<QFrame>(Get<TFormLogin>("login"), "PanelPrivacyPolicy")->isHidden());
    }
};

AMBERVALE_GUI_TEST_MAIN(LoginTest)
#include "tst_login.moc"
