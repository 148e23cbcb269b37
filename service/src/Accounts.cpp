// Accounts: registration, the login check and its limits, the account refresh, password change and reset,
// deposit addresses, the operator's add-account.
#include "ServiceCommon.h"
#include "Smtp.h"

using namespace service_detail;

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
    // One read of one statement where the engine allows it (the failures and the account together).
    m_store.readOne([&](StoreTx& tx) {
        a.reset();
        AccountView v = tx.loginView(key, counted::LoginAddress, AddressLoginKey(key));
        wait = WaitFor(v.failures, m_config.loginFailuresPerAddress, m_config.loginFailureWindowSeconds, now);
        if (!wait && !key.empty() && key[0] != '#') a = std::move(v.account);
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
        static const CoinFigures none;
        auto it = figures.find(c.code);
        const CoinFigures& f = it == figures.end() ? none : it->second;
        std::int64_t daysLeft = 0;
        for (const Investment& inv : open)
            if (inv.coin == c.code) daysLeft = std::max(daysLeft, (inv.ends - now + Day - 1) / Day);
        // Appended piece by piece, no string per figure: this runs for every refresh of every client.
        auto name = [&](const char* prefix) {
            j += ",\"";
            j += prefix;
            j += c.code;
            j += "\":\"";
        };
        auto amount = [&](const char* prefix, std::int64_t units) {
            name(prefix);
            AppendAmount(j, units);
            j += '"';
        };
        amount("wall_", f.wallet);
        amount("inv_", f.invest);
        amount("dep_val_", f.depVal);
        amount("earned_inv_", f.earnedInv);
        amount("earned_ref_", f.earnedRef);
        name("rental_days_");
        char days[24];
        j.append(days, std::to_chars(days, days + sizeof days, std::max<std::int64_t>(0, daysLeft)).ptr);
        j += '"';
    }
    j += ",\"refcode\":" + JsonString(a.refcode) + ",\"refcol\":" + std::to_string(a.refcol) + ",\"twofa\":\"" +
         (a.twofa ? "1" : "0") + "\"}";
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

std::optional<std::string> Service::rememberedRefresh(const std::string& key, const std::string& pass, std::int64_t now,
                                                      std::optional<Account>* a, std::vector<Investment>* open)
{
    std::optional<std::string> body;
    if (!auth::IsHexDigest(pass) || key.empty() || key[0] == '#') return body;
    m_store.readOne([&](StoreTx& tx) {
        a->reset();
        body.reset();
        AccountView v = tx.accountView(key, counted::LoginAddress, AddressLoginKey(key));
        if (WaitFor(v.failures, m_config.loginFailuresPerAddress, m_config.loginFailureWindowSeconds, now)) return;
        if (!v.account || !m_digests.check(key, v.account->passwordHash, pass)) return;
        *a = std::move(v.account);
        *open = std::move(v.open);
        if (!accrualDue(**a, *open, now)) body = accountJson(**a, now, *open, v.figures);
    });
    return body;
}

Reply Service::account(const Fields& f, bool registering)
{
    if (!f.find("s") || !f.find("pass")) return Reply::Text(msg::Missing);
    const std::int64_t now = m_clock.now();
    std::optional<Account> a;
    if (registering) {
        Account created;
        if (auto refusal = registerAccount(f.get("s"), f.get("pass"), f.get("ref"), &created, true)) return *refusal;
        a = created;
    } else {
        // The 20-second refresh: with a remembered digest, one read answers it.
        std::vector<Investment> open;
        if (auto body = rememberedRefresh(AsciiLower(f.get("s")), f.get("pass"), now, &a, &open))
            return Reply::Json(std::move(*body));
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
        tx.retireResetCodes(a->id);          // a new password leaves no code behind
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

std::string Service::addAccount(const std::string& login, const std::string& password)
{
    Account created;
    if (auto refusal = registerAccount(login, auth::ClientDigest(password), "", &created))
        throw std::runtime_error(refusal->body);
    return "account " + login + " created, invite code " + created.refcode;
}
