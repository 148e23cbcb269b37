// The second factor: time-based codes from an authenticator app on top of the
// password, for the actions that move money out or take over an account.
#include "Service.h"

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <iostream>
#include <limits>

namespace {

namespace text {
const char* Missing = "Refused: the request lacks a field.";
const char* NeedCode = "A code from your authenticator app is needed: this account has two-factor codes on.";
const char* WrongCode = "Wrong code from the authenticator app. Check the phone's clock and retry.";
const char* UsedCode = "Already used: each code is taken once. Wait for the next code and retry.";
const char* AlreadyOn = "Already on: turn two-factor codes off before setting them up again.";
const char* NoneWaiting = "No two-factor setup is waiting: ask for a new one.";
const char* NotOn = "Not on: this account has no two-factor codes to turn off.";
const char* On = "Done: two-factor codes are on. Withdrawals and password changes now ask for a code.";
const char* Off = "Done: two-factor codes are off.";
const char* Internal = "Internal error: please try again later.";
std::string Paused(std::int64_t s)
{
    return "Paused after several wrong codes. Please wait " + std::to_string((s + 59) / 60) +
           " minute(s) and retry.";
}
} // namespace text

// Wrong codes counted per login, whatever the address: someone holding the password cannot
// spread guesses at the six digits over many addresses.
const std::string WrongCodes = "twofa-login";

std::int64_t WaitLeft(const std::optional<Counter>& c, int limit, std::int64_t window, std::int64_t now)
{
    if (!c || now - c->first >= window || now < c->first || c->count < limit) return 0;
    return std::max<std::int64_t>(1, c->first + window - now);
}

} // namespace

std::optional<std::int64_t> Service::checkCode(const Account& a, const std::string& sealed, std::int64_t lastStep,
                                               const std::string& code, Reply* refusal)
{
    const std::int64_t now = m_clock.now();
    const int limit = m_config.loginFailuresPerAddress;
    const std::int64_t window = m_config.loginFailureWindowSeconds;
    // The guess is counted before it is checked, in one transaction: parallel guesses get no more than the limit.
    std::int64_t wait = 0;
    m_store.writeLight([&](StoreTx& tx) {
        const auto c = tx.counter(WrongCodes, a.loginKey);
        wait = WaitLeft(c, limit, window, now);
        if (wait) return;
        const bool fresh = !c || now - c->first >= window || now < c->first;
        tx.setCounter(WrongCodes, a.loginKey, fresh ? Counter{1, now, now} : Counter{c->count + 1, c->first, now});
    });
    if (wait) {
        *refusal = Reply::Text(text::Paused(wait));
        return std::nullopt;
    }
    const auto secret = m_sealer->open(sealed);
    if (!secret) {
        // Never the secret itself: only that this instance's key does not open it.
        std::cerr << "ambervale-service: the second factor of account " << a.id
                  << " was sealed under another key than twofa.key (instances sharing a database need the same file)"
                  << std::endl;
        *refusal = Reply::Text(text::Internal, 500);
        return std::nullopt;
    }
    const auto step = totp::Accept(*secret, code, now, lastStep);
    if (!step) {
        const bool reused = totp::Accept(*secret, code, now, std::numeric_limits<std::int64_t>::min()).has_value();
        *refusal = Reply::Text(reused ? text::UsedCode : text::WrongCode);
        return std::nullopt;
    }
    // A right code gives its place back.
    m_store.writeLight([&](StoreTx& tx) {
        const auto c = tx.counter(WrongCodes, a.loginKey);
        if (c && c->count > 1)
            tx.setCounter(WrongCodes, a.loginKey, Counter{c->count - 1, c->first, c->last});
        else if (c)
            tx.dropCounter(WrongCodes, a.loginKey);
    });
    return step;
}

std::optional<Reply> Service::secondFactor(const Account& a, const Fields& f)
{
    std::optional<TwoFactor> t;
    m_store.read([&](StoreTx& tx) { t = tx.twoFactor(a.id); });
    if (!t || t->sealed.empty()) return std::nullopt;
    const std::string code = f.get("otp");
    if (code.empty()) return Reply::Text(text::NeedCode);
    Reply refusal;
    const auto step = checkCode(a, t->sealed, t->lastStep, code, &refusal);
    if (!step) return refusal;
    // Taken by a conditional update: two requests with one code, on any instance, pass once.
    bool taken = false;
    m_store.write([&](StoreTx& tx) { taken = tx.takeTwoFactorStep(a.id, *step); });
    if (!taken) return Reply::Text(text::UsedCode);
    return std::nullopt;
}

Reply Service::twofaSetup(const Fields& f)
{
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    totp::Bytes secret(totp::SecretBytes);
    randombytes_buf(secret.data(), secret.size());
    const std::string sealed = m_sealer->seal(secret);
    bool on = false;
    m_store.write([&](StoreTx& tx) {
        const auto t = tx.twoFactor(a->id);
        on = t && !t->sealed.empty();
        if (!on) tx.setTwoFactor(a->id, TwoFactor{"", sealed, t ? t->lastStep : 0});
    });
    sodium_memzero(secret.data(), secret.size()); // the sealed copy is all that stays
    if (on) return Reply::Text(text::AlreadyOn);
    const auto opened = m_sealer->open(sealed);
    nlohmann::json j;
    j["uri"] = totp::Uri("Ambervale", a->login, *opened);
    j["secret"] = totp::Base32(*opened);
    j["digits"] = totp::Digits;
    j["period"] = totp::Period;
    return Reply::Json(j.dump());
}

Reply Service::twofaEnable(const Fields& f)
{
    if (!f.find("otp")) return Reply::Text(text::Missing);
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    std::optional<TwoFactor> t;
    m_store.read([&](StoreTx& tx) { t = tx.twoFactor(a->id); });
    if (t && !t->sealed.empty()) return Reply::Text(text::AlreadyOn);
    if (!t || t->pending.empty()) return Reply::Text(text::NoneWaiting);
    const auto step = checkCode(*a, t->pending, t->lastStep, f.get("otp"), &refusal);
    if (!step) return refusal;
    bool done = false;
    m_store.write([&](StoreTx& tx) {
        const auto now = tx.twoFactor(a->id);
        // Only the setup the code was checked against, and only once.
        done = now && now->sealed.empty() && now->pending == t->pending && now->lastStep < *step;
        if (done) tx.setTwoFactor(a->id, TwoFactor{t->pending, "", *step});
    });
    return Reply::Text(done ? text::On : text::NoneWaiting);
}

Reply Service::twofaDisable(const Fields& f)
{
    Reply refusal;
    auto a = authenticate(f, &refusal);
    if (!a) return refusal;
    std::optional<TwoFactor> t;
    m_store.read([&](StoreTx& tx) { t = tx.twoFactor(a->id); });
    if (!t || t->sealed.empty()) return Reply::Text(text::NotOn);
    if (auto refused = secondFactor(*a, f)) return *refused;
    m_store.write([&](StoreTx& tx) {
        const auto now = tx.twoFactor(a->id);
        tx.setTwoFactor(a->id, TwoFactor{"", "", now ? now->lastStep : 0});
    });
    return Reply::Text(text::Off);
}
