// The settings screen: its two openers, the password change and the security
// code request.
#include "MoneyTestSupport.h"
#include "ScreenTestSupport.h"

#include "Credentials.h"
#include "Digest.h"
#include "DisplayText.h"
#include "Login.h"
#include "PasswordChange.h"
#include "dashboard.h"
#include "settings.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimer>

using namespace support;

class SettingsTest : public ScreenTest {
    Q_OBJECT

    QString Caption() const { return Child<QLabel>(Get<TFormSetting>("settings"), "Label24")->text(); }

    void OpenFromDashboard()
    {
        LogIn();
        Activate(Get<TFormDashboard>("dashboard"));
        Click(Get<TFormDashboard>("dashboard"), "setting_btn");
        QVERIFY(Get<TFormSetting>("settings")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
        Activate(Get<TFormSetting>("settings"));
    }

    // The login screen without its settings request, which would answer into the
    // active screen's panel.
    void ShowLogin()
    {
        State().ServerLoadPercent = 100;
        Activate(Get<TFormLogin>("login"));
    }

    void Fill(const QString& newPass, const QString& rePass, const QString& proof)
    {
        Type(Get<TFormSetting>("settings"), "ResetPass_newpass", newPass);
        Type(Get<TFormSetting>("settings"), "ResetPass_repass", rePass);
        Type(Get<TFormSetting>("settings"), "ResetPass_oldpass", proof);
    }

private slots:
    void formCarriesItsControls()
    {
        QCOMPARE(Get<TFormSetting>("settings")->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(Get<TFormSetting>("settings")->size(), QSize(372, 488));
        QCOMPARE(Child<QLabel>(Get<TFormSetting>("settings"), "Label1")->text(), QStringLiteral("Settings"));
        auto* tabs = Child<QTabWidget>(Get<TFormSetting>("settings"), "TabControl1");
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->widget(0)->objectName(), QStringLiteral("change_pass"));
        QCOMPARE(tabs->tabText(0), QStringLiteral("Change Pass"));
        QCOMPARE(tabs->widget(1)->objectName(), QStringLiteral("security"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Security"));
        QCOMPARE(Child<QLabel>(Get<TFormSetting>("settings"), "Label21")->text(), QStringLiteral("Email:"));
        QCOMPARE(Child<QLabel>(Get<TFormSetting>("settings"), "Label22")->text(), QStringLiteral("New Pass:"));
        QCOMPARE(Child<QLabel>(Get<TFormSetting>("settings"), "Label23")->text(), QStringLiteral("Re-Type Pass:"));
        QCOMPARE(Caption(), QStringLiteral("Security code:"));
        QCOMPARE(Child<QPushButton>(Get<TFormSetting>("settings"), "Button7")->text(), QStringLiteral("Send code"));
        QCOMPARE(Child<QPushButton>(Get<TFormSetting>("settings"), "Button6")->text(), QStringLiteral("Change"));
        for (const char* n : {"ResetPass_newpass", "ResetPass_repass", "ResetPass_oldpass"})
            QCOMPARE(Child<QLineEdit>(Get<TFormSetting>("settings"), n)->echoMode(), QLineEdit::Password);
        QCOMPARE(Child<QLineEdit>(Get<TFormSetting>("settings"), "ResetPass_login")->echoMode(), QLineEdit::Normal);
    }

    void fromTheLoginScreenAsksForTheCodeAndReturnsThere()
    {
        State().UserLogin = QStringLiteral("forgot@example.com");
        ShowLogin();
        Click(Get<TFormLogin>("login"), "S");
        QVERIFY(Get<TFormSetting>("settings")->isVisible());
        QVERIFY(!Get<TFormLogin>("login")->isVisible());
        QCOMPARE(Caption(), QStringLiteral("Security code:"));
        QCOMPARE(Child<QLineEdit>(Get<TFormSetting>("settings"), "ResetPass_login")->text(), QStringLiteral("forgot@example.com"));
        Click(Get<TFormSetting>("settings"), "btn_back");
        QTRY_VERIFY(Get<TFormLogin>("login")->isVisible());
        QVERIFY(!Get<TFormSetting>("settings")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
    }

    void fromTheDashboardAsksForTheOldPasswordAndReturnsThere()
    {
        OpenFromDashboard();
        QCOMPARE(Caption(), QStringLiteral("Old Pass:"));
        QCOMPARE(Child<QLineEdit>(Get<TFormSetting>("settings"), "ResetPass_login")->text(), State().UserLogin);
        Click(Get<TFormSetting>("settings"), "btn_back");
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormSetting>("settings")->isVisible());
        QVERIFY(!Get<TFormLogin>("login")->isVisible());
    }

    void changeSendsTheTypedTextsUnhashed()
    {
        OpenFromDashboard();
        // The login field may be edited: it, not the stored login, is sent.
        Type(Get<TFormSetting>("settings"), "ResetPass_login", "other@example.com");
        Fill("n3w pass&=+", "n3w pass&=+", "old pass%");
        fake->enqueue(Reply("Wrong old password or code."));
        Click(Get<TFormSetting>("settings"), "Button6");
        QTRY_COMPARE(Requests("changepass").size(), 1);
        const QList<RecordedRequest> sent = Requests("changepass");
        const RecordedRequest& r = sent.first();
        QCOMPARE(FieldNames(r), (QStringList{"a", "s", "newpass", "pass", "session"}));
        QCOMPARE(r.field("s"), QStringLiteral("other@example.com"));
        QCOMPARE(r.field("newpass"), QStringLiteral("n3w pass&=+"));
        QCOMPARE(r.field("pass"), QStringLiteral("old pass%"));
        QVERIFY(IsToken(r.field("session")));
        QTRY_COMPARE(PanelText(Get<TFormSetting>("settings")), QStringLiteral("Wrong old password or code."));
        // A refused change changes nothing on the client.
        QCOMPARE(State().PassHash, QStringLiteral("0123456789ABCDEF0123456789ABCDEF"));
        QCOMPARE(Child<QLineEdit>(Get<TFormSetting>("settings"), "ResetPass_newpass")->text(), QStringLiteral("n3w pass&=+"));
    }

    // Once the service has changed the password, the old digest is refused: the
    // remembered digest (the running session's and the credentials file's)
    // follows, so the next refresh keeps the user in. A change of another
    // account, or one refused, leaves both alone.
    void rememberedDigestFollowsTheChange_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("follows");
        const QByteArray changed = "Password changed. Log in again with the new password.";
        QTest::newRow("changed") << "user@example.com" << changed << true;
        QTest::newRow("changed, login in other letter case") << "USER@Example.com" << changed << true;
        QTest::newRow("another account changed") << "other@example.com" << changed << false;
        QTest::newRow("refused") << "user@example.com" << QByteArray("Wrong old password or code.") << false;
    }
    void rememberedDigestFollowsTheChange()
    {
        QFETCH(QString, login);
        QFETCH(QByteArray, reply);
        QFETCH(bool, follows);
        OpenFromDashboard();
        const QString oldDigest = State().PassHash;
        QVERIFY(credentials::Save(credentials::FilePath(), State().UserLogin, oldDigest));
        Type(Get<TFormSetting>("settings"), "ResetPass_login", login);
        Fill("n3w pass", "n3w pass", "old pass");
        fake->enqueue(Reply(reply));
        Click(Get<TFormSetting>("settings"), "Button6");
        QTRY_COMPARE(PanelText(Get<TFormSetting>("settings")), QString::fromUtf8(reply));
        const QString expected = follows ? digest::MD5("n3w pass") : oldDigest;
        QCOMPARE(State().PassHash, expected);
        const credentials::Loaded file = credentials::Open(credentials::FilePath());
        QCOMPARE(*file.login, QStringLiteral("user@example.com"));
        QCOMPARE(*file.pass, expected);

        // The service now takes only the expected digest; the next refresh sends it.
        fake->setHandler([expected](const RecordedRequest& r) {
            return Reply(r.field("pass") == expected ? Json(AccountReply()) : QByteArray("Wrong login or password."));
        });
        Click(Get<TFormSetting>("settings"), "btn_back");
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        const int before = Requests("useraccount").size();
        QSignalSpy taken(&Account(), &AccountModel::AccountChanged); // by an accepted refresh
        Get<TFormDashboard>("dashboard")->TimeCheckBalanceTimer();
        QTRY_COMPARE(Requests("useraccount").size(), before + 1);
        QCOMPARE(Requests("useraccount").last().field("pass"), expected);
        QTRY_VERIFY(taken.count() > 0 || !State().LoggedIn); // the reply handled
        QVERIFY(State().LoggedIn);
        QVERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormLogin>("login")->isVisible());
    }

    // The road from the login screen: a security code changes the password of
    // the remembered login, so the next start logs in with the new one.
    void changeByCodeUpdatesTheRememberedFile()
    {
        State().UserLogin = QStringLiteral("forgot@example.com");
        QVERIFY(credentials::Save(credentials::FilePath(), "forgot@example.com", digest::MD5("lost")));
        ShowLogin();
        Click(Get<TFormLogin>("login"), "S");
        Activate(Get<TFormSetting>("settings"));
        Fill("found again", "found again", "12345678");
        fake->enqueue(Reply("Password changed. Log in again with the new password."));
        Click(Get<TFormSetting>("settings"), "Button6");
        QTRY_COMPARE(*credentials::Open(credentials::FilePath()).pass, digest::MD5("found again"));
    }

    // Passwords and codes typed here are gone once the screen is left, by
    // its back control or the window's close box, on either road.
    void typedSecretsAreGoneOnTheNextVisit_data()
    {
        QTest::addColumn<bool>("fromDashboard");
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("dashboard, back") << true << false;
        QTest::newRow("dashboard, close box") << true << true;
        QTest::newRow("login, back") << false << false;
        QTest::newRow("login, close box") << false << true;
    }
    void typedSecretsAreGoneOnTheNextVisit()
    {
        QFETCH(bool, fromDashboard);
        QFETCH(bool, closeBox);
        const auto open = [&] {
            if (fromDashboard) {
                Activate(Get<TFormDashboard>("dashboard"));
                Click(Get<TFormDashboard>("dashboard"), "setting_btn");
            } else {
                Activate(Get<TFormLogin>("login"));
                Click(Get<TFormLogin>("login"), "S");
            }
            QVERIFY(Get<TFormSetting>("settings")->isVisible());
        };
        if (fromDashboard) LogIn();
        else State().ServerLoadPercent = 100;
        open();
        Activate(Get<TFormSetting>("settings"));
        Fill("n3w pass", "n3w pass", "12345678");
        if (closeBox)
            Get<TFormSetting>("settings")->close();
        else
            Click(Get<TFormSetting>("settings"), "btn_back");
        QTRY_VERIFY(!Get<TFormSetting>("settings")->isVisible());
        open();
        for (const char* name : {"ResetPass_newpass", "ResetPass_repass", "ResetPass_oldpass"})
            QVERIFY2(Child<QLineEdit>(Get<TFormSetting>("settings"), name)->text().isEmpty(), name);
    }

    void changeThatIsRefusedBeforeSending_data()
    {
        QTest::addColumn<QString>("newPass");
        QTest::addColumn<QString>("rePass");
        QTest::addColumn<QString>("proof");
        QTest::addColumn<QString>("message");
        QTest::newRow("passwords differ") << "abc123"
                                          << "abc124"
                                          << "old" << password::CheckMessage(password::ChangeCheck::Mismatch);
        QTest::newRow("differ and no proof") << "abc123"
                                             << ""
                                             << "" << password::CheckMessage(password::ChangeCheck::Mismatch);
        QTest::newRow("no proof") << "abc123"
                                  << "abc123"
                                  << ""
                                  << "Please enter the \"Security Code\" or your old password.";
    }

    void changeThatIsRefusedBeforeSending()
    {
        QFETCH(QString, newPass);
        QFETCH(QString, rePass);
        QFETCH(QString, proof);
        QFETCH(QString, message);
        OpenFromDashboard();
        Fill(newPass, rePass, proof);
        Click(Get<TFormSetting>("settings"), "Button6");
        QTRY_COMPARE(PanelText(Get<TFormSetting>("settings")), message);
        QCOMPARE(Requests("changepass").size(), 0);
    }

    void sendCodeSendsOnlyTheLogin()
    {
        State().UserLogin = QStringLiteral("forgot@example.com");
        ShowLogin();
        Click(Get<TFormLogin>("login"), "S");
        Activate(Get<TFormSetting>("settings"));
        Fill("n3w", "n3w", "123456");
        fake->enqueue(Reply("The code has been sent to your e-mail"));
        Click(Get<TFormSetting>("settings"), "Button7");
        QTRY_COMPARE(Requests("resetpass").size(), 1);
        const QList<RecordedRequest> sent = Requests("resetpass");
        QCOMPARE(FieldNames(sent.first()), (QStringList{"a", "s", "session"}));
        QCOMPARE(sent.first().field("s"), QStringLiteral("forgot@example.com"));
        QVERIFY(IsToken(sent.first().field("session")));
        QTRY_COMPARE(PanelText(Get<TFormSetting>("settings")), QStringLiteral("The code has been sent to your e-mail"));
    }

    void sendCodeWithAnEmptyLoginSendsItEmpty()
    {
        ShowLogin();
        Click(Get<TFormLogin>("login"), "S");
        Activate(Get<TFormSetting>("settings"));
        QVERIFY(Child<QLineEdit>(Get<TFormSetting>("settings"), "ResetPass_login")->text().isEmpty());
        fake->enqueue(Reply("Unknown user"));
        Click(Get<TFormSetting>("settings"), "Button7");
        QTRY_COMPARE(Requests("resetpass").size(), 1);
        QCOMPARE(Requests("resetpass").first().field("s"), QStringLiteral(""));
        QTRY_COMPARE(PanelText(Get<TFormSetting>("settings")), QStringLiteral("Unknown user"));
    }

    void longHtmlAnswerIsShownAsPlainTextAndThePanelStaysUsable()
    {
        OpenFromDashboard();
        Fill("n3w", "n3w", "old");
        QByteArray body = "<html><body><b>Refused</b>\r\nline two\nline three ";
        body += QByteArray(5000, 'x');
        fake->enqueue(Reply(body));
        Click(Get<TFormSetting>("settings"), "Button6");
        auto* label = Child<QLabel>(Get<TFormSetting>("settings"), "message_label");
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QTRY_COMPARE(label->text(), display::Elide(QString::fromUtf8(body), MessagePanel::MaxChars));
        QVERIFY(label->text().startsWith("<html><body><b>Refused</b>"));
        // The panel fits the screen and its close button is on it and works.
        auto* panel = Child(Get<TFormSetting>("settings"), "PanelErrorMessage");
        QVERIFY(panel->geometry().bottom() <= Get<TFormSetting>("settings")->height());
        auto* close = Child<QPushButton>(Get<TFormSetting>("settings"), "Button2");
        QVERIFY(close->isVisible());
        QVERIFY(panel->rect().contains(close->mapTo(panel, close->rect().center())));
        Click(Get<TFormSetting>("settings"), "Button2");
        QVERIFY(!PanelShown(Get<TFormSetting>("settings")));
    }

    void serviceThatNeverAnswersGivesMessageResult()
    {
        OpenFromDashboard();
        ShortenMessageTimeout(300);
        ScriptedReply never = Reply("too late");
        never.delayMs = 5000;
        fake->setDefaultReply(never);
        Click(Get<TFormSetting>("settings"), "Button7");
        QTRY_VERIFY2(PanelText(Get<TFormSetting>("settings")).startsWith("MessageResult:"), qPrintable(PanelText(Get<TFormSetting>("settings"))));
    }
};

AMBERVALE_GUI_TEST_MAIN(SettingsTest)
#include "tst_settings.moc"
