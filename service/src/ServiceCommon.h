#pragma once
// What the action families share: the texts for the user, the limits' counters, the repeat record of money
// requests, the client's address and small text helpers. Only the service's own files include it.
#include "Service.h"

#include "Address.h"
#include "Figures.h"
#include "History.h"
#include "LotteryDraw.h"
#include "Money.h"
#include "Rules.h"

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <arpa/inet.h>

#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace service_detail {

// Every text for the user lives here. None may begin with "T": the client
// takes such an account reply as "log in again at once" and would loop.
namespace msg {
inline constexpr const char* BadField = "Refused: a field is overlong or holds characters that are not allowed.";
inline constexpr const char* Missing = "Refused: the request lacks a field.";
inline constexpr const char* BadSession = "Refused: the session field must be 32 upper-case hexadecimal digits.";
inline constexpr const char* Unknown = "Unknown action.";
inline constexpr const char* WrongLogin = "Wrong login or password.";
inline constexpr const char* BadLogin = "Please choose a login of 1 to 100 characters (no leading #).";
inline constexpr const char* BadDigest = "Refused: the password field is not a password digest.";
inline constexpr const char* LoginTaken = "This login is already registered. Log in, or choose another login.";
inline constexpr const char* BadRef = "Invite code not found. Check it or leave the field empty.";
inline constexpr const char* BadAmount = "Please enter an amount such as 0.5 or 0,5 (at most 8 decimals).";
inline constexpr const char* ZeroAmount = "Please enter an amount greater than zero.";
inline constexpr const char* BadCoin = "Unknown coin.";
inline constexpr const char* SameCoin = "Please choose two different coins.";
inline constexpr const char* BadRental = "Please choose a rental period.";
inline constexpr const char* BadNetwork = "This network is not available for this coin.";
// The address check's own text after "Refused: ", its first letter lowered.
inline std::string AddressRefused(std::string why)
{
    if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    return "Refused: " + why;
}
inline constexpr const char* HouseShort =
    "Swaps of this size are not available right now. Please try a smaller amount.";
inline constexpr const char* Internal = "Internal error: please try again later.";
inline constexpr const char* Overflow =
    "Refused: this would take a balance past the largest amount the service can hold. Nothing "
    "was booked.";
inline constexpr const char* Changed = "Password changed. Log in again with the new password.";
inline constexpr const char* BadOld = "Wrong old password or security code.";
inline constexpr const char* BadNew = "Please enter a new password of 1 to 128 characters.";
inline constexpr const char* ResetSent =
    "If this login exists, a security code valid for 15 minutes has been sent to its owner.";
inline constexpr const char* StaleSession =
    "Refused: the session token is not from the last few minutes. Please check that your "
    "computer's date, time and time zone are right, and retry.";
inline constexpr const char* CarriedOut = "Your request was carried out. Refresh to see your balance.";
inline constexpr const char* FirstDeposit =
    "Withdrawals open with your first deposit: welcome and referral rewards cannot be withdrawn "
    "before it.";
inline std::string RegistrationsPaused(std::int64_t s)
{
    return "Please wait " + std::to_string((s + 59) / 60) +
           " minute(s) before registering again: many accounts were registered from your address.";
}
inline std::string NotEnough(const std::string& coin)
{
    return "Not enough " + coin + " in the wallet.";
}
inline std::string Paused(std::int64_t s)
{
    return "Login paused after several wrong passwords. Please wait " + std::to_string((s + 59) / 60) +
           " minute(s) and retry.";
}
} // namespace msg

inline constexpr size_t MaxField = 256;
inline constexpr std::int64_t Day = money::SecondsPerDay;
// A session token is the client's local wall-clock second T (seconds since 1970 as if local time were UTC) as
// MD5(MD5(T + MD5(T))). Money actions take it only when T is within this many seconds of the machine's clock
// moved by one of the UTC offsets in use; so a captured request can be replayed only while its token passes.
inline constexpr std::int64_t SessionSkewSeconds = 300;
inline constexpr int UtcOffsetMinutes[] = {
    -720, -660, -600, -570, -540, -480, -420, -360, -300, -240, -210, -180, -150, -120, -60, 0,   60,  120, 180, 210,
    240,  270,  300,  330,  345,  360,  390,  420,  480,  525,  540,  570,  600,  630,  660, 720, 765, 780, 825, 840};
