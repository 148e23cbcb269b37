// Whether the activity screen holds the window while the user scrolls a long
// history: a loopback fake pages 10,000 lines as the service does; the real
// screen loads them page by page as the wheel nears the end, then the wheel
// runs back to the top and down to the bottom again. A 1 ms timer on the GUI
// thread notes the gaps between its ticks; per phase: the longest gap, the
// 99th percentile, how many exceed 50 ms, and the GUI thread's own CPU time in
// the longest gap with the times it was made to give way (a gap the thread did
// not spend working is the machine running something else).
//
//   activity_scroll [rows, default 10000]
//
// Run offscreen (QT_QPA_PLATFORM=offscreen) or under Xvfb.
#include "AccountModel.h"
#include "History.h"
#include "ScreenTestSupport.h"
#include "activity.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

struct ThreadTimes {
    qint64 cpuUs = 0;
    long involuntary = 0;
};

ThreadTimes Now()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return {qint64(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1'000'000 + u.ru_utime.tv_usec + u.ru_stime.tv_usec,
            u.ru_nivcsw};
}

// Gaps between the ticks of a 1 ms timer while it runs.
class GapMeter : public QObject {
public:
    GapMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
    }
    void Start()
    {
        m_gaps.clear();
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_lastTimes = Now();
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    void Report(const char* phase) const
    {
        std::vector<double> g = m_gaps;
        std::sort(g.begin(), g.end());
        const double p99 = g.empty() ? 0 : g[std::min(g.size() - 1, size_t(double(g.size()) * 0.99))];
        const long over = std::count_if(g.begin(), g.end(), [](double v) { return v > 50; });
        std::printf("%-28s ticks %6zu  longest %6.1f ms (GUI thread CPU %5.1f ms, gave way %ld times)  p99 %5.1f ms  "
                    "over 50 ms: %ld\n",
                    phase, g.size(), m_longest, m_longestCpuUs / 1000.0, m_longestGaveWay, p99, over);
    }

private:
    void Tick()
    {
        const qint64 ns = m_clock.nsecsElapsed();
        const ThreadTimes t = Now();
        const double gap = double(ns - m_last) / 1e6;
        m_gaps.push_back(gap);
        if (gap > m_longest) {
            m_longest = gap;
            m_longestCpuUs = t.cpuUs - m_lastTimes.cpuUs;
            m_longestGaveWay = t.involuntary - m_lastTimes.involuntary;
        }
        m_last = ns;
        m_lastTimes = t;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    ThreadTimes m_lastTimes;
    std::vector<double> m_gaps;
    double m_longest = 0;
    qint64 m_longestCpuUs = 0;
    long m_longestGaveWay = 0;
};

void Wheel(QWidget* viewport, int notches)
{
    const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
    QWheelEvent e(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &e);
}

// Runs the event loop until done() or the time-out; false on the time-out.
template <class Done>
bool RunUntil(Done done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class ScrollBench : public support::ScreenTest {
public:
    int Run(int rows)
    {
        fake = std::make_unique<FakeService>();
        const QByteArray account = support::Json(support::AccountReply());
        fake->setHandler([rows, account](const RecordedRequest& r) {
            ScriptedReply reply;
            if (r.field("a") != QLatin1String("history")) {
                reply.body = account;
                return reply;
            }
            const qint64 before = r.hasField("before") ? r.field("before").toLongLong() : rows + 1;
            const int limit = r.hasField("limit") ? r.field("limit").toInt() : 50;
            QByteArray body = "{\"items\":[";
            qint64 id = before - 1;
            for (int n = 0; n < limit && id >= 1; ++n, --id) {
                if (n) body += ',';
                body += "{\"id\":" + QByteArray::number(id) + ",\"time\":\"2026-12-" +
                        QByteArray::number(10 + id % 18) + " 10:00:00\",\"kind\":\"earning\",\"coin\":\"btc\"," +
                        "\"amount\":\"0." + QByteArray::number(10'000'000 + id) +
                        "\",\"fee\":\"0.00000000\",\"status\":\"done\",\"detail\":\"day " + QByteArray::number(id) + "\"}";
            }
            body += "],\"next\":" + (id >= 1 ? QByteArray::number(id + 1) : QByteArray("null")) + "}";
            reply.body = body;
            return reply;
        });
        support::FreshScreens(fake.get());
        LogIn();
        support::Get<TFormDashboard>("dashboard")->show();
        Host()->Open("activity", "dashboard");
        auto* screen = support::Get<FormActivity>("activity");
        auto* table = screen->findChild<QTableView*>("table_history");
        QScrollBar* bar = table->verticalScrollBar();
        QWidget* viewport = table->viewport();
        if (!RunUntil([&] { return table->model()->rowCount() >= FormActivity::PageRows; }, 20000)) {
            std::fprintf(stderr, "the first page did not come\n");
            return 1;
        }

        GapMeter meter;
        // Down with the wheel: the pages load as the end comes near.
        meter.Start();
        QElapsedTimer phase;
        phase.start();
        const bool loaded = RunUntil(
            [&] {
                Wheel(viewport, -1);
                return table->model()->rowCount() >= rows && bar->value() == bar->maximum();
            },
            300000);
        meter.Stop();
        const qint64 loadMs = phase.elapsed();
        if (!loaded) {
            std::fprintf(stderr, "only %d rows arrived\n", table->model()->rowCount());
            return 1;
        }
        std::printf("%d rows in %d pages of %d, wheel down to the last in %lld ms\n", table->model()->rowCount(),
                    (rows + FormActivity::PageRows - 1) / FormActivity::PageRows, FormActivity::PageRows, loadMs);
        meter.Report("wheel down, loading pages");

        meter.Start();
        phase.restart();
        RunUntil(
            [&] {
                Wheel(viewport, 1);
                return bar->value() == 0;
            },
            300000);
        meter.Stop();
        std::printf("wheel up over %d rows in %lld ms\n", table->model()->rowCount(), phase.elapsed());
        meter.Report("wheel up, all loaded");

        meter.Start();
        phase.restart();
        RunUntil(
            [&] {
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                return bar->value() == bar->maximum();
            },
            300000);
        meter.Stop();
        std::printf("page down over %d rows in %lld ms\n", table->model()->rowCount(), phase.elapsed());
        meter.Report("page down, all loaded");
        DestroyScreens();
        fake.reset();
        return 0;
    }
};

} // namespace

int main(int argc, char** argv)
{
    support::PrepareProcess();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    ScrollBench bench;
    return bench.Run(rows);
}
