#include "Metrics.h"

#include "GroupCommit.h"

#include <cstdio>

namespace {

std::string Number(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

} // namespace

std::string Metrics::ActionLabel(const std::string& action)
{
    static const char* const known[] = {"all_json_setting", "useraccount", "tg_new_user",   "get_deposit_address",
                                        "get_swap_coin",    "invest_coin", "withdraw",      "changepass",
                                        "resetpass",        "free_coin",   "buylottonew",   "x_clock_advance",
                                        "twofa_setup",      "twofa_enable", "twofa_disable",
                                        "history",          "prices",      "investments",
                                        "healthz",          "file",        "none"};
    for (const char* k : known)
        if (action == k) return action;
    return "other";
}

void Metrics::request(const std::string& action, int status, double seconds)
{
    std::string label = ActionLabel(action);
    size_t bucket = 0;
    while (bucket < LatencyBounds.size() && seconds > LatencyBounds[bucket]) ++bucket;
    std::lock_guard lock(m_mutex);
    ++m_requests[{std::move(label), status}];
    ++m_latency[bucket];
    m_latencySum += seconds;
    ++m_latencyCount;
}

std::string Metrics::render(const GroupCommit* group) const
{
    std::string out;
    out.reserve(4096);
    {
        std::lock_guard lock(m_mutex);
        out += "# HELP ambervale_requests_total Requests answered, by action and HTTP status.\n"
               "# TYPE ambervale_requests_total counter\n";
        for (const auto& [key, n] : m_requests)
            out += "ambervale_requests_total{action=\"" + key.first + "\",status=\"" + std::to_string(key.second) +
                   "\"} " + std::to_string(n) + "\n";
        out += "# HELP ambervale_request_seconds Time from a whole request read to its answer handed to TLS.\n"
               "# TYPE ambervale_request_seconds histogram\n";
        std::uint64_t cumulative = 0;
        for (size_t i = 0; i < m_latency.size(); ++i) {
            cumulative += m_latency[i];
            const std::string le = i < LatencyBounds.size() ? Number(LatencyBounds[i]) : "+Inf";
            out += "ambervale_request_seconds_bucket{le=\"" + le + "\"} " + std::to_string(cumulative) + "\n";
        }
        out += "ambervale_request_seconds_sum " + Number(m_latencySum) + "\n";
        out += "ambervale_request_seconds_count " + std::to_string(m_latencyCount) + "\n";
    }
    out += "# HELP ambervale_open_connections Client connections open now.\n"
           "# TYPE ambervale_open_connections gauge\n"
           "ambervale_open_connections " +
           std::to_string(m_connections.load(std::memory_order_relaxed)) + "\n";
    if (group) {
        out += "# HELP ambervale_db_retries_total Write transactions lost as a whole (a serialization failure, a "
               "broken connection) whose writers ran again.\n"
               "# TYPE ambervale_db_retries_total counter\n"
               "ambervale_db_retries_total " +
               std::to_string(group->lostRounds()) + "\n";
        out += "# HELP ambervale_group_commit_writers Writers that shared one committed transaction.\n"
               "# TYPE ambervale_group_commit_writers histogram\n";
        std::uint64_t cumulative = 0;
        for (int b = 0; b < GroupCommit::SizeBuckets; ++b) {
            cumulative += group->batchesUpTo(b);
            out += "ambervale_group_commit_writers_bucket{le=\"" + std::to_string(GroupCommit::SizeBucketLimit(b)) +
                   "\"} " + std::to_string(cumulative) + "\n";
        }
        out += "ambervale_group_commit_writers_bucket{le=\"+Inf\"} " + std::to_string(cumulative) + "\n";
        out += "ambervale_group_commit_writers_sum " + std::to_string(group->committedMembers()) + "\n";
        out += "ambervale_group_commit_writers_count " + std::to_string(group->commits()) + "\n";
    }
    return out;
}
