// The withdraw screen: fee terms from the dashboard, the net amount and its
// button, the network, and the blocking withdraw request.
#include "MoneyTestSupport.h"
#include "ScreenTestSupport.h"

#include "Login.h"
#include "dashboard.h"
#include "withdraw.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

using namespace support;

class WithdrawTest : public ScreenTest {
    Q_OBJECT

    QLineEdit* Amount() const { return Child<QLineEdit>(FormWithdraw, "val_withdraw_coin"); }
    QString Total() const { return Child<QLabel>(FormWithdraw, "total_with")->text(); }
    bool CanWithdraw() const { return Child<QPushButton>(FormWithdraw, "Button1")->isEnabled(); }
    QComboBox* Network() const { return Child<QComboBox>(FormWithdraw, "ComboBox1"); }

    // btc with a minimum of 0.001 (fixed part 0,0001) at 2 %, opened from the
    // dashboard.
    void OpenForBtc(const QJsonObject& account = AccountReply("0.5"))
    {
        QJsonObject settings = SettingsReply();
        QJsonObject limits = settings["min_withdraw_coin"].toObject();
        limits["btc"] = "0.001";
        limits["perc_withdraw"] = "2";
        settings["min_withdraw_coin"] = limits;
        LogIn(settings, account);
        Activate(FormDashboard);
        SelectCoin("btc");
        Click(FormDashboard, "ButtonWithdraw");
        QVERIFY(FormWithdraw->isVisible());
        Activate(FormWithdraw);
    }

    void Send(const QString& password, const QByteArray& answer = "Withdrawal queued")
    {
        fake->enqueue(Reply(answer));
        Click(FormWithdraw, "Button1");
        QVERIFY(!Child(FormWithdraw, "panel_confirm_pass")->isHidden());
        Type(FormWithdraw, "conf_pass", password);
        Click(FormWithdraw, "Button4");
    }

private slots:
    void formCarriesItsControls()
    {
        QCOMPARE(FormWithdraw->windowTitle(), QStringLiteral("Withdraw"));
        QCOMPARE(FormWithdraw->size(), QSize(384, 480));
        QCOMPARE(Child<QLabel>(FormWithdraw, "Label1")->text(), QStringLiteral("Withdraw Coin"));
        QCOMPARE(Child<QLineEdit>(FormWithdraw, "Edit1")->text(), QString());
        QCOMPARE(Amount()->text(), QStringLiteral("0"));
        QCOMPARE(Child<QLabel>(FormWithdraw, "Text2")->text(), QStringLiteral("FeeTX:"));
        QCOMPARE(Child<QLabel>(FormWithdraw, "Text6")->text(), QStringLiteral("Total:"));
        QCOMPARE(Child<QLabel>(FormWithdraw, "Text1")->text(), QStringLiteral("Network coin:"));
        QCOMPARE(Child<QPushButton>(FormWithdraw, "Button1")->text(), QStringLiteral("Withdraw"));
        QVERIFY(!CanWithdraw());
        QVERIFY(Child(FormWithdraw, "panel_confirm_pass")->isHidden());
        const QStringList networks{"Main",          "BEP-20 (Binance)", "ERC-20 (Ethereum)",
                                   "TRC-20 (Tron)", "SOL (Solana)",     "PRC-20 (Polygon)"};
        QCOMPARE(Network()->count(), networks.size());
        for (int i = 0; i < networks.size(); ++i) QCOMPARE(Network()->itemText(i), networks[i]);
        QCOMPARE(Network()->currentIndex(), 0);
        for (const char* n : {"Label1", "fee_coin", "total_with"})
            QCOMPARE(Child<QLabel>(FormWithdraw, n)->textFormat(), Qt::PlainText);
    }

