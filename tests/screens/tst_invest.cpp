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
        for (const QString& n : FigureNames()) texts << Child<QLabel>(Get<TFormInvest>("invest"), n)->text();
        return texts;
    }
    QLineEdit* Amount() const { return Child<QLineEdit>(Get<TFormInvest>("invest"), "val_invest_coin"); }
    QComboBox* Rental() const { return Child<QComboBox>(Get<TFormInvest>("invest"), "ComboBox1"); }
    QString EndRental() const { return Child<QLabel>(Get<TFormInvest>("invest"), "lab_end_rental")->text(); }

    // Logged in with btc at the given APR, the invest screen opened for btc from
    // the dashboard.
    void OpenForBtc(const QString& apr = "10", const QJsonObject& account = AccountReply("0.5"))
    {
        QJsonObject settings = SettingsReply();
        QJsonObject limits = settings["min_withdraw_coin"].toObject();
        limits["APR_btc"] = apr;
        settings["min_withdraw_coin"] = limits;
        LogIn(settings, account);
        Activate(Get<TFormDashboard>("dashboard"));
        SelectCoin("btc");
        Click(Get<TFormDashboard>("dashboard"), "Button1");
        QVERIFY(Get<TFormInvest>("invest")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
        Activate(Get<TFormInvest>("invest"));
    }

    void SetApr(const QString& apr)
    {
        ChangeLimits([&](QJsonObject& limits) { limits["APR_btc"] = apr; });
    }

    void OpenConfirmation(const QString& password)
    {
        Click(Get<TFormInvest>("invest"), "Button1");
        QVERIFY(!Child(Get<TFormInvest>("invest"), "panel_confirm_pass")->isHidden());
        Type(Get<TFormInvest>("invest"), "conf_pass", password);
    }

private slots:
    void formCarriesItsControls()
    {
        QCOMPARE(Get<TFormInvest>("invest")->windowTitle(), QStringLiteral("Invest"));
        QCOMPARE(Get<TFormInvest>("invest")->size(), QSize(484, 516));
        QCOMPARE(Child<QLabel>(Get<TFormInvest>("invest"), "Label1")->text(), QStringLiteral("Invest coin"));
        QCOMPARE(Amount()->text(), QStringLiteral("0"));
        QCOMPARE(Child<QPushButton>(Get<TFormInvest>("invest"), "Button3")->text(), QStringLiteral("MAX"));
        QCOMPARE(Child<QPushButton>(Get<TFormInvest>("invest"), "Button1")->text(), QStringLiteral("Investing"));
        QCOMPARE(Child<QPushButton>(Get<TFormInvest>("invest"), "Button4")->text(), QStringLiteral("Send"));
        QCOMPARE(Child<QLabel>(Get<TFormInvest>("invest"), "lab_end_rental")->text(), QStringLiteral("+ 0 Coin"));
        QCOMPARE(Child<QLabel>(Get<TFormInvest>("invest"), "Text1")->text(), QStringLiteral("Earning Calcucate "));
        QCOMPARE(Child<QLabel>(Get<TFormInvest>("invest"), "Text3")->text(), QStringLiteral("Confirm the password:"));
        QCOMPARE(Child<QLineEdit>(Get<TFormInvest>("invest"), "conf_pass")->echoMode(), QLineEdit::Password);
        QVERIFY(Child(Get<TFormInvest>("invest"), "panel_confirm_pass")->isHidden());
        QCOMPARE(Rental()->count(), 5);
        QCOMPARE(Rental()->currentIndex(), 3);
        QCOMPARE(Rental()->currentText(), QStringLiteral("1 Year (15% fee)"));
        // Labels that carry server text show it as plain text.
        for (const QString& n : FigureNames() + QStringList{"Label1", "lab_end_rental"})
            QCOMPARE(Child<QLabel>(Get<TFormInvest>("invest"), n)->textFormat(), Qt::PlainText);
    }

    void oneAtAprTenGivesTheSixFiguresAndTheYearsReturn()
    {
        OpenForBtc("10");
        QCOMPARE(Child<QLabel>(Get<TFormInvest>("invest"), "Label1")->text(), "Invest " + FullName("btc"));
        Type(Get<TFormInvest>("invest"), "val_invest_coin", "1");
        QCOMPARE(Figures(), (QStringList{"0,10000000 BTC", "0,05000000 BTC", "0,02500000 BTC", "0,00833333 BTC",
                                         "0,00191780 BTC", "0,00027397 BTC"}));
        QCOMPARE(EndRental(), QStringLiteral("+0,85000000 BTC"));
        QVERIFY(!PanelShown(Get<TFormInvest>("invest")));
    }

    void amountTypedWithAPointComputesAndIsPostedAsTyped()
    {
        OpenForBtc("12");
        Type(Get<TFormInvest>("invest"), "val_invest_coin", "2.5");
        QCOMPARE(Amount()->text(), QStringLiteral("2.5"));
        QCOMPARE(Figures().first(), QStringLiteral("0,30000000 BTC"));
        QCOMPARE(Figures().last(), QStringLiteral("0,00082191 BTC"));

        const QString login = State().UserLogin; // the account refresh after the answer rereads it
        fake->enqueue(Reply("Investment accepted"));
        OpenConfirmation("s3cret");
        Click(Get<TFormInvest>("invest"), "Button4");
        QTRY_COMPARE(Requests("invest_coin").size(), 1);
        const QList<RecordedRequest> sent = Requests("invest_coin");
        const RecordedRequest& r = sent.first();
        QCOMPARE(FieldNames(r), (QStringList{"a", "rental_code", "coin", "value", "s", "pass", "session"}));
        QCOMPARE(r.field("rental_code"), QStringLiteral("3"));
        QCOMPARE(r.field("coin"), QStringLiteral("btc"));
        QCOMPARE(r.field("value"), QStringLiteral("2.5"));
        QCOMPARE(r.field("s"), login);
        QCOMPARE(r.field("pass"), digest::MD5("s3cret"));
        QVERIFY(IsToken(r.field("session")));
        // The answer is on screen, the panel closed and the password gone.
        QTRY_COMPARE(PanelText(Get<TFormInvest>("invest")), QStringLiteral("Investment accepted"));
        QVERIFY(Child(Get<TFormInvest>("invest"), "panel_confirm_pass")->isHidden());
        QVERIFY(Child<QLineEdit>(Get<TFormInvest>("invest"), "conf_pass")->text().isEmpty());
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
        Type(Get<TFormInvest>("invest"), "val_invest_coin", "1");
        Rental()->setCurrentIndex(index);
        QCOMPARE(EndRental(), endRental);
        fake->enqueue(Reply("OK"));
        OpenConfirmation("pw");
        Click(Get<TFormInvest>("invest"), "Button4");
        QTRY_COMPARE(Requests("invest_coin").size(), 1);
        QCOMPARE(Requests("invest_coin").first().field("rental_code"), QString::number(index));
    }

    void placeholderSelectsOneYearInstead()
    {
        OpenForBtc("10");
        Type(Get<TFormInvest>("invest"), "val_invest_coin", "1");
        Rental()->setCurrentIndex(4);
        QCOMPARE(EndRental(), QStringLiteral("+0,90000000 BTC"));
        Rental()->setCurrentIndex(0);
        QCOMPARE(Rental()->currentIndex(), 3);
        QCOMPARE(EndRental(), QStringLiteral("+0,85000000 BTC"));
    }

    void rentalChangeWithAnUnreadableAmountKeepsTheLastFigure()
    {
        OpenForBtc("10");
        Type(Get<TFormInvest>("invest"), "val_invest_coin", "1");
        Amount()->clear();
        Rental()->setCurrentIndex(1);
        QCOMPARE(EndRental(), QStringLiteral("+0,85000000 BTC"));
        QVERIFY(!PanelShown(Get<TFormInvest>("invest")));
    }

    void fractionalAprShowsTheErrorAndChangesNoFigure()
    {
        OpenForBtc("10");
        Type(Get<TFormInvest>("invest"), "val_invest_coin", "1");
        const QStringList before = Figures();
        const QString endBefore = EndRental();
        SetApr("12.5");
        Amount()->setText("2");
        QVERIFY(PanelShown(Get<TFormInvest>("invest")));
        QTRY_VERIFY2(PanelText(Get<TFormInvest>("invest")).startsWith("Error ChangeValCalculate: "), qPrintable(PanelText(Get<TFormInvest>("invest"))));
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
        Activate(Get<TFormDashboard>("dashboard"));
        auto* daily = Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_dohod_coin");
        QCOMPARE(daily->text(), QStringLiteral("0,00000000 DOGE/Day"));
        SelectCoin("btc");
        QCOMPARE(Amount()->text(), QStringLiteral("1,00000000"));
        QCOMPARE(daily->text(), QStringLiteral("0,00027397 BTC/Day"));

        Click(Get<TFormDashboard>("dashboard"), "Button1");
        Type(Get<TFormInvest>("invest"), "val_invest_coin", "2");
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
        Click(Get<TFormInvest>("invest"), "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("0,12345678"));
        QCOMPARE(Figures().first(), QStringLiteral("0,01234567 BTC"));
        fake->enqueue(Reply("OK"));
        OpenConfirmation("pw");
        Click(Get<TFormInvest>("invest"), "Button4");
        QTRY_COMPARE(Requests("invest_coin").size(), 1);
        QCOMPARE(Requests("invest_coin").first().field("value"), QStringLiteral("0,12345678"));
    }

    void maxWithoutABalanceLeavesTheAmount()
    {
        QJsonObject account = AccountReply("0.5");
        account.remove("wall_btc");
        OpenForBtc("10", account);
        Amount()->setText("7");
        Click(Get<TFormInvest>("invest"), "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("7"));
    }

    void sendWithoutPasswordAsksForIt()
    {
        OpenForBtc("10");
        Click(Get<TFormInvest>("invest"), "Button1");
        Click(Get<TFormInvest>("invest"), "Button4");
        QTRY_COMPARE(PanelText(Get<TFormInvest>("invest")), QStringLiteral("Enter the password"));
        QVERIFY(!Child(Get<TFormInvest>("invest"), "panel_confirm_pass")->isHidden());
        QCOMPARE(Requests("invest_coin").size(), 0);
        // The close mark hides the panel.
        Click(Get<TFormInvest>("invest"), "Text5");
        QVERIFY(Child(Get<TFormInvest>("invest"), "panel_confirm_pass")->isHidden());
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
        Type(Get<TFormInvest>("invest"), "val_invest_coin", "1");
        const QStringList before = Figures();
        const QString endBefore = EndRental();
        Amount()->setText(text); // as pasted
        QCOMPARE(PanelShown(Get<TFormInvest>("invest")), message);
        if (message) QVERIFY(PanelText(Get<TFormInvest>("invest")).startsWith("Error ChangeValCalculate: "));
        QCOMPARE(Figures(), before);
        QCOMPARE(EndRental(), endBefore);
    }

    void serviceThatNeverAnswersGivesMessageResult()
    {
        OpenForBtc("10");
        ShortenMessageTimeout(300);
        ScriptedReply never = Reply("too late");
        never.delayMs = 5000;
        fake->setDefaultReply(never);
        OpenConfirmation("pw");
        Click(Get<TFormInvest>("invest"), "Button4");
        QTRY_VERIFY2(PanelText(Get<TFormInvest>("invest")).startsWith("MessageResult:"), qPrintable(PanelText(Get<TFormInvest>("invest"))));
        QVERIFY(Child(Get<TFormInvest>("invest"), "panel_confirm_pass")->isHidden());
        QVERIFY(Child<QLineEdit>(Get<TFormInvest>("invest"), "conf_pass")->text().isEmpty());
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
        Click(Get<TFormInvest>("invest"), "Button4");
        QTRY_COMPARE(PanelText(Get<TFormInvest>("invest")), QStringLiteral("Investment accepted"));
        QTRY_COMPARE(Requests("useraccount").size(), 1);
        QTRY_COMPARE(Account().AmountText(AccountModel::Amount::Wallet, "btc"), QStringLiteral("1,00000000"));
        Click(Get<TFormInvest>("invest"), "Button3");
        QCOMPARE(Amount()->text(), QStringLiteral("1,00000000"));
        QVERIFY(Get<TFormInvest>("invest")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
    }

    // The confirmation panel opened with the mouse takes the keyboard: typing
    // goes into the password, not into the amount or nowhere.
    void confirmationTakesTheTyping()
    {
        OpenForBtc("10");
        const QString amount = Amount()->text();
        Amount()->setFocus();
        QTest::mouseClick(Child<QPushButton>(Get<TFormInvest>("invest"), "Button1"), Qt::LeftButton);
        auto* password = Child<QLineEdit>(Get<TFormInvest>("invest"), "conf_pass");
        QVERIFY(password->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), password);
        QTest::keyClicks(QApplication::focusWidget(), "pw");
        QCOMPARE(password->text(), QStringLiteral("pw"));
        QCOMPARE(Amount()->text(), amount);
    }

    void closingReturnsToTheDashboard()
    {
        OpenForBtc("10");
        Click(Get<TFormInvest>("invest"), "btn_back");
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormInvest>("invest")->isVisible());
    }
};

AMBERVALE_GUI_TEST_MAIN(InvestTest)
#include "tst_invest.moc"
