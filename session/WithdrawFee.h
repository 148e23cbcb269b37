#pragma once
// The withdraw screen's net amount: what leaves the account after the fee.
#include <QString>
#include <QStringList>

namespace withdraw {

// The six networks; the selected text is what is stored and sent.
const QStringList& Networks();

struct NetAmount {
    QString totalText;        // fixed-8 text of amount - fee
    bool canWithdraw = false; // that text, parsed back, is above zero
};

// fee = amount / 100 * percent + fixed fee; net = amount - fee. The amount is
// the field's text with "." read as ","; the fixed fee is a number text in
// the process-wide format (general form, "5E-6" included). Throws
// numtext::ConversionError when either text is not a number (an empty
// amount included).
NetAmount NetAfterFee(const QString& amountField, const QString& fixedFee, int withdrawPercent);

} // namespace withdraw
