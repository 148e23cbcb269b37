#pragma once
// Anyone can check a lottery draw from the winners file: the revealed seed's
// SHA-256 must be the commitment published while the draw was open, and the
// winner must be the one the seed picks from the final players list:
//   total = the sum of the stakes in 10^-8 coin; for i = 0, 1, 2, ...
//   r = first 8 bytes (big-endian) of SHA-256(seed || i as 4 bytes big-endian),
//   skipped when r >= 2^64 - (2^64 mod total); x = r mod total;
//   the winner is the first player whose running sum of stakes exceeds x.
#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

struct AppState;

namespace lotto {

// The index of the winning stake, or nullopt when the seed is not 32 bytes of
// lower-case hex or the stakes sum to nothing (or overflow).
std::optional<qsizetype> PickWinner(const QString& seedHex, const QList<qint64>& stakes);

// SHA-256 of the seed's 32 bytes as 64 lower-case hex digits; empty for a bad seed.
QString Commitment(const QString& seedHex);

// "12.50000000" as units of 10^-8; nullopt for anything else (signs, exponents,
// more than eight decimals, overflow).
std::optional<qint64> StakeUnits(const QString& text);

struct DrawCheck {
    bool verified = false;
    qint64 draw = 0;
    QString reason; // why it does not verify; empty when verified
};

// Checks one entry of the winners file. knownCommitment, when given, is what
// the open draw's file published for this draw while it was open; the entry's
// own "commitment" must equal it too.
DrawCheck CheckDraw(const QJsonObject& entry, const QString& knownCommitment = {});

// What the screen says about a draw: "verified" or "not verified: " + reason.
QString CheckText(const DrawCheck& check);

// The checks of the winners the lottery screen lists, in its order (the last
// winner first, at most MaxWinnersShown). seen: the commitments this client
// read while those draws were open (draw number -> commitment). Empty when
// the body is not a JSON array; an element that is not an object does not verify.
QList<DrawCheck> CheckShownDraws(const QString& body, const QHash<qint64, QString>& seen = {});

// One text for the screen: all verified, or each draw that does not verify and why.
QString ChecksSummary(const QList<DrawCheck>& checks, const QStringList& winnerNames);

// "lotto/draw_" + coin + ".json": the open draw's number and commitment.
QUrl DrawUrl(const AppState& state, const QString& coinLower);

// The open draws' commitments as this client saw them during the run
// (lotto/draw_<coin>.json), so a winners file rewritten later cannot pass.
void NoteOpenDraw(const QString& coinLower, const QString& body);
QHash<qint64, QString> SeenCommitments(const QString& coinLower);

} // namespace lotto
