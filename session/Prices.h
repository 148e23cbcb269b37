#pragma once
// What the coins are worth in US dollars: the service's price table
// ("prices", no login) and the values the dashboard shows, in integers.
//
// Rounding: a price is held exactly in billionths of a dollar (the service
// writes up to nine decimals). A holding's value is amount x price, cut toward
// zero to the billionth (computed in 128 bits); a total adds those exact values
// first and is cut once. What is shown is cut toward zero to the cent, so a
// shown total never claims more than the holdings are worth, and it can be
// at most one cent below the sum of what the rows would add up to.
#include <QHash>
#include <QString>
#include <functional>
#include <optional>
#include <stdexcept>

class QObject;

namespace prices {

class ReplyError : public std::runtime_error {
public:
    explicit ReplyError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// Billionths of a dollar.
using NanoUsd = qint64;
constexpr NanoUsd NanoPerUsd = 1'000'000'000;

struct Table {
    QHash<QString, NanoUsd> usd; // lower-case coin code -> price of one coin
    QString time;
};

// The most coins a table may name.
constexpr int MaxCoins = 200;

// Reads a "prices" reply; anything else (not JSON, prices that are not
// non-negative decimal texts of at most nine whole digits and nine decimals,
// odd coin codes, too many coins) is refused whole with ReplyError.
Table Parse(const QString& body);

// "60000.00" -> 60000000000000; nullopt when it is no such price.
std::optional<NanoUsd> ParsePrice(const QString& text);

// amount (units of 10^-8, not negative) x price, cut toward zero; nullopt when
// it does not fit (far beyond any real holding).
std::optional<NanoUsd> Value(qint64 amountUnits, NanoUsd price);

// "12345,67 USD": cut toward zero to the cent, "," as separator.
QString UsdText(NanoUsd value);

// Sends "prices"; done gets the table or an error text.
using TableAnswer = std::function<void(const Table* table, const QString& error)>;
bool Fetch(QObject* context, TableAnswer done);

} // namespace prices
