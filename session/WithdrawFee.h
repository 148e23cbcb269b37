#pragma once
// The withdraw screen's net amount: what leaves the account after the fee.
#include <QString>
#include <QStringList>

namespace withdraw {

// The six networks; the selected text is what is stored and sent.
const QStringList& Networks();

struct NetAmount {
    QString totalText;        // fixed-8 text of amount - fee
    bool canWithdraw = false; // the net is above zero
};

// The service's split in units of 10^-8: fee = amount x percent / 100 (rounded
// toward zero) + fixed fee; net = amount - fee, so the net shown is the net the
// service queues. The amount is the field's text as typed ("." or ",", at most
// eight decimals); the fixed fee is a number text in the process-wide format
// (general form, "5E-6" included, cut to eight decimals). Throws
// numtext::ConversionError when either text is not such a number (an empty
// amount included).
NetAmount NetAfterFee(const QString& amountField, const QString& fixedFee, int withdrawPercent);

} // namespace withdraw
