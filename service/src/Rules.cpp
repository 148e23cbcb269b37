#include "Rules.h"

#include "Money.h"

#include <algorithm>

namespace rules {

namespace {

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    return s;
}

const Rental* LongestRental(const Config& c)
{
    const Rental* best = nullptr;
    for (const Rental& r : c.rentals)
        if (!best || r.days > best->days) best = &r;
    return best;
}

} // namespace

std::string AmountText(std::int64_t units)
{
    std::string s = money::FormatShort(units);
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

std::string CoinAmountText(std::int64_t units, const std::string& coin)
{
    return AmountText(units) + " " + Upper(coin);
}

std::string PeriodText(int days)
{
    auto plural = [](int n, const char* one) { return std::to_string(n) + " " + one + (n == 1 ? "" : "s"); };
    if (days > 0 && days % 365 == 0) return plural(days / 365, "year");
    if (days > 0 && days % 30 == 0) return plural(days / 30, "month");
    if (days > 0 && days % 7 == 0) return plural(days / 7, "week");
    return plural(days, "day");
}

std::string Ordinal(int n)
{
    const int tens = n % 100, ones = n % 10;
    const char* suffix = "th";
    if (tens < 11 || tens > 13) {
        if (ones == 1) suffix = "st";
        else if (ones == 2) suffix = "nd";
        else if (ones == 3) suffix = "rd";
    }
    return std::to_string(n) + suffix;
}

std::string FrequencyText(std::int64_t seconds)
{
    if (seconds == 86400) return "once a day";
    if (seconds == 3600) return "once an hour";
    if (seconds % 86400 == 0) return "once every " + std::to_string(seconds / 86400) + " days";
    if (seconds % 3600 == 0) return "once every " + std::to_string(seconds / 3600) + " hours";
    if (seconds % 60 == 0) return "once every " + std::to_string(seconds / 60) + " minutes";
    return "once every " + std::to_string(seconds) + " seconds";
}

std::map<std::string, std::string> GuideFigures(const Config& c)
{
    std::map<std::string, std::string> f;
    std::string rows;
    for (const Rental& r : c.rentals)
        rows += "<tr><td>" + PeriodText(r.days) + "</td><td class=\"fee\">" + std::to_string(r.feePercent) +
                "%</td></tr>\n    ";
    f["rental_rows"] = rows;
    // The withdraw screen shows the fee of the coin picked; the first coin of the
    // catalogue stands for the example.
    const std::int64_t fixed = c.coins.empty() ? 0 : c.coins.front().minWithdraw / 10;
    f["withdraw_fee_example"] = AmountText(fixed) + "+" + std::to_string(c.withdrawPercent) + "%";
    f["referral_welcome"] = CoinAmountText(c.referralWelcome, c.referralWelcomeCoin);
    f["referral_invest_percent"] = std::to_string(c.referralInvestPercent) + "%";
    f["referral_faucet_percent"] = std::to_string(c.referralFaucetPercent) + "%";
    f["faucet_coin"] = Upper(c.faucetCoin);
    f["faucet_reward"] = CoinAmountText(c.faucetReward, c.faucetCoin);
    f["faucet_frequency"] = FrequencyText(c.faucetPeriodSeconds);
    f["lottery_fee_percent"] = std::to_string(c.lotteryFeePercent) + "%";
    f["lottery_players_ordinal"] = Ordinal(c.lotteryPlayers);
    return f;
}

std::string Render(std::string_view page, const std::map<std::string, std::string>& figures)
{
    std::string out;
    out.reserve(page.size() + 1024);
    std::size_t at = 0;
    while (true) {
        const std::size_t open = page.find("{{", at);
        if (open == std::string_view::npos) break;
        const std::size_t close = page.find("}}", open + 2);
        if (close == std::string_view::npos) throw TemplateError("a placeholder is not closed");
        const std::string name(page.substr(open + 2, close - open - 2));
        const auto it = figures.find(name);
        if (it == figures.end()) throw TemplateError("no figure for the placeholder {{" + name + "}}");
        out.append(page.substr(at, open - at));
        out += it->second;
        at = close + 2;
    }
    out.append(page.substr(at));
    return out;
}

std::string InvestAdvert(const Config& c)
{
    const Rental* longest = LongestRental(c);
    if (!longest) return "<div style=\"text-align:center\"><b>Ambervale</b> &middot; cloud mining in 15 coins.</div>";
    return "<div style=\"text-align:center\"><b>Ambervale</b> &middot; invest for " + PeriodText(longest->days) +
           " and keep " + std::to_string(100 - longest->feePercent) +
           "% of your amount plus every day's earnings.</div>";
}

std::string InviteAdvert(const Config& c)
{
    return "<h3>Invite your friends</h3><p>Your friends get " + CoinAmountText(c.referralWelcome, c.referralWelcomeCoin) +
           " when they register with your code, and you earn " + std::to_string(c.referralFaucetPercent) +
           "% of their faucet claims and " + std::to_string(c.referralInvestPercent) +
           "% of their investment earnings.</p><p>Daily L0ttery draws in every coin: the bigger the stake, the better "
           "the chance.</p>";
}

} // namespace rules
