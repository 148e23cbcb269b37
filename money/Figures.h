#pragma once
// The money rules both sides compute: the client shows these figures and the
// service books them, from the same integers of 10^-8 and the same rounding
// (toward zero), so what the user is shown is what is booked.
#include "Money.h"

#include <cstdint>
#include <optional>

namespace money {

inline constexpr std::int64_t SecondsPerDay = 86'400;
inline constexpr std::int64_t DaysPerYear = 365;
inline constexpr std::int64_t SecondsPerYear = DaysPerYear * SecondsPerDay;

// Withdrawal: fee = amount x percent / 100 + the fixed part (a tenth of the
// coin's minimum withdrawal); the net is what leaves for the address.
struct WithdrawalSplit {
    std::int64_t fee = 0;
    std::int64_t net = 0;
};
std::int64_t WithdrawFixedFee(std::int64_t minWithdraw);
WithdrawalSplit SplitWithdrawal(std::int64_t amount, int percent, std::int64_t fixedFee);

// Swap: amount x priceFrom / priceTo less the spread (basis points), rounded
// down. nullopt when a price is not above zero or the result is beyond what
// the house can hold (MaxIntegerDigits whole coins).
std::optional<std::int64_t> SwapQuote(std::int64_t amount, std::int64_t priceFrom, std::int64_t priceTo,
                                      int spreadBasisPoints);

// Earnings of an investment after `seconds` at `apr` whole percent a year:
// principal x APR / 100 x seconds / (365 days), rounded down. Throws Overflow.
std::int64_t Accrued(std::int64_t principal, int apr, std::int64_t seconds);

// What an amount earns over the periods the invest screen shows. The year is
// principal x APR / 100; a day is a 365th of it and a week seven days, as
// accrual pays them; a month is a twelfth of the year, a quarter a fourth,
// a half-year a half. Each is rounded down on its own.
struct Projection {
    std::int64_t year = 0;
    std::int64_t halfYear = 0;
    std::int64_t quarter = 0;
    std::int64_t month = 0;
    std::int64_t week = 0;
    std::int64_t day = 0;
};
Projection ProjectEarnings(std::int64_t principal, int apr);

// End of a rental: feePercent of the principal stays with the house, the rest
// returns to the wallet.
std::int64_t RentalFee(std::int64_t principal, int feePercent);
std::int64_t RentalReturn(std::int64_t principal, int feePercent);

// The share of an amount in whole percent, rounded down: the lottery's fee on
// its pot, the referrer's part of earnings and faucet claims.
std::int64_t PercentOf(std::int64_t amount, int percent);

// Deposit bonus: percent of the amount when it reaches the coin's minimum deposit.
std::int64_t DepositBonus(std::int64_t amount, std::int64_t minDeposit, int percent);

} // namespace money
