// Two-factor codes from the settings screen against the real service (both
// engines): the setup's QR code, drawn by our own encoder, decodes to an
// otpauth URI holding the secret the screen shows; a code computed here from
// that secret turns codes on; then the withdraw confirmation asks for a code:
// without one nothing is sent (and the service itself refuses a withdrawal
// without it), with it the withdrawal is accepted; a wrong code is refused.
#include "AccountModel.h"
#include "ScreenTestSupport.h"
#include "ServiceHarness.h"
#include "Tls.h"
#include "TotpSupport.h"

#include <QTabWidget>
#include <QUrlQuery>
#include <ZXing/ReadBarcode.h>

using support::Child;

namespace {

QString Decode(const QImage& picture)
{
    const QImage gray = picture.convertToFormat(QImage::Format_Grayscale8);
    ZXing::ImageView view(gray.constBits(), gray.width(), gray.height(), ZXing::ImageFormat::Lum,
                          int(gray.bytesPerLine()));
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    return result.isValid() ? QString::fromStdString(result.text()) : QString();
}

QWidget* TopScreen(const char* objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(objectName)) return w;
    qFatal("no screen named %s", objectName);
}

void Type(QWidget* screen, const char* name, const QString& text)
{
    auto* edit = Child<QLineEdit>(screen, name);
    edit->clear();
    QTest::keyClicks(edit, text);
}

} // namespace

class SafetyTwoFactorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<svc::Service> m_service;

    // Codes are typed a moment before the service checks them: keep clear of a step's last seconds.
    static void awayFromStepEdge() { QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() % 30 < 20, 15000); }
    static qint64 step() { return QDateTime::currentSecsSinceEpoch() / 30; }

    svc::User logIn()
    {
        svc::Client c = m_service->client();
        const svc::User u = svc::NewUser(c, QStringLiteral("tfa"));
        [&] { QCOMPARE(m_service->command({"credit", u.login, "doge", "2000"}).exitCode, 0); }();
        support::FreshScreens(nullptr);
        State().ServerScheme = QStringLiteral("https");
        State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(m_service->port());
        QWidget* login = TopScreen("FormLogin");
        login->show();
        login->activateWindow();
        [&] {
            QTRY_COMPARE_WITH_TIMEOUT(State().ServerLoadPercent, 100, 20000);
            QTest::keyClicks(Child<QLineEdit>(login, "LoginEdit"), u.login);
            QTest::keyClicks(Child<QLineEdit>(login, "PassEdit"), u.password);
            QTest::mouseClick(Child<QPushButton>(login, "BtnLogin"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(TopScreen("FormDashboard")->isVisible(), 20000);
        }();
        return u;
    }

    static void selectCoin(const QString& code)
    {
        auto* list = Child<QListWidget>(TopScreen("FormDashboard"), "ListBox1");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == code.toUpper()) {
                list->setCurrentRow(i);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(i)).center());
                return;
            }
        QFAIL("coin not in the list");
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

    void setUpFromTheQrCodeThenWithdrawWithACode()
    {
        const svc::User u = logIn();
        if (QTest::currentTestFailed()) return;
        QWidget* dashboard = TopScreen("FormDashboard");
        QTest::mouseClick(Child(dashboard, "setting_btn"), Qt::LeftButton);
        QWidget* settings = TopScreen("FormSetting");
        QTRY_VERIFY(settings->isVisible());
        auto* tabs = Child<QTabWidget>(settings, "TabControl1");
        QWidget* security = Child(settings, "security");
        tabs->setCurrentWidget(security);
        auto* status = Child<QLabel>(settings, "TwofaStatus");
        QCOMPARE(status->text(), QString("Two-factor codes are off."));

        QTest::mouseClick(Child(settings, "TwofaSetup"), Qt::LeftButton);
        auto* qr = Child<QLabel>(settings, "TwofaQr");
        QTRY_VERIFY_WITH_TIMEOUT(qr->isVisible() && !qr->pixmap().isNull(), 20000);
        const QString uri = Decode(qr->pixmap().toImage());
        QVERIFY2(uri.startsWith("otpauth://totp/"), qPrintable(uri));
        const QUrl url(uri);
        QVERIFY2(url.path().contains(u.login, Qt::CaseInsensitive), qPrintable(uri));
        const QString secret = QUrlQuery(url).queryItemValue("secret");
        QVERIFY(secret.size() >= 16);
        // The key for typing by hand is the one in the picture.
        QVERIFY2(Child<QLabel>(settings, "TwofaSecret")->text().endsWith(": " + secret),
                 qPrintable(Child<QLabel>(settings, "TwofaSecret")->text()));
        QVERIFY(!support::PanelShown(settings)); // the setup's JSON is not shown as a message
        const QByteArray key = totp::FromBase32(secret);

        // A code that is not six digits is not sent.
        Type(settings, "TwofaCode", "12345");
        QTest::mouseClick(Child(settings, "TwofaEnable"), Qt::LeftButton);
        QCOMPARE(support::PanelText(settings), QString("Type the 6-digit code from your authenticator app."));
        QVERIFY(!Account().TwoFactorOn());

        awayFromStepEdge();
        const qint64 enabledAt = step();
        Type(settings, "TwofaCode", totp::CodeForStep(key, enabledAt));
        QTest::mouseClick(Child(settings, "TwofaEnable"), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(support::PanelText(settings).startsWith("Done: two-factor codes are on"),
                                  qPrintable(support::PanelText(settings)), 20000);
        // The account refresh brings the flag; the section says so and forgets the secret.
        QTRY_VERIFY_WITH_TIMEOUT(Account().TwoFactorOn(), 20000);
        QTRY_COMPARE(status->text(),
                     QString("Two-factor codes are on: withdrawals and password changes ask for a code."));
        QVERIFY(Child<QLabel>(settings, "TwofaSecret")->text().isEmpty());
        QVERIFY(!qr->isVisible());

        // Withdraw: the confirmation asks for the code.
        QTest::mouseClick(Child(settings, "btn_back"), Qt::LeftButton);
        QTRY_VERIFY(dashboard->isVisible());
        selectCoin("doge");
        Child<QPushButton>(dashboard, "ButtonWithdraw")->click();
        QWidget* withdraw = TopScreen("FormWithdraw");
        QTRY_VERIFY(withdraw->isVisible());
        Type(withdraw, "Edit1", svc::ValidAddress("doge"));
        Type(withdraw, "val_withdraw_coin", "100");
        Child<QPushButton>(withdraw, "Button1")->click();
        QTRY_VERIFY(Child(withdraw, "panel_confirm_pass")->isVisible());
        QVERIFY(Child(withdraw, "conf_otp")->isVisible());
        Type(withdraw, "conf_pass", u.password);
        Child<QPushButton>(withdraw, "Button4")->click();
        QCOMPARE(support::PanelText(withdraw), QString("Type the 6-digit code from your authenticator app."));
        QVERIFY(Child(withdraw, "panel_confirm_pass")->isVisible()); // still open, nothing sent

        // The service refuses a withdrawal without a code by itself too.
        svc::Client c = m_service->client();
        const svc::Response bare = c.post(api::Withdraw("doge", svc::ValidAddress("doge"), "Main", "100", u.login,
                                                        u.digest(), svc::FreshToken()));
        QCOMPARE(bare.text(), QString("A code from your authenticator app is needed: this account has two-factor "
                                      "codes on."));

        // A wrong code: the service's refusal shows, nothing is queued.
        const QString wrong = totp::CodeForStep(key, enabledAt + 40);
        Type(withdraw, "conf_otp", wrong);
        Child<QPushButton>(withdraw, "Button4")->click();
        QTRY_VERIFY2_WITH_TIMEOUT(support::PanelText(withdraw).startsWith("Wrong code"),
                                  qPrintable(support::PanelText(withdraw)), 20000);

        // The code of the next step (the enabling one is spent) is accepted.
        Child<QPushButton>(withdraw, "Button1")->click();
        QTRY_VERIFY(Child(withdraw, "panel_confirm_pass")->isVisible());
        Type(withdraw, "conf_pass", u.password);
        Type(withdraw, "conf_otp", totp::CodeForStep(key, enabledAt + 1));
        Child<QPushButton>(withdraw, "Button4")->click();
        QTRY_VERIFY2_WITH_TIMEOUT(support::PanelText(withdraw).startsWith("Withdrawal accepted"),
                                  qPrintable(support::PanelText(withdraw)), 20000);
        const auto outbox = m_service->command({"withdrawals"});
        QCOMPARE(outbox.exitCode, 0);
        QCOMPARE(outbox.out.count(u.login), 1);
        QVERIFY(m_service->verify());
    }
};

AMBERVALE_GUI_TEST_MAIN(SafetyTwoFactorTest)
#include "tst_safety_twofa.moc"