// A recorded answer is kept while its request's token could still pass (from UTC-12 to UTC+14, plus the skew
// both ways): a replay within that time gets the answer, never a second run.
inline constexpr std::int64_t OnceKeepSeconds = 26 * 3600 + 2 * SessionSkewSeconds + 300;
// Unanswered claims left by older builds are pruned this long after the answers of their time.
inline constexpr std::int64_t OnceLeaseSeconds = 60;

inline std::int64_t MachineNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The money request this thread runs: its key and, once its money transaction found it answered before, that
// answer.
struct OnceClaim {
    std::string key;
    OnceEntry entry;
    std::int64_t now = 0;
};
inline thread_local const OnceClaim* t_claim = nullptr;

// The request was answered (or its work committed, by a build that recorded that apart) while this run was on
// its way: thrown inside the money transaction, it undoes this run's work, and the first answer stands.
struct AlreadyAnswered {
    OnceEntry entry;
};

// Whether an entry stands for a request that must not run again.
inline bool Answered(const OnceEntry& e, std::int64_t now)
{
    return e.answers(now, OnceKeepSeconds);
}

// First in the action's money transaction: a copy of this request that committed meanwhile (here or on another
// instance) has the answer, and this run must not refuse what the first one did (its funds are spent now).
inline void ThrowIfAnswered(StoreTx& tx)
{
    if (!t_claim) return;
    if (auto e = tx.onceEntry(t_claim->key); e && Answered(*e, t_claim->now)) throw AlreadyAnswered{*e};
}

// The record of this request's answer r.
inline OnceEntry AnswerEntry(const OnceClaim& claim, const Reply& r)
{
    OnceEntry done = claim.entry;
    done.at = claim.now;
    done.done = true;
    done.status = r.status;
    done.json = r.json;
    done.body = r.body;
    return done;
}

// Last in the action's money transaction, with its work: the answer is recorded in the same commit, so the work and
// its answer are there together or not at all, and a repeat (on any instance) gets that answer.
inline void RecordAnswer(StoreTx& tx, const Reply& r)
{
    if (t_claim) tx.putOnceEntry(t_claim->key, AnswerEntry(*t_claim, r));
}

// A money action's write with this request's repeat record (checked first, the answer recorded with the work).
inline MoneyWrite Movement(const char* kind, std::vector<Leg> legs, std::int64_t now, const Reply& answer)
{
    MoneyWrite w;
    w.kind = kind;
    w.legs = std::move(legs);
    w.now = now;
    if (t_claim) {
        w.onceKey = t_claim->key;
        w.onceNow = t_claim->now;
        w.onceKeep = OnceKeepSeconds;
        w.answer = AnswerEntry(*t_claim, answer);
    }
    return w;
}

// Runs it in the action's money transaction; a copy answered meanwhile gives its answer and this run is undone.
inline void Apply(StoreTx& tx, const MoneyWrite& w)
{
    if (auto e = tx.apply(w)) throw AlreadyAnswered{*e};
}
inline constexpr std::int64_t LoginWindowSeconds = 300;
// Security codes: eight digits, typed from the message like a short number.
inline constexpr int ResetCodeDigits = 8;

// Kinds of counters (Counter, in the database).
namespace counted {
inline const std::string LoginAddress = "login-address"; // wrong passwords and codes: address + " " + login key
inline const std::string Login = "login";                // the same for a login from every address
inline const std::string ResetLogin = "reset-login";     // "resetpass" for a login
inline const std::string ResetAddress = "reset-address"; // "resetpass" from an address
inline const std::string Register = "register-address";  // registrations from an address
} // namespace counted

// Seconds until another event may be counted: limit events within window
// from the first one, then nothing until that window has passed.
inline std::int64_t WaitFor(const std::optional<Counter>& c, int limit, std::int64_t window, std::int64_t now)
{
    if (!c || now - c->first >= window || now < c->first) return 0;
    if (c->count < limit) return 0;
    return std::max<std::int64_t>(1, c->first + window - now);
}

inline Counter Counted(const std::optional<Counter>& c, std::int64_t window, std::int64_t now)
{
    if (!c || now - c->first >= window || now < c->first) return Counter{1, now, now};
    return Counter{c->count + 1, c->first, now};
}

struct Limit {
    const std::string& kind;
    std::string key;
    int limit;
    std::int64_t window;
};

