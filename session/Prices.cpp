#include "Prices.h"

#include "AppState.h"
#include "Digest.h"
#include "DisplayText.h"
#include "ServiceClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include "Money.h"

namespace prices {

std::optional<NanoUsd> ParsePrice(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,9})(?:\\.([0-9]{1,9}))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QString decimals = m.captured(2).leftJustified(9, QLatin1Char('0'));
    return m.captured(1).toLongLong() * NanoPerUsd + decimals.toLongLong();
}

Table Parse(const QString& body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        const QString said = body.trimmed();
        if (!said.isEmpty() && !said.startsWith(QLatin1Char('{')) && !said.startsWith(QLatin1Char('[')))
            throw ReplyError(display::Elide(said, 300));
        throw ReplyError(QStringLiteral("The prices could not be read: the reply is not a price table"));
    }
    const QJsonValue usd = doc.object().value(QLatin1String("usd"));
    if (!usd.isObject()) throw ReplyError(QStringLiteral("The prices could not be read: no dollar prices"));
    const QJsonObject list = usd.toObject();
    if (list.size() > MaxCoins) throw ReplyError(QStringLiteral("The prices could not be read: too many coins"));
    static const QRegularExpression coinForm(QStringLiteral("^[a-z0-9]{1,12}$"));
    Table t;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (!coinForm.match(it.key()).hasMatch())
            throw ReplyError(QStringLiteral("The prices could not be read: a coin code is not valid"));
        const std::optional<NanoUsd> price = it.value().isString() ? ParsePrice(it.value().toString()) : std::nullopt;
        if (!price)
            throw ReplyError(QStringLiteral("The prices could not be read: the price of %1 is not a price")
                                 .arg(it.key().toUpper()));
        t.usd.insert(it.key(), *price);
    }
    const QJsonValue time = doc.object().value(QLatin1String("time"));
    if (time.isString()) t.time = display::Elide(time.toString(), 40);
    return t;
}

std::optional<NanoUsd> Value(qint64 amountUnits, NanoUsd price)
{
    if (amountUnits < 0 || price < 0) return std::nullopt;
    return money::CheckedMulDiv(amountUnits, price, money::Unit);
}

QString UsdText(NanoUsd value)
{
    const bool negative = value < 0;
    const qint64 cents = (negative ? -(value / 10'000'000) : value / 10'000'000);
    return QStringLiteral("%1%2,%3 USD")
        .arg(negative && cents ? QStringLiteral("-") : QString())
        .arg(cents / 100)
        .arg(cents % 100, 2, 10, QLatin1Char('0'));
}

bool Fetch(QObject* context, TableAnswer done)
{
    ServiceClient* service = ServiceClient::Instance();
    if (!service) return false;
    // The dollar figures sit beside the balances: they never follow the
    // settings' fallback to plain HTTP, where anyone on the way could rewrite them.
    return service->Post(
        QStringLiteral("prices"), ServiceClient::Channel::Account, State().SecureApiUrl(),
        FormFields{{"a", "prices"}, {"session", digest::Gen_New_Session()}}, context,
        [done](const HttpClient::Outcome& outcome) {
            if (!outcome.ok) {
                done(nullptr, QStringLiteral("The prices could not be loaded: ") + outcome.description);
                return;
            }
            try {
                const Table t = Parse(outcome.body);
                done(&t, {});
            } catch (const ReplyError& e) {
                done(nullptr, e.message());
            }
        },
        ServiceClient::Overlap::Supersede);
}

} // namespace prices
