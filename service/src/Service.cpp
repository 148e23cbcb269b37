#include "Service.h"

#include "Address.h"
#include "Figures.h"
#include "History.h"
#include "LotteryDraw.h"
#include "Smtp.h"
#include "Money.h"
#include "Rules.h"

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <thread>
#include <unordered_map>

namespace {

// Every text for the user lives here. None may begin with "T": the client
// takes such an account reply as "log in again at once" and would loop.
namespace msg {
const char* BadField = "Refused: a field is overlong or holds characters that are not allowed.";
const char* Missing = "Refused: the request lacks a field.";
const char* BadSession = "Refused: the session field must be 32 upper-case hexadecimal digits.";
const char* Unknown = "Unknown action.";
const char* WrongLogin = "Wrong login or password.";
const char* BadLogin = "Please choose a login of 1 to 100 characters (no leading #).";
const char* BadDigest = "Refused: the password field is not a password digest.";
const char* LoginTaken = "This login is already registered. Log in, or choose another login.";
const char* BadRef = "Invite code not found. Check it or leave the field empty.";
const char* BadAmount = "Please enter an amount such as 0.5 or 0,5 (at most 8 decimals).";
const char* ZeroAmount = "Please enter an amount greater than zero.";
const char* BadCoin = "Unknown coin.";
const char* SameCoin = "Please choose two different coins.";
const char* BadRental = "Please choose a rental period.";
const char* BadNetwork = "This network is not available for this coin.";
// The address check's own text after "Refused: ", its first letter lowered.
std::string AddressRefused(std::string why)
{
    if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    return "Refused: " + why;
}
const char* HouseShort = "Swaps of this size are not available right now. Please try a smaller amount.";
const char* Internal = "Internal error: please try again later.";
const char* Overflow = "Refused: this would take a balance past the largest amount the service can hold. Nothing "
                       "was booked.";
const char* Changed = "Password changed. Log in again with the new password.";
const char* BadOld = "Wrong old password or security code.";
const char* BadNew = "Please enter a new password of 1 to 128 characters.";
const char* ResetSent = "If this login exists, a security code valid for 15 minutes has been sent to its owner.";
const char* StaleSession = "Refused: the session token is not from the last few minutes. Please check that your "
                           "computer's date, time and time zone are right, and retry.";
const char* CarriedOut = "Your request was carried out. Refresh to see your balance.";
const char* FirstDeposit = "Withdrawals open with your first deposit: welcome and referral rewards cannot be withdrawn "
                           "before it.";
std::string RegistrationsPaused(std::int64_t s)
{
    return "Please wait " + std::to_string((s + 59) / 60) +
           " minute(s) before registering again: many accounts were registered from your address.";
}
std::string NotEnough(const std::string& coin)
{
    return "Not enough " + coin + " in the wallet.";
}
std::string Paused(std::int64_t s)
{
    return "Login paused after several wrong passwords. Please wait " + std::to_string((s + 59) / 60) +
           " minute(s) and retry.";
}
} // namespace msg

constexpr size_t MaxField = 256;
constexpr std::int64_t Day = money::SecondsPerDay;
// A session token is the client's local wall-clock second T (seconds since 1970 as if local time were UTC) as
// MD5(MD5(T + MD5(T))). Money actions take it only when T is within this many seconds of the machine's clock
// moved by one of the UTC offsets in use; so a captured request can be replayed only while its token passes.
constexpr std::int64_t SessionSkewSeconds = 300;
constexpr int UtcOffsetMinutes[] = {-720, -660, -600, -570, -540, -480, -420, -360, -300, -240, -210, -180, -150, -120,
                                    -60,  0,    60,   120,  180,  210,  240,  270,  300,  330,  345,  360,  390,  420,
                                    480,  525,  540,  570,  600,  630,  660,  720,  765,  780,  825,  840};
// A recorded answer is kept while its request's token could still pass (from UTC-12 to UTC+14, plus the skew
// both ways): a replay within that time gets the answer, never a second run.
constexpr std::int64_t OnceKeepSeconds = 26 * 3600 + 2 * SessionSkewSeconds + 300;
// Unanswered claims left by older builds are pruned this long after the answers of their time.
constexpr std::int64_t OnceLeaseSeconds = 60;

std::int64_t MachineNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Every token a client may send now, with its second T. Built once (about 24,000 tokens), then extended by the
// new seconds as time passes; tokens no longer acceptable are pruned every few minutes.
class SessionTimes {
public:
    bool fresh(const std::string& token, std::int64_t now)
    {
        std::lock_guard lock(m_mutex);
        if (m_at == 0 || now < m_at || now - m_at > 2 * SessionSkewSeconds) {
            m_tokens.clear();
            for (int z : UtcOffsetMinutes)
                for (std::int64_t d = -SessionSkewSeconds; d <= SessionSkewSeconds; ++d) add(now + z * 60 + d);
            m_at = m_pruned = now;
        }
        for (; m_at < now; ++m_at)
            for (int z : UtcOffsetMinutes) add(m_at + 1 + z * 60 + SessionSkewSeconds);
        if (now - m_pruned > SessionSkewSeconds) {
            std::erase_if(m_tokens, [&](const auto& e) { return !acceptable(e.second, now); });
            m_pruned = now;
        }
        auto it = m_tokens.find(token);
        return it != m_tokens.end() && acceptable(it->second, now);
    }
    static std::string TokenOf(std::int64_t t)
    {
        const std::string text = std::to_string(t);
        return auth::ClientDigest(auth::ClientDigest(text + auth::ClientDigest(text)));
    }

private:
    static bool acceptable(std::int64_t t, std::int64_t now)
    {
        for (int z : UtcOffsetMinutes)
            if (std::llabs(t - now - z * 60) <= SessionSkewSeconds) return true;
        return false;
    }
    void add(std::int64_t t) { m_tokens.emplace(TokenOf(t), t); }

