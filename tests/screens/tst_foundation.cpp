// Start-up, the screens' common behaviour, the message panel and the shared clients.
#include "ScreenTestSupport.h"
#include "ServiceClient.h"

#include <QScrollArea>
#include <QScrollBar>

#include "HttpClient.h"
#include "Login.h"
#include "Lotto.h"
#include "dashboard.h"
#include "deposit.h"
#include "free_coin.h"
#include "info.h"
#include "invest.h"
#include "refferal.h"
#include "settings.h"
#include "swapcoin.h"
#include "withdraw.h"

#include <QDesktopServices>
#include <QPushButton>

using namespace support;

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class FoundationTest : public ScreenTest {
    Q_OBJECT
private slots:

    void screensAreCreatedInOrderAndOnlyLoginIsShown()
    {
        struct Expected {
            const char* name;
            const char* cls;
            const char* caption;
            int w, h;
        };
        const Expected expected[] = {
            {"FormLogin", "TFormLogin", "Login", 576, 524},
            {"FormDashboard", "TFormDashboard", "Dashboard", 816, 576},
            {"FormDeposit", "TFormDeposit", "Deposit", 488, 488},
            {"FormInvest", "TFormInvest", "Invest", 484, 516},
            {"FormWithdraw", "TFormWithdraw", "Withdraw", 384, 480},
            {"FormSetting", "TFormSetting", "Settings", 372, 488},
            {"FormRefferal", "TFormRefferal", "Referral Program", 584, 620},
            {"FormInfo", "TFormInfo", "Information Panel", 372, 476},
            {"FormSwap", "TFormSwap", "Swap Coin", 640, 480},
            {"FormFaucet", "TFormFaucet", "Faucet", 404, 588},
            {"FormLotto", "TFormLotto", "L0ttery", 348, 604},
            {"FormActivity", "FormActivity", "Activity", 780, 620},
        };
        const auto all = AllScreens();
        QCOMPARE(all.size(), 12);
        Get<TFormLogin>("login")->show();
        for (int i = 0; i < 12; ++i) {
            QWidget* s = all[i];
            QCOMPARE(s->objectName(), QString::fromLatin1(expected[i].name));
            QCOMPARE(s->metaObject()->className(), expected[i].cls);
            QCOMPARE(s->windowTitle(), QString::fromUtf8(expected[i].caption));
            QCOMPARE(s->size(), QSize(expected[i].w, expected[i].h));
            QVERIFY(s->isWindow());
            QCOMPARE(s->isVisible(), i == 0);
            // Every screen carries the message panel, hidden at start, with its close button.
            QVERIFY(!PanelShown(s));
            QCOMPARE(PanelText(s), QStringLiteral("TEST"));
            const char* close = i == 10 ? "Button1" : "Button2";
            QCOMPARE(Child<QPushButton>(Child(s, "PanelErrorMessage"), close)->text(), QStringLiteral("❌Close"));
            // Nine secondary screens have a back control.
            QCOMPARE(s->findChild<QWidget*>("btn_back") != nullptr, i >= 2);
        }
    }

    // The program's own start-up: the login window first, the other ten right
    // after its first paint, in the same order, before its start-up timer runs.
    void startUpMakesTheOtherScreensRightAfterTheLoginWindowPaints()
    {
        DestroyScreens();
        StartScreens();
        QVERIFY(Get<TFormLogin>("login") && Get<TFormLogin>("login")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard"));
        QCOMPARE(AllScreens().size(), 1);
        QTRY_VERIFY(Get<TFormLotto>("lottery") != nullptr);
        QStringList names;
        for (QWidget* s : AllScreens()) names << s->objectName();
        QCOMPARE(names,
                 (QStringList{"FormLogin", "FormDashboard", "FormDeposit", "FormInvest", "FormWithdraw", "FormSetting",
                              "FormRefferal", "FormInfo", "FormSwap", "FormFaucet", "FormLotto", "FormActivity"}));
        for (QWidget* s : AllScreens()) QCOMPARE(s->isVisible(), s == Get<TFormLogin>("login"));
        // The login screen's start-up still asks for the platform settings.
        QTRY_COMPARE(Requests("all_json_setting").size(), 1);
    }

    void messageWithoutNameGoesToTheActiveScreenOnly()
    {
        Activate(Get<TFormDashboard>("dashboard"));
        Get<TFormLogin>("login")->ShowErrorMessage("hello", QString());
        QVERIFY(PanelShown(Get<TFormDashboard>("dashboard")));
        QCOMPARE(PanelText(Get<TFormDashboard>("dashboard")), QStringLiteral("hello"));
        for (QWidget* s : AllScreens())
            if (s != Get<TFormDashboard>("dashboard")) QVERIFY2(!PanelShown(s), qPrintable(s->objectName()));
    }

    void namedMessageReachesTheNamedScreenEvenHidden()
    {
        Activate(Get<TFormLogin>("login"));
        Get<TFormLogin>("login")->ShowErrorMessage("for both", "FormDashboard");
        QVERIFY(PanelShown(Get<TFormLogin>("login")));
        QVERIFY(PanelShown(Get<TFormDashboard>("dashboard")));
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
        QCOMPARE(PanelText(Get<TFormDashboard>("dashboard")), QStringLiteral("for both"));
        // When the dashboard is shown later the text is already there.
        Get<TFormDashboard>("dashboard")->show();
        QVERIFY(Child(Get<TFormDashboard>("dashboard"), "PanelErrorMessage")->isVisible());
        QVERIFY(!PanelShown(Get<TFormDeposit>("deposit")));
    }

    void messageWithNoActiveWindowIsShownNowhere()
    {
        for (QWidget* s : AllScreens()) s->hide();
        QTRY_VERIFY(QApplication::activeWindow() == nullptr);
        Get<TFormLogin>("login")->ShowErrorMessage("lost", QString());
        for (QWidget* s : AllScreens()) QVERIFY(!PanelShown(s));
    }

    void secondMessageReplacesTheFirstAndTextStaysPlain()
    {
        Activate(Get<TFormLogin>("login"));
        Get<TFormLogin>("login")->ShowErrorMessage("first", QString());
        Get<TFormLogin>("login")->ShowErrorMessage("<b>second</b>\r\nline two", QString());
        QCOMPARE(PanelText(Get<TFormLogin>("login")), QStringLiteral("<b>second</b>\r\nline two"));
        QCOMPARE(Child<QLabel>(Get<TFormLogin>("login"), "message_label")->textFormat(), Qt::PlainText);
    }

    void panelOverlaysTheTopOfItsScreen()
    {
        Activate(Get<TFormDeposit>("deposit"));
        Get<TFormLogin>("login")->ShowErrorMessage(QString(400, QLatin1Char('x')), QString());
        QWidget* panel = Child(Get<TFormDeposit>("deposit"), "PanelErrorMessage");
        QCOMPARE(panel->geometry().topLeft(), QPoint(10, 5));
        QCOMPARE(panel->width(), Get<TFormDeposit>("deposit")->width() - 20);
        QVERIFY(panel->height() > 0);
        QCOMPARE(Get<TFormDeposit>("deposit")->layout()->indexOf(panel), -1);
        // Not pushed into the layout: the content underneath keeps its place.
        QCOMPARE(Child(Get<TFormDeposit>("deposit"), "ImgQrCode")->size(), QSize(488, 269));
    }

    void hugeMessageIsCutAndThePanelStaysUsable()
    {
        Activate(Get<TFormDashboard>("dashboard"));
        QString text;
        for (int i = 0; i < 20000; ++i) text += QStringLiteral("line %1 <i>of</i> a reply\n").arg(i);
        Get<TFormLogin>("login")->ShowErrorMessage(text, QString());
        const QString shown = PanelText(Get<TFormDashboard>("dashboard"));
        QCOMPARE(shown.size(), MessagePanel::MaxChars);
        QVERIFY(text.startsWith(shown.chopped(1)));
        QCOMPARE(shown.back(), QChar(0x2026));
        // Within the screen, its text scrolling, its close button on screen and working.
        QWidget* panel = Child(Get<TFormDashboard>("dashboard"), "PanelErrorMessage");
        QVERIFY(panel->geometry().bottom() <= Get<TFormDashboard>("dashboard")->height());
        QCOMPARE(Get<TFormDashboard>("dashboard")->size(), QSize(816, 576));
        auto* scroll = Child<QScrollArea>(panel, "message_scroll");
        QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
        auto* close = Child<QPushButton>(panel, "Button2");
        QVERIFY(close->isVisible());
        QVERIFY(panel->rect().contains(close->geometry()));
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!PanelShown(Get<TFormDashboard>("dashboard")));
    }

    void closeButtonHidesOnlyItsOwnPanel()
    {
        Activate(Get<TFormLogin>("login"));
        Get<TFormLogin>("login")->ShowErrorMessage("both", "FormLotto");
        QVERIFY(PanelShown(Get<TFormLotto>("lottery")));
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "Button2"), Qt::LeftButton);
        QVERIFY(!PanelShown(Get<TFormLogin>("login")));
        QVERIFY(PanelShown(Get<TFormLotto>("lottery")));
        Get<TFormLotto>("lottery")->show();
        QTest::mouseClick(Child<QPushButton>(Child(Get<TFormLotto>("lottery"), "PanelErrorMessage"), "Button1"), Qt::LeftButton);
        QVERIFY(!PanelShown(Get<TFormLotto>("lottery")));
    }

    void closingReturnsToTheRightScreen_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("returnTo");
        QTest::addColumn<QString>("expected");
        for (const char* s :
             {"FormDeposit", "FormInvest", "FormWithdraw", "FormRefferal", "FormSwap", "FormFaucet", "FormLotto"})
            QTest::newRow(s) << s << ""
                             << "FormDashboard";
        QTest::newRow("settings from login") << "FormSetting"
                                             << "login"
                                             << "FormLogin";
        QTest::newRow("settings from dashboard") << "FormSetting"
                                                 << "dashboard"
                                                 << "FormDashboard";
        QTest::newRow("info from login") << "FormInfo"
                                         << "login"
                                         << "FormLogin";
        QTest::newRow("info from dashboard") << "FormInfo"
                                             << "dashboard"
                                             << "FormDashboard";
    }

    void closingReturnsToTheRightScreen()
    {
        QFETCH(QString, screen);
        QFETCH(QString, returnTo);
        QFETCH(QString, expected);
        for (bool viaBackControl : {false, true}) {
            for (QWidget* s : AllScreens()) s->hide();
            State().SettingsReturnTo = returnTo;
            QWidget* w = nullptr;
            for (QWidget* s : AllScreens())
                if (s->objectName() == screen) w = s;
            w->show();
            if (viaBackControl)
                QTest::mouseClick(Child(w, "btn_back"), Qt::LeftButton);
            else
                QVERIFY(w->close());
            QVERIFY(!w->isVisible());
            for (QWidget* s : AllScreens()) QCOMPARE(s->isVisible(), s->objectName() == expected);
        }
    }

    void closingTheDashboardLogsOut()
    {
        State().LoggedIn = true;
        Get<TFormDashboard>("dashboard")->show();
        QVERIFY(Get<TFormDashboard>("dashboard")->close());
        QVERIFY(!State().LoggedIn);
        QVERIFY(Get<TFormLogin>("login")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
    }

    void versionLabelShowsTheFileVersion()
    {
        const QString text = Child<QLabel>(Get<TFormLogin>("login"), "VerApp")->text();
        QCOMPARE(text, QStringLiteral("v" AMBERVALE_TEST_VERSION));
        QVERIFY(QRegularExpression("^v\\d+\\.\\d+\\.\\d+\\.\\d+$").match(text).hasMatch());
    }

    void telegramButtonOpensThroughTheDesktop()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("tg", &catcher, "open");
        Get<TFormLogin>("login")->show();
        QTest::mouseClick(Child<QPushButton>(Get<TFormLogin>("login"), "Button3"), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("tg");
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls[0].scheme(), QStringLiteral("tg"));
        QCOMPARE(catcher.urls[0].host(), QStringLiteral("resolve"));
        QVERIFY(catcher.urls[0].query().startsWith("domain="));
    }

    void loadingAnimationStopsOnceItsImageIsHidden()
    {
        FrameAnimation* anim = Child<FrameAnimation>(Get<TFormDeposit>("deposit"), "gifload");
        QCOMPARE(FrameAnimation::FrameCount, 32);
        Get<TFormDeposit>("deposit")->show(); // its show handler starts the animation
        QVERIFY(anim->Enabled());
        const int before = anim->Frame();
        QTRY_VERIFY(anim->Frame() != before);
        Child<QLabel>(Get<TFormDeposit>("deposit"), "LoadingAnim")->hide();
        QTRY_VERIFY(!anim->Enabled());
    }

    void messageClientShowsTheWholeReplyOnTheScreenThatAsked()
    {
        FakeService fake;
        State().ServerScheme = "http";
        State().ServerAddress = "://" + fake.hostPort() + "/";
        fake.enqueue(Reply("Invested: 1,5 <b>DOGE</b>"));
        Activate(Get<TFormInvest>("invest"));
        QVERIFY(Get<TFormInvest>("invest")->SendMessage("invest_coin", {{"a", "invest_coin"}}, nullptr));
        QTRY_VERIFY(PanelShown(Get<TFormInvest>("invest")));
        QCOMPARE(PanelText(Get<TFormInvest>("invest")), QStringLiteral("Invested: 1,5 <b>DOGE</b>"));
    }

    void transportFailuresShowTheirPrefix_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("account") << "NetHTTPClient1"
                                 << "Error:";
        QTest::newRow("settings") << "NetHTTPClient_c_coin_name"
                                  << "c_coin_name:";
    }

    void transportFailuresShowTheirPrefix()
    {
        QFETCH(QString, client);
        QFETCH(QString, prefix);
        State().ServerScheme = "http";
        State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(ClosedPort());
        Activate(Get<TFormLogin>("login"));
        Child<QLabel>(Get<TFormLogin>("login"), "LoadingAnim")->show();
        auto* http = Service().findChild<HttpClient*>(client);
        QVERIFY(http);
        http->Post(State().ApiUrl(), {{"a", "x"}});
        QTRY_VERIFY(PanelShown(Get<TFormLogin>("login")));
        QVERIFY(PanelText(Get<TFormLogin>("login")).startsWith(prefix));
        QVERIFY(PanelText(Get<TFormLogin>("login")).size() > prefix.size()); // the description follows directly
        QVERIFY(Child<QLabel>(Get<TFormLogin>("login"), "LoadingAnim")->isHidden());
    }

    void clientsCarryTheirOptions()
    {
        struct Row {
            const char* name;
            int timeout;
            bool cookies;
            bool browser;
        };
        const Row rows[] = {
            {"NetHTTPClient1", 30000, false, true},
            {"NetHTTPClient_c_coin_name", 10000, true, true},
            {"NetHTTP_MessageResult", 30000, true, true},
        };
        for (const Row& r : rows) {
            auto* c = Service().findChild<HttpClient*>(r.name);
            QVERIFY2(c, r.name);
            QCOMPARE(c->options().responseTimeoutMs, r.timeout);
            QCOMPARE(c->options().connectTimeoutMs, r.timeout);
            QCOMPARE(c->options().keepCookies, r.cookies);
            QCOMPARE(c->options().userAgent, QByteArray(HttpClient::BrowserUserAgent));
        }
        auto* deposit = Service().findChild<HttpClient*>("NetHTTP_Get_Deposit");
        QVERIFY(deposit);
        QCOMPARE(deposit->options().responseTimeoutMs, 60000);
        QVERIFY(deposit->options().userAgent.isEmpty());
    }
};

AMBERVALE_GUI_TEST_MAIN(FoundationTest)
#include "tst_foundation.moc"
