// The wallet dashboard: coin list, selected coin's figures, hand-overs, navigation, refresh.
#include "ScreenTestSupport.h"

#include "Login.h"
#include "Lotto.h"
#include "dashboard.h"
#include "free_coin.h"
#include "info.h"
#include "invest.h"
#include "refferal.h"
#include "settings.h"
#include "swapcoin.h"
#include "withdraw.h"

#include <QListWidget>
#include <QPushButton>

using namespace support;

class DashboardTest : public ScreenTest {
    Q_OBJECT

    void SetLimit(const QString& key, const QString& value)
    {
        ChangeLimits([&](QJsonObject& limits) { limits[key] = value; });
    }

    void Ready() override { LogIn(); }

private slots:

    void listHoldsFifteenNamedRowsAndStartsOnDoge()
    {
        Account().SetCurrentCoin("btc", FullName("btc"));
        Get<TFormDashboard>("dashboard")->show();
        auto* list = Child<QListWidget>(Get<TFormDashboard>("dashboard"), "ListBox1");
        QCOMPARE(list->count(), 15);
        const QStringList order{"BTC",  "LTC", "BNB", "ETH",  "DOGE", "TRX", "USDT", "BCH",
                                "DASH", "XMR", "ETC", "SHIB", "ZEC",  "SOL", "MATIC"};
        for (int i = 0; i < 15; ++i) {
            QCOMPARE(list->item(i)->text(), order[i]);
            QWidget* row = list->itemWidget(list->item(i));
            QCOMPARE(row->objectName(), "List_" + order[i]);
            QVERIFY(row->findChild<QLabel*>("wall_" + order[i].toLower()));
            QVERIFY(!row->findChild<QLabel*>("img_coin_" + order[i].toLower())->pixmap().isNull());
        }
        QCOMPARE(Account().CurrentCoin(), QStringLiteral("doge"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "fullname_coin")->text(), FullName("doge"));
        // The snapshot wrote every row's balance.
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "wall_matic")->text(), QStringLiteral("0,50000000"));
    }

    void selectedCoinFiguresAndRentalPanel()
    {
        QJsonObject account = AccountReply("0");
        account["inv_doge"] = "0.5";
        account["wall_doge"] = "1.25";
        account["rental_days_doge"] = "30";
        LogIn(SettingsReply(), account);
        Get<TFormDashboard>("dashboard")->show();
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_wall_coin")->text(), QStringLiteral("1,25000000"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_inv_coin")->text(), QStringLiteral("0,50000000"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_APR_coin")->text(), QStringLiteral("12%"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_rental_coin")->text(), QStringLiteral("30 Days"));
        QVERIFY(!Child<QFrame>(Get<TFormDashboard>("dashboard"), "panel_rental")->isHidden());
        QCOMPARE(Child<QLineEdit>(Get<TFormInvest>("invest"), "val_invest_coin")->text(), QStringLiteral("0,50000000"));
        // Another coin with nothing invested hides the rental panel and changes the header icon.
        const QImage dogeIcon = Child<QLabel>(Get<TFormDashboard>("dashboard"), "image_main")->pixmap().toImage();
        SelectCoin("btc");
        QCOMPARE(Account().CurrentCoin(), QStringLiteral("btc"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "fullname_coin")->text(), FullName("btc"));
        QVERIFY(Child<QFrame>(Get<TFormDashboard>("dashboard"), "panel_rental")->isHidden());
        QVERIFY(Child<QLabel>(Get<TFormDashboard>("dashboard"), "image_main")->pixmap().toImage() != dogeIcon);
    }

    // Every row of the coin list shows its balance, wide enough to be read.
    void everyRowShowsItsBalanceWhole()
    {
        LogIn(SettingsReply(), AccountReply("12345.6789"));
        Activate(Get<TFormDashboard>("dashboard"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "wall_btc")->text(), QStringLiteral("12345,67890000"));
        QString why;
        QTRY_VERIFY2(RowValuesDrawnWhole(Get<TFormDashboard>("dashboard"), "wall_", &why), qPrintable(why));
    }

    // The daily line is in the selected coin's unit, also when the coins hold
    // the same invested amount (every coin holds 0.5 here, at 12 %).
    void dailyEarningIsInTheSelectedCoinsUnit()
    {
        Activate(Get<TFormDashboard>("dashboard"));
        auto* daily = Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_dohod_coin");
        QCOMPARE(daily->text(), QStringLiteral("0,00016438 DOGE/Day"));
        for (const QString coin : {"btc", "eth", "matic", "doge"}) {
            SelectCoin(coin);
            QCOMPARE(daily->text(), "0,00016438 " + coin.toUpper() + "/Day");
        }
    }

    void aprIsAWholeNumber()
    {
        SetLimit("APR_doge", "015");
        Get<TFormDashboard>("dashboard")->show();
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_APR_coin")->text(), QStringLiteral("15%"));
        Get<TFormDashboard>("dashboard")->hide();

        QJsonObject account = AccountReply("0.5");
        account["wall_doge"] = "7";
        TakeAccount(account);
        SetLimit("APR_doge", "12.5");
        Activate(Get<TFormDashboard>("dashboard"));
        QVERIFY(PanelShown(Get<TFormDashboard>("dashboard")));
        QVERIFY(PanelText(Get<TFormDashboard>("dashboard")).startsWith("Error show_full_balance: "));
        // The steps before the APR were written.
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_wall_coin")->text(), QStringLiteral("7,00000000"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_inv_coin")->text(), QStringLiteral("0,50000000"));
    }

    void earningsProjectionAndAprExplanation()
    {
        QJsonObject account = AccountReply("0");
        account["inv_doge"] = "2.5";
        LogIn(SettingsReply(), account);
        Activate(Get<TFormDashboard>("dashboard"));
        QTest::mouseClick(Child<ClickableFrame>(Get<TFormDashboard>("dashboard"), "Image2"), Qt::LeftButton);
        QTRY_COMPARE(PanelText(Get<TFormDashboard>("dashboard")),
                 QStringLiteral("Year: 0,30000000DOGE\r\n6 Month: 0,15000000DOGE\r\n3 Month: 0,07500000DOGE\r\n"
                                "1 Week: 0,00575342DOGE\r\n1 Day: 0,00082191DOGE"));
        for (QWidget* target : {static_cast<QWidget*>(Child<ClickableLabel>(Get<TFormDashboard>("dashboard"), "Label4")),
                                static_cast<QWidget*>(Child<ClickableFrame>(Get<TFormDashboard>("dashboard"), "APR_coin_panel"))}) {
            Child<MessagePanel>(Get<TFormDashboard>("dashboard"), "PanelErrorMessage")->hide();
            QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(2, 2));
            QVERIFY(PanelText(Get<TFormDashboard>("dashboard")).startsWith("ℹAPR - this is the percentage of return per year"));
            QTRY_COMPARE(PanelText(Get<TFormDashboard>("dashboard")).count("\r\n"), 2);
        }
    }

    void withdrawHandOverComputesTheFee_data()
    {
        QTest::addColumn<QString>("minimum");
        QTest::addColumn<QString>("fee");
        QTest::newRow("0.0005") << "0.0005"
                                << "0,00005+3%";
        QTest::newRow("0.00005") << "0.00005"
                                 << "5E-6+3%";
        QTest::newRow("0.001") << "0.001"
                               << "0,0001+3%";
    }

    void withdrawHandOverComputesTheFee()
    {
        QFETCH(QString, minimum);
        QFETCH(QString, fee);
        SetLimit("btc", minimum);
        Activate(Get<TFormDashboard>("dashboard"));
        SelectCoin("btc");
        QTest::mouseClick(Child<QPushButton>(Get<TFormDashboard>("dashboard"), "ButtonWithdraw"), Qt::LeftButton);
        QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), "fee_coin")->text(), fee);
        QCOMPARE(Child<QLabel>(Get<TFormWithdraw>("withdraw"), "Label1")->text(), "Withdraw " + FullName("btc"));
        QCOMPARE(Account().WithdrawMinimumText(), QString(minimum).replace('.', ','));
        QVERIFY(Get<TFormWithdraw>("withdraw")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
    }

    void withdrawWithoutAMinimumStaysAndSaysWhy()
    {
        ChangeLimits([](QJsonObject& limits) { limits.remove("btc"); });
        Activate(Get<TFormDashboard>("dashboard"));
        SelectCoin("btc");
        QTest::mouseClick(Child<QPushButton>(Get<TFormDashboard>("dashboard"), "ButtonWithdraw"), Qt::LeftButton);
        QVERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QVERIFY(!Get<TFormWithdraw>("withdraw")->isVisible());
        QVERIFY(PanelShown(Get<TFormDashboard>("dashboard")));
    }

    void investHandOver()
    {
        Activate(Get<TFormDashboard>("dashboard"));
        QTest::mouseClick(Child<QPushButton>(Get<TFormDashboard>("dashboard"), "Button1"), Qt::LeftButton);
        QVERIFY(Get<TFormInvest>("invest")->isVisible());
        QCOMPARE(Child<QLabel>(Get<TFormInvest>("invest"), "Label1")->text(), "Invest " + FullName("doge"));
        QCOMPARE(Child<QLineEdit>(Get<TFormInvest>("invest"), "val_invest_coin")->text(), QStringLiteral("0,50000000"));
    }

    void navigationOpensEveryScreen_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("screen");
        QTest::newRow("lottery") << "Image4"
                                 << "FormLotto";
        QTest::newRow("faucet") << "freecoin_btn"
                                << "FormFaucet";
        QTest::newRow("information") << "Image3"
                                     << "FormInfo";
        QTest::newRow("swap") << "swap_btn"
                              << "FormSwap";
        QTest::newRow("referral") << "ref_btn"
                                  << "FormRefferal";
        QTest::newRow("settings") << "setting_btn"
                                  << "FormSetting";
    }

    void navigationOpensEveryScreen()
    {
        QFETCH(QString, image);
        QFETCH(QString, screen);
        State().SettingsReturnTo = "login";
        Activate(Get<TFormDashboard>("dashboard"));
        QTest::mouseClick(Child(Get<TFormDashboard>("dashboard"), image), Qt::LeftButton);
        for (QWidget* s : AllScreens()) QCOMPARE(s->isVisible(), s->objectName() == screen);
        if (screen == "FormInfo") QCOMPARE(Child<QTabWidget>(Get<TFormInfo>("info"), "TabControl1")->currentWidget(), Child<QWidget>(Get<TFormInfo>("info"), "TabGuides"));
        if (screen == "FormSetting") QCOMPARE(Child<QLabel>(Get<TFormSetting>("settings"), "Label24")->text(), QStringLiteral("Old Pass:"));
        // Every one of them leads back to the dashboard.
        for (QWidget* s : AllScreens())
            if (s->isVisible()) s->close();
        QVERIFY(Get<TFormDashboard>("dashboard")->isVisible());
    }

    void navigationStripSlidesAwayAndBack()
    {
        Get<TFormDashboard>("dashboard")->show();
        QVERIFY(Get<TFormDashboard>("dashboard")->NavigationStripOpen());
        QVERIFY(Child<ClickableLabel>(Get<TFormDashboard>("dashboard"), "o_right_panel")->isHidden());
        QTest::mouseClick(Child<ClickableLabel>(Get<TFormDashboard>("dashboard"), "c_right_panel"), Qt::LeftButton);
        QCOMPARE(Get<TFormDashboard>("dashboard")->Panel1RightMargin(), -53);
        QVERIFY(!Child<ClickableLabel>(Get<TFormDashboard>("dashboard"), "o_right_panel")->isHidden());
        QTest::mouseClick(Child<ClickableLabel>(Get<TFormDashboard>("dashboard"), "o_right_panel"), Qt::LeftButton);
        QCOMPARE(Get<TFormDashboard>("dashboard")->Panel1RightMargin(), 0);
        // A drag to the right across the wallet area slides it away, to the left brings it back.
        QWidget* wallet = Child<QFrame>(Get<TFormDashboard>("dashboard"), "panel_wallet");
        const QPoint a(40, wallet->height() / 2), b(240, wallet->height() / 2);
        QTest::mousePress(wallet, Qt::LeftButton, {}, a);
        QTest::mouseRelease(wallet, Qt::LeftButton, {}, b);
        QVERIFY(!Get<TFormDashboard>("dashboard")->NavigationStripOpen());
        QTest::mousePress(wallet, Qt::LeftButton, {}, b);
        QTest::mouseRelease(wallet, Qt::LeftButton, {}, a);
        QVERIFY(Get<TFormDashboard>("dashboard")->NavigationStripOpen());
        Get<TFormDashboard>("dashboard")->panel_walletGesture(TFormDashboard::Swipe::Other);
        QVERIFY(Get<TFormDashboard>("dashboard")->NavigationStripOpen());
    }

    void searchNarrowsTheRows()
    {
        Get<TFormDashboard>("dashboard")->show();
        QTest::keyClicks(Child<QLineEdit>(Get<TFormDashboard>("dashboard"), "SearchBox1"), "et");
        QStringList shown;
        for (int i = 0; i < Child<QListWidget>(Get<TFormDashboard>("dashboard"), "ListBox1")->count(); ++i)
            if (!Child<QListWidget>(Get<TFormDashboard>("dashboard"), "ListBox1")->item(i)->isHidden()) shown << Child<QListWidget>(Get<TFormDashboard>("dashboard"), "ListBox1")->item(i)->text();
        QCOMPARE(shown, (QStringList{"ETH", "ETC"}));
        QCOMPARE(Child<QLineEdit>(Get<TFormDashboard>("dashboard"), "SearchBox1")->maxLength(), 20);
        Child<QLineEdit>(Get<TFormDashboard>("dashboard"), "SearchBox1")->clear();
        for (int i = 0; i < Child<QListWidget>(Get<TFormDashboard>("dashboard"), "ListBox1")->count(); ++i)
            QVERIFY(!Child<QListWidget>(Get<TFormDashboard>("dashboard"), "ListBox1")->item(i)->isHidden());
    }

    void refreshRunsOnlyWhileLoggedInAndVisible()
    {
        Get<TFormDashboard>("dashboard")->show();
        Get<TFormDashboard>("dashboard")->TimeCheckBalanceTimer();
        // Account requests only: a new snapshot also brings the prices and a look at the history.
        QTRY_COMPARE(Requests("useraccount").size(), 1);
        for (const RecordedRequest& r : fake->requests())
            QVERIFY2(QStringList({"useraccount", "prices", "history"}).contains(r.field("a")), qPrintable(r.field("a")));
        QCOMPARE(Get<TFormDashboard>("dashboard")->TimeCheckBalance->interval(), 20000);
        QVERIFY(Get<TFormDashboard>("dashboard")->TimeCheckBalance->isActive());

        // The settings screen in front: nothing is sent.
        QTest::mouseClick(Child<ClickableLabel>(Get<TFormDashboard>("dashboard"), "setting_btn"), Qt::LeftButton);
        Get<TFormDashboard>("dashboard")->TimeCheckBalanceTimer();
        Get<TFormSetting>("settings")->close();
        // Closed dashboard: logged out, nothing is sent afterwards.
        Get<TFormDashboard>("dashboard")->close();
        Get<TFormDashboard>("dashboard")->TimeCheckBalanceTimer();
        QTest::qWait(300);
        QCOMPARE(Requests("useraccount").size(), 1);
    }

    void snapshotWhileHiddenRefreshesOnNextShowing()
    {
        Get<TFormDashboard>("dashboard")->hide();
        TakeAccount(AccountReply("3"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "wall_doge")->text(), QStringLiteral("3,00000000"));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_wall_coin")->text(), QStringLiteral("0"));
        Get<TFormDashboard>("dashboard")->show();
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "lab_wall_coin")->text(), QStringLiteral("3,00000000"));
    }
};

AMBERVALE_GUI_TEST_MAIN(DashboardTest)
#include "tst_dashboard.moc"
