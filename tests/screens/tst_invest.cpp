// The invest screen: earnings while the amount changes, end of rental, the
// dashboard's daily figure, and the blocking invest request.
#include "MoneyTestSupport.h"
#include "ScreenTestSupport.h"

#include "Login.h"
#include "dashboard.h"
#include "invest.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

using namespace support;

class InvestTest : public ScreenTest {
    Q_OBJECT

    static const QStringList& FigureNames()
    {
        static const QStringList names{"Text_dohod_year",   "Text_dohod_6month", "Text_dohod_3month",
                                       "Text_dohod_1month", "Text_dohod_week",   "Text_dohod_day"};
        return names;
    }
    QStringList Figures() const
    {
        QStringList texts;
        for (const QString& n : FigureNames()) texts << Child<QLabel>(FormInvest, n)->text();
        return texts;
    }
    QLineEdit* Amount() const { return Child<QLineEdit>(FormInvest, "val_invest_coin"); }
    QComboBox* Rental() const { return Child<QComboBox>(FormInvest, "ComboBox1"); }
    QString EndRental() const { return Child<QLabel>(FormInvest, "lab_end_rental")->text(); }

    // Logged in with btc at the given APR, the invest screen opened for btc from
    // the dashboard.
    void OpenForBtc(const QString& apr = "10", const QJsonObject& account = AccountReply("0.5"))
    {
        QJsonObject settings = SettingsReply();
        QJsonObject limits = settings["min_withdraw_coin"].toObject();
        limits["APR_btc"] = apr;
        settings["min_withdraw_coin"] = limits;
        LogIn(settings, account);
        Activate(FormDashboard);
        SelectCoin("btc");
        Click(FormDashboard, "Button1");
        QVERIFY(FormInvest->isVisible());
        QVERIFY(!FormDashboard->isVisible());
        Activate(FormInvest);
    }

    void SetApr(const QString& apr)
    {
        QJsonObject limits = *State().MinWithdrawJson;
        limits["APR_btc"] = apr;
        State().MinWithdrawJson = limits;
    }

    void OpenConfirmation(const QString& password)
    {
        Click(FormInvest, "Button1");
        QVERIFY(!Child(FormInvest, "panel_confirm_pass")->isHidden());
        Type(FormInvest, "conf_pass", password);
    }

private slots:
    void formCarriesItsControls()
    {
        QCOMPARE(FormInvest->windowTitle(), QStringLiteral("Invest"));
        QCOMPARE(FormInvest->size(), QSize(484, 516));
        QCOMPARE(Child<QLabel>(FormInvest, "Label1")->text(), QStringLiteral("Invest coin"));
        QCOMPARE(Amount()->text(), QStringLiteral("0"));
        QCOMPARE(Child<QPushButton>(FormInvest, "Button3")->text(), QStringLiteral("MAX"));
        QCOMPARE(Child<QPushButton>(FormInvest, "Button1")->text(), QStringLiteral("Investing"));
        QCOMPARE(Child<QPushButton>(FormInvest, "Button4")->text(), QStringLiteral("Send"));
        QCOMPARE(Child<QLabel>(FormInvest, "lab_end_rental")->text(), QStringLiteral("+ 0 Coin"));
        QCOMPARE(Child<QLabel>(FormInvest, "Text1")->text(), QStringLiteral("Earning Calcucate "));
        QCOMPARE(Child<QLabel>(FormInvest, "Text3")->text(), QStringLiteral("Confirm the password:"));
        QCOMPARE(Child<QLineEdit>(FormInvest, "conf_pass")->echoMode(), QLineEdit::Password);
        QVERIFY(Child(FormInvest, "panel_confirm_pass")->isHidden());
        QCOMPARE(Rental()->count(), 5);
        QCOMPARE(Rental()->currentIndex(), 3);
        QCOMPARE(Rental()->currentText(), QStringLiteral("1 Year (15% fee)"));
        // Labels that carry server text show it as plain text.
        for (const QString& n : FigureNames() + QStringList{"Label1", "lab_end_rental"})
            QCOMPARE(Child<QLabel>(FormInvest, n)->textFormat(), Qt::PlainText);
    }