    void netAmountAndButton_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("total");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("0.5 typed with a point") << "0.5"
                                                << "0,48990000" << true;
        QTest::newRow("below the fee") << "0,0001"
                                       << "-0,00000200" << false;
        QTest::newRow("exactly the fee") << "0,00010204"
                                         << "0,00000000" << false;
        QTest::newRow("whole coin") << "1"
                                    << "0,97990000" << true;
    }

    void netAmountAndButton()
    {
        QFETCH(QString, amount);
        QFETCH(QString, total);
        QFETCH(bool, enabled);
        OpenForBtc();
        QCOMPARE(Child<QLabel>(FormWithdraw, "fee_coin")->text(), QStringLiteral("0,0001+2%"));
        Type(FormWithdraw, "val_withdraw_coin", amount);
        QCOMPARE(Total(), total);
        QCOMPARE(CanWithdraw(), enabled);
        QCOMPARE(Amount()->text(), amount);
        // The fee terms are the dashboard's and stay.
        QCOMPARE(Child<QLabel>(FormWithdraw, "fee_coin")->text(), QStringLiteral("0,0001+2%"));
    }

    void pointAmountIsPostedAsTypedWithTheFields()
    {
        OpenForBtc();
        Type(FormWithdraw, "Edit1", "bc1q addr&=+");
        const QString login = State().UserLogin; // the account refresh after the answer rereads it
        Type(FormWithdraw, "val_withdraw_coin", "0.5");
        Send("s3cret");
        const QList<RecordedRequest> sent = Requests("withdraw");
        QCOMPARE(sent.size(), 1);
        const RecordedRequest& r = sent.first();
        QCOMPARE(FieldNames(r), (QStringList{"a", "coin", "addr", "network", "val", "s", "pass", "session"}));
        QCOMPARE(r.field("coin"), QStringLiteral("btc"));
        QCOMPARE(r.field("addr"), QStringLiteral("bc1q addr&=+"));
        QCOMPARE(r.field("network"), QStringLiteral("Main"));
        QCOMPARE(r.field("val"), QStringLiteral("0.5"));
        QCOMPARE(r.field("s"), login);
        QCOMPARE(r.field("pass"), digest::MD5("s3cret"));
        QVERIFY(IsToken(r.field("session")));
        QCOMPARE(PanelText(FormWithdraw), QStringLiteral("Withdrawal queued"));
        QVERIFY(Child(FormWithdraw, "panel_confirm_pass")->isHidden());
        QVERIFY(Child<QLineEdit>(FormWithdraw, "conf_pass")->text().isEmpty());
    }

    void chosenNetworkIsSentAndReopeningSendsMain()
    {
        OpenForBtc();
        Type(FormWithdraw, "val_withdraw_coin", "0.5");
        Network()->setCurrentIndex(3);
        QCOMPARE(State().CurrentNetwork, QStringLiteral("TRC-20 (Tron)"));
        Send("pw");
        QCOMPARE(Requests("withdraw").last().field("network"), QStringLiteral("TRC-20 (Tron)"));

        Click(FormWithdraw, "btn_back");
        QTRY_VERIFY(FormDashboard->isVisible());
        // The deposit side leaves short codes in the shared network; the withdraw
        // screen resets it.
        State().CurrentNetwork = QStringLiteral("trc20");
        Click(FormDashboard, "ButtonWithdraw");
        QCOMPARE(Network()->currentIndex(), 0);
        QCOMPARE(State().CurrentNetwork, QStringLiteral("Main"));
        // Amount and total survive the reopening.
        QCOMPARE(Amount()->text(), QStringLiteral("0.5"));
        QCOMPARE(Total(), QStringLiteral("0,48990000"));
        Activate(FormWithdraw);
        Send("pw");
        QCOMPARE(Requests("withdraw").size(), 2);
        QCOMPARE(Requests("withdraw").last().field("network"), QStringLiteral("Main"));
    }

    void clearingTheAmountShowsTheErrorAndKeepsTheTotal()
    {
        OpenForBtc();
        Type(FormWithdraw, "val_withdraw_coin", "0.5");
        Amount()->clear();
        QVERIFY(PanelText(FormWithdraw).startsWith("Error ChangeValCalculate: "));
        QCOMPARE(Total(), QStringLiteral("0,48990000"));
        QVERIFY(CanWithdraw());
    }

    void badAmounts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("letters") << "abc";
        QTest::newRow("several separators") << "1,2,3";
        QTest::newRow("several points") << "1.2.3";
        QTest::newRow("lone minus") << "-";
        QTest::newRow("400 digits") << QString(400, QLatin1Char('9'));
        QTest::newRow("pasted with spaces") << "0, 5";
    }

    void badAmounts()
    {
        QFETCH(QString, text);
        OpenForBtc();
        Type(FormWithdraw, "val_withdraw_coin", "0.5");
        Amount()->setText(text); // as pasted
        QVERIFY(PanelShown(FormWithdraw));
        QVERIFY(PanelText(FormWithdraw).startsWith("Error ChangeValCalculate: "));
        QCOMPARE(Total(), QStringLiteral("0,48990000"));
        QVERIFY(CanWithdraw());
    }

    void maxFillsTheBalanceAndIsPostedWithItsComma()
    {
        QJsonObject account = AccountReply("0.5");
        account["wall_btc"] = "0.12345678";
        OpenForBtc(account);
        // The screen does not run "MAX" by itself.
        QCOMPARE(Amount()->text(), QStringLiteral("0"));
        Click(FormWithdraw, "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("0,12345678"));
        QCOMPARE(Total(), QStringLiteral("0,12088765"));
        Send("pw");
        QCOMPARE(Requests("withdraw").first().field("val"), QStringLiteral("0,12345678"));
    }

    void sendWithoutPasswordAsksForIt()
    {
        OpenForBtc();
        Type(FormWithdraw, "val_withdraw_coin", "0.5");
        Click(FormWithdraw, "Button1");
        Click(FormWithdraw, "Button4");
        QCOMPARE(PanelText(FormWithdraw), QStringLiteral("Enter the password"));
        QVERIFY(!Child(FormWithdraw, "panel_confirm_pass")->isHidden());
        QCOMPARE(Requests("withdraw").size(), 0);
    }

    void sendHoldsTheEventLoopUntilTheAnswer()
    {
        OpenForBtc();
        Type(FormWithdraw, "val_withdraw_coin", "0.5");
        ScriptedReply slow = Reply("Done late");
        slow.delayMs = 400;
        fake->enqueue(slow);
        Click(FormWithdraw, "Button1");
        Type(FormWithdraw, "conf_pass", "pw");
        bool timerRan = false;
        QTimer::singleShot(0, [&] { timerRan = true; });
        QElapsedTimer clock;
        clock.start();
        Click(FormWithdraw, "Button4");
        QVERIFY(clock.elapsed() >= 350);
        QVERIFY(!timerRan);
        QCOMPARE(PanelText(FormWithdraw), QStringLiteral("Done late"));
        QTRY_VERIFY(timerRan);
    }

    // The answer is in and the account is fetched at once: "MAX" offers only
    // what is still held, and the user stays on the withdraw screen.
    void answerRefreshesTheAccountAtOnce()
    {
        QJsonObject before = AccountReply("0.5");
        before["wall_btc"] = "2.5";
        QJsonObject after = AccountReply("0.5");
        after["wall_btc"] = "1";
        fake->setHandler([after](const RecordedRequest& r) {
            return Reply(r.field("a") == QLatin1String("withdraw") ? QByteArray("Withdrawal accepted") : Json(after));
        });
        OpenForBtc(before);
        Click(FormWithdraw, "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("2,50000000"));
        Click(FormWithdraw, "Button1");
        Type(FormWithdraw, "conf_pass", "pw");
        Click(FormWithdraw, "Button4");
        QCOMPARE(PanelText(FormWithdraw), QStringLiteral("Withdrawal accepted"));
        QTRY_COMPARE(Requests("useraccount").size(), 1);
        QTRY_COMPARE(State().UserAccountJson->value("wall_btc").toString(), QStringLiteral("1"));
        Click(FormWithdraw, "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("1,00000000"));
        QVERIFY(FormWithdraw->isVisible());
    }

    // The confirmation panel opened with the mouse takes the keyboard: typing
    // goes into the password.
    void confirmationTakesTheTyping()
    {
        OpenForBtc();
        Type(FormWithdraw, "val_withdraw_coin", "0.5");
        QTest::mouseClick(Child<QPushButton>(FormWithdraw, "Button1"), Qt::LeftButton);
        auto* password = Child<QLineEdit>(FormWithdraw, "conf_pass");
        QVERIFY(password->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), password);
        QTest::keyClicks(QApplication::focusWidget(), "pw");
        QCOMPARE(password->text(), QStringLiteral("pw"));
        QCOMPARE(Amount()->text(), QStringLiteral("0.5"));
    }

    void serviceThatNeverAnswersGivesMessageResult()
    {
        OpenForBtc();
        Type(FormWithdraw, "val_withdraw_coin", "0.5");
        ShortenMessageTimeout(300);
        ScriptedReply never = Reply("too late");
        never.delayMs = 5000;
        fake->setDefaultReply(never);
        Click(FormWithdraw, "Button1");
        Type(FormWithdraw, "conf_pass", "pw");
        Click(FormWithdraw, "Button4");
        QVERIFY2(PanelText(FormWithdraw).startsWith("MessageResult:"), qPrintable(PanelText(FormWithdraw)));
        QVERIFY(Child(FormWithdraw, "panel_confirm_pass")->isHidden());
        QVERIFY(Child<QLineEdit>(FormWithdraw, "conf_pass")->text().isEmpty());
    }
};

AMBERVALE_GUI_TEST_MAIN(WithdrawTest)
#include "tst_withdraw.moc"
