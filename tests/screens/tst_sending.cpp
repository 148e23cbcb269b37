// The screens that send a request and wait for its answer: the window keeps
// painting and taking input meanwhile, the screen's loading animation runs,
// the control that sent it is disabled, a second press sends nothing, and the
// answer lands on the screen that asked, also when the user has left it.
#include "ScreenTestSupport.h"
#include "ServiceClient.h"

#include "Login.h"
#include "common/FrameAnimation.h"
#include "dashboard.h"
#include "deposit.h"
#include "free_coin.h"
#include "invest.h"
#include "Lotto.h"
#include "settings.h"
#include "swapcoin.h"
#include "withdraw.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QMutex>
#include <QPushButton>
#include <QTimer>

using namespace support;

namespace {
// One sending control: the screen it is on, the control, and the request it
// sends (its "a" field, and "com" where one action carries several).
struct Sender {
    const char* row;
    const char* screen;
    const char* control;
    const char* action;
    const char* com;
    bool closable; // closing the login window ends the program
};

const Sender Senders[] = {
    {"login", "login", "BtnLogin", "useraccount", "", false},
    {"registration", "login", "BtnReg", "tg_new_user", "", false},
    {"guest", "login", "BtnGuest", "tg_new_user", "", false},
    {"invest", "invest", "Button4", "invest_coin", "", true},
    {"withdraw", "withdraw", "Button4", "withdraw", "", true},
    {"swap", "swap", "Button1", "get_swap_coin", "swap", true},
    {"password change", "settings", "Button6", "changepass", "", true},
    {"password reset", "settings", "Button7", "resetpass", "", true},
    {"faucet", "faucet", "Button4", "free_coin", "", true},
    {"lottery", "lottery", "Button2", "buylottonew", "", true},
};

const Sender* SenderOf(const QString& row)
{
    for (const Sender& s : Senders)
        if (row == QLatin1String(s.row)) return &s;
    return nullptr;
}
} // namespace

class SendingTest : public ScreenTest {
    Q_OBJECT

    // The held request is answered this late; everything else at once.
    static constexpr int SlowMs = 2000;
    QMutex m_lock; // the fake reads the script on its own thread
    QString m_slowAction;
    QString m_slowCom;

    void Hold(const QString& action, const QString& com = {})
    {
        QMutexLocker lock(&m_lock);
        m_slowAction = action;
        m_slowCom = com;
    }

    void Script() override
    {
        fake->setHandler([this](const RecordedRequest& r) {
            QMutexLocker lock(&m_lock);
            if (r.pathWithoutQuery().startsWith("/lotto/")) return Reply("[]");
            if (r.field("a") == m_slowAction && (m_slowCom.isEmpty() || r.field("com") == m_slowCom)) {
                ScriptedReply slow = Reply(m_slowAction == "get_deposit_address" ? "bc1qheldaddress" : "Done late");
                slow.delayMs = SlowMs;
                return slow;
            }
            if (r.field("a") == QLatin1String("get_swap_coin")) return Reply("5000"); // a quote
            return Reply(Json(AccountReply()));
        });
    }

    Screen* Screen_(const QString& name) { return Get<Screen>(name); }

    // The requests of the held kind the fake has recorded.
    int Held() const
    {
        int n = 0;
        for (const RecordedRequest& r : Requests(m_slowAction))
            if (m_slowCom.isEmpty() || r.field("com") == m_slowCom) ++n;
        return n;
    }

    static QStringList Upper()
    {
        QStringList codes;
        for (const QString& c : Catalogue()) codes << c.toUpper();
        return codes;
    }

