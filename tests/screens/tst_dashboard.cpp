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
        QJsonObject o = *State().MinWithdrawJson;
        o[key] = value;
        State().MinWithdrawJson = o;
    }

    void Ready() override { LogIn(); }

private slots:

    void listHoldsFifteenNamedRowsAndStartsOnDoge()
    {
        State().CurrentCoin = "btc";
        FormDashboard->show();
        auto* list = Child<QListWidget>(FormDashboard, "ListBox1");
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
        QCOMPARE(State().CurrentCoin, QStringLiteral("doge"));
        QCOMPARE(Child<QLabel>(FormDashboard, "fullname_coin")->text(), FullName("doge"));
        // The snapshot wrote every row's balance.
        QCOMPARE(Child<QLabel>(FormDashboard, "wall_matic")->text(), QStringLiteral("0,50000000"));
    }

    void selectedCoinFiguresAndRentalPanel()
    {
        QJsonObject account = AccountReply("0");
        account["inv_doge"] = "0.5";
        account["wall_doge"] = "1.25";
        account["rental_days_doge"] = "30";
        LogIn(SettingsReply(), account);
        FormDashboard->show();
        QCOMPARE(Child<QLabel>(FormDashboard, "lab_wall_coin")->text(), QStringLiteral("1,25000000"));
        QCOMPARE(Child<QLabel>(FormDashboard, "lab_inv_coin")->text(), QStringLiteral("0,50000000"));
        QCOMPARE(Child<QLabel>(FormDashboard, "lab_APR_coin")->text(), QStringLiteral("12%"));
        QCOMPARE(Child<QLabel>(FormDashboard, "lab_rental_coin")->text(), QStringLiteral("30 Days"));
        QVERIFY(!Child<QFrame>(FormDashboard, "panel_rental")->isHidden());
        QCOMPARE(Child<QLineEdit>(FormInvest, "val_invest_coin")->text(), QStringLiteral("0,50000000"));
        // Another coin with nothing invested hides the rental panel and changes the header icon.
        const QImage dogeIcon = Child<QLabel>(FormDashboard, "image_main")->pixmap().toImage();
        SelectCoin("btc");
        QCOMPARE(State().CurrentCoin, QStringLiteral("btc"));
        QCOMPARE(Child<QLabel>(FormDashboard, "fullname_coin")->text(), FullName("btc"));
        QVERIFY(Child<QFrame>(FormDashboard, "panel_rental")->isHidden());
        QVERIFY(Child<QLabel>(FormDashboard, "image_main")->pixmap().toImage() != dogeIcon);
    }

    // Every row of the coin list shows its balance, wide enough to be read.
    void everyRowShowsItsBalanceWhole()
    {
        LogIn(SettingsReply(), AccountReply("12345.6789"));
        Activate(FormDashboard);
        QCOMPARE(Child<QLabel>(FormDashboard, "wall_btc")->text(), QStringLiteral("12345,67890000"));
        QString why;
        QTRY_VERIFY2(RowValuesDrawnWhole(FormDashboard, "wall_", &why), qPrintable(why));
    }

    // The daily line is in the selected coin's unit, also when the coins hold
    // the same invested amount (every coin holds 0.5 here, at 12 %).
    void dailyEarningIsInTheSelectedCoinsUnit()
    {
        Activate(FormDashboard);
        auto* daily = Child<QLabel>(FormDashboard, "lab_dohod_coin");
        QCOMPARE(daily->text(), QStringLiteral("0,00016438 DOGE/Day"));
        for (const QString coin : {"btc", "eth", "matic", "doge"}) {
            SelectCoin(coin);
            QCOMPARE(daily->text(), "0,00016438 " + coin.toUpper() + "/Day");
        }
    }

    void aprIsAWholeNumber()
    {
        SetLimit("APR_doge", "015");
        FormDashboard->show();
        QCOMPARE(Child<QLabel>(FormDashboard, "lab_APR_coin")->text(), QStringLiteral("15%"));
        FormDashboard->hide();

        QJsonObject account = AccountReply("0.5");
        account["wall_doge"] = "7";
        State().UserAccountJson = account;
        FormLogin->ParseJsonUserAcc();
        SetLimit("APR_doge", "12.5");
        Activate(FormDashboard);
        QVERIFY(PanelShown(FormDashboard));
        QVERIFY(PanelText(FormDashboard).startsWith("Error show_full_balance: "));
        // The steps before the APR were written.
        QCOMPARE(Child<QLabel>(FormDashboard, "lab_wall_coin")->text(), QStringLiteral("7,00000000"));
        QCOMPARE(Child<QLabel>(FormDashboard, "lab_inv_coin")->text(), QStringLiteral("0,50000000"));
    }

    void earningsProjectionAndAprExplanation()
    {
        QJsonObject account = AccountReply("0");
        account["inv_doge"] = "2.5";
        LogIn(SettingsReply(), account);
        Activate(FormDashboard);
        QTest::mouseClick(Child<ClickableFrame>(FormDashboard, "Image2"), Qt::LeftButton);
        QCOMPARE(PanelText(FormDashboard),
                 QStringLiteral("Year: 0,30000000DOGE\r\n6 Month: 0,15000000DOGE\r\n3 Month: 0,07500000DOGE\r\n"
                                "1 Week: 0,00575342DOGE\r\n1 Day: 0,00082191DOGE"));
        for (QWidget* target : {static_cast<QWidget*>(Child<ClickableLabel>(FormDashboard, "Label4")),
                                static_cast<QWidget*>(Child<ClickableFrame>(FormDashboard, "APR_coin_panel"))}) {
            Child<MessagePanel>(FormDashboard, "PanelErrorMessage")->hide();
            QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(2, 2));
            QVERIFY(PanelText(FormDashboard).startsWith("ℹAPR - this is the percentage of return per year"));
            QCOMPARE(PanelText(FormDashboard).count("\r\n"), 2);
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
        Activate(FormDashboard);
        SelectCoin("btc");
        QTest::mouseClick(Child<QPushButton>(FormDashboard, "ButtonWithdraw"), Qt::LeftButton);
        QCOMPARE(Child<QLabel>(FormWithdraw, "fee_coin")->text(), fee);
        QCOMPARE(Child<QLabel>(FormWithdraw, "Label1")->text(), "Withdraw " + FullName("btc"));
        QCOMPARE(State().MinWithdrawText, QString(minimum).replace('.', ','));
        QVERIFY(FormWithdraw->isVisible());
        QVERIFY(!FormDashboard->isVisible());
    }

    void withdrawWithoutAMinimumStaysAndSaysWhy()
    {
        QJsonObject limits = *State().MinWithdrawJson;
        limits.remove("btc");
        State().MinWithdrawJson = limits;
        Activate(FormDashboard);
        SelectCoin("btc");
        QTest::mouseClick(Child<QPushButton>(FormDashboard, "ButtonWithdraw"), Qt::LeftButton);
        QVERIFY(FormDashboard->isVisible());
        QVERIFY(!FormWithdraw->isVisible());
        QVERIFY(PanelShown(FormDashboard));
    }

    void investHandOver()
    {
        Activate(FormDashboard);
        QTest::mouseClick(Child<QPushButton>(FormDashboard, "Button1"), Qt::LeftButton);
        QVERIFY(FormInvest->isVisible());
        QCOMPARE(Child<QLabel>(FormInvest, "Label1")->text(), "Invest " + FullName("doge"));
        QCOMPARE(Child<QLineEdit>(FormInvest, "val_invest_coin")->text(), QStringLiteral("0,50000000"));
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
        Activate(FormDashboard);
        QTest::mouseClick(Child(FormDashboard, image), Qt::LeftButton);
        for (QWidget* s : AllScreens()) QCOMPARE(s->isVisible(), s->objectName() == screen);
        if (screen == "FormInfo") QCOMPARE(Child<QTabWidget>(FormInfo, "TabControl1")->currentWidget(), Child<QWidget>(FormInfo, "TabGuides"));
        if (screen == "FormSetting") QCOMPARE(Child<QLabel>(FormSetting, "Label24")->text(), QStringLiteral("Old Pass:"));
        // Every one of them leads back to the dashboard.
        for (QWidget* s : AllScreens())
            if (s->isVisible()) s->close();
        QVERIFY(FormDashboard->isVisible());
    }

    void navigationStripSlidesAwayAndBack()
    {
        FormDashboard->show();
        QVERIFY(FormDashboard->NavigationStripOpen());
        QVERIFY(Child<ClickableLabel>(FormDashboard, "o_right_panel")->isHidden());
        QTest::mouseClick(Child<ClickableLabel>(FormDashboard, "c_right_panel"), Qt::LeftButton);
        QCOMPARE(FormDashboard->Panel1RightMargin(), -53);
        QVERIFY(!Child<ClickableLabel>(FormDashboard, "o_right_panel")->isHidden());
        QTest::mouseClick(Child<ClickableLabel>(FormDashboard, "o_right_panel"), Qt::LeftButton);
        QCOMPARE(FormDashboard->Panel1RightMargin(), 0);
        // A drag to the right across the wallet area slides it away, to the left brings it back.
        QWidget* wallet = Child<QFrame>(FormDashboard, "panel_wallet");
        const QPoint a(40, wallet->height() / 2), b(240, wallet->height() / 2);
        QTest::mousePress(wallet, Qt::LeftButton, {}, a);
        QTest::mouseRelease(wallet, Qt::LeftButton, {}, b);
        QVERIFY(!FormDashboard->NavigationStripOpen());
        QTest::mousePress(wallet, Qt::LeftButton, {}, b);
        QTest::mouseRelease(wallet, Qt::LeftButton, {}, a);
        QVERIFY(FormDashboard->NavigationStripOpen());
        FormDashboard->panel_walletGesture(TFormDashboard::Swipe::Other);
        QVERIFY(FormDashboard->NavigationStripOpen());
    }

    void searchNarrowsTheRows()
    {
        FormDashboard->show();
        QTest::keyClicks(Child<QLineEdit>(FormDashboard, "SearchBox1"), "et");
        QStringList shown;
        for (int i = 0; i < Child<QListWidget>(FormDashboard, "ListBox1")->count(); ++i)
            if (!Child<QListWidget>(FormDashboard, "ListBox1")->item(i)->isHidden()) shown << Child<QListWidget>(FormDashboard, "ListBox1")->item(i)->text();
        QCOMPARE(shown, (QStringList{"ETH", "ETC"}));
        QCOMPARE(Child<QLineEdit>(FormDashboard, "SearchBox1")->maxLength(), 20);
        Child<QLineEdit>(FormDashboard, "SearchBox1")->clear();
        for (int i = 0; i < Child<QListWidget>(FormDashboard, "ListBox1")->count(); ++i)
            QVERIFY(!Child<QListWidget>(FormDashboard, "ListBox1")->item(i)->isHidden());
    }

    void refreshRunsOnlyWhileLoggedInAndVisible()
    {
        FormDashboard->show();
        FormDashboard->TimeCheckBalanceTimer();
        QTRY_COMPARE(fake->requestCount(), 1);
        QCOMPARE(fake->requests().at(0).field("a"), QStringLiteral("useraccount"));
        QCOMPARE(FormDashboard->TimeCheckBalance->interval(), 20000);
        QVERIFY(FormDashboard->TimeCheckBalance->isActive());

        // The settings screen in front: nothing is sent.
        QTest::mouseClick(Child<ClickableLabel>(FormDashboard, "setting_btn"), Qt::LeftButton);
        FormDashboard->TimeCheckBalanceTimer();
        FormSetting->close();
        // Closed dashboard: logged out, nothing is sent afterwards.
        FormDashboard->close();
        FormDashboard->TimeCheckBalanceTimer();
        QTest::qWait(300);
        QCOMPARE(fake->requestCount(), 1);
    }

    void snapshotWhileHiddenRefreshesOnNextShowing()
    {
        FormDashboard->hide();
        State().UserAccountJson = AccountReply("3");
        FormLogin->ParseJsonUserAcc();
        QCOMPARE(Child<QLabel>(FormDashboard, "wall_doge")->text(), QStringLiteral("3,00000000"));
        QCOMPARE(Child<QLabel>(FormDashboard, "lab_wall_coin")->text(), QStringLiteral("0"));
        FormDashboard->show();
        QCOMPARE(Child<QLabel>(FormDashboard, "lab_wall_coin")->text(), QStringLiteral("3,00000000"));
    }
};

AMBERVALE_GUI_TEST_MAIN(DashboardTest)
#include "tst_dashboard.moc"
