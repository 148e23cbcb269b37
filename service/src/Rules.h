#pragma once
// The rules' figures in words, for every page that tells a user about them: the
// client's guide page (generated from this at build time) and the service's own
// pages. Both read the same Config, so neither can drift from what the service pays.
#include "Config.h"

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rules {

// 1'000'000 -> "0,01": no trailing zeros, "," as the client writes amounts.
std::string AmountText(std::int64_t units);
// "15 DOGE"
std::string CoinAmountText(std::int64_t units, const std::string& coin);
// 90 -> "3 months", 365 -> "1 year", 730 -> "2 years", 45 -> "45 days".
std::string PeriodText(int days);
// 20 -> "20th", 21 -> "21st", 12 -> "12th".
std::string Ordinal(int n);
// 3600 -> "once an hour", 1800 -> "once every 30 minutes", 86400 -> "once a day".
std::string FrequencyText(std::int64_t seconds);

// The guide page's placeholders ({{name}}) and their HTML text.
std::map<std::string, std::string> GuideFigures(const Config& c);

// A placeholder the figures do not know, or a "{{" left open, is an error: a
// page must never reach a user with a hole in it.
struct TemplateError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
std::string Render(std::string_view page, const std::map<std::string, std::string>& figures);

// The bodies of the two advert pages the client shows in its web views.
std::string InvestAdvert(const Config& c);
std::string InviteAdvert(const Config& c);

} // namespace rules