    void oneAtAprTenGivesTheSixFiguresAndTheYearsReturn()
    {
        OpenForBtc("10");
        QCOMPARE(Child<QLabel>(FormInvest, "Label1")->text(), "Invest " + FullName("btc"));
        Type(FormInvest, "val_invest_coin", "1");
        QCOMPARE(Figures(), (QStringList{"0,10000000 BTC", "0,05000000 BTC", "0,02500000 BTC", "0,00833333 BTC",
                                         "0,00191780 BTC", "0,00027397 BTC"}));
        QCOMPARE(EndRental(), QStringLiteral("+0,85000000 BTC"));
        QVERIFY(!PanelShown(FormInvest));
    }

    void amountTypedWithAPointComputesAndIsPostedAsTyped()
    {
        OpenForBtc("12");
        Type(FormInvest, "val_invest_coin", "2.5");
        QCOMPARE(Amount()->text(), QStringLiteral("2.5"));
        QCOMPARE(Figures().first(), QStringLiteral("0,30000000 BTC"));
        QCOMPARE(Figures().last(), QStringLiteral("0,00082191 BTC"));

        const QString login = State().UserLogin; // the account refresh after the answer rereads it
        fake->enqueue(Reply("Investment accepted"));
        OpenConfirmation("s3cret");
        Click(FormInvest, "Button4");
        const QList<RecordedRequest> sent = Requests("invest_coin");
        QCOMPARE(sent.size(), 1);
        const RecordedRequest& r = sent.first();
        QCOMPARE(FieldNames(r), (QStringList{"a", "rental_code", "coin", "value", "s", "pass", "session"}));
        QCOMPARE(r.field("rental_code"), QStringLiteral("3"));
        QCOMPARE(r.field("coin"), QStringLiteral("btc"));
        QCOMPARE(r.field("value"), QStringLiteral("2.5"));
        QCOMPARE(r.field("s"), login);
        QCOMPARE(r.field("pass"), digest::MD5("s3cret"));
        QVERIFY(IsToken(r.field("session")));
        // The answer is on screen, the panel closed and the password gone.
        QCOMPARE(PanelText(FormInvest), QStringLiteral("Investment accepted"));
        QVERIFY(Child(FormInvest, "panel_confirm_pass")->isHidden());
        QVERIFY(Child<QLineEdit>(FormInvest, "conf_pass")->text().isEmpty());
    }

    void rentalCodeIsTheSelectedIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("endRental");
        QTest::newRow("3 months") << 1 << "+0,65000000 BTC";
        QTest::newRow("6 months") << 2 << "+0,75000000 BTC";
        QTest::newRow("1 year") << 3 << "+0,85000000 BTC";
        QTest::newRow("2 years") << 4 << "+0,90000000 BTC";
    }

    void rentalCodeIsTheSelectedIndex()
    {
        QFETCH(int, index);
        QFETCH(QString, endRental);
        OpenForBtc("10");
        Type(FormInvest, "val_invest_coin", "1");
        Rental()->setCurrentIndex(index);
        QCOMPARE(EndRental(), endRental);
        fake->enqueue(Reply("OK"));
        OpenConfirmation("pw");
        Click(FormInvest, "Button4");
        QCOMPARE(Requests("invest_coin").size(), 1);
        QCOMPARE(Requests("invest_coin").first().field("rental_code"), QString::number(index));
    }

    void placeholderSelectsOneYearInstead()
    {
        OpenForBtc("10");
        Type(FormInvest, "val_invest_coin", "1");
        Rental()->setCurrentIndex(4);
        QCOMPARE(EndRental(), QStringLiteral("+0,90000000 BTC"));
        Rental()->setCurrentIndex(0);
        QCOMPARE(Rental()->currentIndex(), 3);
        QCOMPARE(EndRental(), QStringLiteral("+0,85000000 BTC"));
    }

    void rentalChangeWithAnUnreadableAmountKeepsTheLastFigure()
    {
        OpenForBtc("10");
        Type(FormInvest, "val_invest_coin", "1");
        Amount()->clear();
        Rental()->setCurrentIndex(1);
        QCOMPARE(EndRental(), QStringLiteral("+0,85000000 BTC"));
        QVERIFY(!PanelShown(FormInvest));
    }

    void fractionalAprShowsTheErrorAndChangesNoFigure()
    {
        OpenForBtc("10");
        Type(FormInvest, "val_invest_coin", "1");
        const QStringList before = Figures();
        const QString endBefore = EndRental();
        SetApr("12.5");
        Amount()->setText("2");
        QVERIFY(PanelShown(FormInvest));
        QVERIFY2(PanelText(FormInvest).startsWith("Error ChangeValCalculate: "), qPrintable(PanelText(FormInvest)));
        QCOMPARE(Figures(), before);
        QCOMPARE(EndRental(), endBefore);
    }

    void dailyEarningReachesTheDashboardOnlyWhileItIsVisible()
    {
        QJsonObject account = AccountReply("0");
        account["inv_btc"] = "1";
        QJsonObject settings = SettingsReply();
        QJsonObject limits = settings["min_withdraw_coin"].toObject();
        limits["APR_btc"] = "10";
        settings["min_withdraw_coin"] = limits;
        LogIn(settings, account);
        Activate(FormDashboard);
        auto* daily = Child<QLabel>(FormDashboard, "lab_dohod_coin");
        QCOMPARE(daily->text(), QStringLiteral("0,00000000 DOGE/Day"));
        SelectCoin("btc");
        QCOMPARE(Amount()->text(), QStringLiteral("1,00000000"));
        QCOMPARE(daily->text(), QStringLiteral("0,00027397 BTC/Day"));

        Click(FormDashboard, "Button1");
        Type(FormInvest, "val_invest_coin", "2");
        QCOMPARE(Figures().last(), QStringLiteral("0,00054794 BTC"));
        QCOMPARE(daily->text(), QStringLiteral("0,00027397 BTC/Day"));
    }

    void maxFillsTheWalletBalanceAndIsPostedWithItsComma()
    {
        QJsonObject account = AccountReply("0.5");
        account["wall_btc"] = "0.12345678";
        OpenForBtc("10", account);
        // Opening ran "MAX".
        QCOMPARE(Amount()->text(), QStringLiteral("0,12345678"));
        Amount()->setText("3");
        Click(FormInvest, "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("0,12345678"));
        QCOMPARE(Figures().first(), QStringLiteral("0,01234567 BTC"));
        fake->enqueue(Reply("OK"));
        OpenConfirmation("pw");
        Click(FormInvest, "Button4");
        QCOMPARE(Requests("invest_coin").first().field("value"), QStringLiteral("0,12345678"));
    }

    void maxWithoutABalanceLeavesTheAmount()
    {
        QJsonObject account = AccountReply("0.5");
        account.remove("wall_btc");
        OpenForBtc("10", account);
        Amount()->setText("7");
        Click(FormInvest, "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("7"));
    }

    void sendWithoutPasswordAsksForIt()
    {
        OpenForBtc("10");
        Click(FormInvest, "Button1");
        Click(FormInvest, "Button4");
        QCOMPARE(PanelText(FormInvest), QStringLiteral("Enter the password"));
        QVERIFY(!Child(FormInvest, "panel_confirm_pass")->isHidden());
        QCOMPARE(Requests("invest_coin").size(), 0);
        // The close mark hides the panel.
        Click(FormInvest, "Text5");
        QVERIFY(Child(FormInvest, "panel_confirm_pass")->isHidden());
    }

    void badAmounts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("message");
        QTest::newRow("letters") << "abc" << true;
        QTest::newRow("several separators") << "1,2,3" << true;
        QTest::newRow("several points") << "1.2.3" << true;
        QTest::newRow("lone minus") << "-" << true;
        QTest::newRow("400 digits") << QString(400, QLatin1Char('9')) << true;
        QTest::newRow("pasted with spaces") << "1 000" << true;
        QTest::newRow("empty: nothing") << "" << false;
        QTest::newRow("negative: nothing") << "-5" << false;
    }

    void badAmounts()
    {
        QFETCH(QString, text);
        QFETCH(bool, message);
        OpenForBtc("10");
        Type(FormInvest, "val_invest_coin", "1");
        const QStringList before = Figures();
        const QString endBefore = EndRental();
        Amount()->setText(text); // as pasted
        QCOMPARE(PanelShown(FormInvest), message);
        if (message) QVERIFY(PanelText(FormInvest).startsWith("Error ChangeValCalculate: "));
        QCOMPARE(Figures(), before);
        QCOMPARE(EndRental(), endBefore);
    }

    void sendHoldsTheEventLoopUntilTheAnswer()
    {
        OpenForBtc("10");
        ScriptedReply slow = Reply("Done late");
        slow.delayMs = 400;
        fake->enqueue(slow);
        OpenConfirmation("pw");
        bool timerRan = false;
        QTimer::singleShot(0, [&] { timerRan = true; });
        QElapsedTimer clock;
        clock.start();
        Click(FormInvest, "Button4");
        // The answer was handled inside the click, and nothing else ran meanwhile.
        QVERIFY(clock.elapsed() >= 350);
        QVERIFY(!timerRan);
        QCOMPARE(PanelText(FormInvest), QStringLiteral("Done late"));
        QTRY_VERIFY(timerRan);
    }

    void serviceThatNeverAnswersGivesMessageResult()
    {
        OpenForBtc("10");
        ShortenMessageTimeout(300);
        ScriptedReply never = Reply("too late");
        never.delayMs = 5000;
        fake->setDefaultReply(never);
        OpenConfirmation("pw");
        Click(FormInvest, "Button4");
        QVERIFY2(PanelText(FormInvest).startsWith("MessageResult:"), qPrintable(PanelText(FormInvest)));
        QVERIFY(Child(FormInvest, "panel_confirm_pass")->isHidden());
        QVERIFY(Child<QLineEdit>(FormInvest, "conf_pass")->text().isEmpty());
    }

    // The answer is in and the account is fetched at once: "MAX" offers only
    // what is still held, and the user stays on the invest screen.
    void answerRefreshesTheAccountAtOnce()
    {
        QJsonObject before = AccountReply("0.5");
        before["wall_btc"] = "2.5";
        QJsonObject after = AccountReply("0.5");
        after["wall_btc"] = "1";
        fake->setHandler([after](const RecordedRequest& r) {
            return Reply(r.field("a") == QLatin1String("invest_coin") ? QByteArray("Investment accepted") : Json(after));
        });
        OpenForBtc("10", before);
        QCOMPARE(Amount()->text(), QStringLiteral("2,50000000"));
        OpenConfirmation("pw");
        Click(FormInvest, "Button4");
        QCOMPARE(PanelText(FormInvest), QStringLiteral("Investment accepted"));
        QTRY_COMPARE(Requests("useraccount").size(), 1);
        QTRY_COMPARE(State().UserAccountJson->value("wall_btc").toString(), QStringLiteral("1"));
        Click(FormInvest, "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("1,00000000"));
        QVERIFY(FormInvest->isVisible());
        QVERIFY(!FormDashboard->isVisible());
    }

    // The confirmation panel opened with the mouse takes the keyboard: typing
    // goes into the password, not into the amount or nowhere.
    void confirmationTakesTheTyping()
    {
        OpenForBtc("10");
        const QString amount = Amount()->text();
        Amount()->setFocus();
        QTest::mouseClick(Child<QPushButton>(FormInvest, "Button1"), Qt::LeftButton);
        auto* password = Child<QLineEdit>(FormInvest, "conf_pass");
        QVERIFY(password->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), password);
        QTest::keyClicks(QApplication::focusWidget(), "pw");
        QCOMPARE(password->text(), QStringLiteral("pw"));
        QCOMPARE(Amount()->text(), amount);
    }

    void closingReturnsToTheDashboard()
    {
        OpenForBtc("10");
        Click(FormInvest, "btn_back");
        QTRY_VERIFY(FormDashboard->isVisible());
        QVERIFY(!FormInvest->isVisible());
    }
};

AMBERVALE_GUI_TEST_MAIN(InvestTest)
#include "tst_invest.moc"