    // Brings the sender's screen to the point where pressing its control sends.
    void Prepare(const Sender& s)
    {
        const QString screen = QString::fromLatin1(s.screen);
        if (screen == "login") {
            // The settings are in, nobody is logged in yet.
            LogIn();
            State().LoggedIn = false;
            auto* login = Get<TFormLogin>("login");
            Activate(login);
            QTRY_VERIFY(!login->ShowTimer->isActive()); // its start-up step is over
            Type(login, "LoginEdit", "bob");
            Type(login, "PassEdit", "pw");
            if (QLatin1String(s.control) == "BtnReg") {
                Click(login, "BtnReg"); // the first press shows the registration fields
                Type(login, "RePassEdit", "pw");
            }
            QVERIFY(login->isVisible());
            return;
        }
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
            Type(Screen_(screen), "Edit1", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq");
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
        } else if (screen == "swap") {
            auto* swap = Get<TFormSwap>("swap");
            swap->FillCoinLists(Upper());
            Child<QComboBox>(swap, "ComboBox1")->setCurrentIndex(Child<QComboBox>(swap, "ComboBox1")->findText("ETH"));
            Click(dashboard, "swap_btn");
            // The quote for the amount the screen opens with is in: the swap may go.
            QTRY_COMPARE_WITH_TIMEOUT(Requests("get_swap_coin").size(), 1, 10000);
            QTRY_VERIFY(Child<QPushButton>(swap, "Button1")->isEnabled());
            QTRY_VERIFY(Child(swap, "LoadingAnim")->isHidden());
        } else if (screen == "lottery") {
            auto* lottery = Get<TFormLotto>("lottery");
            lottery->FillCoinList(Upper());
            Child<QComboBox>(lottery, "ComboBox1")->setCurrentText("TRX");
            Click(dashboard, "Image4");
            QTRY_VERIFY(!Service().Busy("lottery_players") && !Service().Busy("lottery_winners"));
            Type(lottery, "Edit1", "1");
        }
        QTRY_VERIFY(Screen_(screen)->isVisible());
        Activate(Screen_(screen));
    }

    // Presses the control once; the lottery's press asks first, answered "Yes"
    // as soon as the box takes a click.
    void Press(const Sender& s)
    {
        if (QLatin1String(s.screen) == "lottery") {
            auto* poll = new QTimer(this);
            poll->setInterval(20);
            connect(poll, &QTimer::timeout, poll, [poll] {
                auto* box = qobject_cast<QMessageBox*>(ActiveModal());
                if (!box || !box->button(QMessageBox::Yes)->isEnabled()) return;
                poll->deleteLater();
                PressModalButton(QMessageBox::Yes);
            });
            poll->start();
        }
        Click(Screen_(s.screen), s.control);
    }

    static void AddSenderRows()
    {
        QTest::addColumn<QString>("row");
        for (const Sender& s : Senders) QTest::newRow(s.row) << QString::fromLatin1(s.row);
    }

private slots:
    void windowAnswersWhileTheReplyIsOut_data() { AddSenderRows(); }

    void windowAnswersWhileTheReplyIsOut()
    {
        QFETCH(QString, row);
        const Sender& s = *SenderOf(row);
        Prepare(s);
        Hold(s.action, s.com);
        Screen* asking = Screen_(s.screen);
        auto* button = Child<QPushButton>(asking, s.control);
        auto* picture = Child<QLabel>(asking, "LoadingAnim");
        auto* animation = Child<FrameAnimation>(asking, "gifload");
        QVERIFY(button->isEnabled());

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

        Press(s);
        QTRY_COMPARE(Held(), 1);
        QVERIFY(!button->isEnabled());
        // The reply is still out: timers run, the screen shows that it waits
        // and its animation turns.
        const int ticksAtSend = ticks;
        QTRY_VERIFY(ticks >= ticksAtSend + 20);
        QVERIFY(picture->isVisible());
        QVERIFY(animation->Enabled());
        const int frameAtSend = animation->Frame();
        QTRY_VERIFY(animation->Frame() != frameAtSend);
        QVERIFY(!PanelShown(asking) || PanelText(asking) != QStringLiteral("Done late"));
        // A second press sends nothing, by mouse or by click.
        button->click();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!button->isEnabled());

