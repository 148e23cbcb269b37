// Memory over a long session: the real client logs in through its login screen
// against a loopback fake service, then the dashboard's account refresh runs
// back to back. After a warm-up, resident memory is read, N more refreshes
// run, and it is read again; the goal is growth under 1 MB.
//
//   soak_refresh [refreshes, default 10000] [warm-up refreshes, default 1000] [interval ms, default 5]
//
// The interval must stay above a loopback round trip: refreshes are not
// coalesced, so at 1 ms they are issued faster than they are answered and the
// bench would measure the growing queue of waiting requests, not the client.
//
// The fake service runs in a child process, so only the client's memory is measured.
#include "AppState.h"
#include "Login.h"
#include "ScreenTestSupport.h"
#include "Screens.h"
#include "dashboard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return -1;
}

// Waits for cond while running the event loop; false after timeoutMs.
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

// Objects owned by the screens and the application: one that grows with the
// refreshes is a leak even though the screens free it at the end.
int OwnedObjects()
{
    int n = qApp->findChildren<QObject*>().size();
    for (QWidget* s : AllScreens()) n += 1 + s->findChildren<QObject*>().size();
    return n;
}

struct Shared {
    std::atomic<int> refreshes{0}; // account replies the service has sent
    std::atomic<int> port{0};
};

// The child: the fake service, answering until the parent ends.
[[noreturn]] void ServeFake(int argc, char** argv, Shared* shared)
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QCoreApplication app(argc, argv);
    // Every account reply differs from the last, so the labels and the
    // snapshot really change on each refresh, as a live balance does.
    const QByteArray settings = support::Json(support::SettingsReply());
    FakeService fake;
    fake.setHandler([&](const RecordedRequest& r) {
        if (r.field(QStringLiteral("a")) == QLatin1String("all_json_setting")) return support::Reply(settings);
        const int n = shared->refreshes.fetch_add(1) + 1;
        const QString amount = QStringLiteral("%1.%2").arg(n % 97).arg(n % 100000000, 8, 10, QLatin1Char('0'));
        return support::Reply(support::Json(support::AccountReply(amount)));
    });
    // The fake keeps every request it sees; it is not under test.
    QTimer trim;
    QObject::connect(&trim, &QTimer::timeout, [&] { fake.clearRequests(); });
    trim.start(200);
    shared->port = fake.port();
    _exit(app.exec());
}

} // namespace

int main(int argc, char** argv)
{
    const int measured = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int warmup = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int intervalMs = argc > 3 ? std::atoi(argv[3]) : 5;

    void* mem = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED) return 1;
    auto* shared = new (mem) Shared;
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) ServeFake(argc, argv, shared);

    support::PrepareProcess();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "%s (refreshes so far: %d)\n", what, shared->refreshes.load());
        kill(child, SIGTERM);
        return 1;
    };
    if (!SpinUntil([&] { return shared->port.load() != 0; }, 10000)) return fail("the fake service did not start");

    support::FreshScreens(nullptr);
    State().ServerScheme = QStringLiteral("http");
    State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(shared->port.load());
    ScreenNamed("login")->show();
    // The login screen asks for the platform settings on its own; then log in as a user does.
    if (!SpinUntil([] { return State().ServerLoadPercent > 0; }, 10000))
        return fail("the login screen never got the platform settings");
    support::Child<QLineEdit>(ScreenNamed("login"), "LoginEdit")->setText(QStringLiteral("soak@example.com"));
    support::Child<QLineEdit>(ScreenNamed("login"), "PassEdit")->setText(QStringLiteral("secret"));
    support::Child<QAbstractButton>(ScreenNamed("login"), "BtnLogin")->click();
    if (!SpinUntil([] { return ScreenNamed("dashboard")->isVisible() && State().LoggedIn; }, 10000))
        return fail("the login did not reach the dashboard");

    // The bench's only change to the program: the refresh interval.
    auto* timer = ScreenNamed("dashboard")->findChild<QTimer*>(QStringLiteral("TimeCheckBalance"));
    if (!timer) return fail("no TimeCheckBalance timer on the dashboard");
    timer->setInterval(intervalMs);
    timer->start();

    QElapsedTimer clock;
    clock.start();
    if (!SpinUntil([&] { return shared->refreshes.load() >= warmup; }, 10 * 60 * 1000))
        return fail("refreshes stalled during the warm-up");
    const long startKb = StatusKb("VmRSS");
    const int startCount = shared->refreshes.load();
    const int total = startCount + measured;
    std::printf("after %5d refreshes (warm-up): rss_kb=%ld objects=%d\n", startCount, startKb, OwnedObjects());
    // The curve, not only its ends: a leak climbs steadily, a cache levels off.
    for (int next = startCount + 1000; next < total + 1000; next += 1000) {
        const int until = std::min(next, total);
        if (!SpinUntil([&] { return shared->refreshes.load() >= until; }, 10 * 60 * 1000))
            return fail("refreshes stalled");
        std::printf("after %5d refreshes: rss_kb=%ld objects=%d\n", shared->refreshes.load(), StatusKb("VmRSS"),
                    OwnedObjects());
        std::fflush(stdout);
    }
    timer->stop();
    SpinUntil([] { return false; }, 200); // the last reply lands
    const long endKb = StatusKb("VmRSS");
    const double secs = clock.nsecsElapsed() / 1e9;
    const int done = shared->refreshes.load();
    std::printf("refreshes=%d (%d measured after %d warm-up) in %.1f s (%.0f/s)\n", done, done - startCount, startCount,
                secs, done / secs);
    std::printf("rss_start_kb=%ld rss_end_kb=%ld growth_kb=%ld peak_kb=%ld  goal: growth < 1024 kB -> %s\n", startKb,
                endKb, endKb - startKb, StatusKb("VmHWM"), endKb - startKb < 1024 ? "met" : "MISSED");
    std::fflush(stdout);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    DestroyScreens();
    return 0;
}
