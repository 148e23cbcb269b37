#include "Config.h"

#include "Money.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <stdexcept>

namespace {

std::int64_t Amount(const std::string& text)
{
    auto v = money::Parse(text);
    if (!v) throw std::runtime_error("config: not an amount: " + text);
    return *v;
}

} // namespace

const Coin* Config::find(const std::string& code) const
{
    for (const Coin& c : coins)
        if (c.code == code) return &c;
    return nullptr;
}

const Rental* Config::rental(int code) const
{
    for (const Rental& r : rentals)
        if (r.code == code) return &r;
    return nullptr;
}

const std::set<std::string>& ClientNetworks()
{
    // Every network the client offers: its withdraw screen lists them all for
    // every coin, its deposit screen's picker for usdt, shib and matic.
    static const std::set<std::string> networks{"bep20", "erc20", "trc20", "sol", "prc20"};
    return networks;
}

Config Config::Defaults()
{
    struct Row {
        const char *code, *name, *minWithdraw;
        int apr;
        const char *minDeposit, *priceUsd;
        std::set<std::string> networks;
    };
    const std::set<std::string>& All = ClientNetworks();
    const Row rows[] = {
        {"btc", "Bitcoin", "0.0005", 8, "0.0001", "60000", All},
        {"ltc", "Litecoin", "0.01", 12, "0.005", "80", All},
        {"bnb", "BNB", "0.01", 10, "0.005", "550", All},
        {"eth", "Ethereum", "0.005", 9, "0.002", "3000", All},
        {"doge", "Dogecoin", "20", 15, "10", "0.15", All},
        {"trx", "TRON", "20", 14, "10", "0.12", All},
        {"usdt", "Tether", "5", 10, "2", "1", All},
        {"bch", "Bitcoin Cash", "0.005", 11, "0.002", "400", All},
        {"dash", "Dash", "0.05", 12, "0.02", "30", All},
        {"xmr", "Monero", "0.02", 10, "0.01", "160", All},
        {"etc", "Ethereum Classic", "0.1", 12, "0.05", "25", All},
        {"shib", "Shiba Inu", "500000", 18, "200000", "0.00002", All},
        {"zec", "Zcash", "0.05", 12, "0.02", "35", All},
        {"sol", "Solana", "0.05", 9, "0.02", "150", All},
        {"matic", "Polygon", "5", 13, "2", "0.6", All},
    };
    Config c;
    for (const Row& r : rows)
        c.coins.push_back(Coin{r.code, r.name, Amount(r.minWithdraw), r.apr, Amount(r.minDeposit),
                               Amount(r.priceUsd) * 10, r.networks});
    return c;
}

