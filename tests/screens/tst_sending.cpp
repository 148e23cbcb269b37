// The screens that send a request and wait for its answer: the window keeps
// painting and taking input meanwhile, the control that sent it is disabled,
// a second press sends nothing, and the answer lands on the screen that asked.
#include "ScreenTestSupport.h"
#include "ServiceClient.h"

#include "Login.h"
#include "dashboard.h"
#include "free_coin.h"
#include "invest.h"
#include "settings.h"
#include "withdraw.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <atomic>

using namespace support;

class SendingTest : public ScreenTest {
    Q_OBJECT

    // Replies to action arrive this late; everything else is answered at once
    // with an account snapshot.
    static constexpr int SlowMs = 2500;
    QString m_slowAction;

    void Script() override
    {
        fake->setHandler([this](const RecordedRequest& r) {
            if (r.field("a") == m_slowAction) {
                ScriptedReply slow = Reply("Done late");
                slow.delayMs = SlowMs;
                return slow;
            }
            return Reply(Json(AccountReply()));
        });
    }

    Screen* Screen_(const QString& name) { return Get<Screen>(name); }

    // Brings the named screen to the point where pressing sender sends action.
    void Prepare(const QString& screen)
    {
        LogIn();
        SelectCoin("btc");
        auto* dashboard = Get<TFormDashboard>("dashboard");
        Activate(dashboard);
        if (screen == "invest") {
            Click(dashboard, "Button1");
            Type(Screen_(screen), "val_invest_coin", "1");
            Click(Screen_(screen), "Button1");
            Type(Screen_(screen), "conf_pass", "pw");
        } else if (screen == "withdraw") {
            Click(dashboard, "ButtonWithdraw");
            Type(Screen_(screen), "val_withdraw_coin", "0.5");
            Type(Screen_(screen), "Edit1", "bc1qdestination");
            Click(Screen_(screen), "Button1");
            Type(Screen_(screen), "conf_pass", "pw");
        } else if (screen == "settings") {
            Click(dashboard, "setting_btn");
            Type(Screen_(screen), "ResetPass_newpass", "n3w");
            Type(Screen_(screen), "ResetPass_repass", "n3w");
            Type(Screen_(screen), "ResetPass_oldpass", "old");
        } else if (screen == "faucet") {
            Click(dashboard, "freecoin_btn");
            Click(Screen_(screen), "Button1");
            Type(Screen_(screen), "conf_randomResult", QString::number(State().FaucetAnswer));
        }
        QTRY_VERIFY(Screen_(screen)->isVisible());
    }

private slots:
    void windowAnswersWhileTheReplyIsOut_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("action");
        QTest::newRow("invest") << "invest" << "Button4" << "invest_coin";
        QTest::newRow("withdraw") << "withdraw" << "Button4" << "withdraw";
        QTest::newRow("password change") << "settings" << "Button6" << "changepass";
        QTest::newRow("password reset") << "settings" << "Button7" << "resetpass";
        QTest::newRow("faucet") << "faucet" << "Button4" << "free_coin";
    }

    void windowAnswersWhileTheReplyIsOut()
    {
        QFETCH(QString, screen);
        QFETCH(QString, sender);
        QFETCH(QString, action);
        m_slowAction = action;
        Prepare(screen);
        Screen* asking = Screen_(screen);
        auto* button = Child<QPushButton>(asking, sender);

        // A 1 ms timer: its ticks stop whenever the GUI thread is held.
        int ticks = 0;
        qint64 longestGapMs = 0;
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setInterval(1);
        connect(&ticker, &QTimer::timeout, this, [&] {
            if (ticks > 0) longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
            sinceTick.restart();
            ++ticks;
        });
        ticker.start();

        Click(asking, sender);
        QVERIFY(!button->isEnabled());
        QTRY_COMPARE(Requests(action).size(), 1);
        // The reply is still out: timers run and the window takes input.
        const int ticksAtSend = ticks;
        QTRY_VERIFY(ticks >= ticksAtSend + 20);
        QVERIFY(!PanelShown(asking) || PanelText(asking) != QStringLiteral("Done late"));
        // A second press sends nothing, whether it reaches the control or not.
        button->click();
        QVERIFY(!Screen_(screen)->SendMessage(action, {{"a", action}}, nullptr));

        QTRY_COMPARE_WITH_TIMEOUT(PanelText(asking), QStringLiteral("Done late"), SlowMs + 10000);
        QCOMPARE(Requests(action).size(), 1);
        QVERIFY(button->isEnabled());
        ticker.stop();
        qInfo("%s: longest pause of a 1 ms timer while the reply was out: %lld ms", qPrintable(screen),
              static_cast<long long>(longestGapMs));
    }

    // The user leaves the screen before the answer: it is kept on the screen
    // that asked, not shown on the one now in front.
    void answerStaysOnTheScreenThatAsked()
    {
        m_slowAction = "invest_coin";
        Prepare("invest");
        auto* invest = Get<TFormInvest>("invest");
        Click(invest, "Button4");
        QTRY_COMPARE(Requests("invest_coin").size(), 1);
        Click(invest, "btn_back");
        auto* dashboard = Get<TFormDashboard>("dashboard");
        QTRY_VERIFY(dashboard->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(PanelText(invest), QStringLiteral("Done late"), SlowMs + 10000);
        QVERIFY(!PanelShown(dashboard) || PanelText(dashboard) != QStringLiteral("Done late"));
    }

    // The screens go while a reply is out: nothing crashes when it comes.
    void screensTornDownWhileTheReplyIsOut()
    {
        m_slowAction = "invest_coin";
        Prepare("invest");
        Click(Get<TFormInvest>("invest"), "Button4");
        QTRY_COMPARE(Requests("invest_coin").size(), 1);
        DestroyScreens();
        QTest::qWait(SlowMs + 500);
        QVERIFY(ScreenNamed("invest") == nullptr);
        CreateScreens();
    }

    // With no active window (the user is in another program), a message for
    // "the active screen" goes to the screen the user last had in front.
    void messageWithoutActiveWindowReachesTheLastScreen()
    {
        LogIn();
        auto* dashboard = Get<TFormDashboard>("dashboard");
        Activate(dashboard);
        Click(dashboard, "Button1");
        auto* invest = Get<TFormInvest>("invest");
        QTRY_VERIFY(invest->isVisible());
        QApplication::setActiveWindow(nullptr);
        QVERIFY(QApplication::activeWindow() == nullptr);
        ::ShowMessage(QStringLiteral("Error:the service is away"));
        QVERIFY(PanelShown(invest));
        QCOMPARE(PanelText(invest), QStringLiteral("Error:the service is away"));
        QVERIFY(!PanelShown(dashboard));
    }
};

AMBERVALE_GUI_TEST_MAIN(SendingTest)
#include "tst_sending.moc"
