#include "Rentals.h"

#include "AppState.h"
#include "Digest.h"
#include "DisplayText.h"
#include "NumberText.h"
#include "ServiceClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimeZone>

namespace rentals {

namespace {

[[noreturn]] void Refuse(const QString& why)
{
    throw ReplyError(QStringLiteral("The rentals could not be read: ") + why);
}

qint64 Units(const QJsonObject& o, const char* name, int i)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,10})\\.([0-9]{8})$"));
    const QJsonValue v = o.value(QLatin1String(name));
    const QRegularExpressionMatch m = form.match(v.isString() ? v.toString() : QString());
    if (!m.hasMatch()) Refuse(QStringLiteral("rental %1 has no amount \"%2\"").arg(i + 1).arg(QLatin1String(name)));
    return m.captured(1).toLongLong() * 100'000'000 + m.captured(2).toLongLong();
}

QDateTime Time(const QJsonValue& v)
{
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    if (!v.isString() || !form.match(v.toString()).hasMatch()) return {};
    QDateTime t = QDateTime::fromString(v.toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    t.setTimeSpec(Qt::UTC);
    return t;
}

qint64 Whole(const QJsonObject& o, const char* name, int i, double most)
{
    const QJsonValue v = o.value(QLatin1String(name));
    const double d = v.toDouble(-1);
    if (!v.isDouble() || d < 0 || d > most || d != double(qint64(d)))
        Refuse(QStringLiteral("rental %1 has no whole number \"%2\"").arg(i + 1).arg(QLatin1String(name)));
    return qint64(d);
}

} // namespace

List Parse(const QString& body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        const QString said = body.trimmed();
        if (!said.isEmpty() && !said.startsWith(QLatin1Char('{')) && !said.startsWith(QLatin1Char('[')))
            throw ReplyError(display::Elide(said, 300));
        Refuse(QStringLiteral("the reply is not a list of rentals"));
    }
    const QJsonValue arr = doc.object().value(QLatin1String("investments"));
    if (!arr.isArray()) Refuse(QStringLiteral("the reply is not a list of rentals"));
    if (arr.toArray().size() > MaxRentals) Refuse(QStringLiteral("too many rentals"));
    List list;
    list.time = Time(doc.object().value(QLatin1String("time")));
    if (!list.time.isValid()) Refuse(QStringLiteral("the reply has no valid time"));
    static const QRegularExpression coinForm(QStringLiteral("^[a-z0-9]{1,12}$"));
    const QJsonArray items = arr.toArray();
    for (int i = 0; i < items.size(); ++i) {
        if (!items[i].isObject()) Refuse(QStringLiteral("rental %1 is not an object").arg(i + 1));
        const QJsonObject o = items[i].toObject();
        Rental r;
        r.id = Whole(o, "id", i, 9007199254740992.0);
        r.coin = o.value(QLatin1String("coin")).toString();
        if (!coinForm.match(r.coin).hasMatch()) Refuse(QStringLiteral("rental %1 has no valid coin").arg(i + 1));
        r.principal = Units(o, "principal", i);
        r.earned = Units(o, "earned", i);
        r.dueByNow = Units(o, "due_by_now", i);
        r.totalEarnings = Units(o, "total_earnings", i);
        r.returns = Units(o, "returns", i);
        r.fee = Units(o, "fee", i);
        r.days = int(Whole(o, "days", i, 100000));
        r.start = Time(o.value(QLatin1String("start")));
        r.end = Time(o.value(QLatin1String("end")));
        if (!r.start.isValid() || !r.end.isValid() || r.end < r.start)
            Refuse(QStringLiteral("rental %1 has no valid start and end").arg(i + 1));
        const QString status = o.value(QLatin1String("status")).toString();
        if (status != QLatin1String("open") && status != QLatin1String("ended"))
            Refuse(QStringLiteral("rental %1 has an unknown status").arg(i + 1));
        r.open = status == QLatin1String("open");
        list.rentals.append(r);
    }
    return list;
}

int DaysLeft(const Rental& r, const QDateTime& now)
{
    const qint64 seconds = now.secsTo(r.end);
    if (seconds <= 0) return 0;
    return int((seconds + 86399) / 86400);
}

QStringList CardLines(const Rental& r, const QDateTime& now)
{
    const QString coin = r.coin.toUpper();
    const int left = DaysLeft(r, now);
    return {QStringLiteral("%1 %2 for %3 days").arg(numtext::FixedUnits(r.principal), coin).arg(r.days),
            left == 1 ? QStringLiteral("1 day left") : QStringLiteral("%1 days left").arg(left),
            QStringLiteral("Earned %1 of %2 %3 due by now")
                .arg(numtext::FixedUnits(r.earned), numtext::FixedUnits(r.dueByNow), coin),
            QStringLiteral("Ends %1 UTC").arg(r.end.toString(QStringLiteral("yyyy-MM-dd HH:mm"))),
            QStringLiteral("Returns %1 %2").arg(numtext::FixedUnits(r.returns), coin)};
}

bool Fetch(QObject* context, ListAnswer done)
{
    ServiceClient* service = ServiceClient::Instance();
    if (!service) return false;
    const AppState& st = State();
    return service->Post(
        QStringLiteral("investments"), ServiceClient::Channel::Account, st.SecureApiUrl(),
        FormFields{{"a", "investments"}, {"s", st.UserLogin}, {"pass", st.PassHash},
                   {"session", digest::Gen_New_Session()}},
        context,
        [done](const HttpClient::Outcome& outcome) {
            if (!outcome.ok) {
                done(nullptr, QStringLiteral("The rentals could not be loaded: ") + outcome.description);
                return;
            }
            try {
                const List l = Parse(outcome.body);
                done(&l, {});
            } catch (const ReplyError& e) {
                done(nullptr, e.message());
            }
        },
        ServiceClient::Overlap::Supersede);
}

} // namespace rentals
