#include "Figures.h"

namespace money {

std::int64_t WithdrawFixedFee(std::int64_t minWithdraw)
{
    return minWithdraw / 10;
}

WithdrawalSplit SplitWithdrawal(std::int64_t amount, int percent, std::int64_t fixedFee)
{
    WithdrawalSplit s;
    s.fee = Add(MulDiv(amount, percent, 100), fixedFee);
    s.net = Add(amount, -s.fee);
    return s;
}

std::optional<std::int64_t> SwapQuote(std::int64_t amount, std::int64_t priceFrom, std::int64_t priceTo,
                                      int spreadBasisPoints)
{
    if (priceFrom <= 0 || priceTo <= 0 || amount < 0 || spreadBasisPoints < 0 || spreadBasisPoints > 10000)
        return std::nullopt;
    // Only prices no catalogue has take the product past 128 bits: no quote then.
    __int128 product;
    if (__builtin_mul_overflow(static_cast<__int128>(amount) * priceFrom, 10000 - spreadBasisPoints, &product))
        return std::nullopt;
    const __int128 q = product / (static_cast<__int128>(priceTo) * 10000);
    if (q > static_cast<__int128>(10'000'000'000LL) * Unit) return std::nullopt;
    return static_cast<std::int64_t>(q);
}

std::int64_t Accrued(std::int64_t principal, int apr, std::int64_t seconds)
{
    if (seconds <= 0) return 0;
    return MulDiv(principal, apr * seconds, 100 * SecondsPerYear);
}

Projection ProjectEarnings(std::int64_t principal, int apr)
{
    Projection p;
    p.year = MulDiv(principal, apr, 100);
    p.halfYear = MulDiv(principal, apr, 200);
    p.quarter = MulDiv(principal, apr, 400);
    p.month = MulDiv(principal, apr, 1200);
    p.week = Accrued(principal, apr, 7 * SecondsPerDay);
    p.day = Accrued(principal, apr, SecondsPerDay);
    return p;
}

std::int64_t RentalFee(std::int64_t principal, int feePercent)
{
    return MulDiv(principal, feePercent, 100);
}

std::int64_t RentalReturn(std::int64_t principal, int feePercent)
{
    return principal - RentalFee(principal, feePercent);
}

std::int64_t PercentOf(std::int64_t amount, int percent)
{
    return MulDiv(amount, percent, 100);
}

std::int64_t DepositBonus(std::int64_t amount, std::int64_t minDeposit, int percent)
{
    return amount >= minDeposit ? MulDiv(amount, percent, 100) : 0;
}

} // namespace money
