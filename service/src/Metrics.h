#pragma once
// The operators' view in Prometheus' text format: requests by action and
// status, a latency histogram, open connections, and the figures of the
// shared write transactions (how many writers each held, how many were lost
// and run again).
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

class GroupCommit;

class Metrics {
public:
    // Upper bounds of the latency buckets, in seconds (the last bucket, +Inf, is implied).
    static constexpr std::array<double, 12> LatencyBounds{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                           0.1,   0.25,   0.5,   1,    2.5,   5};

    // action: any text; it is named only when it is one of the service's actions, else counted as "other",
    // so what clients send cannot grow the list without bound.
    void request(const std::string& action, int status, double seconds);
    void connectionOpened() { m_connections.fetch_add(1, std::memory_order_relaxed); }
    void connectionClosed() { m_connections.fetch_sub(1, std::memory_order_relaxed); }

    std::string render(const GroupCommit* group) const;

    static std::string ActionLabel(const std::string& action);

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<std::string, int>, std::uint64_t> m_requests;
    std::array<std::uint64_t, LatencyBounds.size() + 1> m_latency{};
    double m_latencySum = 0;
    std::uint64_t m_latencyCount = 0;
    std::atomic<std::int64_t> m_connections{0};
};
