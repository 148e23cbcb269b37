#pragma once
// The service's rules: every action of api.php and every published file,
// independent of HTTP and of the storage engine.
#include "Auth.h"
#include "Config.h"
#include "Store.h"
#include "Totp.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Wall-clock seconds with an offset a test may move forward.
class Clock {
public:
    std::int64_t now() const;
    void advance(std::int64_t seconds) { m_offset += seconds; }

private:
    std::atomic<std::int64_t> m_offset{0};
};

// Request fields in arrival order; the first of a repeated name counts.
class Fields {
public:
    void add(std::string name, std::string value) { m_list.emplace_back(std::move(name), std::move(value)); }
    const std::string* find(const std::string& name) const;
    std::string get(const std::string& name) const;
    const std::vector<std::pair<std::string, std::string>>& list() const { return m_list; }

private:
    std::vector<std::pair<std::string, std::string>> m_list;
};

// What the HTTP layer knows of a request besides its fields.
struct RequestContext {
    std::string address; // the client's IP address as text; empty for the operator's commands
};

struct Reply {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    bool json = false;
    static Reply Text(std::string body, int status = 200);
    static Reply Json(std::string body);
    static Reply Html(std::string body, int status = 200);
};

class Service {
public:
    struct Options {
        bool testClock = false;
        std::string webHost = "127.0.0.1:8443"; // for the invitation page's links
        // The key the second factor's secrets are sealed under (made 0600 at first start); empty: a key
        // of this process only, for tools that never see a second factor.
        std::string twofaKeyFile;
        // Sends reset codes through config.json's SMTP relay from a background thread (the serving process).
        bool sendMail = false;
    };
    Service(Store& store, Config config, Clock& clock, Options options);
    ~Service();

    // POST api.php; may block on the database and on password hashing: call it off the I/O threads.
    // context: while api runs, the rules that limit per client address see it (clientAddress()).
    Reply api(const Fields& fields, const RequestContext& context = {});
    // GET; target includes any query.
    Reply get(const std::string& target);
    // True when api() would answer without touching the database or hashing.
    bool answersAtOnce(const Fields& fields) const;
    // "useraccount" answered on the calling thread (the connection's own) when the store reads without waiting
    // and the digest is remembered; none when the request needs a worker (another action, a slow password
    // check, a paused login, earnings due, another store).
    std::optional<Reply> refreshAtOnce(const Fields& fields, const RequestContext& context);
    bool servesAtOnce(const std::string& target) const;

    // Periodic work: earnings of every open investment, draws that are due.
    void sweep();

    // Operator commands.
    std::string credit(const std::string& login, const std::string& coin, const std::string& amount);
    std::string addAccount(const std::string& login, const std::string& password);
    // A pending withdrawal has left (its transaction id), or could not be sent: amount and fee return to
    // the wallet. Throws with the reason when the id is unknown or the withdrawal is not pending.
    std::string markSent(const std::string& id, const std::string& txid);
    std::string markFailed(const std::string& id, const std::string& reason);

    const Config& config() const { return m_config; }

private:
    Reply dispatch(const std::string& action, const Fields& f);
    // The refusal of a request's fields (lengths, UTF-8, control characters, action and session token).
    static std::optional<Reply> refusedFields(const Fields& f);
    // The refresh with a digest remembered from the last minutes, from one read: the reply's body; none when
    // the digest is not remembered, the login is paused or earnings are due (*a and *open are set when the
    // digest matched).
    std::optional<std::string> rememberedRefresh(const std::string& key, const std::string& pass, std::int64_t now,
                                                 std::optional<Account>* a, std::vector<Investment>* open);
    Reply settings() const;
    Reply account(const Fields& f, bool registering);
    Reply depositAddress(const Fields& f);
    Reply invest(const Fields& f);
    Reply withdraw(const Fields& f);
    Reply swap(const Fields& f);
    Reply changePass(const Fields& f);
    Reply resetPass(const Fields& f);
    Reply faucet(const Fields& f);
    Reply lottery(const Fields& f);
    Reply advanceClock(const Fields& f);
    // The second factor (TwoFactor.cpp): a fresh secret pending, confirmed by a code, turned off with
    // the password and a code.
    Reply twofaSetup(const Fields& f);
    Reply twofaEnable(const Fields& f);
    Reply twofaDisable(const Fields& f);
    // With the account's second factor on: the refusal unless field otp holds a code not used before
    // (its step then taken). Nothing when the factor is off.
    std::optional<Reply> secondFactor(const Account& a, const Fields& f);
    // Checks code against a sealed secret, counting it under the login's wrong-code limit first.
    // The step taken, or the refusal in *refusal.
    std::optional<std::int64_t> checkCode(const Account& a, const std::string& sealed, std::int64_t lastStep,
                                          const std::string& code, Reply* refusal);
    // The caller's history, the prices, the caller's rentals (History.cpp).
    Reply history(const Fields& f);
    Reply prices() const;
    Reply investments(const Fields& f);

    // Empty optional with the refusal in *refusal.
    std::optional<Account> authenticate(const Fields& f, Reply* refusal);
    std::string accountJson(StoreTx& tx, const Account& a, std::int64_t now, const std::vector<Investment>& open);
    std::string accountJson(const Account& a, std::int64_t now, const std::vector<Investment>& open,
                            const std::map<std::string, CoinFigures>& figures);
    bool accrualDue(const Account& a, const std::vector<Investment>& open, std::int64_t now);
    void accrue(StoreTx& tx, std::int64_t account, std::int64_t now);
    void accrueIfDue(std::int64_t account, std::int64_t now, bool force);
    void settleDraws(const std::string& coin, std::int64_t now);
    void drawWinner(StoreTx& tx, const Draw& d, std::int64_t now);
    // byClient: a registration through the API, limited per client address.
    std::optional<Reply> registerAccount(const std::string& login, const std::string& digest, const std::string& ref,
                                         Account* created, bool byClient = false);
    std::string players(const std::string& coin);
    std::string winners(const std::string& coin);
    // The open draw's number and the SHA-256 of its seed (lotto/draw_<coin>.json).
    std::string drawCommitment(const std::string& coin);

    // A money request seen again (same action, fields and session token) by
    // any instance sharing the database gets the first answer instead of
    // running twice: the answer is recorded in the action's own money
    // transaction.
    Reply once(const Fields& f, const std::function<Reply()>& run);

    // Takes one attempt: from the request's address, and/or under the login's
    // own ceiling. 0 when taken, else the seconds to wait.
    std::int64_t reserveAttempt(const std::string& loginKey, std::int64_t now, bool perAddress, bool perLogin);
    // The attempt was right: the address's failures are forgotten and a
    // reserved place under the login's ceiling is given back.
    void attemptSucceeded(const std::string& loginKey, bool perLoginReserved);
    // Welcome and referral money stays in the service until the account's first deposit.
    bool hasDeposited(std::int64_t account);

    Store& m_store;
    Config m_config;
    Clock& m_clock;
    Options m_options;
    std::string m_settingsJson;
    std::string m_sharedKey; // the database's hashing key, the same for every instance
    std::unique_ptr<totp::Sealer> m_sealer;
    auth::DigestCache m_digests{std::chrono::seconds(300)};
    // This run of the process: tags its claims of repeated requests.
    std::string m_instance;
    std::unique_ptr<class Mailer> m_mailer; // last: stopped first, while the store is still there
};

std::string AsciiLower(std::string s);
bool ValidUtf8(std::string_view s);
