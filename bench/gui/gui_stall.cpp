// How long the window is held while a request is out: for every screen that
// sends one, the real screens send it to a loopback fake service that holds
// the reply (2 s), and a 1 ms timer on the GUI thread notes the longest gap
// between its ticks from the click to the answer on the screen. Beside each
// longest gap: the CPU time the GUI thread itself used in it and the times it
// was made to give way to another process, which tell a gap of our own work
// (a first style, font or picture, something synchronous on the answer path)
// from one where the machine ran something else.
//
//   gui_stall [rounds, default 3]
//
// Run offscreen (QT_QPA_PLATFORM=offscreen) or under Xvfb.
#include "AppState.h"
#include "Login.h"
#include "Lotto.h"
#include "ScreenTestSupport.h"
#include "ServiceClient.h"
#include "dashboard.h"
#include "deposit.h"
#include "swapcoin.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int HoldMs = 2000;

struct Sender {
    const char* name;
    const char* screen;
    const char* control; // on the dashboard for the deposit address
    const char* action;
    const char* com;
};

const Sender Senders[] = {
    {"login", "login", "BtnLogin", "useraccount", ""},
    {"registration", "login", "BtnReg", "tg_new_user", ""},
    {"guest", "login", "BtnGuest", "tg_new_user", ""},
    {"invest", "invest", "Button4", "invest_coin", ""},
    {"withdraw", "withdraw", "Button4", "withdraw", ""},
    {"swap", "swap", "Button1", "get_swap_coin", "swap"},
    {"password change", "settings", "Button6", "changepass", ""},
    {"password reset", "settings", "Button7", "resetpass", ""},
    {"faucet", "faucet", "Button4", "free_coin", ""},
    {"lottery", "lottery", "Button2", "buylottonew", ""},
    {"deposit address", "deposit", "ButtonDeposit", "get_deposit_address", ""},
};

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

long ThreadPreemptions()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nivcsw;
}

// Times the thread itself waited (poll with nothing due, a blocking read or
// lock): a gap made of these is the client holding itself up.
long ThreadWaits()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
}