Config Config::LoadOrCreate(const std::filesystem::path& path)
{
    using nlohmann::ordered_json;
    Config c = Defaults();
    if (!std::filesystem::exists(path)) {
        ordered_json j;
        j["withdraw_percent"] = c.withdrawPercent;
        j["deposit_bonus_percent"] = c.depositBonusPercent;
        j["swap_spread_basis_points"] = c.swapSpreadBasisPoints;
        j["faucet_reward"] = money::Format(c.faucetReward);
        j["faucet_coin"] = c.faucetCoin;
        j["faucet_period_seconds"] = c.faucetPeriodSeconds;
        j["referral_welcome"] = money::Format(c.referralWelcome);
        j["referral_welcome_coin"] = c.referralWelcomeCoin;
        j["referral_faucet_percent"] = c.referralFaucetPercent;
        j["referral_invest_percent"] = c.referralInvestPercent;
        j["lottery_fee_percent"] = c.lotteryFeePercent;
        j["lottery_players"] = c.lotteryPlayers;
        j["reset_code_seconds"] = c.resetCodeSeconds;
        j["login_failures_per_address"] = c.loginFailuresPerAddress;
        j["login_failure_window_seconds"] = c.loginFailureWindowSeconds;
        j["login_failures_per_login"] = c.loginFailuresPerLogin;
        j["login_failure_login_window_seconds"] = c.loginFailureLoginWindowSeconds;
        j["reset_code_attempts"] = c.resetCodeAttempts;
        j["reset_requests_per_login"] = c.resetRequestsPerLogin;
        j["reset_requests_per_address"] = c.resetRequestsPerAddress;
        j["reset_request_window_seconds"] = c.resetRequestWindowSeconds;
        j["registrations_per_address"] = c.registrationsPerAddress;
        j["registration_window_seconds"] = c.registrationWindowSeconds;
        for (const Coin& coin : c.coins) {
            ordered_json o;
            o["code"] = coin.code;
            o["name"] = coin.fullName;
            o["min_withdraw"] = money::Format(coin.minWithdraw);
            o["apr"] = coin.apr;
            o["min_deposit"] = money::Format(coin.minDeposit);
            // Price in USD with eight decimals; 1e-9 USD is kept internally.
            o["price_usd"] = money::Format(coin.priceNanoUsd / 10);
            o["networks"] = std::vector<std::string>(coin.networks.begin(), coin.networks.end());
            j["coins"].push_back(o);
        }
        std::ofstream(path) << j.dump(2) << "\n";
        return c;
    }
    std::ifstream in(path);
    const auto j = nlohmann::json::parse(in);
    c.withdrawPercent = j.value("withdraw_percent", c.withdrawPercent);
    c.depositBonusPercent = j.value("deposit_bonus_percent", c.depositBonusPercent);
    c.swapSpreadBasisPoints = j.value("swap_spread_basis_points", c.swapSpreadBasisPoints);
    if (j.contains("faucet_reward")) c.faucetReward = Amount(j["faucet_reward"]);
    c.faucetCoin = j.value("faucet_coin", c.faucetCoin);
    c.faucetPeriodSeconds = j.value("faucet_period_seconds", c.faucetPeriodSeconds);
    if (j.contains("referral_welcome")) c.referralWelcome = Amount(j["referral_welcome"]);
    c.referralWelcomeCoin = j.value("referral_welcome_coin", c.referralWelcomeCoin);
    c.referralFaucetPercent = j.value("referral_faucet_percent", c.referralFaucetPercent);
    c.referralInvestPercent = j.value("referral_invest_percent", c.referralInvestPercent);
    c.lotteryFeePercent = j.value("lottery_fee_percent", c.lotteryFeePercent);
    c.lotteryPlayers = j.value("lottery_players", c.lotteryPlayers);
    c.resetCodeSeconds = j.value("reset_code_seconds", c.resetCodeSeconds);
    c.loginFailuresPerAddress = j.value("login_failures_per_address", c.loginFailuresPerAddress);
    c.loginFailureWindowSeconds = j.value("login_failure_window_seconds", c.loginFailureWindowSeconds);
    c.loginFailuresPerLogin = j.value("login_failures_per_login", c.loginFailuresPerLogin);
    c.loginFailureLoginWindowSeconds = j.value("login_failure_login_window_seconds", c.loginFailureLoginWindowSeconds);
    c.resetCodeAttempts = j.value("reset_code_attempts", c.resetCodeAttempts);
    c.resetRequestsPerLogin = j.value("reset_requests_per_login", c.resetRequestsPerLogin);
    c.resetRequestsPerAddress = j.value("reset_requests_per_address", c.resetRequestsPerAddress);
    c.resetRequestWindowSeconds = j.value("reset_request_window_seconds", c.resetRequestWindowSeconds);
    c.registrationsPerAddress = j.value("registrations_per_address", c.registrationsPerAddress);
    c.registrationWindowSeconds = j.value("registration_window_seconds", c.registrationWindowSeconds);
    for (int limit : {c.loginFailuresPerAddress, c.loginFailuresPerLogin, c.resetCodeAttempts, c.resetRequestsPerLogin,
                      c.resetRequestsPerAddress, c.registrationsPerAddress})
        if (limit < 1) throw std::runtime_error("config: every limit must be at least 1");
    if (j.contains("coins")) {
        c.coins.clear();
        for (const auto& o : j["coins"]) {
            Coin coin;
            coin.code = o.at("code");
            coin.fullName = o.at("name");
            coin.minWithdraw = Amount(o.at("min_withdraw"));
            coin.apr = o.at("apr");
            coin.minDeposit = Amount(o.at("min_deposit"));
            coin.priceNanoUsd = Amount(o.at("price_usd")) * 10;
            if (coin.priceNanoUsd <= 0) throw std::runtime_error("config: price of " + coin.code + " must be positive");
            for (const auto& n : o.value("networks", nlohmann::json::array()))
                coin.networks.insert(n.get<std::string>());
            // A config.json written before every coin took every network the client
            // offers keeps its shorter lists: the client's networks are served anyway.
            coin.networks.insert(ClientNetworks().begin(), ClientNetworks().end());
            c.coins.push_back(coin);
        }
    }
    if (const auto it = j.find("smtp"); it != j.end() && it->is_object() && !it->value("host", "").empty()) {
        SmtpRelay r;
        r.host = it->at("host").get<std::string>();
        r.port = it->value("port", r.port);
        r.starttls = it->value("starttls", r.starttls);
        r.user = it->value("user", r.user);
        r.passwordFile = it->value("password_file", r.passwordFile);
        r.from = it->value("from", r.from);
        r.timeoutSeconds = it->value("timeout_seconds", r.timeoutSeconds);
        // They go into the relay's URL and the mail's envelope: no spaces, controls or brackets.
        for (unsigned char ch : r.host)
            if (ch <= ' ' || ch >= 0x7f || ch == '/' || ch == '@' || ch == '<' || ch == '>')
                throw std::runtime_error("config: smtp host must be a plain host name");
        for (unsigned char ch : r.from)
            if (ch <= ' ' || ch >= 0x7f || ch == '<' || ch == '>')
                throw std::runtime_error("config: smtp from must be a plain address");
        if (r.port < 1 || r.port > 65535 || r.timeoutSeconds < 1)
            throw std::runtime_error("config: smtp port 1-65535 and timeout_seconds at least 1");
        c.smtp = r;
    }
    if (!c.find(c.faucetCoin) || !c.find(c.referralWelcomeCoin))
        throw std::runtime_error("config: the faucet and welcome coins must be in the catalogue");
    return c;
}
