// The lottery's players file and the draw figures made from it. Input: the
// user's login on the first line, the file after it.
#include "FuzzSupport.h"
#include "Json.h"
#include "Lottery.h"
#include "NumberText.h"

#include <QJsonArray>
#include <QJsonDocument>

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto [login, body] = fuzz::SplitFirstLine(fuzz::Text(data, size));
    const QString loginLower = lotto::LowerAscii(login);
    Check(loginLower.size() == login.size(), "lower case keeps the length");

    lotto::DrawFigures f;
    try {
        f = lotto::PlayersFigures(body, loginLower, QStringLiteral("TRX"));
    } catch (const json::JsonError&) {
        return 0;
    } catch (const numtext::ConversionError&) {
        return 0;
    }

    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    Check(doc.isArray(), "figures only from an array");
    Check(f.players == QString::number(doc.array().size()), "one player per element");

    double prize = 0;
    double mine = 0;
    try {
        prize = numtext::ParseNumber(f.prize);
        const qsizetype open = f.deposit.indexOf(QLatin1Char('('));
        Check(open > 0 && f.deposit.endsWith(QStringLiteral("%) TRX")), "stake and share layout");
        mine = numtext::ParseNumber(f.deposit.left(open));
        const double share = numtext::ParseNumber(f.deposit.mid(open + 1, f.deposit.size() - open - 7));
        Check(share >= 0, "no negative share");
    } catch (const numtext::ConversionError&) {
        Check(false, "the figures read back as numbers");
    }
    Check(std::isfinite(prize) && std::isfinite(mine), "finite figures");

    // Sums recomputed from the parsed file agree with the figures.
    double total = 0;
    double own = 0;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject player = v.toObject();
        const double value = numtext::ParseAmount(json::MemberText(player, QStringLiteral("value")));
        total += value;
        if (json::MemberText(player, QStringLiteral("nickname")) == loginLower) own += value;
    }
    const double expectedPrize = (total - total / 100 * lotto::HousePercent) / lotto::StakeUnit;
    Check(fuzz::Near(prize, expectedPrize, 1e-14, 5e-9), "the prize is the pot less the house's share");
    Check(fuzz::Near(mine, own / lotto::StakeUnit, 1e-14, 5e-9), "the stake is the user's");
    return 0;
}