// Counts one event under every limit, or none when any is reached; the
// seconds to wait then. One transaction: parallel requests cannot slip past.
inline std::int64_t TakeAll(StoreTx& tx, const std::vector<Limit>& limits, std::int64_t now)
{
    std::vector<std::optional<Counter>> seen;
    std::int64_t wait = 0;
    for (const Limit& l : limits) {
        seen.push_back(tx.counter(l.kind, l.key));
        wait = std::max(wait, WaitFor(seen.back(), l.limit, l.window, now));
    }
    if (wait) return wait;
    for (size_t i = 0; i < limits.size(); ++i)
        tx.setCounter(limits[i].kind, limits[i].key, Counted(seen[i], limits[i].window, now));
    return 0;
}

inline thread_local const RequestContext* t_request = nullptr;

// The request this thread serves, for the rules that count by client address, while the scope lasts.
struct RequestScope {
    const RequestContext* before = t_request;
    explicit RequestScope(const RequestContext& c) { t_request = &c; }
    ~RequestScope() { t_request = before; }
    RequestScope(const RequestScope&) = delete;
    RequestScope& operator=(const RequestScope&) = delete;
};

// The client address a limit counts by: an IPv4 address as it is (an IPv4
// client on an IPv6 socket too), an IPv6 address by its /64, the network one
// client usually holds whole.
inline std::string ClientAddress()
{
    const std::string ip = t_request ? t_request->address : std::string();
    if (ip.empty()) return "-";
    unsigned char bytes[16];
    if (inet_pton(AF_INET6, ip.c_str(), bytes) != 1) return ip;
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    char text[INET6_ADDRSTRLEN];
    if (std::memcmp(bytes, mapped, 12) == 0 && inet_ntop(AF_INET, bytes + 12, text, sizeof text)) return text;
    std::memset(bytes + 8, 0, 8);
    if (!inet_ntop(AF_INET6, bytes, text, sizeof text)) return ip;
    return std::string(text) + "/64";
}

inline std::string AddressLoginKey(const std::string& loginKey)
{
    return ClientAddress() + " " + loginKey; // an address holds no space: the split is unambiguous
}

inline bool LooksLikeCode(const std::string& s)
{
    return s.size() == static_cast<size_t>(ResetCodeDigits) && s.find_first_not_of("0123456789") == std::string::npos;
}

inline std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

// money::Format's text (digits, ".", eight decimals) appended in place: a reply is written without a string per
// figure.
inline void AppendAmount(std::string& out, std::int64_t units)
{
    const bool negative = units < 0;
    const unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(units) : units;
    char buf[32];
    char* p = buf;
    if (negative) *p++ = '-';
    p = std::to_chars(p, buf + sizeof buf, v / money::Unit).ptr;
    *p++ = '.';
    unsigned long long frac = v % money::Unit;
    for (int i = 7; i >= 0; --i, frac /= 10) p[i] = static_cast<char>('0' + frac % 10);
    out.append(buf, p + 8);
}

inline std::string JsonString(const std::string& s)
{
    return nlohmann::json(s).dump();
}

inline std::string RandomCode(size_t length, const char* alphabet, uint32_t n)
{
    std::string s;
    for (size_t i = 0; i < length; ++i) s += alphabet[randombytes_uniform(n)];
    return s;
}

inline std::string UtcText(std::int64_t t)
{
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
    return buf;
}

inline std::optional<std::string> NetworkCode(const std::string& shown)
{
    static const std::map<std::string, std::string> table{
        {"Main", "main"},           {"BEP-20 (Binance)", "bep20"}, {"ERC-20 (Ethereum)", "erc20"},
        {"TRC-20 (Tron)", "trc20"}, {"SOL (Solana)", "sol"},       {"PRC-20 (Polygon)", "prc20"}};
    auto it = table.find(shown);
    if (it == table.end()) return std::nullopt;
    return it->second;
}

inline bool IsEvmNetwork(const std::string& coin, const std::string& network)
{
    if (network == "bep20" || network == "erc20" || network == "prc20") return true;
    return network == "main" && (coin == "eth" || coin == "bnb" || coin == "etc" || coin == "shib" || coin == "matic");
}

inline std::int64_t UtcDay(std::int64_t t)
{
    return t >= 0 ? t / Day : (t - Day + 1) / Day;
}

} // namespace service_detail
