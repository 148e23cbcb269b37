#include "LotteryCheck.h"
#include "AppState.h"
#include "Lottery.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <limits>

namespace lotto {

namespace {

std::optional<QByteArray> SeedBytes(const QString& hex)
{
    if (hex.size() != 64) return std::nullopt;
    for (QChar c : hex)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return std::nullopt;
    return QByteArray::fromHex(hex.toLatin1());
}

} // namespace

QString Commitment(const QString& seedHex)
{
    const auto seed = SeedBytes(seedHex);
    if (!seed) return {};
    return QString::fromLatin1(QCryptographicHash::hash(*seed, QCryptographicHash::Sha256).toHex());
}

std::optional<qsizetype> PickWinner(const QString& seedHex, const QList<qint64>& stakes)
{
    const auto seed = SeedBytes(seedHex);
    if (!seed) return std::nullopt;
    quint64 total = 0;
    for (qint64 s : stakes) {
        if (s < 0) return std::nullopt;
        if (total + quint64(s) < total) return std::nullopt;
        total += quint64(s);
    }
    if (total == 0) return std::nullopt;
    // The values r may take are 0 .. 2^64-1; the top (2^64 mod total) of them
    // would favour the low x, so they are drawn again.
    const quint64 rest = (std::numeric_limits<quint64>::max() % total + 1) % total; // 2^64 mod total
    quint64 r = 0;
    for (quint32 i = 0;; ++i) {
        QByteArray block = *seed;
        block.append(char(i >> 24)).append(char(i >> 16)).append(char(i >> 8)).append(char(i));
        const QByteArray h = QCryptographicHash::hash(block, QCryptographicHash::Sha256);
        r = 0;
        for (int b = 0; b < 8; ++b) r = (r << 8) | quint8(h[b]);
        // r >= 2^64 - rest, written without 2^64.
        if (rest == 0 || r <= std::numeric_limits<quint64>::max() - rest) break;
    }
    const quint64 x = r % total;
    quint64 running = 0;
    for (qsizetype i = 0; i < stakes.size(); ++i) {
        running += quint64(stakes[i]);
        if (running > x) return i;
    }
    return std::nullopt; // unreachable: running ends at total > x
}

std::optional<qint64> StakeUnits(const QString& text)
{
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    const QString whole = dot < 0 ? text : text.left(dot);
    const QString frac = dot < 0 ? QString() : text.mid(dot + 1);
    if (whole.isEmpty() || whole.size() > 10 || frac.size() > 8 || (dot >= 0 && frac.isEmpty())) return std::nullopt;
    qint64 units = 0;
    for (QChar c : whole) {
        if (c < u'0' || c > u'9') return std::nullopt;
        units = units * 10 + (c.unicode() - u'0');
    }
    for (int i = 0; i < 8; ++i) {
        int d = 0;
        if (i < frac.size()) {
            const QChar c = frac.at(i);
            if (c < u'0' || c > u'9') return std::nullopt;
            d = c.unicode() - u'0';
        }
        units = units * 10 + d;
    }
    return units;
}

DrawCheck CheckDraw(const QJsonObject& entry, const QString& knownCommitment)
{
    DrawCheck out;
    out.draw = entry.value(QStringLiteral("draw")).toInteger(0);
    const QString seed = entry.value(QStringLiteral("seed")).toString();
    const QString commitment = entry.value(QStringLiteral("commitment")).toString();
    const QJsonValue players = entry.value(QStringLiteral("players"));
    if (seed.isEmpty() && commitment.isEmpty()) {
        out.reason = QStringLiteral("this draw published no seed");
        return out;
    }
    const QString hashed = Commitment(seed);
    if (hashed.isEmpty()) {
        out.reason = QStringLiteral("the seed is not 64 hexadecimal digits");
        return out;
    }
    if (hashed != commitment || (!knownCommitment.isEmpty() && hashed != knownCommitment)) {
        out.reason = QStringLiteral("the seed does not match the published commitment");
        return out;
    }
    if (!players.isArray() || players.toArray().isEmpty()) {
        out.reason = QStringLiteral("the players list is missing");
        return out;
    }
    QList<qint64> stakes;
    QStringList names;
    for (const QJsonValue& p : players.toArray()) {
        const auto units = StakeUnits(p.toObject().value(QStringLiteral("stake")).toString());
        if (!p.isObject() || !units) {
            out.reason = QStringLiteral("the players list is damaged");
            return out;
        }
        stakes.append(*units);
        names.append(p.toObject().value(QStringLiteral("nickname")).toString());
    }
    const auto winner = PickWinner(seed, stakes);
    if (!winner) {
        out.reason = QStringLiteral("the players list holds no stake");
        return out;
    }
    if (names.at(*winner) != entry.value(QStringLiteral("name")).toString()) {
        out.reason = QStringLiteral("the seed picks %1, not the winner shown").arg(names.at(*winner));
        return out;
    }
    out.verified = true;
    return out;
}

QList<DrawCheck> CheckShownDraws(const QString& body, const QHash<qint64, QString>& seen)
{
    QList<DrawCheck> out;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    if (!doc.isArray()) return out;
    const QJsonArray all = doc.array();
    for (qsizetype i = all.size() - 1; i >= 0 && i >= all.size() - MaxWinnersShown; --i) {
        if (!all.at(i).isObject()) {
            out.append(DrawCheck{false, 0, QStringLiteral("the entry is damaged")});
            continue;
        }
        const QJsonObject entry = all.at(i).toObject();
        out.append(CheckDraw(entry, seen.value(entry.value(QStringLiteral("draw")).toInteger(0))));
    }
    return out;
}

QString ChecksSummary(const QList<DrawCheck>& checks, const QStringList& winnerNames)
{
    if (checks.isEmpty()) return {};
    QStringList bad;
    for (qsizetype i = 0; i < checks.size(); ++i) {
        if (checks[i].verified) continue;
        const QString who = i < winnerNames.size() ? winnerNames[i] : QString();
        const QString draw = checks[i].draw > 0 ? QStringLiteral("Draw %1").arg(checks[i].draw) : QStringLiteral("A draw");
        bad << QStringLiteral("%1 (%2) is not verified: %3.").arg(draw, who, checks[i].reason);
    }
    if (bad.isEmpty())
        return checks.size() == 1 ? QStringLiteral("The draw shown is verified: its seed matches the commitment "
                                                   "published before it and picks the winner shown.")
                                  : QStringLiteral("All %1 draws shown are verified: each seed matches the commitment "
                                                   "published before the draw and picks the winner shown.")
                                        .arg(checks.size());
    return bad.join(QLatin1Char('\n'));
}

namespace {
QHash<QString, QHash<qint64, QString>>& Seen()
{
    static QHash<QString, QHash<qint64, QString>> seen;
    return seen;
}
} // namespace

QUrl DrawUrl(const AppState& state, const QString& coinLower)
{
    return state.Url(QStringLiteral("lotto/draw_") + QString::fromLatin1(QUrl::toPercentEncoding(coinLower)) +
                     QStringLiteral(".json"));
}

void NoteOpenDraw(const QString& coinLower, const QString& body)
{
    if (body.size() > 4096) return;
    const QJsonObject o = QJsonDocument::fromJson(body.toUtf8()).object();
    const qint64 draw = o.value(QStringLiteral("draw")).toInteger(0);
    const QString commitment = o.value(QStringLiteral("commitment")).toString();
    if (draw <= 0 || commitment.size() != 64) return;
    for (QChar c : commitment)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return;
    QHash<qint64, QString>& coin = Seen()[coinLower];
    // The first commitment seen for a draw is the one kept: a later, different
    // one is exactly what the check is there to catch.
    if (!coin.contains(draw) && coin.size() < 10000) coin.insert(draw, commitment);
}

QHash<qint64, QString> SeenCommitments(const QString& coinLower)
{
    return Seen().value(coinLower);
}

QString CheckText(const DrawCheck& check)
{
    return check.verified ? QStringLiteral("verified") : QStringLiteral("not verified: ") + check.reason;
}

} // namespace lotto
