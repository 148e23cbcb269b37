#pragma once
// The swap screen's quote: the server's "to" amount for a "from" amount, the
// price derived from it, and the local reverse conversion.
#include "NumberText.h"

#include <QString>

namespace swapquote {

// A quote reply that is not a number: the service's own words (a refusal such
// as "Please choose two different coins,"), to be shown as they are.
class ServiceText : public numtext::ConversionError {
public:
    explicit ServiceText(const QString& body) : numtext::ConversionError(body) {}
};

struct Quote {
    QString quoted;    // the reply with every "." as ",": the "to" amount shown
    QString swapRate;  // from-coins per to-coin, general format
    QString priceText; // to-coins per from-coin, fixed-8
};

// body: the quote reply, a decimal text with "."; amountField: the "from"
// amount as typed, with "." or "," (so "0.5" and "0,5" are the same). Throws
// ServiceText when a non-empty body is not a number, numtext::ConversionError
// when the body is empty or the amount is not a number, and std::domain_error
// when a zero makes the rate or the price undefined.
Quote ReadQuote(const QString& body, const QString& amountField);

// The quoted amount as the "to" field shows it: at most eight decimals, the
// rest cut off; a text with eight or fewer stays as it is.
QString ShownAmount(const QString& quoted);

// The "from" amount for a typed "to" amount at the last quote's rate, in
// general format. Both texts are read with "." as ",". Throws
// numtext::ConversionError when either is not a number.
QString ReverseAmount(const QString& swapRate, const QString& toField);

// The same as an amount the service takes: at most eight decimals, rounded
// down (numtext::Truncated8), never in exponent form.
QString ReverseAmountToSend(const QString& swapRate, const QString& toField);

// "Price ETH:"
QString PriceCaption(const QString& fromCoin);

} // namespace swapquote
