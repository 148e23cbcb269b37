// The service's entry: checks every request's fields, sends each action to its family through one table,
// runs money requests once, and the periodic sweep.
#include "ServiceCommon.h"
#include "Smtp.h"

#include <fstream>

using namespace service_detail;

namespace {

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
    m_sealer = std::make_unique<totp::Sealer>(
        m_options.twofaKeyFile.empty() ? totp::Sealer::Random() : totp::Sealer::FromFile(m_options.twofaKeyFile));
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

std::optional<Reply> Service::refusedFields(const Fields& f)
{
    for (const auto& [name, value] : f.list()) {
        if (name.size() > 32 || value.size() > MaxField || !ValidUtf8(value)) return Reply::Text(msg::BadField);
        for (unsigned char c : value)
            if (c < 0x20 || c == 0x7F) return Reply::Text(msg::BadField);
    }
    const std::string* session = f.find("session");
    if (!f.find("a") || !session) return Reply::Text(msg::Missing);
    if (!auth::IsHexDigest(*session)) return Reply::Text(msg::BadSession);
    return std::nullopt;
}

Reply Service::api(const Fields& f, const RequestContext& context)
{
    RequestScope scope(context);
    if (auto refusal = refusedFields(f)) return *refusal;
    const std::string& action = *f.find("a");
    try {
        return dispatch(action, f);
    } catch (const money::Overflow& e) {
        std::cerr << "ambervale-service: " << action << ": refused: " << e.what() << std::endl;
        return Reply::Text(msg::Overflow);
    } catch (const std::exception& e) {
        std::cerr << "ambervale-service: " << action << ": " << e.what() << std::endl;
        return Reply::Text(msg::Internal, 500);
    }
}

std::optional<Reply> Service::refreshAtOnce(const Fields& f, const RequestContext& context)
{
    if (!m_store.readsWithoutWaiting() || f.get("a") != "useraccount" || !f.find("s") || !f.find("pass") ||
        refusedFields(f))
        return std::nullopt;
    RequestScope scope(context);
    try {
        std::optional<Account> a;
        std::vector<Investment> open;
        if (auto body = rememberedRefresh(AsciiLower(f.get("s")), f.get("pass"), m_clock.now(), &a, &open))
            return Reply::Json(std::move(*body));
    } catch (const std::exception&) {
        // The worker runs it again and reports what failed.
    }
    return std::nullopt;
}

Reply Service::dispatch(const std::string& a, const Fields& f)
{
    // Each action by name, to its family's handler. Money actions run once: a repeat gets the first answer.
    using Handler = Reply (*)(Service&, const Fields&);
    static const std::unordered_map<std::string_view, Handler> actions{
        {"all_json_setting", [](Service& s, const Fields&) { return s.settings(); }},
        {"prices", [](Service& s, const Fields&) { return s.prices(); }},
        // accounts
        {"useraccount", [](Service& s, const Fields& f) { return s.account(f, false); }},
        {"tg_new_user", [](Service& s, const Fields& f) { return s.once(f, [&] { return s.account(f, true); }); }},
        {"changepass", [](Service& s, const Fields& f) { return s.changePass(f); }},
        {"resetpass", [](Service& s, const Fields& f) { return s.resetPass(f); }},
        {"get_deposit_address", [](Service& s, const Fields& f) { return s.depositAddress(f); }},
        {"twofa_setup", [](Service& s, const Fields& f) { return s.twofaSetup(f); }},
        {"twofa_enable", [](Service& s, const Fields& f) { return s.twofaEnable(f); }},
        {"twofa_disable", [](Service& s, const Fields& f) { return s.twofaDisable(f); }},
        // money
        {"get_swap_coin",
         [](Service& s, const Fields& f) {
             const std::string com = f.get("com");
             if (com == "get") return s.swap(f); // a quote: nothing moves
             if (com == "swap") return s.once(f, [&] { return s.swap(f); });
             return Reply::Text(msg::Unknown);
         }},
        {"invest_coin", [](Service& s, const Fields& f) { return s.once(f, [&] { return s.invest(f); }); }},
        {"withdraw", [](Service& s, const Fields& f) { return s.once(f, [&] { return s.withdraw(f); }); }},
        {"free_coin", [](Service& s, const Fields& f) { return s.once(f, [&] { return s.faucet(f); }); }},
        {"history", [](Service& s, const Fields& f) { return s.history(f); }},
        {"investments", [](Service& s, const Fields& f) { return s.investments(f); }},
        // community
        {"buylottonew", [](Service& s, const Fields& f) { return s.once(f, [&] { return s.lottery(f); }); }},
        // tests only
        {"x_clock_advance",
         [](Service& s, const Fields& f) {
             return s.m_options.testClock ? s.advanceClock(f) : Reply::Text(msg::Unknown);
         }},
    };
    const auto it = actions.find(a);
    return it == actions.end() ? Reply::Text(msg::Unknown) : it->second(*this, f);
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
    m_store.readOne([&](StoreTx& tx) { seen = tx.onceEntry(claim.key); }); // one statement: its own snapshot
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

Reply Service::settings() const
{
    return Reply::Json(m_settingsJson);
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
    const std::int64_t longest = std::max({m_config.loginFailureWindowSeconds, m_config.loginFailureLoginWindowSeconds,
                                           m_config.resetRequestWindowSeconds, m_config.registrationWindowSeconds});
    m_store.writeLight([&](StoreTx& tx) { tx.pruneAccountState(now - longest, now); });
}

Reply Service::advanceClock(const Fields& f)
{
    const std::string s = f.get("seconds");
    if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos)
        return Reply::Text(msg::BadAmount);
    m_clock.advance(std::stoll(s));
    return Reply::Text("Clock moved to " + UtcText(m_clock.now()) + " UTC.");
}