template <class F>
bool SpinUntil(F cond, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

struct Gap {
    double wallMs = 0;
    double cpuMs = 0;     // the GUI thread's own CPU time in the gap
    long preempted = 0;   // times it was made to give way in the gap
    long waited = 0;      // times it waited of its own accord in the gap
    double atMs = 0;      // when the gap ended, from the click
};

// Derived for the helpers only (Click, Type, Child, Get); no test is run.
class StallBench : public support::ScreenTest {
public:
    std::unique_ptr<FakeService> service;
    QString held;
    QString heldCom;

    void Fresh()
    {
        DestroyScreens();
        service = std::make_unique<FakeService>();
        service->setHandler([this](const RecordedRequest& r) {
            if (r.pathWithoutQuery().startsWith("/lotto/")) return support::Reply("[]");
            if (r.field("a") == held && (heldCom.isEmpty() || r.field("com") == heldCom)) {
                ScriptedReply slow =
                    support::Reply(held == "get_deposit_address" ? "bc1qheldaddress" : "Done late");
                slow.delayMs = HoldMs;
                return slow;
            }
            if (r.field("a") == QLatin1String("get_swap_coin")) return support::Reply("5000");
            return support::Reply(support::Json(support::AccountReply()));
        });
        held.clear();
        fake.reset(); // the base's own is unused
        support::FreshScreens(service.get());
    }

    int Held() const
    {
        int n = 0;
        for (const RecordedRequest& r : service->requests())
            if (r.field("a") == held && (heldCom.isEmpty() || r.field("com") == heldCom)) ++n;
        return n;
    }

    void LoggedIn()
    {
        Account().ApplySettings(support::SettingsReply());
        AppState& st = State();
        st.ServerLoadPercent = 100;
        st.UserLogin = QStringLiteral("user@example.com");
        st.PassHash = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");
        st.LoggedIn = true;
        support::Get<TFormLogin>("login")->ParseJsonUserAcc(support::AccountReply());
    }

    static void Show(QWidget* w)
    {
        w->show();
        w->activateWindow();
        SpinUntil([w] { return QApplication::activeWindow() == w; }, 5000);
    }

    static QStringList Upper()
    {
        QStringList codes;
        for (const QString& c : support::Catalogue()) codes << c.toUpper();
        return codes;
    }

    // The sender's screen up to the click that sends; false when it cannot be reached.
    bool Prepare(const Sender& s)
    {
        const QString screen = QString::fromLatin1(s.screen);
        auto* dashboard = support::Get<TFormDashboard>("dashboard");
        LoggedIn();
        if (screen == "login") {
            State().LoggedIn = false;
            auto* login = support::Get<TFormLogin>("login");
            Show(login);
            SpinUntil([login] { return !login->ShowTimer->isActive(); }, 5000);
            Type(login, "LoginEdit", "bob");
            Type(login, "PassEdit", "pw");
            if (QLatin1String(s.control) == "BtnReg") {
                Click(login, "BtnReg");
                Type(login, "RePassEdit", "pw");
            }
            return login->isVisible();
        }
        // The dashboard's coin row for BTC.
        auto* list = support::Child<QListWidget>(dashboard, "ListBox1");
        Show(dashboard);
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == QLatin1String("BTC")) {
                list->setCurrentRow(i);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(i)).center());
            }
        auto* target = support::Get<Screen>(screen);
        if (screen == "invest") {
            Click(dashboard, "Button1");
            Type(target, "val_invest_coin", "1");
            Click(target, "Button1");
            Type(target, "conf_pass", "pw");
        } else if (screen == "withdraw") {
            Click(dashboard, "ButtonWithdraw");
            Type(target, "val_withdraw_coin", "0.5");
            Type(target, "Edit1", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq");
            Click(target, "Button1");
            Type(target, "conf_pass", "pw");
        } else if (screen == "settings") {
            Click(dashboard, "setting_btn");
            Type(target, "ResetPass_newpass", "n3w");
            Type(target, "ResetPass_repass", "n3w");
            Type(target, "ResetPass_oldpass", "old");
        } else if (screen == "faucet") {
            Click(dashboard, "freecoin_btn");
            Click(target, "Button1");
            Type(target, "conf_randomResult", QString::number(State().FaucetAnswer));
        } else if (screen == "swap") {
            auto* swap = static_cast<TFormSwap*>(target);
            swap->FillCoinLists(Upper());
            auto* from = support::Child<QComboBox>(swap, "ComboBox1");
            from->setCurrentIndex(from->findText("ETH"));
            Click(dashboard, "swap_btn");
            if (!SpinUntil([&] { return service->requests().size() > 0 &&
                                        support::Child<QPushButton>(swap, "Button1")->isEnabled() &&
                                        support::Child(swap, "LoadingAnim")->isHidden(); },
                           10000))
                return false;
        } else if (screen == "lottery") {
            auto* lottery = static_cast<TFormLotto*>(target);
            lottery->FillCoinList(Upper());
            support::Child<QComboBox>(lottery, "ComboBox1")->setCurrentText("TRX");
            Click(dashboard, "Image4");
            SpinUntil([] { return !Service().Busy("lottery_players") && !Service().Busy("lottery_winners"); }, 10000);
            Type(lottery, "Edit1", "1");
        } else if (screen == "deposit") {
            return dashboard->isVisible();
        }
        if (!SpinUntil([target] { return target->isVisible(); }, 5000)) return false;
        Show(target);
        return true;
    }

    bool Answered(const Sender& s)
    {
        if (QLatin1String(s.screen) == "deposit")
            return support::Child(support::Get<Screen>("deposit"), "lab_dep_address")->property("address").toString() ==
                   QLatin1String("bc1qheldaddress");
        return support::PanelText(support::Get<Screen>(s.screen)) == QLatin1String("Done late");
    }

    // One measured send; wallMs < 0 when it did not complete.
    Gap Measure(const Sender& s)
    {
        Gap worst;
        worst.wallMs = -1;
        Fresh();
        if (!Prepare(s)) return worst;
        held = QString::fromLatin1(s.action);
        heldCom = QString::fromLatin1(s.com);

        QElapsedTimer sinceClick;
        QElapsedTimer sinceTick;
        double cpuAtTick = 0;
        long preemptAtTick = 0;
        long waitAtTick = 0;
        bool ticking = false;
        worst.wallMs = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const double cpu = ThreadCpuMs();
            const long preempt = ThreadPreemptions();
            const long waits = ThreadWaits();
            if (ticking) {
                const double wall = sinceTick.nsecsElapsed() / 1e6;
                if (wall > worst.wallMs) {
                    worst.wallMs = wall;
                    worst.cpuMs = cpu - cpuAtTick;
                    worst.preempted = preempt - preemptAtTick;
                    worst.waited = waits - waitAtTick;
                    worst.atMs = sinceClick.nsecsElapsed() / 1e6;
                }
            }
            ticking = true;
            sinceTick.start();
            cpuAtTick = cpu;
            preemptAtTick = preempt;
            waitAtTick = waits;
        });

        if (QLatin1String(s.screen) == "lottery") {
            // The confirmation box: "Yes" once it takes a click.
            auto* poll = new QTimer;
            poll->setInterval(20);
            QObject::connect(poll, &QTimer::timeout, poll, [poll] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box || !box->button(QMessageBox::Yes)->isEnabled()) return;
                poll->deleteLater();
                box->button(QMessageBox::Yes)->click();
            });
            poll->start();
        }
        QWidget* on = QLatin1String(s.screen) == "deposit" ? support::Get<Screen>("dashboard")
                                                          : support::Get<Screen>(s.screen);
        ticker.start();
        sinceClick.start();
        Click(on, s.control);
        const bool done = SpinUntil([&] { return Answered(s); }, HoldMs + 20000);
        ticker.stop();
        if (!done || Held() != 1) worst.wallMs = -1;
        return worst;
    }
};

} // namespace

int main(int argc, char** argv)
{
    support::PrepareProcess();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;

    StallBench bench;
    std::vector<std::vector<Gap>> results(std::size(Senders));
    for (int round = 0; round < rounds; ++round)
        for (size_t i = 0; i < std::size(Senders); ++i) results[i].push_back(bench.Measure(Senders[i]));
    DestroyScreens();

    double overall = 0;
    std::printf("longest gap of a 1 ms timer from the click to the answer (reply held %d ms), per round:\n"
                "  gap ms (GUI thread CPU ms in it, times it gave way/waited; when, ms after the click)\n",
                HoldMs);
    for (size_t i = 0; i < std::size(Senders); ++i) {
        std::printf("%-16s", Senders[i].name);
        for (const Gap& g : results[i]) {
            if (g.wallMs < 0)
                std::printf("  failed");
            else
                std::printf("  %6.1f (%5.1f, %ld/%ld; @%5.0f)", g.wallMs, g.cpuMs, g.preempted, g.waited, g.atMs);
            overall = std::max(overall, g.wallMs);
        }
        std::printf("\n");
    }
    std::printf("longest of all: %.1f ms\n", overall);
    bool failed = false;
    for (const auto& r : results)
        for (const Gap& g : r) failed = failed || g.wallMs < 0;
    return failed ? 1 : 0;
}
