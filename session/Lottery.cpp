#include "Lottery.h"
#include "AppState.h"
#include "Json.h"
#include "NumberText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace lotto {

namespace {

QString Segment(const QString& text)
{
    // A coin code from the server must not reach another path or a query.
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QJsonArray ParseArray(const QString& body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        throw json::JsonError(
            QStringLiteral("invalid JSON at offset %1: %2").arg(error.offset).arg(error.errorString()));
    if (!doc.isArray()) throw json::JsonError(QStringLiteral("the file is not a JSON array"));
    return doc.array();
}

// The parsed objects forget the order of their members, and the winners file
// is read by position. This walks the raw text, already known to be valid
// JSON, to find where each value starts and ends.
class Scanner {
public:
    explicit Scanner(const QByteArray& text) : m_text(text) {}

    void SkipBlanks()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text.at(m_pos);
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
            ++m_pos;
        }
    }
    bool At(char c)
    {
        SkipBlanks();
        return m_pos < m_text.size() && m_text.at(m_pos) == c;
    }
    void Expect(char c)
    {
        if (!At(c)) throw json::JsonError(QStringLiteral("unexpected character in the winners file"));
        ++m_pos;
    }

    // The text of the value that starts here, leaving the position after it.
    QByteArray Value()
    {
        SkipBlanks();
        const qsizetype start = m_pos;
        int depth = 0;
        while (m_pos < m_text.size()) {
            const char c = m_text.at(m_pos);
            if (c == '"') {
                SkipString();
                if (depth == 0) break;
                continue;
            }
            if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (depth == 0) break;
                if (--depth == 0) {
                    ++m_pos;
                    break;
                }
            } else if (depth == 0 && (c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
                break;
            }
            ++m_pos;
        }
        return m_text.mid(start, m_pos - start);
    }

private:
    void SkipString()
    {
        ++m_pos; // opening quote
        while (m_pos < m_text.size()) {
            const char c = m_text.at(m_pos++);
            if (c == '\\')
                ++m_pos;
            else if (c == '"')
                return;
        }
    }

    const QByteArray& m_text;
    qsizetype m_pos = 0;
};

// The raw texts of the array's elements.
QList<QByteArray> ElementTexts(const QByteArray& text)
{
    QList<QByteArray> elements;
    Scanner scan(text);
    scan.Expect('[');
    if (scan.At(']')) return elements;
    for (;;) {
        elements.append(scan.Value());
        if (scan.At(']')) break;
        scan.Expect(',');
    }
    return elements;
}

QJsonValue ParseValue(const QByteArray& text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray("[") + text + QByteArray("]"));
    if (!doc.isArray() || doc.array().size() != 1) throw json::JsonError(QStringLiteral("malformed winners file"));
    return doc.array().at(0);
}

// An object's member values in the order the text writes them.
QList<QJsonValue> MemberValuesInOrder(const QByteArray& objectText)
{
    QList<QJsonValue> values;
    Scanner scan(objectText);
    if (!scan.At('{')) throw json::JsonError(QStringLiteral("a winner is not a JSON object"));
    scan.Expect('{');
    if (scan.At('}')) return values;
    for (;;) {
        scan.Value(); // the member's name
        scan.Expect(':');
        values.append(ParseValue(scan.Value()));
        if (scan.At('}')) break;
        scan.Expect(',');
    }
    return values;
}

} // namespace

QUrl PlayersUrl(const AppState& state, const QString& coinLower)
{
    return state.Url(QStringLiteral("lotto/") + Segment(coinLower) + QStringLiteral(".json"));
}

QUrl WinnersUrl(const AppState& state, const QString& coinLower)
{
    return state.Url(QStringLiteral("lotto/winner_") + Segment(coinLower) + QStringLiteral(".json"));
}

QString LowerAscii(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() + ('a' - 'A'));
    return out;
}

QString PublicName(const QString& login)
{
    const qsizetype at = login.indexOf(QLatin1Char('@'));
    if (at < 0) return login;
    // Characters, not UTF-16 units: a character outside the BMP counts once.
    qsizetype end = 0;
    for (int chars = 0; chars < 3 && end < at; ++chars)
        end += (login.at(end).isHighSurrogate() && end + 1 < at && login.at(end + 1).isLowSurrogate()) ? 2 : 1;
    return login.left(end) + QStringLiteral("***");
}

QString Fixed2(double value)
{
    if (std::fabs(value) < 0.005) value = 0.0; // no "-0,00"
    QString s = QString::number(value, 'f', 2);
    s.replace(QLatin1Char('.'), QLatin1Char(','));
    return s;
}

DrawFigures PlayersFigures(const QString& body, const QString& loginLower, const QString& coinUpper)
{
    const QJsonArray players = ParseArray(body);
    double total = 0;
    double mine = 0;
    const QString published = PublicName(loginLower);
    for (qsizetype i = 0; i < players.size(); ++i) {
        const QJsonObject player = json::AsObject(players.at(i), QStringLiteral("player %1").arg(i));
        const QString nickname = json::MemberText(player, QStringLiteral("nickname"));
        const double value = numtext::ParseAmount(json::MemberText(player, QStringLiteral("value")));
        total += value;
        if (nickname == loginLower || nickname == published) mine += value;
    }
    if (!std::isfinite(total) || !std::isfinite(mine))
        throw numtext::ConversionError(QStringLiteral("the stakes do not add up to a number"));

    const double prize = total - total / 100 * HousePercent;
    double share = mine / total * 100;
    // An empty pot gives 0 / 0; stakes that cancel out give infinity.
    if (!(share >= 0) || !std::isfinite(share)) share = 0;

    DrawFigures figures;
    figures.prize = numtext::Fixed8(prize / StakeUnit);
    figures.deposit =
        numtext::Fixed8(mine / StakeUnit) + QLatin1Char('(') + Fixed2(share) + QStringLiteral("%) ") + coinUpper;
    figures.players = QString::number(players.size());
    return figures;
}

DrawFigures ZeroFigures()
{
    return {QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
}

QStringList WinnerItems(const QString& body)
{
    const QByteArray text = body.toUtf8();
    const qsizetype n = ParseArray(body).size(); // validates the whole file first
    const QList<QByteArray> elements = ElementTexts(text);
    if (elements.size() != n) throw json::JsonError(QStringLiteral("malformed winners file"));

    QStringList items;
    for (qsizetype i = n - 1; i >= 0 && i >= n - MaxWinnersShown; --i) {
        const QList<QJsonValue> values = MemberValuesInOrder(elements.at(i));
        if (values.size() < 3)
            throw json::JsonError(QStringLiteral("winner %1 has %2 members, not 3").arg(i).arg(values.size()));
        items << json::Text(values.at(0));
        items << QLatin1Char('+') + numtext::Fixed8(numtext::ParseAmount(json::Text(values.at(1))));
        items << json::Text(values.at(2));
    }
    return items;
}

QString ConfirmText(const QString& amount, const QString& coinUpper)
{
    return QStringLiteral("Send ") + amount + QLatin1Char(' ') + coinUpper + QStringLiteral(" to Lotto?");
}

QString RulesText()
{
    return QStringLiteral("L0ttery is a lottery that pays out to the one who made the most of the deposit. The more "
                          "you deposit, the higher the winning percentage. The draw takes place every 24h at 00:00, "
                          "when 20 Users are recruited, they buy a ticket.");
}

} // namespace lotto
