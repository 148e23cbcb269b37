// The activity of an account as its client shows it: the history of its wallet, the prices its coins are
// valued at, its rentals; and the operator's word on a withdrawal once it has been sent or has failed.
#include "History.h"

#include "Figures.h"
#include "Money.h"
#include "Service.h"
#include "ServiceCommon.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <limits>
#include <stdexcept>

namespace history {

HistoryItem Line(std::int64_t account, const std::string& coin, const char* kind, std::int64_t amount, std::int64_t at,
                 std::int64_t fee, const std::string& detail, std::int64_t ref, const char* status)
{
    HistoryItem h;
    h.account = account;
    h.coin = coin;
    h.kind = kind;
    h.at = at;
    h.amount = amount;
    h.fee = fee;
    h.status = status;
    h.detail = detail;
    h.ref = ref;
    return h;
}

std::int64_t Add(StoreTx& tx, std::int64_t account, const std::string& coin, const char* kind, std::int64_t amount,
                 std::int64_t at, std::int64_t fee, const std::string& detail, std::int64_t ref, const char* status)
{
    return tx.addHistory(Line(account, coin, kind, amount, at, fee, detail, ref, status));
}

void AddToDay(StoreTx& tx, std::int64_t account, const std::string& coin, const char* kind, std::int64_t amount,
              std::int64_t at)
{
    HistoryItem h;
    h.account = account;
    h.coin = coin;
    h.kind = kind;
    h.at = at;
    h.amount = amount;
    const std::int64_t day =
        at >= 0 ? at / money::SecondsPerDay : (at - money::SecondsPerDay + 1) / money::SecondsPerDay;
    tx.addDailyHistory(h, day);
}

std::string TimeText(std::int64_t t)
{
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

} // namespace history

namespace {

// Texts for the user (none begins with "T": see the rules of the replies).
namespace msg {
const char* BadCoin = "Unknown coin.";
const char* BadBefore = "Refused: \"before\" must be the id of an item of the history.";
const char* BadLimit = "Refused: \"limit\" must be a whole number from 1 to 200.";
} // namespace msg

// A JSON string; invalid UTF-8 (none is stored, but the text is the operator's) is replaced, never thrown on.
std::string JsonText(const std::string& s)
{
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

constexpr int DefaultLimit = 50;
constexpr int MaxLimit = 200;

// A whole number of plain digits from lo to hi; nothing else (no sign, blank, exponent, or more digits than
// any id has).
std::optional<std::int64_t> WholeNumber(const std::string& s, std::int64_t lo, std::int64_t hi)
{
    if (s.empty() || s.size() > 19) return std::nullopt;
    std::int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        if (v > (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10) return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return std::nullopt;
    return v;
}

// Billionths of a dollar as a decimal text with "." and at least two decimals ("60000.00", "0.00001234").
std::string UsdText(std::int64_t nano)
{
    std::string frac = std::to_string(nano % 1'000'000'000);
    frac.insert(0, 9 - frac.size(), '0');
    while (frac.size() > 2 && frac.back() == '0') frac.pop_back();
    return std::to_string(nano / 1'000'000'000) + "." + frac;
}

// An operator's text that ends up in a client's history: printable, one line, not overlong.
bool PlainLine(const std::string& s, size_t most)
{
    if (s.empty() || s.size() > most || !ValidUtf8(s)) return false;
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

bool TransactionId(const std::string& s)
{
    if (s.empty() || s.size() > 128) return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '.' || c == '_' || c == '-'))
            return false;
    return true;
}

std::int64_t WithdrawalId(const std::string& text)
{
    auto id = WholeNumber(text, 1, std::numeric_limits<std::int64_t>::max());
    if (!id) throw std::runtime_error("not a withdrawal id: " + text);
    return *id;
}

} // namespace

Reply Service::history(const Fields& f)
{
    // The fields first: a hostile request costs no password check and no read.
    const std::string coin = AsciiLower(f.get("coin"));
    if (!coin.empty() && !m_config.find(coin)) return Reply::Text(msg::BadCoin);
    std::int64_t before = std::numeric_limits<std::int64_t>::max();
    if (const std::string* b = f.find("before")) {
        auto v = WholeNumber(*b, 1, std::numeric_limits<std::int64_t>::max());
        if (!v) return Reply::Text(msg::BadBefore);
        before = *v;
    }
    int limit = DefaultLimit;
    if (const std::string* l = f.find("limit")) {
        auto v = WholeNumber(*l, 1, MaxLimit);
        if (!v) return Reply::Text(msg::BadLimit);
        limit = static_cast<int>(*v);
    }
    const std::int64_t now = m_clock.now();
    // One more than asked: whether there is a next page.
    std::vector<HistoryItem> items;
    bool read = false;
    // With a digest remembered from the last minutes and no earnings due, the login and the page are one read.
    const std::string key = AsciiLower(f.get("s")), pass = f.get("pass");
    if (f.find("s") && auth::IsHexDigest(pass) && !key.empty() && key[0] != '#')
        m_store.readOne([&](StoreTx& tx) {
            read = false;
            HistoryView v = tx.historyView(key, service_detail::counted::LoginAddress,
                                           service_detail::AddressLoginKey(key), coin, before, limit + 1);
            if (service_detail::WaitFor(v.account.failures, m_config.loginFailuresPerAddress,
                                        m_config.loginFailureWindowSeconds, now))
                return; // paused: the full check says so
            if (!v.account.account || !m_digests.check(key, v.account.account->passwordHash, pass)) return;
            if (accrualDue(*v.account.account, v.account.open, now)) return;
            items = std::move(v.items);
            read = true;
        });
    if (!read) {
        Reply refusal;
        auto a = authenticate(f, &refusal);
        if (!a) return refusal;
        // Earnings due (as the refresh would credit them) bring today's line up to date first. Each read is one
        // statement, so on PostgreSQL each is one round trip without a transaction around it.
        std::vector<Investment> open;
        m_store.readOne([&](StoreTx& tx) { open = tx.openInvestments(a->id); });
        if (accrualDue(*a, open, now)) accrueIfDue(a->id, now, false);
        m_store.readOne([&](StoreTx& tx) { items = tx.history(a->id, coin, before, limit + 1); });
    }
    const bool more = static_cast<int>(items.size()) > limit;
    if (more) items.resize(static_cast<size_t>(limit));
    // Written piece by piece, like the account reply: a page is asked for as the user scrolls.
    std::string j;
    j.reserve(64 + items.size() * 200);
    j += "{\"items\":[";
    for (const HistoryItem& h : items) {
        if (j.back() != '[') j += ',';
        j += "{\"id\":" + std::to_string(h.id) + ",\"time\":\"" + history::TimeText(h.at) +
             "\",\"kind\":" + JsonText(h.kind) + ",\"coin\":" + JsonText(h.coin) + ",\"amount\":\"" +
             money::Format(h.amount) + "\",\"fee\":\"" + money::Format(h.fee) + "\",\"status\":" + JsonText(h.status) +
             ",\"detail\":" + JsonText(h.detail) + "}";
    }
    j += "],\"next\":" + (more ? std::to_string(items.back().id) : std::string("null")) + "}";
    return Reply::Json(std::move(j));
}

Reply Service::prices() const
{
    nlohmann::ordered_json usd = nlohmann::ordered_json::object();
    for (const Coin& c : m_config.coins) usd[c.code] = UsdText(c.priceNanoUsd);
    nlohmann::ordered_json out;
    out["usd"] = std::move(usd);
    out["time"] = history::TimeText(m_clock.now());
    return Reply::Json(out.dump());
}

Reply Service::investments(const Fields& f)
{
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    const std::int64_t now = m_clock.now();
    // Earned so far is what was credited: brought up to date first, as the refresh does.
    accrueIfDue(a->id, now, false);
    std::vector<RentalState> list;
    m_store.read([&](StoreTx& tx) { list = tx.rentals(a->id); });
    nlohmann::ordered_json arr = nlohmann::json::array();
    for (const RentalState& r : list) {
        const Investment& inv = r.inv;
        const std::int64_t length = inv.ends - inv.started;
        const std::int64_t byNow = std::clamp<std::int64_t>(now - inv.started, 0, length);
        arr.push_back({{"id", inv.id},
                       {"coin", inv.coin},
                       {"principal", money::Format(inv.principal)},
                       {"rental_code", inv.rentalCode},
                       {"days", length / money::SecondsPerDay},
                       {"apr", inv.apr},
                       {"fee_percent", inv.feePercent},
                       {"start", history::TimeText(inv.started)},
                       {"end", history::TimeText(inv.ends)},
                       {"status", r.closed ? "ended" : "open"},
                       {"earned", money::Format(inv.paid)},
                       {"due_by_now", money::Format(money::Accrued(inv.principal, inv.apr, byNow))},
                       {"total_earnings", money::Format(money::Accrued(inv.principal, inv.apr, length))},
                       {"returns", money::Format(money::RentalReturn(inv.principal, inv.feePercent))},
                       {"fee", money::Format(money::RentalFee(inv.principal, inv.feePercent))}});
    }
    nlohmann::ordered_json out;
    out["investments"] = std::move(arr);
    out["time"] = history::TimeText(now);
    return Reply::Json(out.dump());
}

std::string Service::markSent(const std::string& idText, const std::string& txid)
{
    const std::int64_t id = WithdrawalId(idText);
    if (!TransactionId(txid))
        throw std::runtime_error("the transaction id must be 1 to 128 letters, digits and : . _ -");
    const std::int64_t now = m_clock.now();
    std::string refused;
    std::optional<Withdrawal> w;
    m_store.write([&](StoreTx& tx) {
        refused.clear();
        std::string status;
        w = tx.withdrawal(id, &status);
        if (!w) {
            refused = "no withdrawal " + idText;
            return;
        }
        if (!tx.settleWithdrawal(id, history::status::Sent, txid, now)) {
            refused = "withdrawal " + idText + " is " + status + " already; nothing changed";
            return;
        }
        // It has left: the outbox holds only what waits to be sent.
        tx.post("withdraw-sent",
                {{system_account::Outbox, w->coin, Bucket::Wallet, -w->net},
                 {system_account::Issuer, w->coin, Bucket::Wallet, w->net}},
                now);
    });
    if (!refused.empty()) throw std::runtime_error(refused);
    return "withdrawal " + std::to_string(id) + " marked sent: " + money::Format(w->net) + " " + w->coin + " to " +
           w->address + ", transaction " + txid;
}

std::string Service::markFailed(const std::string& idText, const std::string& reason)
{
    const std::int64_t id = WithdrawalId(idText);
    if (!PlainLine(reason, 200)) throw std::runtime_error("the reason must be one line of 1 to 200 bytes of text");
    const std::int64_t now = m_clock.now();
    std::string refused;
    std::optional<Withdrawal> w;
    m_store.write([&](StoreTx& tx) {
        refused.clear();
        std::string status;
        w = tx.withdrawal(id, &status);
        if (!w) {
            refused = "no withdrawal " + idText;
            return;
        }
        const auto owner = tx.accountByKey(AsciiLower(w->login));
        if (!owner) {
            refused = "withdrawal " + idText + " belongs to no account (" + w->login + "); nothing changed";
            return;
        }
        if (!tx.settleWithdrawal(id, history::status::Failed, reason, now)) {
            refused = "withdrawal " + idText + " is " + status + " already; nothing changed";
            return;
        }
        // Amount and fee go back to the wallet they came from, as one movement.
        tx.post("withdraw-failed",
                {{system_account::Outbox, w->coin, Bucket::Wallet, -w->net},
                 {system_account::House, w->coin, Bucket::Wallet, -w->fee},
                 {owner->id, w->coin, Bucket::Wallet, w->amount}},
                now);
        history::Add(tx, owner->id, w->coin, history::kind::Withdraw, w->amount, now, -w->fee, reason, id,
                     history::status::Failed);
    });
    if (!refused.empty()) throw std::runtime_error(refused);
    return "withdrawal " + std::to_string(id) + " marked failed: " + money::Format(w->amount) + " " + w->coin +
           " returned to " + w->login;
}
