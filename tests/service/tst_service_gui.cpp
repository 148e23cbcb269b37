// End to end: the real client against the real service over HTTPS, trusting
// the service's own CA. A new user registers, money arrives, the user logs in
// and the dashboard shows the balances.
#include "AppState.h"
#include "Login.h"
#include "dashboard.h"
#include "ScreenTestSupport.h"
#include "ServiceHarness.h"
#include "Tls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using support::Child;

class ServiceGuiTest : public QObject {
    Q_OBJECT

    std::unique_ptr<svc::Service> m_service;

    void showLoginAgainstService()
    {
        support::FreshScreens(nullptr);
        State().ServerScheme = QStringLiteral("https");
        State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(m_service->port());
        ScreenNamed("login")->show();
        ScreenNamed("login")->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(ScreenNamed("login")));
        // The settings come from the service.
        QTRY_COMPARE_WITH_TIMEOUT(State().ServerLoadPercent, 100, 20000);
        QVERIFY(Account().HasCatalogue());
        QCOMPARE(Account().Codes().size(), svc::Coins().size());
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

    void registersLogsInAndSeesBalances()
    {
        showLoginAgainstService();
        auto* reg = Child<QPushButton>(ScreenNamed("login"), "BtnReg");
        QTest::mouseClick(reg, Qt::LeftButton); // first click shows the registration fields
        QTest::keyClicks(Child<QLineEdit>(ScreenNamed("login"), "LoginEdit"), "e2e.user@example.com");
        QTest::keyClicks(Child<QLineEdit>(ScreenNamed("login"), "PassEdit"), "correct horse");
        QTest::keyClicks(Child<QLineEdit>(ScreenNamed("login"), "RePassEdit"), "correct horse");
        QTest::mouseClick(reg, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ScreenNamed("dashboard")->isVisible(), 20000);
        QCOMPARE(Child<QLabel>(ScreenNamed("dashboard"), "wall_btc")->text(), QStringLiteral("0,00000000"));

        // A deposit arrives (the operator's simulated confirmation, 3 % bonus included).
        QCOMPARE(m_service->command({"credit", "e2e.user@example.com", "btc", "0.5"}).exitCode, 0);
        QCOMPARE(m_service->command({"credit", "e2e.user@example.com", "usdt", "12.5"}).exitCode, 0);

        // A fresh start of the client: log in with the typed password.
        showLoginAgainstService();
        QTest::keyClicks(Child<QLineEdit>(ScreenNamed("login"), "LoginEdit"), "e2e.user@example.com");
        QTest::keyClicks(Child<QLineEdit>(ScreenNamed("login"), "PassEdit"), "correct horse");
        QTest::mouseClick(Child<QPushButton>(ScreenNamed("login"), "BtnLogin"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ScreenNamed("dashboard")->isVisible(), 20000);
        QVERIFY(!ScreenNamed("login")->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(Child<QLabel>(ScreenNamed("dashboard"), "wall_btc")->text(), QStringLiteral("0,51500000"),
                                  10000);
        QCOMPARE(Child<QLabel>(ScreenNamed("dashboard"), "wall_usdt")->text(), QStringLiteral("12,87500000"));
        QCOMPARE(Child<QLabel>(ScreenNamed("dashboard"), "wall_eth")->text(), QStringLiteral("0,00000000"));

        // A wrong password is refused with the service's text and the login screen stays.
        showLoginAgainstService();
        QTest::keyClicks(Child<QLineEdit>(ScreenNamed("login"), "LoginEdit"), "e2e.user@example.com");
        QTest::keyClicks(Child<QLineEdit>(ScreenNamed("login"), "PassEdit"), "wrong horse");
        QTest::mouseClick(Child<QPushButton>(ScreenNamed("login"), "BtnLogin"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Child<QLabel>(ScreenNamed("login"), "message_label")->text(),
                                  QStringLiteral("Wrong login or password."), 20000);
        QVERIFY(!ScreenNamed("dashboard")->isVisible());
    }
};

AMBERVALE_GUI_TEST_MAIN(ServiceGuiTest)
#include "tst_service_gui.moc"
