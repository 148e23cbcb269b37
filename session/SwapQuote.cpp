#include "SwapQuote.h"
#include "MoneyInput.h"
#include "NumberText.h"

#include <QRegularExpression>
#include <cmath>
#include <stdexcept>

namespace swapquote {

Quote ReadQuote(const QString& body, const QString& amountField)
{
    Quote q;
    q.quoted = money::WorkingCopy(body);
    double quoted = 0;
    try {
        quoted = numtext::ParseNumber(q.quoted);
    } catch (const numtext::ConversionError&) {
        if (body.trimmed().isEmpty()) throw;
        throw ServiceText(body);
    }
    const double amount = numtext::ParseAmount(amountField);
    // A zero on either side would put "INF" or "NAN" on screen as a price.
    if (quoted == 0 || amount == 0) throw std::domain_error("Floating point division by zero");
    const double rate = amount / quoted;
    const double price = quoted / amount;
    if (!std::isfinite(rate) || !std::isfinite(price)) throw std::domain_error("Floating point overflow");
    q.swapRate = numtext::General(rate);
    q.priceText = numtext::Fixed8(price);
    return q;
}

QString ReverseAmount(const QString& swapRate, const QString& toField)
{
    const double rate = numtext::ParseAmount(swapRate);
    const double to = numtext::ParseAmount(toField);
    const double from = rate * to;
    if (!std::isfinite(from)) throw std::domain_error("Floating point overflow");
    return numtext::General(from);
}

QString ShownAmount(const QString& quoted)
{
    static const QRegularExpression plain(QStringLiteral(R"(^\d+(,\d{0,8})?$)"));
    if (plain.match(quoted).hasMatch()) return quoted;
    return numtext::Truncated8(numtext::ParseAmount(quoted));
}

QString ReverseAmountToSend(const QString& swapRate, const QString& toField)
{
    return numtext::Truncated8(numtext::ParseNumber(ReverseAmount(swapRate, toField)));
}

QString PriceCaption(const QString& fromCoin)
{
    return QStringLiteral("Price ") + fromCoin + QLatin1Char(':');
}

} // namespace swapquote
