// The settings reply, read the way the login screen reads it, and the
// figures the dashboard, deposit and withdraw screens derive from it.
#include "FuzzSupport.h"
#include "Json.h"
#include "NumberText.h"
#include "PlatformSettings.h"
#include "WalletFigures.h"

namespace {

using fuzz::Check;

// What the screens take from the limits for one coin; each step may fail
// only with the errors the readers name.
void DeriveCoinFigures(const QJsonObject& limits, int withdrawPercent, const QString& coin)
{
    try {
        const int apr = numtext::ParseWhole(json::MemberText(limits, QStringLiteral("APR_") + coin));
        const QString projection = figures::EarningsProjection(1.5, apr, settings::UpperAscii(coin));
        Check(projection.count(QStringLiteral("\r\n")) == 4, "five projection lines");
    } catch (const json::JsonError&) {
    } catch (const numtext::ConversionError&) {
    }
    try {
        const QString minimum =
            numtext::Fixed8(numtext::ParseAmount(json::MemberText(limits, QStringLiteral("Mindep_") + coin)));
        Check(!minimum.isEmpty(), "a minimum deposit text");
    } catch (const json::JsonError&) {
    } catch (const numtext::ConversionError&) {
    }
    try {
        QString minimum = json::MemberText(limits, coin);
        minimum.replace(QLatin1Char('.'), QLatin1Char(','));
        const QString fee = figures::WithdrawFixedFee(minimum);
        const QString text = figures::WithdrawFeeText(fee, withdrawPercent);
        Check(text.startsWith(fee + QLatin1Char('+')) && text.endsWith(QLatin1Char('%')), "fee text layout");
    } catch (const json::JsonError&) {
    } catch (const numtext::ConversionError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString body = fuzz::Text(data, size);
    // Any other body is not a settings object and is ignored.
    if (!body.startsWith(QLatin1Char('{'))) return 0;

    settings::Platform state;
    QStringList shownCodes;
    bool filled = false;
    bool complete = false;
    try {
        const QJsonObject reply = json::ParseObject(body);
        settings::ApplyReply(reply, state, [&](const QStringList& codes) {
            shownCodes = codes;
            filled = true;
        });
        complete = true;
    } catch (const json::JsonError&) {
    } catch (const numtext::ConversionError&) {
    }

    if (filled) {
        Check(state.CoinNames.has_value(), "the catalogue is stored before the lists are filled");
        Check(shownCodes.size() == state.CoinNames->size(), "one list entry per coin");
        for (qsizetype i = 0; i < shownCodes.size(); ++i) {
            const QString code = json::Text(state.CoinNames->at(i));
            Check(shownCodes.at(i) == settings::UpperAscii(code), "codes shown in ASCII upper case");
            Check(shownCodes.at(i).size() == code.size(), "upper case keeps the length");
        }
    }
    if (!complete) return 0;

    Check(state.MinWithdrawJson && state.CoinNames && state.CoinFullNames, "a complete reply stores all three");
    Check(state.CoinFullNames->size() == state.CoinNames->size(), "a full name per coin");
    Check(state.WithdrawPercent ==
              numtext::ParseWhole(json::MemberText(*state.MinWithdrawJson, QStringLiteral("perc_withdraw"))),
          "the withdrawal percentage is the limits' one");
    // A handful of coins is enough to reach every derivation.
    for (qsizetype i = 0; i < state.CoinNames->size() && i < 8; ++i)
        DeriveCoinFigures(*state.MinWithdrawJson, state.WithdrawPercent, json::Text(state.CoinNames->at(i)));
    return 0;
}
