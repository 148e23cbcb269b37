// Over random amounts: does the withdraw screen's net equal the net the
// service queues, and the invest screen's day the day the service credits?
// Prints the counts for the client's figure functions and, beside them, for
// the floating-point arithmetic the client used before (amount / 100 x
// percent, a day as a 336th of the year).
#include "Figures.h"
#include "InvestCalc.h"
#include "Money.h"
#include "NumberText.h"
#include "WalletFigures.h"
#include "WithdrawFee.h"

#include <QRandomGenerator>

#include <cstdio>
#include <cstdlib>

namespace {

struct Coin {
    const char* code;
    const char* minWithdraw; // as the settings carry it, with ","
    std::int64_t minWithdrawUnits;
    int apr;
};
constexpr Coin Coins[] = {{"DOGE", "20", 2'000'000'000, 15}, {"BTC", "0,0005", 50'000, 8}, {"USDT", "5", 500'000'000, 10}};
constexpr int WithdrawPercent = 2;

// Up to ten whole digits and eight decimals, as a user could type.
std::int64_t RandomAmount(QRandomGenerator& rng, QString* text)
{
    const int wholeDigits = rng.bounded(1, 11);
    std::int64_t whole = 0;
    for (int i = 0; i < wholeDigits; ++i) whole = whole * 10 + rng.bounded(10);
    const std::int64_t frac = rng.bounded(100'000'000);
    *text = QString::number(whole) + QLatin1Char(',') + QStringLiteral("%1").arg(frac, 8, 10, QLatin1Char('0'));
    return whole * money::Unit + frac;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    QRandomGenerator rng(20261211);
    int netSame = 0, netSameBefore = 0, daySame = 0, daySameBefore = 0;
    for (int i = 0; i < count; ++i) {
        const Coin& coin = Coins[i % 3];
        QString typed;
        const std::int64_t amount = RandomAmount(rng, &typed);

        // Withdrawal: the service's split against the screen's text.
        const auto split = money::SplitWithdrawal(amount, WithdrawPercent, money::WithdrawFixedFee(coin.minWithdrawUnits));
        const QString queued = numtext::FixedUnits(split.net);
        const QString fixedFee = figures::WithdrawFixedFee(QString::fromLatin1(coin.minWithdraw));
        netSame += withdraw::NetAfterFee(typed, fixedFee, WithdrawPercent).totalText == queued;
        const double before = numtext::ParseNumber(typed);
        netSameBefore +=
            numtext::Fixed8(before - (before / 100 * WithdrawPercent + numtext::ParseNumber(fixedFee))) == queued;

        // Earnings: one day of the service's accrual against the screen's day.
        const QString credited = numtext::FixedUnits(money::Accrued(amount, coin.apr, money::SecondsPerDay));
        daySame += numtext::FixedUnits(invest::EarningsFor(amount, coin.apr).day) == credited;
        daySameBefore += numtext::Fixed8(before / 100 * coin.apr / 336) == credited;
    }
    std::printf("amounts: %d (DOGE, BTC, USDT in turn; up to ten whole digits and eight decimals)\n", count);
    std::printf("withdraw net shown == net queued:  %d now, %d with the former floating-point figures\n", netSame,
                netSameBefore);
    std::printf("projected day == day credited:     %d now, %d with the former floating-point figures\n", daySame,
                daySameBefore);
    return netSame == count && daySame == count ? 0 : 1;
}
