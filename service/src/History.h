#pragma once
// The lines of an account's history, written in the same transaction as the movement they describe, so the
// history and the ledger never disagree: the amounts of an account's lines in a coin sum to its wallet.
#include "Store.h"

#include <cstdint>
#include <string>

namespace history {

// The kinds and statuses a line can have.
namespace kind {
inline constexpr const char* Deposit = "deposit";
inline constexpr const char* Withdraw = "withdraw";
inline constexpr const char* Invest = "invest";
inline constexpr const char* Earning = "earning";
inline constexpr const char* Return = "return";
inline constexpr const char* SwapOut = "swap_out";
inline constexpr const char* SwapIn = "swap_in";
inline constexpr const char* Faucet = "faucet";
inline constexpr const char* Referral = "referral";
inline constexpr const char* LotteryStake = "lottery_stake";
inline constexpr const char* LotteryWin = "lottery_win";
} // namespace kind
namespace status {
inline constexpr const char* Done = "done";
inline constexpr const char* Pending = "pending";
inline constexpr const char* Sent = "sent";
inline constexpr const char* Failed = "failed";
} // namespace status

// A line as it will be written.
HistoryItem Line(std::int64_t account, const std::string& coin, const char* kind, std::int64_t amount, std::int64_t at,
                 std::int64_t fee = 0, const std::string& detail = {}, std::int64_t ref = 0,
                 const char* status = status::Done);
// A line of its own; its id.
std::int64_t Add(StoreTx& tx, std::int64_t account, const std::string& coin, const char* kind, std::int64_t amount,
                 std::int64_t at, std::int64_t fee = 0, const std::string& detail = {}, std::int64_t ref = 0,
                 const char* status = status::Done);
// Credited many times a day (earnings, referral shares): added to the account's one line of that kind, coin and
// UTC day, made by the first credit of the day.
void AddToDay(StoreTx& tx, std::int64_t account, const std::string& coin, const char* kind, std::int64_t amount,
              std::int64_t at);

// "YYYY-MM-DD HH:MM:SS", UTC.
std::string TimeText(std::int64_t t);

} // namespace history
