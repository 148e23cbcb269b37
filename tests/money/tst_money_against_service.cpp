// The money screens against the real service: what the withdraw screen shows
// as the net is what the service puts in its outbox, and the day the invest
// screen projects is what one day of the service's accrual pays.
#include "AppState.h"
#include "NumberText.h"
#include "ScreenTestSupport.h"
#include "ServiceHarness.h"
#include "Tls.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using support::Child;

class MoneyAgainstServiceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<svc::Service> m_service;

    // The screens are found as the user meets them: by their object names.
    static QWidget* screen(const char* objectName)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String(objectName)) return w;
        qFatal("no screen named %s", objectName);
    }

    // Registers a user by the client's own request, credits it and logs in
    // through the login screen; the dashboard is up afterwards.
    svc::User logInWith(const QString& coin, const QString& deposit)
    {
        svc::Client c = m_service->client();
        const svc::User u = svc::NewUser(c, QStringLiteral("money"));
        const auto credited = m_service->command({"credit", u.login, coin, deposit});
        [&] { QCOMPARE(credited.exitCode, 0); }();

        support::FreshScreens(nullptr);
        State().ServerScheme = QStringLiteral("https");
        State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(m_service->port());
        QWidget* login = screen("FormLogin");
        login->show();
        login->activateWindow();
        [&] {
            QTRY_COMPARE_WITH_TIMEOUT(State().ServerLoadPercent, 100, 20000);
            QTest::keyClicks(Child<QLineEdit>(login, "LoginEdit"), u.login);
            QTest::keyClicks(Child<QLineEdit>(login, "PassEdit"), u.password);
            QTest::mouseClick(Child<QPushButton>(login, "BtnLogin"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(screen("FormDashboard")->isVisible(), 20000);
        }();
        return u;
    }

    static void selectCoin(const QString& code)
    {
        auto* list = Child<QListWidget>(screen("FormDashboard"), "ListBox1");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == code.toUpper()) {
                list->setCurrentRow(i);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(i)).center());
                return;
            }
        QFAIL("coin not in the list");
    }

    static void type(QWidget* screen, const char* name, const QString& text)
    {
        auto* edit = Child<QLineEdit>(screen, name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    // Confirms with the password and waits for the service's answer on the panel.
    static void confirm(QWidget* screen, const QString& password, const QString& answerStart)
    {
        Child<QPushButton>(screen, "Button1")->click();
        type(screen, "conf_pass", password);
        Child<QPushButton>(screen, "Button4")->click();
        QTRY_VERIFY2_WITH_TIMEOUT(support::PanelText(screen).startsWith(answerStart),
                                  qPrintable(support::PanelText(screen)), 20000);
    }

private slots:
    void initTestCase()
    {
        SVC_REQUIRE_STORE();
        m_service = std::make_unique<svc::Service>();
        QVERIFY(tls::TrustExtraCaFile(m_service->caFile()) > 0);
    }
    void cleanupTestCase()
    {
        DestroyScreens();
        m_service.reset();
    }

    // The amounts where the screen once showed one unit less than was queued.
    void withdrawNetShownIsTheNetQueued()
    {
        const svc::User u = logInWith("doge", "2000");
        if (QTest::currentTestFailed()) return;
        selectCoin("doge");
        Child<QPushButton>(screen("FormDashboard"), "ButtonWithdraw")->click();
        QWidget* withdraw = screen("FormWithdraw");
        QTRY_VERIFY(withdraw->isVisible());
        type(withdraw, "Edit1", svc::ValidAddress("doge"));

        const QStringList amounts{"999,99999999", "250.12345679"};
        for (int i = 0; i < amounts.size(); ++i) {
            type(withdraw, "val_withdraw_coin", amounts[i]);
            const QString shown = Child<QLabel>(withdraw, "total_with")->text();
            confirm(withdraw, u.password, QStringLiteral("Withdrawal accepted"));

            // The outbox: one line per withdrawal, tab-separated, the net last.
            const auto outbox = m_service->command({"withdrawals"});
            QCOMPARE(outbox.exitCode, 0);
            QStringList rows;
            for (const QString& line : outbox.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                if (line.contains(u.login)) rows << line;
            QCOMPARE(rows.size(), i + 1);
            QString queued = rows.last().split(QLatin1Char('\t')).last();
            queued.replace(QLatin1Char('.'), QLatin1Char(','));
            QCOMPARE(shown, queued);
        }
        QVERIFY(m_service->verify());
    }

    // A year's rental of 0,01825 BTC at the service's 8 %: one day pays 400
    // units, and a further second only 0,005 of one, so the few seconds the
    // test itself takes cannot move the figure (checked below).
    void projectedDayIsTheDayCredited()
    {
        QElapsedTimer elapsed;
        const svc::User u = logInWith("btc", "0.1");
        if (QTest::currentTestFailed()) return;
        selectCoin("btc");
        Child<QPushButton>(screen("FormDashboard"), "Button1")->click();
        QWidget* invest = screen("FormInvest");
        QTRY_VERIFY(invest->isVisible());
        type(invest, "val_invest_coin", "0,01825");
        const QString projectedDay = Child<QLabel>(invest, "Text_dohod_day")->text();
        QCOMPARE(Child<QLabel>(invest, "Text_dohod_year")->text(), QStringLiteral("0,00146000 BTC"));

        elapsed.start();
        confirm(invest, u.password, QStringLiteral("Investment accepted"));
        svc::Client c = m_service->client();
        QCOMPARE(svc::Units(svc::Account(c, u), "earned_inv_btc"), qint64(0));
        m_service->advance(86400);
        const QJsonObject account = svc::Account(c, u);
        QVERIFY2(elapsed.elapsed() < 200'000, "the test took too long for a day to stay one day");
        const QString credited =
            numtext::FixedUnits(svc::Units(account, "earned_inv_btc")) + QStringLiteral(" BTC");
        QCOMPARE(projectedDay, credited);
        QVERIFY(m_service->verify());
    }
};

AMBERVALE_GUI_TEST_MAIN(MoneyAgainstServiceTest)
#include "tst_money_against_service.moc"
