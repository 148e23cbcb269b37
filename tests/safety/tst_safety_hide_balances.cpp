// "Hide balances": switched on in the settings' security section (and
// remembered), every figure of the account on every screen reads "••••" -
// balances, investments, earnings, deposits, the lottery stake and balance,
// the dollar values - and none of the account's amounts is anywhere in a
// label; switched off, the figures return.
#include "AccountModel.h"
#include "SafetyPrefs.h"
#include "ScreenTestSupport.h"

#include <QCheckBox>
#include <QTabWidget>

using namespace support;

namespace {

const QString Mask = QString(4, QChar(0x2022));

// Five different amounts, so each figure can be told from the others.
QJsonObject Account5()
{
    QJsonObject o = AccountReply("0.5");
    const QList<QPair<QString, QString>> amounts{{"wall_", "1.23456789"},
                                                 {"inv_", "2.34567891"},
                                                 {"dep_val_", "3.45678912"},
                                                 {"earned_inv_", "4.56789123"},
                                                 {"earned_ref_", "5.67891234"}};
    for (const QString& c : Catalogue())
        for (const auto& [prefix, amount] : amounts) o.insert(prefix + c, amount);
    return o;
}
const QStringList Figures{"1,23456789", "2,34567891", "3,45678912", "4,56789123", "5,67891234"};

} // namespace

class SafetyHideBalancesTest : public ScreenTest {
    Q_OBJECT

    void Script() override
    {
        // Prices for the dollar values; every other request gets the account.
        fake->setHandler([](const RecordedRequest& r) {
            if (r.pathWithoutQuery().startsWith("/lotto/")) return Reply("[]");
            if (r.field("a") == "prices")
                return Reply(R"({"usd":{"btc":"60000.00","ltc":"80.00","doge":"0.10","usdt":"1.00"},"time":"2026-12-11 10:00:00"})");
            return Reply(Json(Account5()));
        });
    }
    void Ready() override { QFile::remove(SafetyPrefs::DefaultPath()); }

    void setHidden(bool on)
    {
        QWidget* settings = Get<QWidget>("settings");
        Click(Get<QWidget>("dashboard"), "setting_btn");
        QTRY_VERIFY(settings->isVisible());
        Child<QTabWidget>(settings, "TabControl1")->setCurrentWidget(Child(settings, "security"));
        auto* box = Child<QCheckBox>(settings, "HideBalances");
        if (box->isChecked() != on) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
        QCOMPARE(box->isChecked(), on);
        Click(settings, "btn_back");
        QTRY_VERIFY(Get<QWidget>("dashboard")->isVisible());
    }

    // Visits every screen that shows account figures, as the user would.
    void visitAll()
    {
        QWidget* dashboard = Get<QWidget>("dashboard");
        for (const char* opener : {"Image3", "ref_btn", "Image4"}) {
            Click(dashboard, opener);
            QWidget* shown = nullptr;
            for (QWidget* s : AllScreens())
                if (s != dashboard && s->isVisible()) shown = s;
            QVERIFY2(shown, opener);
            if (shown->objectName() == "FormInfo") {
                auto* tabs = Child<QTabWidget>(shown, "TabControl1");
                tabs->setCurrentWidget(Child(shown, "TabStatistic"));
            }
            if (shown->objectName() == "FormLotto") {
                // The balance arrives two seconds after the draw's figures.
                QTRY_VERIFY_WITH_TIMEOUT(Child<QLabel>(shown, "Label12")->text().contains(' '), 10000);
            }
            checkLabels(shown);
            Click(shown, "btn_back");
            QTRY_VERIFY(dashboard->isVisible());
        }
    }

    // No account amount in any label of any screen, and the named figure labels masked.
    void checkLabels(QWidget* current)
    {
        for (QWidget* s : AllScreens())
            for (QLabel* l : s->findChildren<QLabel*>())
                for (const QString& f : Figures)
                    QVERIFY2(!l->text().contains(f), qPrintable(s->objectName() + "/" + l->objectName() + ": " + l->text()));
        Q_UNUSED(current);
    }

private slots:
    void everyFigureMaskedThenBack()
    {
        LogIn(SettingsReply(), Account5());
        QWidget* dashboard = Get<QWidget>("dashboard");
        Activate(dashboard);
        SelectCoin("btc");
        QCOMPARE(Child<QLabel>(dashboard, "lab_wall_coin")->text(), QString("1,23456789"));
        QTRY_VERIFY_WITH_TIMEOUT(!Child<QLabel>(dashboard, "lab_usd_coin")->text().isEmpty(), 10000);
        const QString usdShown = Child<QLabel>(dashboard, "lab_usd_coin")->text();

        setHidden(true);
        QVERIFY(Account().FiguresHidden());
        QVERIFY(SafetyPrefs::Instance()->HideBalances());
        const QStringList masked{"lab_wall_coin", "lab_inv_coin", "wall_btc", "wall_doge", "lab_usd_coin", "usd_btc"};
        for (const QString& name : masked)
            QTRY_VERIFY2(Child<QLabel>(dashboard, name)->text().contains(Mask),
                         qPrintable(name + ": " + Child<QLabel>(dashboard, name)->text()));
        QVERIFY2(Child<QLabel>(dashboard, "lab_dohod_coin")->text().contains(Mask),
                 qPrintable(Child<QLabel>(dashboard, "lab_dohod_coin")->text()));
        QVERIFY(!Child<QLabel>(dashboard, "lab_usd_total")->text().contains("$"));
        checkLabels(dashboard);
        visitAll();
        for (const char* name : {"lab_earned_inv", "lab_deposit_total", "lab_earn_ref", "lab_total_earn"})
            QCOMPARE(Child<QLabel>(Get<QWidget>("info"), name)->text(), Mask);
        const QString lotteryBalance = Child<QLabel>(Get<QWidget>("lottery"), "Label12")->text();
        QVERIFY2(lotteryBalance.startsWith(Mask + " "), qPrintable(lotteryBalance));

        // Remembered: a fresh start still hides them.
        DestroyScreens();
        FreshScreens(fake.get());
        QVERIFY(SafetyPrefs::Instance()->HideBalances());
        QVERIFY(Account().FiguresHidden());
        LogIn(SettingsReply(), Account5());
        Activate(Get<QWidget>("dashboard"));
        SelectCoin("btc");
        QCOMPARE(Child<QLabel>(Get<QWidget>("dashboard"), "lab_wall_coin")->text(), Mask);
        checkLabels(Get<QWidget>("dashboard"));

        setHidden(false);
        dashboard = Get<QWidget>("dashboard");
        QCOMPARE(Child<QLabel>(dashboard, "lab_wall_coin")->text(), QString("1,23456789"));
        QCOMPARE(Child<QLabel>(dashboard, "lab_inv_coin")->text(), QString("2,34567891"));
        QCOMPARE(Child<QLabel>(dashboard, "wall_doge")->text(), QString("1,23456789"));
        QTRY_COMPARE_WITH_TIMEOUT(Child<QLabel>(dashboard, "lab_usd_coin")->text(), usdShown, 10000);
        Click(dashboard, "Image3");
        QTRY_VERIFY(Get<QWidget>("info")->isVisible());
        Child<QTabWidget>(Get<QWidget>("info"), "TabControl1")->setCurrentWidget(Child(Get<QWidget>("info"), "TabStatistic"));
        QTRY_COMPARE(Child<QLabel>(Get<QWidget>("info"), "lab_earned_inv")->text(), QString("4,56789123"));
    }
};

AMBERVALE_GUI_TEST_MAIN(SafetyHideBalancesTest)
#include "tst_safety_hide_balances.moc"
