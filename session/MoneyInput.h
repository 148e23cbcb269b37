#pragma once
// Amount fields of the money screens: what the user typed, read the way the
// screens compute with it.
#include <QJsonObject>
#include <QString>
#include <optional>

namespace money {

// The working copy of an amount field: every "." becomes ",". The field itself
// keeps what the user typed.
QString WorkingCopy(const QString& fieldText);

// "MAX" of the invest and withdraw screens: the coin's wallet balance from the
// account reply ("wall_" + coin, "." as decimal point) as fixed-8 text; a
// balance of at most eight decimals is taken exactly.
// Throws json::JsonError when there is no snapshot or no such member, and
// numtext::ConversionError when the balance is not a number.
QString WalletMaxText(const std::optional<QJsonObject>& account, const QString& coin);

} // namespace money