    std::mutex m_mutex;
    std::int64_t m_at = 0, m_pruned = 0;
    std::unordered_map<std::string, std::int64_t> m_tokens;
};

SessionTimes& Sessions()
{
    static SessionTimes times;
    return times;
}

// The money request this thread runs: its key and, once its money transaction found it answered before, that
// answer.
struct OnceClaim {
    std::string key;
    OnceEntry entry;
    std::int64_t now = 0;
};
thread_local const OnceClaim* t_claim = nullptr;

// The request was answered (or its work committed, by a build that recorded that apart) while this run was on
// its way: thrown inside the money transaction, it undoes this run's work, and the first answer stands.
struct AlreadyAnswered {
    OnceEntry entry;
};

// Whether an entry stands for a request that must not run again.
bool Answered(const OnceEntry& e, std::int64_t now)
{
    return (e.done && now - e.at <= OnceKeepSeconds) || (!e.done && e.status == OnceEntry::WorkedStatus);
}

// First in the action's money transaction: a copy of this request that committed meanwhile (here or on another
// instance) has the answer, and this run must not refuse what the first one did (its funds are spent now).
void ThrowIfAnswered(StoreTx& tx)
{
    if (!t_claim) return;
    if (auto e = tx.onceEntry(t_claim->key); e && Answered(*e, t_claim->now)) throw AlreadyAnswered{*e};
}

// Last in the action's money transaction, with its work: the answer is recorded in the same commit, so the work and
// its answer are there together or not at all, and a repeat (on any instance) gets that answer.
void RecordAnswer(StoreTx& tx, const Reply& r)
{
    if (!t_claim) return;
    OnceEntry done = t_claim->entry;
    done.at = t_claim->now;
    done.done = true;
    done.status = r.status;
    done.json = r.json;
    done.body = r.body;
    tx.putOnceEntry(t_claim->key, done);
}
constexpr std::int64_t LoginWindowSeconds = 300;
// Security codes: eight digits, typed from the message like a short number.
constexpr int ResetCodeDigits = 8;

// Kinds of counters (Counter, in the database).
namespace counted {
const std::string LoginAddress = "login-address"; // wrong passwords and codes: address + " " + login key
const std::string Login = "login";                // the same for a login from every address
const std::string ResetLogin = "reset-login";     // "resetpass" for a login
const std::string ResetAddress = "reset-address"; // "resetpass" from an address
const std::string Register = "register-address";  // registrations from an address
} // namespace counted

// Seconds until another event may be counted: limit events within window
// from the first one, then nothing until that window has passed.
std::int64_t WaitFor(const std::optional<Counter>& c, int limit, std::int64_t window, std::int64_t now)
{
    if (!c || now - c->first >= window || now < c->first) return 0;
    if (c->count < limit) return 0;
    return std::max<std::int64_t>(1, c->first + window - now);
}

Counter Counted(const std::optional<Counter>& c, std::int64_t window, std::int64_t now)
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
std::int64_t TakeAll(StoreTx& tx, const std::vector<Limit>& limits, std::int64_t now)
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

thread_local const RequestContext* t_request = nullptr;

// The client address a limit counts by: an IPv4 address as it is (an IPv4
// client on an IPv6 socket too), an IPv6 address by its /64, the network one
// client usually holds whole.
std::string ClientAddress()
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

std::string AddressLoginKey(const std::string& loginKey)
{
    return ClientAddress() + " " + loginKey; // an address holds no space: the split is unambiguous
}

bool LooksLikeCode(const std::string& s)
{
    return s.size() == static_cast<size_t>(ResetCodeDigits) && s.find_first_not_of("0123456789") == std::string::npos;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

std::string JsonString(const std::string& s)
{
    return nlohmann::json(s).dump();
}

std::string RandomCode(size_t length, const char* alphabet, uint32_t n)
{
    std::string s;
    for (size_t i = 0; i < length; ++i) s += alphabet[randombytes_uniform(n)];
    return s;
}

std::string UtcText(std::int64_t t)
{
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
    return buf;
}

std::optional<std::string> NetworkCode(const std::string& shown)
{
    static const std::map<std::string, std::string> table{
        {"Main", "main"},           {"BEP-20 (Binance)", "bep20"}, {"ERC-20 (Ethereum)", "erc20"},
        {"TRC-20 (Tron)", "trc20"}, {"SOL (Solana)", "sol"},       {"PRC-20 (Polygon)", "prc20"}};
    auto it = table.find(shown);
    if (it == table.end()) return std::nullopt;
    return it->second;
}

bool IsEvmNetwork(const std::string& coin, const std::string& network)
{
    if (network == "bep20" || network == "erc20" || network == "prc20") return true;
    return network == "main" && (coin == "eth" || coin == "bnb" || coin == "etc" || coin == "shib" || coin == "matic");
}

std::int64_t UtcDay(std::int64_t t)
{
    return t >= 0 ? t / Day : (t - Day + 1) / Day;
}

} // namespace

std::int64_t Clock::now() const
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
               .count() +
           m_offset.load();
}

const std::string* Fields::find(const std::string& name) const
{
    for (const auto& [n, v] : m_list)
        if (n == name) return &v;
    return nullptr;
}

std::string Fields::get(const std::string& name) const
{
    const std::string* v = find(name);
    return v ? *v : std::string();
}

