#pragma once
// The lottery's draw data: two JSON files per coin on the service's host, the
// players of the current draw and the last winners, turned into the texts the
// lottery screen shows.
#include <QString>
#include <QStringList>
#include <QUrl>

struct AppState;

namespace lotto {

// How many winners the list shows at most.
constexpr int MaxWinnersShown = 10;
// Stakes are kept in millionths of a coin.
constexpr double StakeUnit = 1000000.0;
// The house keeps this share of the pot, in percent.
constexpr double HousePercent = 3.0;

// "lotto/" + coin + ".json" and "lotto/winner_" + coin + ".json" under the
// service's current base address; coinLower is one path segment.
QUrl PlayersUrl(const AppState& state, const QString& coinLower);
QUrl WinnersUrl(const AppState& state, const QString& coinLower);

// ASCII-only lower case, as the login is compared with the nicknames.
QString LowerAscii(const QString& text);

struct DrawFigures {
    QString prize;   // grand prize: the pot less 3 %, in coins, 8 decimals
    QString deposit; // the user's stake and share: "1,50000000(25,00%) TRX"
    QString players; // number of players
};

// How the service publishes a login in the lottery files: an e-mail login as
// at most its first three characters before the "@" followed by "***"
// ("alice@example.org" -> "ali***"), any other login as it is.
QString PublicName(const QString& login);

// Figures of a players file. A player is the user's when its nickname equals
// loginLower, or its published form, exactly (the nickname itself is not
// lower-cased). Throws
// json::JsonError or numtext::ConversionError when the body is not an array
// of objects with a "nickname" and a numeric "value", or the sums overflow.
DrawFigures PlayersFigures(const QString& body, const QString& loginLower, const QString& coinUpper);

// What the figures show when the players file cannot be read.
DrawFigures ZeroFigures();

// The winners list's items, three per winner (name, "+" amount, date), the
// last winner first, at most MaxWinnersShown winners. A winner's three values
// are its object's first three members in the order the file writes them.
// Throws json::JsonError or numtext::ConversionError on any malformed element.
QStringList WinnerItems(const QString& body);

// Share of the pot with two decimals: "25,00".
QString Fixed2(double value);

// "Send 5 TRX to Lotto?"
QString ConfirmText(const QString& amount, const QString& coinUpper);

QString RulesText();

} // namespace lotto
