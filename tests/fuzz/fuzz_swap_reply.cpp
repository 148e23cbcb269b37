// The swap quote reply against the amount the user typed, and the reverse
// conversion at the rate it gives. Input: the typed amount on the first line,
// the reply after it; a third part after another line break is a typed "to"
// amount for the reverse conversion.
#include "FuzzSupport.h"
#include "MoneyInput.h"
#include "NumberText.h"
#include "SwapQuote.h"

#include <stdexcept>

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto [amountField, rest] = fuzz::SplitFirstLine(fuzz::Text(data, size));
    const auto [body, toField] = fuzz::SplitFirstLine(rest);

    swapquote::Quote q;
    try {
        q = swapquote::ReadQuote(body, amountField);
    } catch (const numtext::ConversionError&) {
        return 0;
    } catch (const std::domain_error&) {
        return 0;
    }

    Check(q.quoted == money::WorkingCopy(body), "the quoted amount is the reply with ','");
    const double quoted = numtext::ParseNumber(q.quoted);
    const double amount = numtext::ParseAmount(amountField);
    Check(quoted != 0 && amount != 0, "no quote from a zero");

    double rate = 0;
    double price = 0;
    try {
        rate = numtext::ParseNumber(q.swapRate);
        price = numtext::ParseNumber(q.priceText);
    } catch (const numtext::ConversionError&) {
        Check(false, "rate and price read back");
    }
    Check(fuzz::Near(rate, amount / quoted, 1e-14, 1e-300), "the rate is from-coins per to-coin");
    Check(fuzz::Near(price, quoted / amount, 1e-14, 5e-9), "the price is to-coins per from-coin");

    // Converting the quoted amount back gives the typed amount again.
    try {
        const double from = numtext::ParseNumber(swapquote::ReverseAmount(q.swapRate, q.quoted));
        Check(fuzz::Near(from, amount, 1e-13, 1e-300), "the reverse conversion undoes the quote");
    } catch (const std::domain_error&) {
        // rate * quoted overflowing: only when the rounded rate pushes it past the largest double
        Check(std::fabs(amount) > 1e307, "the reverse conversion overflows only at the edge");
    }
    if (!toField.isEmpty()) {
        try {
            const QString from = swapquote::ReverseAmount(q.swapRate, toField);
            Check(!from.contains(QLatin1Char('.')), "the reverse amount is in the client's format");
            Check(std::isfinite(numtext::ParseNumber(from)), "the reverse amount reads back");
        } catch (const numtext::ConversionError&) {
        } catch (const std::domain_error&) {
        }
    }
    return 0;
}