        QTRY_COMPARE_WITH_TIMEOUT(PanelText(asking), QStringLiteral("Done late"), SlowMs + 10000);
        QVERIFY(PanelShown(asking));
        QCOMPARE(Held(), 1);
        QTRY_VERIFY(button->isEnabled());
        QVERIFY(picture->isHidden());
        QTRY_VERIFY(!animation->Enabled());
        ticker.stop();
        qInfo("%s: longest pause of a 1 ms timer while the reply was out: %lld ms", qPrintable(row),
              static_cast<long long>(longestGapMs));
    }

    // The user leaves the screen before the answer: it is kept on the screen
    // that asked, not shown on the one now in front.
    void answerStaysOnTheScreenThatAsked_data()
    {
        QTest::addColumn<QString>("row");
        for (const Sender& s : Senders)
            if (s.closable) QTest::newRow(s.row) << QString::fromLatin1(s.row);
    }

    void answerStaysOnTheScreenThatAsked()
    {
        QFETCH(QString, row);
        const Sender& s = *SenderOf(row);
        Prepare(s);
        Hold(s.action, s.com);
        Screen* asking = Screen_(s.screen);
        Press(s);
        QTRY_COMPARE(Held(), 1);
        asking->close();
        auto* dashboard = Get<TFormDashboard>("dashboard");
        QTRY_VERIFY(dashboard->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(PanelText(asking), QStringLiteral("Done late"), SlowMs + 10000);
        QTRY_VERIFY(Child<QPushButton>(asking, s.control)->isEnabled());
        for (Screen* other : Host()->Screens())
            if (other != asking)
                QVERIFY2(!PanelShown(other) || PanelText(other) != QStringLiteral("Done late"),
                         qPrintable(other->objectName()));
    }

    // The screens go while a reply is out: nothing crashes when it comes.
    void screensTornDownWhileTheReplyIsOut_data() { AddSenderRows(); }

    void screensTornDownWhileTheReplyIsOut()
    {
        QFETCH(QString, row);
        const Sender& s = *SenderOf(row);
        Prepare(s);
        Hold(s.action, s.com);
        Press(s);
        QTRY_COMPARE(Held(), 1);
        DestroyScreens();
        QTest::qWait(SlowMs + 500);
        QVERIFY(ScreenNamed(s.screen) == nullptr);
        CreateScreens();
    }

    // The deposit address is asked for by opening the deposit screen: it shows
    // its animation while the address is out, and the address lands there,
    // also once the user has gone back to the dashboard.
    void depositAddressWhileTheReplyIsOut_data()
    {
        QTest::addColumn<bool>("leave");
        QTest::newRow("stays") << false;
        QTest::newRow("goes back") << true;
    }

    void depositAddressWhileTheReplyIsOut()
    {
        QFETCH(bool, leave);
        LogIn();
        SelectCoin("btc");
        auto* dashboard = Get<TFormDashboard>("dashboard");
        Activate(dashboard);
        Hold("get_deposit_address");
        int ticks = 0;
        QTimer ticker;
        ticker.setInterval(1);
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start();

        Click(dashboard, "ButtonDeposit");
        auto* deposit = Get<TFormDeposit>("deposit");
        QTRY_VERIFY(deposit->isVisible());
        QTRY_COMPARE(Held(), 1);
        const int ticksAtSend = ticks;
        QTRY_VERIFY(ticks >= ticksAtSend + 20);
        QVERIFY(Child<QLabel>(deposit, "LoadingAnim")->isVisible());
        auto* animation = Child<FrameAnimation>(deposit, "gifload");
        const int frameAtSend = animation->Frame();
        QTRY_VERIFY(animation->Frame() != frameAtSend);
        if (leave) {
            deposit->close();
            QTRY_VERIFY(dashboard->isVisible());
        }
        auto* address = Child<QLabel>(deposit, "lab_dep_address");
        QTRY_COMPARE_WITH_TIMEOUT(address->property("address").toString(), QStringLiteral("bc1qheldaddress"),
                                  SlowMs + 10000);
        QVERIFY(Child<QLabel>(deposit, "LoadingAnim")->isHidden());
        QCOMPARE(Held(), 1);
        QVERIFY(!PanelShown(dashboard));
        ticker.stop();
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
