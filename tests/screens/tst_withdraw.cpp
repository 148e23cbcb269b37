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

    QLineEdit* Amount() const { return Child<QLineEdit>(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin"); }
    QString Total() const { return Child<QLabel>(Get<TFormWithdraw>("withdraw"), "total_with")->text(); }
    bool CanWithdraw() const { return Child<QPushButton>(Get<TFormWithdraw>("withdraw"), "Button1")->isEnabled(); }
    QComboBox* Network() const { return Child<QComboBox>(Get<TFormWithdraw>("withdraw"), "ComboBox1"); }

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
        Activate(Get<TFormDashboard>("dashboard"));
        SelectCoin("btc");
        Click(Get<TFormDashboard>("dashboard"), "ButtonWithdraw");
        QVERIFY(Get<TFormWithdraw>("withdraw")->isVisible());
        Activate(Get<TFormWithdraw>("withdraw"));
        // An address that checks for BTC: the screen stops others before the confirmation.
        Type(Get<TFormWithdraw>("withdraw"), "Edit1", QStringLiteral("bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq"));
    }

    void Send(const QString& password, const QByteArray& answer = "Withdrawal queued")
    {
        fake->enqueue(Reply(answer));
        Click(Get<TFormWithdraw>("withdraw"), "Button1");
        QVERIFY(!Child(Get<TFormWithdraw>("withdraw"), "panel_confirm_pass")->isHidden());
        Type(Get<TFormWithdraw>("withdraw"), "conf_pass", password);
        Click(Get<TFormWithdraw>("withdraw"), "Button4");
    }

private slots:
    void formCarriesItsControls()
    {
        QCOMPARE(Get<TFormWithdraw>("withdraw")->windowTitle(), QStringLiteral("Withdraw"));
        QCOMPARE(Get<TFormWithdraw>("withdraw")->size(), QSize(384, 480));
        QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), "Label1")->text(), QStringLiteral("Withdraw Coin"));
        QCOMPARE(Child<QLineEdit>(Get<TFormWithdraw>("withdraw"), "Edit1")->text(), QString());
        QCOMPARE(Amount()->text(), QStringLiteral("0"));
        QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), "Text2")->text(), QStringLiteral("FeeTX:"));
        QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), "Text6")->text(), QStringLiteral("Total:"));
        QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), "Text1")->text(), QStringLiteral("Network coin:"));
        QCOMPARE(Child<QPushButton>(Get<TFormWithdraw>("withdraw"), "Button1")->text(), QStringLiteral("Withdraw"));
        QVERIFY(!CanWithdraw());
        QVERIFY(Child(Get<TFormWithdraw>("withdraw"), "panel_confirm_pass")->isHidden());
        const QStringList networks{"Main",          "BEP-20 (Binance)", "ERC-20 (Ethereum)",
                                   "TRC-20 (Tron)", "SOL (Solana)",     "PRC-20 (Polygon)"};
        QCOMPARE(Network()->count(), networks.size());
        for (int i = 0; i < networks.size(); ++i) QCOMPARE(Network()->itemText(i), networks[i]);
        QCOMPARE(Network()->currentIndex(), 0);
        for (const char* n : {"Label1", "fee_coin", "total_with"})
            QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), n)->textFormat(), Qt::PlainText);
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
        QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), "fee_coin")->text(), QStringLiteral("0,0001+2%"));
        Type(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin", amount);
        QCOMPARE(Total(), total);
        QCOMPARE(CanWithdraw(), enabled);
        QCOMPARE(Amount()->text(), amount);
        // The fee terms are the dashboard's and stay.
        QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), "fee_coin")->text(), QStringLiteral("0,0001+2%"));
    }

    void pointAmountIsPostedAsTypedWithTheFields()
    {
        OpenForBtc();
        Type(Get<TFormWithdraw>("withdraw"), "Edit1", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq");
        const QString login = State().UserLogin; // the account refresh after the answer rereads it
        Type(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin", "0.5");
        Send("s3cret");
        QTRY_COMPARE(Requests("withdraw").size(), 1);
        const QList<RecordedRequest> sent = Requests("withdraw");
        const RecordedRequest& r = sent.first();
        QCOMPARE(FieldNames(r), (QStringList{"a", "coin", "addr", "network", "val", "s", "pass", "session"}));
        QCOMPARE(r.field("coin"), QStringLiteral("btc"));
        QCOMPARE(r.field("addr"), QStringLiteral("bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq"));
        QCOMPARE(r.field("network"), QStringLiteral("Main"));
        QCOMPARE(r.field("val"), QStringLiteral("0.5"));
        QCOMPARE(r.field("s"), login);
        QCOMPARE(r.field("pass"), digest::MD5("s3cret"));
        QVERIFY(IsToken(r.field("session")));
        QTRY_COMPARE(PanelText(Get<TFormWithdraw>("withdraw")), QStringLiteral("Withdrawal queued"));
        QVERIFY(Child(Get<TFormWithdraw>("withdraw"), "panel_confirm_pass")->isHidden());
        QVERIFY(Child<QLineEdit>(Get<TFormWithdraw>("withdraw"), "conf_pass")->text().isEmpty());
    }

    void chosenNetworkIsSentAndReopeningSendsMain()
    {
        OpenForBtc();
        Type(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin", "0.5");
        Network()->setCurrentIndex(3);
        QCOMPARE(Account().CurrentNetwork(), QStringLiteral("TRC-20 (Tron)"));
        Type(Get<TFormWithdraw>("withdraw"), "Edit1", "TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t");
        Send("pw");
        QTRY_COMPARE(Requests("withdraw").size(), 1);
        QCOMPARE(Requests("withdraw").last().field("network"), QStringLiteral("TRC-20 (Tron)"));
        QTRY_VERIFY(PanelShown(Get<TFormWithdraw>("withdraw"))); // answered: the next one may leave

        Click(Get<TFormWithdraw>("withdraw"), "btn_back");
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        // The deposit side leaves short codes in the shared network; the withdraw
        // screen resets it.
        Account().SetCurrentNetwork(QStringLiteral("trc20"));
        Click(Get<TFormDashboard>("dashboard"), "ButtonWithdraw");
        QCOMPARE(Network()->currentIndex(), 0);
        QCOMPARE(Account().CurrentNetwork(), QStringLiteral("Main"));
        // Amount and total survive the reopening.
        QCOMPARE(Amount()->text(), QStringLiteral("0.5"));
        QCOMPARE(Total(), QStringLiteral("0,48990000"));
        Activate(Get<TFormWithdraw>("withdraw"));
        Type(Get<TFormWithdraw>("withdraw"), "Edit1", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq");
        Send("pw");
        QTRY_COMPARE(Requests("withdraw").size(), 2);
        QCOMPARE(Requests("withdraw").last().field("network"), QStringLiteral("Main"));
    }

    void clearingTheAmountShowsTheErrorAndKeepsTheTotal()
    {
        OpenForBtc();
        Type(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin", "0.5");
        Amount()->clear();
        QVERIFY(PanelText(Get<TFormWithdraw>("withdraw")).startsWith("Error ChangeValCalculate: "));
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
        Type(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin", "0.5");
        Amount()->setText(text); // as pasted
        QVERIFY(PanelShown(Get<TFormWithdraw>("withdraw")));
        QVERIFY(PanelText(Get<TFormWithdraw>("withdraw")).startsWith("Error ChangeValCalculate: "));
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
        Click(Get<TFormWithdraw>("withdraw"), "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("0,12345678"));
        QCOMPARE(Total(), QStringLiteral("0,12088765"));
        Send("pw");
        QTRY_COMPARE(Requests("withdraw").size(), 1);
        QCOMPARE(Requests("withdraw").first().field("val"), QStringLiteral("0,12345678"));
    }

    void sendWithoutPasswordAsksForIt()
    {
        OpenForBtc();
        Type(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin", "0.5");
        Click(Get<TFormWithdraw>("withdraw"), "Button1");
        Click(Get<TFormWithdraw>("withdraw"), "Button4");
        QTRY_COMPARE(PanelText(Get<TFormWithdraw>("withdraw")), QStringLiteral("Enter the password"));
        QVERIFY(!Child(Get<TFormWithdraw>("withdraw"), "panel_confirm_pass")->isHidden());
        QCOMPARE(Requests("withdraw").size(), 0);
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
        Click(Get<TFormWithdraw>("withdraw"), "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("2,50000000"));
        Click(Get<TFormWithdraw>("withdraw"), "Button1");
        Type(Get<TFormWithdraw>("withdraw"), "conf_pass", "pw");
        Click(Get<TFormWithdraw>("withdraw"), "Button4");
        QTRY_COMPARE(PanelText(Get<TFormWithdraw>("withdraw")), QStringLiteral("Withdrawal accepted"));
        QTRY_COMPARE(Requests("useraccount").size(), 1);
        QTRY_COMPARE(Account().AmountText(AccountModel::Amount::Wallet, "btc"), QStringLiteral("1,00000000"));
        Click(Get<TFormWithdraw>("withdraw"), "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("1,00000000"));
        QVERIFY(Get<TFormWithdraw>("withdraw")->isVisible());
    }

    // The confirmation panel opened with the mouse takes the keyboard: typing
    // goes into the password.
    void confirmationTakesTheTyping()
    {
        OpenForBtc();
        Type(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin", "0.5");
        QTest::mouseClick(Child<QPushButton>(Get<TFormWithdraw>("withdraw"), "Button1"), Qt::LeftButton);
        auto* password = Child<QLineEdit>(Get<TFormWithdraw>("withdraw"), "conf_pass");
        QVERIFY(password->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), password);
        QTest::keyClicks(QApplication::focusWidget(), "pw");
        QCOMPARE(password->text(), QStringLiteral("pw"));
        QCOMPARE(Amount()->text(), QStringLiteral("0.5"));
    }

    void serviceThatNeverAnswersGivesMessageResult()
    {
        OpenForBtc();
        Type(Get<TFormWithdraw>("withdraw"), "val_withdraw_coin", "0.5");
        ShortenMessageTimeout(300);
        ScriptedReply never = Reply("too late");
        never.delayMs = 5000;
        fake->setDefaultReply(never);
        Click(Get<TFormWithdraw>("withdraw"), "Button1");
        Type(Get<TFormWithdraw>("withdraw"), "conf_pass", "pw");
        Click(Get<TFormWithdraw>("withdraw"), "Button4");
        QTRY_VERIFY2(PanelText(Get<TFormWithdraw>("withdraw")).startsWith("MessageResult:"), qPrintable(PanelText(Get<TFormWithdraw>("withdraw"))));
        QVERIFY(Child(Get<TFormWithdraw>("withdraw"), "panel_confirm_pass")->isHidden());
        QVERIFY(Child<QLineEdit>(Get<TFormWithdraw>("withdraw"), "conf_pass")->text().isEmpty());
    }
};

AMBERVALE_GUI_TEST_MAIN(WithdrawTest)
#include "tst_withdraw.moc"
