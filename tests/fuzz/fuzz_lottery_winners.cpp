// The lottery's winners file and the list items made from it.
#include "FuzzSupport.h"
#include "Json.h"
#include "Lottery.h"
#include "NumberText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString body = fuzz::Text(data, size);
    QStringList items;
    try {
        items = lotto::WinnerItems(body);
    } catch (const json::JsonError&) {
        return 0;
    } catch (const numtext::ConversionError&) {
        return 0;
    }

    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    Check(doc.isArray(), "items only from an array");
    const QJsonArray winners = doc.array();
    const qsizetype shown = std::min<qsizetype>(winners.size(), lotto::MaxWinnersShown);
    Check(items.size() == 3 * shown, "three items per winner shown");

    for (qsizetype k = 0; k < shown; ++k) {
        // The last winner first.
        const QJsonObject winner = winners.at(winners.size() - 1 - k).toObject();
        Check(winner.size() >= 1, "a shown winner is an object with members");
        const QString& amount = items.at(3 * k + 1);
        Check(amount.startsWith(QLatin1Char('+')), "amounts start with '+'");
        try {
            Check(std::isfinite(numtext::ParseNumber(amount.mid(1))), "a finite amount");
        } catch (const numtext::ConversionError&) {
            Check(false, "the amount reads back");
        }
    }
    return 0;
}
