#pragma once
// The swap screen's quote: the server's "to" amount for a "from" amount, the
// price derived from it, and the local reverse conversion.
#include <QString>

namespace swapquote {

struct Quote {
    QString quoted;    // the reply with every "." as ",": the "to" amount shown
    QString swapRate;  // from-coins per to-coin, general format
    QString priceText; // to-coins per from-coin, fixed-8
};

// body: the quote reply, a decimal text with "."; amountField: the "from"
// amount exactly as typed (parsed unchanged, so "0.5" fails). Throws
// numtext::ConversionError when either is not a number, and
// std::domain_error when a zero makes the rate or the price undefined.
Quote ReadQuote(const QString& body, const QString& amountField);

// The "from" amount for a typed "to" amount at the last quote's rate, in
// general format. Both texts are read with "." as ",". Throws
// numtext::ConversionError when either is not a number.
QString ReverseAmount(const QString& swapRate, const QString& toField);

// "Price ETH:"
QString PriceCaption(const QString& fromCoin);

} // namespace swapquote