Reply Reply::Text(std::string body, int status)
{
    Reply r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

Reply Reply::Json(std::string body)
{
    Reply r;
    r.contentType = "application/json; charset=utf-8";
    r.body = std::move(body);
    r.json = true;
    return r;
}

Reply Reply::Html(std::string body, int status)
{
    Reply r = Text(std::move(body), status);
    return r;
}

std::string AsciiLower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

bool ValidUtf8(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len;
        std::uint32_t cp;
        if ((c & 0xE0) == 0xC0)
            len = 2, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            len = 3, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            len = 4, cp = c & 0x07;
        else
            return false;
        if (i + len > s.size()) return false;
        for (int k = 1; k < len; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

Service::Service(Store& store, Config config, Clock& clock, Options options)
    : m_store(store), m_config(std::move(config)), m_clock(clock), m_options(std::move(options))
{
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
    m_instance = RandomCode(16, "0123456789abcdef", 16);
    m_sealer = std::make_unique<totp::Sealer>(m_options.twofaKeyFile.empty()
                                                  ? totp::Sealer::Random()
                                                  : totp::Sealer::FromFile(m_options.twofaKeyFile));
    if (m_options.sendMail && m_config.smtp) {
        std::string password;
        if (!m_config.smtp->passwordFile.empty()) {
            std::ifstream in(m_config.smtp->passwordFile);
            if (!in || !std::getline(in, password))
                throw std::runtime_error("cannot read the SMTP password file " + m_config.smtp->passwordFile);
        }
        m_mailer = std::make_unique<Mailer>(m_store, *m_config.smtp, std::move(password));
    }
    nlohmann::ordered_json limits, names = nlohmann::json::array(), fullNames = nlohmann::json::array();
    limits["perc_withdraw"] = std::to_string(m_config.withdrawPercent);
    limits["bonus_deposit"] = std::to_string(m_config.depositBonusPercent);
    for (const Coin& c : m_config.coins) {
        names.push_back(c.code);
        fullNames.push_back(c.fullName);
        limits[c.code] = money::FormatShort(c.minWithdraw);
        limits["APR_" + c.code] = std::to_string(c.apr);
        limits["Mindep_" + c.code] = money::FormatShort(c.minDeposit);
    }
    nlohmann::ordered_json s;
    s["min_withdraw_coin"] = limits;
    s["arr_name_coin"] = names;
    s["arr_fullname_coin"] = fullNames;
    m_settingsJson = s.dump();

    // The house starts with a reserve from the issuer, so rewards and swaps are
    // paid out of money that exists on the books.
    const std::string freshKey = RandomCode(64, "0123456789abcdef", 16);
    m_store.write([&](StoreTx& tx) {
        m_sharedKey = tx.secret("hash-key", freshKey);
        for (const Coin& c : m_config.coins) {
            if (tx.balance(system_account::Issuer, c.code, Bucket::Wallet) != 0) continue;
            const std::int64_t coins =
                std::min<std::int64_t>(10'000'000'000LL, 100'000'000LL * 1'000'000'000LL / c.priceNanoUsd);
            const std::int64_t reserve = coins * money::Unit;
            tx.post("reserve",
                    {{system_account::Issuer, c.code, Bucket::Wallet, -reserve},
                     {system_account::House, c.code, Bucket::Wallet, reserve}},
                    m_clock.now());
        }
    });
}

bool Service::answersAtOnce(const Fields& f) const
{
    const std::string* a = f.find("a");
    return !a || *a == "all_json_setting" || *a == "prices" || (*a == "get_swap_coin" && f.get("com") == "get");
}

bool Service::servesAtOnce(const std::string& target) const
{
    return target.rfind("/lotto/", 0) != 0;
}

Reply Service::api(const Fields& f, const RequestContext& context)
{
    struct Scope {
        const RequestContext* before;
        ~Scope() { t_request = before; }
    } scope{t_request};
    t_request = &context;
    for (const auto& [name, value] : f.list()) {
        if (name.size() > 32 || value.size() > MaxField || !ValidUtf8(value)) return Reply::Text(msg::BadField);
        for (unsigned char c : value)
            if (c < 0x20 || c == 0x7F) return Reply::Text(msg::BadField);
    }
    const std::string* action = f.find("a");
    if (!action) return Reply::Text(msg::Missing);
    const std::string* session = f.find("session");
    if (!session) return Reply::Text(msg::Missing);
    if (!auth::IsHexDigest(*session)) return Reply::Text(msg::BadSession);
    try {
        return dispatch(*action, f);
    } catch (const money::Overflow& e) {
        std::cerr << "ambervale-service: " << *action << ": refused: " << e.what() << std::endl;
        return Reply::Text(msg::Overflow);
    } catch (const std::exception& e) {
        std::cerr << "ambervale-service: " << *action << ": " << e.what() << std::endl;
        return Reply::Text(msg::Internal, 500);
    }
}

Reply Service::dispatch(const std::string& a, const Fields& f)
{
    if (a == "all_json_setting") return settings();
    if (a == "useraccount") return account(f, false);
    if (a == "tg_new_user") return once(f, [&] { return account(f, true); });
    if (a == "get_deposit_address") return depositAddress(f);
    if (a == "get_swap_coin") {
        if (f.get("com") == "get") return swap(f);
        if (f.get("com") == "swap") return once(f, [&] { return swap(f); });
        return Reply::Text(msg::Unknown);
    }
    if (a == "invest_coin") return once(f, [&] { return invest(f); });
    if (a == "withdraw") return once(f, [&] { return withdraw(f); });
    if (a == "changepass") return changePass(f);
    if (a == "resetpass") return resetPass(f);
    if (a == "free_coin") return once(f, [&] { return faucet(f); });
    if (a == "buylottonew") return once(f, [&] { return lottery(f); });
    if (a == "history") return history(f);
    if (a == "prices") return prices();
    if (a == "investments") return investments(f);
    if (a == "twofa_setup") return twofaSetup(f);
    if (a == "twofa_enable") return twofaEnable(f);
    if (a == "twofa_disable") return twofaDisable(f);
    if (a == "x_clock_advance" && m_options.testClock) return advanceClock(f);
    return Reply::Text(msg::Unknown);
}

Service::~Service() = default;

Reply Service::once(const Fields& f, const std::function<Reply()>& run)
{
    if (!Sessions().fresh(f.get("session"), MachineNow())) return Reply::Text(msg::StaleSession);
    // Every field, length-prefixed so no two different requests give the same text.
    std::string text;
    for (const auto& [n, v] : f.list()) text += std::to_string(n.size()) + ':' + n + std::to_string(v.size()) + ':' + v;
    OnceClaim claim;
    claim.key = auth::KeyedHash(m_sharedKey, text);
    claim.entry.owner = m_instance + " " + RandomCode(16, "0123456789abcdef", 16);
    claim.entry.loginKey = AsciiLower(f.get("s"));
    claim.entry.proof = auth::KeyedHash(m_sharedKey, "pass:" + f.get("pass"));
    claim.now = m_clock.now();
    const auto answer = [&](const OnceEntry& e) {
        // Only the request that earned it: the same login and the same password digest.
        if (e.loginKey != claim.entry.loginKey || e.proof != claim.entry.proof) return Reply::Text(msg::Internal, 500);
        // Not done: a claim whose work committed without its answer (kept by older builds).
        Reply r = e.json ? Reply::Json(e.body) : Reply::Text(e.done ? e.body : std::string(msg::CarriedOut));
        r.status = e.done ? e.status : 200;
        return r;
    };
    // A repeat of an answered request: the recorded answer, nothing runs.
    std::optional<OnceEntry> seen;
    m_store.read([&](StoreTx& tx) { seen = tx.onceEntry(claim.key); });
    if (seen && Answered(*seen, claim.now)) return answer(*seen);
    // The work runs; its money transaction checks for an answer again and records its own in the same commit
    // (RecordAnswer). Copies running at the same moment, here or on another instance, are ordered by the
    // database: one commits, the others' work is undone and they give its answer. A refusal or a failure
    // records nothing, so a retry runs again.
    struct Scope {
        ~Scope() { t_claim = nullptr; }
    } scope;
    t_claim = &claim;
    try {
        return run();
    } catch (const AlreadyAnswered& e) {
        return answer(e.entry);
    } catch (const money::Overflow& e) {
        std::cerr << "ambervale-service: " << f.get("a") << ": refused: " << e.what() << std::endl;
        return Reply::Text(msg::Overflow); // nothing was booked: the refusal is the answer
    } catch (const std::exception& e) {
        std::cerr << "ambervale-service: " << f.get("a") << ": " << e.what() << std::endl;
        return Reply::Text(msg::Internal, 500);
    }
}

std::int64_t Service::addressWait(StoreTx& tx, const std::string& key, std::int64_t now)
{
    return WaitFor(tx.counter(counted::LoginAddress, AddressLoginKey(key)), m_config.loginFailuresPerAddress,
                   m_config.loginFailureWindowSeconds, now);
}

std::int64_t Service::reserveAttempt(const std::string& key, std::int64_t now, bool perAddress, bool perLogin)
{
    std::vector<Limit> limits;
    if (perAddress)
        limits.push_back({counted::LoginAddress, AddressLoginKey(key), m_config.loginFailuresPerAddress,
                          m_config.loginFailureWindowSeconds});
    if (perLogin)
        limits.push_back(
            {counted::Login, key, m_config.loginFailuresPerLogin, m_config.loginFailureLoginWindowSeconds});
    std::int64_t wait = 0;
    m_store.writeLight([&](StoreTx& tx) { wait = TakeAll(tx, limits, now); });
    return wait;
}

void Service::attemptSucceeded(const std::string& key, bool perLoginReserved)
{
    m_store.writeLight([&](StoreTx& tx) {
        tx.dropCounter(counted::LoginAddress, AddressLoginKey(key));
        if (!perLoginReserved) return;
        auto c = tx.counter(counted::Login, key);
        if (c && c->count > 1)
            tx.setCounter(counted::Login, key, Counter{c->count - 1, c->first, c->last});
        else if (c)
            tx.dropCounter(counted::Login, key);
    });
}

bool Service::hasDeposited(std::int64_t account)
{
    bool deposited = false;
    m_store.read([&](StoreTx& tx) {
        deposited = false;
        for (const auto& [coin, f] : tx.figures(account)) deposited = deposited || f.depVal > 0;
    });
    return deposited;
}

Reply Service::settings() const
{
    return Reply::Json(m_settingsJson);
}

std::optional<Account> Service::authenticate(const Fields& f, Reply* refusal)
{
    const std::string* login = f.find("s");
    const std::string* pass = f.find("pass");
    if (!login || !pass) {
        *refusal = Reply::Text(msg::Missing);
        return std::nullopt;
    }
    if (!auth::IsHexDigest(*pass)) {
        *refusal = Reply::Text(msg::WrongLogin);
        return std::nullopt;
    }
    const std::string key = AsciiLower(*login);
    const std::int64_t now = m_clock.now();
    std::optional<Account> a;
    std::int64_t wait = 0;
    m_store.read([&](StoreTx& tx) {
        a.reset();
        wait = addressWait(tx, key, now);
        if (!wait && !key.empty() && key[0] != '#') a = tx.accountByKey(key);
    });
    if (wait) {
        *refusal = Reply::Text(msg::Paused(wait));
        return std::nullopt;
    }
    // A digest verified minutes ago is no guess: the owner's refreshes pass even while
    // strangers keep the login's own ceiling reached.
    if (a && m_digests.check(key, a->passwordHash, *pass)) return a;
    // The attempt counts before the slow hash, so parallel guesses cannot pass the limit.
    if ((wait = reserveAttempt(key, now, true, true))) {
        *refusal = Reply::Text(msg::Paused(wait));
        return std::nullopt;
    }
    // An unknown login costs the same slow hash as a wrong password.
    const bool ok = a ? auth::VerifyDigest(a->passwordHash, *pass) : auth::VerifyNothing(*pass);
    if (!ok) {
        *refusal = Reply::Text(msg::WrongLogin);
        return std::nullopt;
    }
    m_digests.remember(key, a->passwordHash, *pass);
    attemptSucceeded(key, true);
    return a;
}

std::string Service::accountJson(StoreTx& tx, const Account& a, std::int64_t now, const std::vector<Investment>& open)
{
    return accountJson(a, now, open, tx.figures(a.id));
}

std::string Service::accountJson(const Account& a, std::int64_t now, const std::vector<Investment>& open,
                                 const std::map<std::string, CoinFigures>& figures)
{
    std::string j;
    j.reserve(4096);
    j += "{\"login\":" + JsonString(a.login);
    for (const Coin& c : m_config.coins) {
        auto it = figures.find(c.code);
        const CoinFigures f = it == figures.end() ? CoinFigures{} : it->second;
        std::int64_t daysLeft = 0;
        for (const Investment& inv : open)
            if (inv.coin == c.code) daysLeft = std::max(daysLeft, (inv.ends - now + Day - 1) / Day);
        // Appended piece by piece: this runs for every refresh of every client.
        auto member = [&](const char* prefix, const std::string& value) {
            j += ",\"";
            j += prefix;
            j += c.code;
            j += "\":\"";
            j += value;
            j += '"';
        };
        member("wall_", money::Format(f.wallet));
        member("inv_", money::Format(f.invest));
        member("dep_val_", money::Format(f.depVal));
        member("earned_inv_", money::Format(f.earnedInv));
        member("earned_ref_", money::Format(f.earnedRef));
        member("rental_days_", std::to_string(std::max<std::int64_t>(0, daysLeft)));
    }
    j += ",\"refcode\":" + JsonString(a.refcode) + ",\"refcol\":" + std::to_string(a.refcol) +
         ",\"twofa\":\"" + (a.twofa ? "1" : "0") + "\"}";
    return j;
}

std::optional<Reply> Service::registerAccount(const std::string& login, const std::string& digest,
                                              const std::string& ref, Account* created, bool byClient)
{
    if (login.empty() || login.size() > 100 || login[0] == '#') return Reply::Text(msg::BadLogin);
    if (!auth::IsHexDigest(digest)) return Reply::Text(msg::BadDigest);
    const std::string key = AsciiLower(login);
    std::optional<Account> referrer;
    bool taken = false;
    m_store.read([&](StoreTx& tx) {
        taken = tx.accountByKey(key).has_value();
        if (!ref.empty()) referrer = tx.accountByRefcode(Upper(ref));
    });
    if (taken) return Reply::Text(msg::LoginTaken);
    if (!ref.empty() && !referrer) return Reply::Text(msg::BadRef);
    if (byClient) {
        std::int64_t wait = 0;
        const std::int64_t at = m_clock.now();
        m_store.writeLight([&](StoreTx& tx) {
            wait = TakeAll(tx,
                           {{counted::Register, ClientAddress(), m_config.registrationsPerAddress,
                             m_config.registrationWindowSeconds}},
                           at);
        });
        if (wait) return Reply::Text(msg::RegistrationsPaused(wait));
    }
    Account a;
    a.login = login;
    a.loginKey = key;
    a.passwordHash = auth::HashDigest(digest); // before the write lock: it is the slow part
    a.referrer = referrer ? referrer->id : 0;
    const std::int64_t now = m_clock.now();
    std::optional<Reply> refusal;
    for (int attempt = 0; attempt < 5; ++attempt) {
        a.refcode = RandomCode(8, "ABCDEFGHJKLMNPQRSUVWXYZ23456789", 31);
        bool codeClash = false;
        m_store.write([&](StoreTx& tx) {
            refusal.reset();
            codeClash = false;
            a.id = 0;
            ThrowIfAnswered(tx);
            if (tx.accountByKey(key)) {
                refusal = Reply::Text(msg::LoginTaken);
                return;
            }
            if (tx.accountByRefcode(a.refcode)) {
                codeClash = true;
                return;
            }
            auto id = tx.insertAccount(a, now);
            if (!id) {
                refusal = Reply::Text(msg::LoginTaken);
                return;
            }
            a.id = *id;
            if (a.referrer) {
                tx.addReferral(a.referrer);
                tx.post(
                    "referral-welcome",
                    {{system_account::House, m_config.referralWelcomeCoin, Bucket::Wallet, -m_config.referralWelcome},
                     {a.id, m_config.referralWelcomeCoin, Bucket::Wallet, m_config.referralWelcome}},
                    now);
                history::Add(tx, a.id, m_config.referralWelcomeCoin, history::kind::Referral, m_config.referralWelcome,
                             now, 0, "welcome");
            }
            if (t_claim) RecordAnswer(tx, Reply::Json(accountJson(tx, a, now, {})));
        });
        if (refusal) return refusal;
        if (!codeClash) break;
    }
    if (!a.id) return Reply::Text(msg::Internal, 500);
    m_digests.remember(key, a.passwordHash, digest);
    *created = a;
    return std::nullopt;
}

Reply Service::account(const Fields& f, bool registering)
{
    if (!f.find("s") || !f.find("pass")) return Reply::Text(msg::Missing);
    const std::int64_t now = m_clock.now();
    std::optional<Account> a;
    if (registering) {
        Account created;
        if (auto refusal = registerAccount(f.get("s"), f.get("pass"), f.get("ref"), &created, true))
            return *refusal;
        a = created;
    } else {
        // The 20-second refresh: with a remembered digest, one read answers it.
        const std::string key = AsciiLower(f.get("s"));
        const std::string pass = f.get("pass");
        std::string body;
        std::vector<Investment> open;
        if (auth::IsHexDigest(pass) && !key.empty() && key[0] != '#')
            m_store.readOne([&](StoreTx& tx) {
                a.reset();
                AccountView v = tx.accountView(key, counted::LoginAddress, AddressLoginKey(key));
                if (WaitFor(v.failures, m_config.loginFailuresPerAddress, m_config.loginFailureWindowSeconds, now))
                    return;
                if (!v.account || !m_digests.check(key, v.account->passwordHash, pass)) return;
                a = std::move(v.account);
                open = std::move(v.open);
                body = accountJson(*a, now, open, v.figures);
            });
        if (a && !accrualDue(*a, open, now)) return Reply::Json(std::move(body));
        if (!a) {
            Reply refusal;
            a = authenticate(f, &refusal);
            if (!a) return refusal;
        }
    }
    accrueIfDue(a->id, now, false);
    std::string body;
    m_store.read([&](StoreTx& tx) {
        auto fresh = tx.accountById(a->id);
        body = accountJson(tx, fresh ? *fresh : *a, now, tx.openInvestments(a->id));
    });
    return Reply::Json(std::move(body));
}

bool Service::accrualDue(const Account& a, const std::vector<Investment>& open, std::int64_t now)
{
    if (open.empty()) return false;
    bool due = false;
    for (const Investment& inv : open) due = due || now >= inv.ends;
    return due || now - a.lastAccrual >= 60 || now < a.lastAccrual;
}

void Service::accrue(StoreTx& tx, std::int64_t account, std::int64_t now)
{
    std::optional<Account> owner;
    for (const Investment& inv : tx.openInvestments(account)) {
        const std::int64_t until = std::min(now, inv.ends);
        const std::int64_t target = money::Accrued(inv.principal, inv.apr, until - inv.started);
        const std::int64_t due = target - inv.paid;
        const bool ends = now >= inv.ends;
        std::vector<Leg> legs;
        if (due > 0) {
            legs.push_back({system_account::House, inv.coin, Bucket::Wallet, -due});
            legs.push_back({account, inv.coin, Bucket::Wallet, due});
            tx.addStats(account, inv.coin, 0, due, 0);
            history::AddToDay(tx, account, inv.coin, history::kind::Earning, due, now);
            if (!owner) owner = tx.accountById(account);
            if (owner && owner->referrer) {
                const std::int64_t share = money::PercentOf(due, m_config.referralInvestPercent);
                if (share > 0) {
                    legs.push_back({system_account::House, inv.coin, Bucket::Wallet, -share});
                    legs.push_back({owner->referrer, inv.coin, Bucket::Wallet, share});
                    tx.addStats(owner->referrer, inv.coin, 0, 0, share);
                    history::AddToDay(tx, owner->referrer, inv.coin, history::kind::Referral, share, now);
                }
            }
        }
        if (ends) {
            const std::int64_t fee = money::RentalFee(inv.principal, inv.feePercent);
            legs.push_back({account, inv.coin, Bucket::Invest, -inv.principal});
            legs.push_back({account, inv.coin, Bucket::Wallet, money::RentalReturn(inv.principal, inv.feePercent)});
            legs.push_back({system_account::House, inv.coin, Bucket::Wallet, fee});
            history::Add(tx, account, inv.coin, history::kind::Return,
                         money::RentalReturn(inv.principal, inv.feePercent), now, fee, {}, inv.id);
        }
        if (!legs.empty()) tx.post(ends ? "investment-end" : "earnings", legs, now);
        if ((due > 0 || ends) && !tx.setInvestmentPaid(inv.id, inv.paid, std::max(target, inv.paid), ends))
            throw std::runtime_error("investment settled meanwhile"); // undoes this payment
    }
    tx.setLastAccrual(account, now);
}

void Service::accrueIfDue(std::int64_t account, std::int64_t now, bool force)
{
    std::vector<Investment> open;
    std::optional<Account> a;
    m_store.read([&](StoreTx& tx) {
        a = tx.accountById(account);
        open = tx.openInvestments(account);
    });
    if (!a || open.empty() || !(force || accrualDue(*a, open, now))) return;
    m_store.write([&](StoreTx& tx) { accrue(tx, account, now); });
}

Reply Service::depositAddress(const Fields& f)
{
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    // The client counts an empty body as failure and shows its own message.
    const std::string wanted = AsciiLower(f.get("coin_get_a"));
    const auto dot = wanted.find('.');
    const std::string coin = wanted.substr(0, dot);
    const std::string network = dot == std::string::npos ? "main" : wanted.substr(dot + 1);
    const Coin* c = m_config.find(coin);
    if (!c || (network != "main" && !c->networks.count(network))) return Reply::Text("");
    const std::string key = coin + "." + network;
    std::string address;
    m_store.write([&](StoreTx& tx) {
        address.clear();
        if (auto existing = tx.depositAddress(a->id, key)) {
            address = *existing;
            return;
        }
        for (int attempt = 0; attempt < 10 && address.empty(); ++attempt) {
            std::string candidate = IsEvmNetwork(coin, network)
                                        ? "0x" + RandomCode(40, "0123456789abcdef", 16)
                                        : coin + "1q" + RandomCode(38, "023456789acdefghjklmnpqrstuvwxyz", 32);
            if (tx.insertDepositAddress(a->id, key, candidate)) address = candidate;
        }
    });
    return Reply::Text(address);
}

Reply Service::invest(const Fields& f)
{
    for (const char* n : {"rental_code", "coin", "value"})
        if (!f.find(n)) return Reply::Text(msg::Missing);
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    const std::string rc = f.get("rental_code");
    const Rental* rental = rc.size() == 1 ? m_config.rental(rc[0] - '0') : nullptr;
    if (!rental) return Reply::Text(msg::BadRental);
    const Coin* c = m_config.find(AsciiLower(f.get("coin")));
    if (!c) return Reply::Text(msg::BadCoin);
    auto amount = money::Parse(f.get("value"));
    if (!amount) return Reply::Text(msg::BadAmount);
    if (*amount < c->minDeposit || *amount <= 0)
        return Reply::Text("The minimum investment is " + money::Format(c->minDeposit) + " " + Upper(c->code) + ".");
    const std::int64_t now = m_clock.now();
    const Reply done =
        Reply::Text("Investment accepted: " + money::Format(*amount) + " " + Upper(c->code) + " for " +
                    std::to_string(rental->days) + " days at " + std::to_string(c->apr) + "% a year; " +
                    std::to_string(rental->feePercent) + "% of the amount is kept when the rental ends.");
    try {
        m_store.write([&](StoreTx& tx) {
            ThrowIfAnswered(tx);
            tx.post("invest", {{a->id, c->code, Bucket::Wallet, -*amount}, {a->id, c->code, Bucket::Invest, *amount}},
                    now);
            Investment inv;
            inv.account = a->id;
            inv.coin = c->code;
            inv.principal = *amount;
            inv.rentalCode = rental->code;
            inv.feePercent = rental->feePercent;
            inv.apr = c->apr;
            inv.started = now;
            inv.ends = now + rental->days * Day;
            tx.insertInvestment(inv);
            history::Add(tx, a->id, c->code, history::kind::Invest, -*amount, now, 0,
                         std::to_string(rental->days) + " days");
            RecordAnswer(tx, done);
        });
    } catch (const InsufficientFunds&) {
        return Reply::Text(msg::NotEnough(Upper(c->code)));
    }
    return done;
}

Reply Service::withdraw(const Fields& f)
{
    for (const char* n : {"coin", "addr", "network", "val"})
        if (!f.find(n)) return Reply::Text(msg::Missing);
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    const Coin* c = m_config.find(AsciiLower(f.get("coin")));
    if (!c) return Reply::Text(msg::BadCoin);
    const auto network = NetworkCode(f.get("network"));
    if (!network || (*network != "main" && !c->networks.count(*network))) return Reply::Text(msg::BadNetwork);
    const std::string addr = f.get("addr");
    // A mistyped address or one of another network loses the money for good:
    // checked, checksum included, before anything moves.
    if (const address::Verdict v = address::Check(c->code, *network, addr); !v)
        return Reply::Text(msg::AddressRefused(v.message));
    auto amount = money::Parse(f.get("val"));
    if (!amount) return Reply::Text(msg::BadAmount);
    const std::string code = Upper(c->code);
    if (*amount < c->minWithdraw)
        return Reply::Text("The minimum withdrawal is " + money::Format(c->minWithdraw) + " " + code + ".");
    const money::WithdrawalSplit split =
        money::SplitWithdrawal(*amount, m_config.withdrawPercent, money::WithdrawFixedFee(c->minWithdraw));
    const std::int64_t fee = split.fee, net = split.net;
    if (net <= 0) return Reply::Text("After the fee of " + money::Format(fee) + " " + code + " nothing would be sent.");
    if (!hasDeposited(a->id)) return Reply::Text(msg::FirstDeposit);
    if (auto refused = secondFactor(*a, f)) return *refused; // last: a refused amount keeps the code unused
    const std::int64_t now = m_clock.now();
    const Reply done = Reply::Text("Withdrawal accepted: " + money::Format(net) + " " + code +
                                   " will be sent after a fee of " + money::Format(fee) + " " + code + ".");
    try {
        m_store.write([&](StoreTx& tx) {
            ThrowIfAnswered(tx);
            tx.post("withdraw",
                    {{a->id, c->code, Bucket::Wallet, -*amount},
                     {system_account::Outbox, c->code, Bucket::Wallet, net},
                     {system_account::House, c->code, Bucket::Wallet, fee}},
                    now);
            const std::int64_t id =
                tx.insertWithdrawal(Withdrawal{0, a->login, c->code, *network, addr, *amount, fee, net, now});
            history::Add(tx, a->id, c->code, history::kind::Withdraw, -*amount, now, fee, *network + " " + addr, id,
                         history::status::Pending);
            RecordAnswer(tx, done);
        });
    } catch (const InsufficientFunds&) {
        return Reply::Text(msg::NotEnough(code));
    }
    return done;
}

Reply Service::swap(const Fields& f)
{
    for (const char* n : {"cur0", "cur1", "val"})
        if (!f.find(n)) return Reply::Text(msg::Missing);
    const Coin* from = m_config.find(AsciiLower(f.get("cur0")));
    const Coin* to = m_config.find(AsciiLower(f.get("cur1")));
    if (!from || !to) return Reply::Text(msg::BadCoin);
    if (from == to) return Reply::Text(msg::SameCoin);
    auto amount = money::Parse(f.get("val"));
    if (!amount) return Reply::Text(msg::BadAmount);
    if (*amount <= 0) return Reply::Text(msg::ZeroAmount);
    const auto quote = money::SwapQuote(*amount, from->priceNanoUsd, to->priceNanoUsd, m_config.swapSpreadBasisPoints);
    if (!quote) return Reply::Text(msg::HouseShort);
    const std::int64_t out = *quote;
    if (f.get("com") == "get") return Reply::Text(money::Format(out));
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    if (out <= 0) return Reply::Text(msg::ZeroAmount);
    const std::int64_t now = m_clock.now();
    const Reply done = Reply::Text("Swap done: " + money::Format(*amount) + " " + Upper(from->code) + " for " +
                                   money::Format(out) + " " + Upper(to->code) + ".");
    try {
        m_store.write([&](StoreTx& tx) {
            ThrowIfAnswered(tx);
            tx.post("swap",
                    {{a->id, from->code, Bucket::Wallet, -*amount},
                     {system_account::House, from->code, Bucket::Wallet, *amount},
                     {system_account::House, to->code, Bucket::Wallet, -out},
                     {a->id, to->code, Bucket::Wallet, out}},
                    now);
            history::Add(tx, a->id, from->code, history::kind::SwapOut, -*amount, now, 0, "to " + to->code);
            history::Add(tx, a->id, to->code, history::kind::SwapIn, out, now, 0, "from " + from->code);
            RecordAnswer(tx, done);
        });
    } catch (const InsufficientFunds& e) {
        if (e.account == system_account::House) return Reply::Text(msg::HouseShort);
        return Reply::Text(msg::NotEnough(Upper(from->code)));
    }
    return done;
}

Reply Service::changePass(const Fields& f)
{
    for (const char* n : {"s", "newpass", "pass"})
        if (!f.find(n)) return Reply::Text(msg::Missing);
    const std::string newPass = f.get("newpass");
    if (newPass.empty() || newPass.size() > 128) return Reply::Text(msg::BadNew);
    const std::string key = AsciiLower(f.get("s"));
    const std::string proof = f.get("pass");
    const std::int64_t now = m_clock.now();
    std::optional<Account> a;
    m_store.read([&](StoreTx& tx) {
        a.reset();
        if (!key.empty() && key[0] != '#') a = tx.accountByKey(key);
    });
    // Codes and passwords count together against this address, before either is checked.
    if (const std::int64_t wait = reserveAttempt(key, now, true, false)) return Reply::Text(msg::Paused(wait));
    bool ok = false;
    if (a && LooksLikeCode(proof)) {
        const std::string guess = auth::KeyedHash(m_sharedKey, std::to_string(a->id) + ":" + proof);
        // Guess and budget in one transaction: parallel guesses at one code get no more than the budget.
        m_store.write([&](StoreTx& tx) {
            ok = false;
            auto code = tx.resetCode(a->id, now);
            if (!code) return;
            ok = code->codeHash.size() == guess.size() &&
                 sodium_memcmp(code->codeHash.data(), guess.data(), guess.size()) == 0;
            if (ok || code->attempts + 1 >= m_config.resetCodeAttempts)
                tx.retireResetCodes(a->id); // used, or its budget spent
            else
                tx.countResetCodeAttempt(code->id);
        });
    }
    bool perLoginReserved = false;
    if (!ok && !proof.empty()) {
        // The password road also answers to the login's ceiling; a valid code does not,
        // so strangers guessing from many addresses cannot keep the owner out.
        if (const std::int64_t wait = reserveAttempt(key, now, false, true)) return Reply::Text(msg::Paused(wait));
        perLoginReserved = true;
        const std::string digest = auth::ClientDigest(proof);
        ok = a ? auth::VerifyDigest(a->passwordHash, digest) : auth::VerifyNothing(digest);
    }
    if (!ok) return Reply::Text(msg::BadOld);
    attemptSucceeded(key, perLoginReserved);
    if (auto refused = secondFactor(*a, f)) return *refused;
    const std::string hash = auth::HashDigest(auth::ClientDigest(newPass));
    m_store.write([&](StoreTx& tx) {
        tx.setPasswordHash(a->id, hash);
        tx.retireResetCodes(a->id); // a new password leaves no code behind
        tx.dropCounter(counted::Login, key); // nor old guesses at the old one
    });
    m_digests.forget(key);
    return Reply::Text(msg::Changed);
}

Reply Service::resetPass(const Fields& f)
{
    if (!f.find("s")) return Reply::Text(msg::Missing);
    const std::string key = AsciiLower(f.get("s"));
    const std::int64_t now = m_clock.now();
    // Counted for every login, known or not: the answer and the work are the same.
    std::int64_t wait = 0;
    m_store.writeLight([&](StoreTx& tx) {
        wait = TakeAll(tx,
                       {{counted::ResetLogin, key, m_config.resetRequestsPerLogin, m_config.resetRequestWindowSeconds},
                        {counted::ResetAddress, ClientAddress(), m_config.resetRequestsPerAddress,
                         m_config.resetRequestWindowSeconds}},
                       now);
    });
    if (wait) return Reply::Text(msg::ResetSent);
    std::optional<Account> a;
    if (!key.empty() && key[0] != '#') m_store.read([&](StoreTx& tx) { a = tx.accountByKey(key); });
    if (a) {
        char code[16];
        std::snprintf(code, sizeof code, "%0*u", ResetCodeDigits, randombytes_uniform(100'000'000));
        const std::int64_t expires = now + m_config.resetCodeSeconds;
        // One outstanding code per login: the new one retires the older ones and their mails.
        m_store.write([&](StoreTx& tx) {
            tx.retireResetCodes(a->id);
            tx.insertResetCode(a->id, auth::KeyedHash(m_sharedKey, std::to_string(a->id) + ":" + code), expires);
            tx.insertResetMail(ResetMail{0, a->login, code, now, expires, a->id});
        });
        if (m_mailer) m_mailer->wake(); // sent from the mailer's own thread, never on this answer's path
    }
    return Reply::Text(msg::ResetSent);
}

Reply Service::faucet(const Fields& f)
{
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    const std::int64_t now = m_clock.now();
    const std::string coin = m_config.faucetCoin;
    const Reply done = Reply::Text("You received " + money::Format(m_config.faucetReward) + " " + Upper(coin) +
                                   ". Come back in " + std::to_string(m_config.faucetPeriodSeconds / 60) +
                                   " minutes.");
    std::int64_t wait = 0;
    m_store.write([&](StoreTx& tx) {
        wait = 0;
        ThrowIfAnswered(tx);
        auto fresh = tx.accountById(a->id);
        if (fresh->lastFaucet && now - fresh->lastFaucet < m_config.faucetPeriodSeconds) {
            wait = fresh->lastFaucet + m_config.faucetPeriodSeconds - now;
            return;
        }
        std::vector<Leg> legs{{system_account::House, coin, Bucket::Wallet, -m_config.faucetReward},
                              {a->id, coin, Bucket::Wallet, m_config.faucetReward}};
        if (fresh->referrer) {
            const std::int64_t share = money::PercentOf(m_config.faucetReward, m_config.referralFaucetPercent);
            legs.push_back({system_account::House, coin, Bucket::Wallet, -share});
            legs.push_back({fresh->referrer, coin, Bucket::Wallet, share});
            tx.addStats(fresh->referrer, coin, 0, 0, share);
            history::AddToDay(tx, fresh->referrer, coin, history::kind::Referral, share, now);
        }
        tx.post("faucet", legs, now);
        history::Add(tx, a->id, coin, history::kind::Faucet, m_config.faucetReward, now);
        tx.setLastFaucet(a->id, now);
        RecordAnswer(tx, done);
    });
    if (wait > 0)
        return Reply::Text("You have already claimed. Please come back in " + std::to_string((wait + 59) / 60) +
                           " minute(s).");
    return done;
}

Reply Service::lottery(const Fields& f)
{
    for (const char* n : {"coin", "val"})
        if (!f.find(n)) return Reply::Text(msg::Missing);
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    const Coin* c = m_config.find(AsciiLower(f.get("coin")));
    if (!c) return Reply::Text(msg::BadCoin);
    auto amount = money::Parse(f.get("val"));
    if (!amount) return Reply::Text(msg::BadAmount);
    if (*amount <= 0) return Reply::Text(msg::ZeroAmount);
    const std::int64_t now = m_clock.now();
    settleDraws(c->code, now);
    bool drawn = false;
    const auto staked = [&] {
        return Reply::Text("Your stake of " + money::Format(*amount) + " " + Upper(c->code) + " is in the draw." +
                           (drawn ? " With this the draw was full and has just taken place." : ""));
    };
    try {
        m_store.write([&](StoreTx& tx) {
            drawn = false;
            ThrowIfAnswered(tx);
            auto d = tx.openDraw(c->code);
            // A new draw commits to its seed at once: its hash is public before anyone else joins.
            const std::string seed = d ? d->seed : lottery::NewSeedHex();
            const std::int64_t id = d ? d->id : tx.createDraw(c->code, now, seed);
            tx.post("lottery-stake",
                    {{a->id, c->code, Bucket::Wallet, -*amount},
                     {system_account::Lottery, c->code, Bucket::Wallet, *amount}},
                    now);
            tx.addStake(id, Stake{a->id, AsciiLower(a->login), *amount}, now);
            history::Add(tx, a->id, c->code, history::kind::LotteryStake, -*amount, now, 0, {}, id);
            if (static_cast<int>(tx.stakes(id).size()) >= m_config.lotteryPlayers) {
                drawWinner(tx, Draw{id, c->code, d ? d->opened : now, seed}, now);
                drawn = true;
            }
            RecordAnswer(tx, staked());
        });
    } catch (const InsufficientFunds&) {
        return Reply::Text(msg::NotEnough(Upper(c->code)));
    }
    return staked();
}

void Service::drawWinner(StoreTx& tx, const Draw& d, std::int64_t now)
{
    const auto stakes = tx.stakes(d.id);
    std::int64_t total = 0;
    for (const Stake& s : stakes) total = money::Add(total, s.amount);
    if (stakes.empty() || total <= 0) {
        if (!tx.closeDraw(d.id, 0, "", 0, now)) throw std::runtime_error("draw closed meanwhile");
        return;
    }
    // Stake-weighted and checkable: a function of the committed seed and the final list. A draw opened
    // before seeds were committed has none to reveal: it is drawn from a fresh seed, as draws were then.
    std::vector<std::int64_t> amounts;
    for (const Stake& s : stakes) amounts.push_back(s.amount);
    const auto index = lottery::PickWinner(d.seed, amounts);
    const auto fallback = d.seed.empty() ? lottery::PickWinner(lottery::NewSeedHex(), amounts) : std::nullopt;
    if (!index && !fallback) throw std::runtime_error("draw " + std::to_string(d.id) + " has a damaged seed");
    const Stake* winner = &stakes[index ? *index : *fallback];
    const std::int64_t fee = money::PercentOf(total, m_config.lotteryFeePercent);
    const std::int64_t payout = total - fee;
    tx.post("lottery-draw",
            {{system_account::Lottery, d.coin, Bucket::Wallet, -total},
             {winner->account, d.coin, Bucket::Wallet, payout},
             {system_account::House, d.coin, Bucket::Wallet, fee}},
            now);
    history::Add(tx, winner->account, d.coin, history::kind::LotteryWin, payout, now, fee, {}, d.id);
    if (!tx.closeDraw(d.id, winner->account, winner->nickname, payout, now))
        throw std::runtime_error("draw closed meanwhile"); // undoes the payout
}

void Service::settleDraws(const std::string& coin, std::int64_t now)
{
    bool due = false;
    m_store.read([&](StoreTx& tx) {
        auto d = tx.openDraw(coin);
        due = d && UtcDay(now) > UtcDay(d->opened);
    });
    if (!due) return;
    m_store.write([&](StoreTx& tx) {
        auto d = tx.openDraw(coin);
        if (d && UtcDay(now) > UtcDay(d->opened)) drawWinner(tx, *d, now);
    });
}

void Service::sweep()
{
    const std::int64_t now = m_clock.now();
    std::vector<std::int64_t> accounts;
    // Those not brought up to date in the last minute (an active owner's refreshes do it), and those ending.
    m_store.read([&](StoreTx& tx) { accounts = tx.accountsWithInvestmentsDue(now - 60, now); });
    for (std::int64_t id : accounts) accrueIfDue(id, now, true);
    for (const Coin& c : m_config.coins) settleDraws(c.code, now);
    m_store.writeLight(
        [&](StoreTx& tx) { tx.pruneExpired(now - LoginWindowSeconds, now - OnceKeepSeconds - OnceLeaseSeconds); });
    const std::int64_t longest =
        std::max({m_config.loginFailureWindowSeconds, m_config.loginFailureLoginWindowSeconds,
                  m_config.resetRequestWindowSeconds, m_config.registrationWindowSeconds});
    m_store.writeLight([&](StoreTx& tx) { tx.pruneAccountState(now - longest, now); });
}

namespace {

// The lottery files are public: an e-mail login is published as at most its
// first three characters before the "@" followed by "***" ("alice@example.org"
// -> "ali***"); other logins as they are. The client applies the same rule to
// its own login to find its stake.
std::string PublicName(const std::string& login)
{
    const size_t at = login.find('@');
    if (at == std::string::npos) return login;
    size_t end = 0;
    for (int chars = 0; chars < 3 && end < at; ++chars) {
        ++end; // whole UTF-8 characters: continuation bytes go with their lead
        while (end < at && (static_cast<unsigned char>(login[end]) & 0xC0) == 0x80) ++end;
    }
    return login.substr(0, end) + "***";
}

} // namespace

std::string Service::players(const std::string& coin)
{
    nlohmann::ordered_json arr = nlohmann::json::array();
    m_store.read([&](StoreTx& tx) {
        auto d = tx.openDraw(coin);
        if (!d) return;
        for (const Stake& s : tx.stakes(d->id))
            arr.push_back({{"nickname", PublicName(s.nickname)}, {"value", money::FormatMillionths(s.amount)}});
    });
    return arr.dump();
}

std::string Service::drawCommitment(const std::string& coin)
{
    nlohmann::ordered_json j{{"coin", coin}, {"draw", 0}, {"opened", ""}, {"commitment", ""}};
    m_store.read([&](StoreTx& tx) {
        auto d = tx.openDraw(coin);
        if (!d) return;
        j["draw"] = d->id;
        j["opened"] = UtcText(d->opened);
        j["commitment"] = lottery::CommitmentHex(d->seed); // the seed itself stays secret until the draw
    });
    return j.dump();
}

std::string Service::winners(const std::string& coin)
{
    nlohmann::ordered_json arr = nlohmann::json::array();
    m_store.read([&](StoreTx& tx) {
        for (const Winner& w : tx.winners(coin, 50)) {
            nlohmann::ordered_json e{{"name", PublicName(w.name)}, {"amount", money::Format(w.amount)},
                                     {"date", UtcText(w.at)}};
            // What it takes to recompute the draw: the revealed seed, its commitment and the final list.
            e["draw"] = w.draw;
            e["seed"] = w.seed;
            e["commitment"] = lottery::CommitmentHex(w.seed);
            nlohmann::ordered_json list = nlohmann::json::array();
            for (const Stake& s : tx.stakes(w.draw))
                list.push_back({{"nickname", PublicName(s.nickname)}, {"stake", money::Format(s.amount)}});
            e["players"] = std::move(list);
            arr.push_back(std::move(e));
        }
    });
    return arr.dump();
}

Reply Service::advanceClock(const Fields& f)
{
    const std::string s = f.get("seconds");
    if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos)
        return Reply::Text(msg::BadAmount);
    m_clock.advance(std::stoll(s));
    return Reply::Text("Clock moved to " + UtcText(m_clock.now()) + " UTC.");
}

namespace {

std::string HtmlEscape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string PercentDecode(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+')
            out += ' ';
        else if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
                 std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else
            out += s[i];
    }
    return out;
}

const char* PageHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Ambervale</title>"
                       "<style>body{font-family:sans-serif;margin:0;padding:8px;background:#1d1a16;color:#f3e6cf}"
                       "a{color:#f0b44c}b{color:#f0b44c}</style></head><body>";

} // namespace

Reply Service::get(const std::string& target)
{
    const auto q = target.find('?');
    const std::string path = target.substr(0, q);
    const std::string query = q == std::string::npos ? "" : target.substr(q + 1);
    if (path.rfind("/lotto/", 0) == 0 && path.size() > 12 && path.ends_with(".json")) {
        std::string name = path.substr(7, path.size() - 12);
        const bool winnersFile = name.rfind("winner_", 0) == 0;
        if (winnersFile) name = name.substr(7);
        const bool drawFile = name.rfind("draw_", 0) == 0; // the open draw's commitment
        if (drawFile) name = name.substr(5);
        if (const Coin* c = m_config.find(name)) {
            try {
                settleDraws(c->code, m_clock.now());
                return Reply::Json(winnersFile ? winners(c->code) : drawFile ? drawCommitment(c->code) : players(c->code));
            } catch (const std::exception&) {
                return Reply::Text(msg::Internal, 500);
            }
        }
    }
    if (path == "/morec/ads/a-ads_1.php")
        return Reply::Html(std::string(PageHead) + rules::InvestAdvert(m_config) + "</body></html>");
    if (path == "/morec/ads/a-ads_2.php")
        return Reply::Html(std::string(PageHead) + rules::InviteAdvert(m_config) + "</body></html>");
    if (path == "/invite_user/" || path == "/invite_user") {
        std::string ref;
        for (size_t start = 0; start <= query.size();) {
            size_t end = query.find('&', start);
            if (end == std::string::npos) end = query.size();
            const std::string part = query.substr(start, end - start);
            if (part.rfind("ref=", 0) == 0) {
                ref = PercentDecode(part.substr(4));
                break;
            }
            start = end + 1;
        }
        if (ref.size() > 32 || !ValidUtf8(ref)) ref.clear();
        return Reply::Html(std::string(PageHead) + "<h2>You are invited to Ambervale</h2>" +
                           "<ol><li>Get the Ambervale desktop client from " + HtmlEscape(m_options.webHost) +
                           " (or build it from its source with <code>scripts/run.sh</code>).</li>"
                           "<li>On the login screen press <i>Create Account</i>, choose a login and a password.</li>"
                           "<li>Enter the invite code <b>" +
                           HtmlEscape(ref.empty() ? std::string("(none given)") : ref) +
                           "</b> in the <i>Invite code</i> field and press <i>Create Account</i> again.</li></ol>"
                           "<p>With the code you receive 15 DOGE at once.</p></body></html>");
    }
    return Reply::Text("Not found.", 404);
}

std::string Service::credit(const std::string& login, const std::string& coinCode, const std::string& amountText)
{
    const Coin* c = m_config.find(AsciiLower(coinCode));
    if (!c) throw std::runtime_error("unknown coin " + coinCode);
    auto amount = money::Parse(amountText);
    if (!amount || *amount <= 0) throw std::runtime_error("not a positive amount: " + amountText);
    const std::int64_t bonus = money::DepositBonus(*amount, c->minDeposit, m_config.depositBonusPercent);
    const std::int64_t now = m_clock.now();
    try {
        m_store.write([&](StoreTx& tx) {
            auto a = tx.accountByKey(AsciiLower(login));
            if (!a || a->id <= 4) throw std::runtime_error("no account " + login);
            std::vector<Leg> legs{{system_account::Issuer, c->code, Bucket::Wallet, -*amount},
                                  {a->id, c->code, Bucket::Wallet, *amount}};
            if (bonus > 0) {
                legs.push_back({system_account::House, c->code, Bucket::Wallet, -bonus});
                legs.push_back({a->id, c->code, Bucket::Wallet, bonus});
            }
            tx.post("deposit", legs, now);
            tx.addStats(a->id, c->code, *amount, 0, 0);
            history::Add(tx, a->id, c->code, history::kind::Deposit, money::Add(*amount, bonus), now, 0,
                         bonus > 0 ? "bonus " + money::Format(bonus) : std::string());
        });
    } catch (const money::Overflow&) {
        throw std::runtime_error("refused: crediting " + money::Format(*amount) + " " + Upper(c->code) + " to " + login +
                                 " would take a balance past the largest amount the ledger holds; nothing was booked");
    }
    return "credited " + money::Format(*amount) + " " + Upper(c->code) + " to " + login + " (bonus " +
           money::Format(bonus) + ")";
}

std::string Service::addAccount(const std::string& login, const std::string& password)
{
    Account created;
    if (auto refusal = registerAccount(login, auth::ClientDigest(password), "", &created))
        throw std::runtime_error(refusal->body);
    return "account " + login + " created, invite code " + created.refcode;
}
