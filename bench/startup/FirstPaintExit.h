#pragma once
// Ends a start-up bench program as soon as its first window has been painted,
// printing how long main() took to get there and the peak resident memory.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace startup_bench {

// Peak resident set of this process so far, in KiB.
// CPU time (user + system) of this process since it was started, in ms: steadier than wall time on a busy machine.
inline double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

inline long PeakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

class FirstPaintExit : public QObject {
public:
    // 'sinceMain' was started on entry to main().
    FirstPaintExit(QWidget* window, const QElapsedTimer& sinceMain) : m_sinceMain(sinceMain)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Queued, so the painted frame is flushed to the screen before the clock stops.
            QMetaObject::invokeMethod(
                this, [this] { Finish(); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Finish()
    {
        std::printf("main_to_paint_ms=%.3f cpu_ms=%.3f vmhwm_kb=%ld\n", m_sinceMain.nsecsElapsed() / 1e6, CpuMs(),
                    PeakRssKb());
        std::fflush(stdout);
        // Tear-down is not start-up: leave without running destructors, the same way in every program.
        _exit(0);
    }

    QElapsedTimer m_sinceMain;
    bool m_seen = false;
};

} // namespace startup_bench
