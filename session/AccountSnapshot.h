#pragma once
// Display texts of every coin's amounts, derived once per account reply.
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

namespace snapshot {

// The five amount members of a coin, in the order they are added.
const QStringList& AmountPrefixes();

// Fills 'balance' coin by coin (catalogue order) with fixed-8 texts of the
// account's amounts. A coin is added only when all five convert; on the first
// failure it throws, leaving the earlier coins in 'balance'.
void DeriveBalance(const QJsonObject& account, const QJsonArray& coinNames, QJsonObject& balance);

} // namespace snapshot
