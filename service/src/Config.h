#pragma once
// The coin catalogue and the rules' figures. Defaults are compiled in; the
// data folder's config.json, written with them on first start, overrides.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct Coin {
    std::string code;               // lower case, as the client sends and shows it
    std::string fullName;           //
    std::int64_t minWithdraw = 0;   // units
    int apr = 0;                    // whole percent per year
    std::int64_t minDeposit = 0;    // units
    std::int64_t priceNanoUsd = 0;  // quote basis for swaps
    std::set<std::string> networks; // besides "main"
};

// The networks besides "main" the client offers; every coin is served on all of them.
const std::set<std::string>& ClientNetworks();

struct Rental {
    int code = 0;
    int days = 0;
    int feePercent = 0;
};

// The operator's SMTP relay for reset codes (config.json "smtp"); see Smtp.h.
struct SmtpRelay {
    std::string host;
    int port = 587;
    bool starttls = true;     // required when on: no mail leaves in clear
    std::string user;         // empty: no login at the relay
    std::string passwordFile; // the relay password's file (first line), read at start
    std::string from = "ambervale@localhost";
    int timeoutSeconds = 20; // per try, connection included
};

struct Config {
    std::vector<Coin> coins;
    int withdrawPercent = 2;
    int depositBonusPercent = 3;
    int swapSpreadBasisPoints = 50;
    std::int64_t faucetReward = 1'000'000; // 0.01 USDT
    std::string faucetCoin = "usdt";
    std::int64_t faucetPeriodSeconds = 3600;
    std::int64_t referralWelcome = 15 * 100'000'000LL; // 15 DOGE to the newcomer
    std::string referralWelcomeCoin = "doge";
    int referralFaucetPercent = 10;
    int referralInvestPercent = 15;
    int lotteryFeePercent = 3;
    int lotteryPlayers = 20;
    std::int64_t resetCodeSeconds = 900;
    // Accounts under attack. Wrong passwords (and security codes) pause a login for
    // one client address; a ceiling per login whatever the address.
    int loginFailuresPerAddress = 5;
    std::int64_t loginFailureWindowSeconds = 300;
    int loginFailuresPerLogin = 30;
    std::int64_t loginFailureLoginWindowSeconds = 3600;
    int resetCodeAttempts = 5; // wrong guesses of one code before it is retired
    int resetRequestsPerLogin = 3;
    int resetRequestsPerAddress = 10;
    std::int64_t resetRequestWindowSeconds = 3600;
    int registrationsPerAddress = 10;
    std::int64_t registrationWindowSeconds = 3600;
    std::vector<Rental> rentals{{1, 90, 35}, {2, 180, 25}, {3, 365, 15}, {4, 730, 10}};
    std::optional<SmtpRelay> smtp; // none: reset codes stay in the outbox for reset-codes

    const Coin* find(const std::string& code) const;
    const Rental* rental(int code) const;

    static Config Defaults();
    // Reads path; writes the defaults there first when it does not exist.
    static Config LoadOrCreate(const std::filesystem::path& path);
};
