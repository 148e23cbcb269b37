#include "History.h"

#include "AppState.h"
#include "Digest.h"
#include "DisplayText.h"
#include "NumberText.h"
#include "ServiceClient.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <cmath>
#include <limits>

namespace history {

namespace {

// JSON numbers are doubles: ids past 2^53 cannot be told apart.
constexpr double MaxExactId = 9007199254740992.0;

[[noreturn]] void Refuse(const QString& why)
{
    throw ReplyError(QStringLiteral("The history could not be read: ") + why);
}

qint64 Id(const QJsonValue& v, const QString& what)
{
    if (!v.isDouble()) Refuse(what + QStringLiteral(" is not a number"));
    const double d = v.toDouble();
    if (!(d >= 1 && d <= MaxExactId) || std::floor(d) != d) Refuse(what + QStringLiteral(" is not an id"));
    return qint64(d);
}

QString Text(const QJsonObject& o, const char* name, int index)
{
    const QJsonValue v = o.value(QLatin1String(name));
    if (!v.isString())
        Refuse(QStringLiteral("item %1 has no text \"%2\"").arg(index + 1).arg(QLatin1String(name)));
    return v.toString();
}

// "-0.50000000": a sign, at most ten whole digits, "." and exactly eight decimals.
qint64 Amount(const QString& text, const char* name, int index)
{
    static const QRegularExpression form(QStringLiteral("^(-?)([0-9]{1,10})\\.([0-9]{8})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) Refuse(QStringLiteral("item %1 has no amount in \"%2\"").arg(index + 1).arg(QLatin1String(name)));
    const qint64 units = m.captured(2).toLongLong() * 100'000'000 + m.captured(3).toLongLong();
    return m.captured(1).isEmpty() ? units : -units;
}

} // namespace

const QStringList& Kinds()
{
    static const QStringList kinds{"deposit",  "withdraw", "invest",        "earning",    "return",    "swap_out",
                                   "swap_in",  "faucet",   "referral",      "lottery_stake", "lottery_win"};
    return kinds;
}

const QStringList& Statuses()
{
    static const QStringList statuses{"done", "pending", "sent", "failed"};
    return statuses;
}

Page ParsePage(const QString& body, const QString& coin, qint64 before)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        // The service refuses with a plain text; anything else is no page.
        const QString said = body.trimmed();
        if (!said.isEmpty() && !said.startsWith(QLatin1Char('{')) && !said.startsWith(QLatin1Char('[')))
            throw ReplyError(display::Elide(said, 300));
        Refuse(QStringLiteral("the reply is not a page"));
    }
    const QJsonObject root = doc.object();
    const QJsonValue itemsValue = root.value(QLatin1String("items"));
    if (!itemsValue.isArray()) Refuse(QStringLiteral("the reply has no item list"));
    const QJsonArray items = itemsValue.toArray();
    if (items.size() > MaxPageItems) Refuse(QStringLiteral("the page has %1 items").arg(items.size()));

    static const QRegularExpression coinForm(QStringLiteral("^[a-z0-9]{1,12}$"));
    static const QRegularExpression timeForm(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    Page page;
    page.items.reserve(items.size());
    qint64 below = before > 0 ? before : std::numeric_limits<qint64>::max();
    for (int i = 0; i < items.size(); ++i) {
        if (!items[i].isObject()) Refuse(QStringLiteral("item %1 is not an object").arg(i + 1));
        const QJsonObject o = items[i].toObject();
        Item item;
        item.id = Id(o.value(QLatin1String("id")), QStringLiteral("the id of item %1").arg(i + 1));
        if (item.id >= below) Refuse(QStringLiteral("item %1 is out of order").arg(i + 1));
        below = item.id;
        item.time = Text(o, "time", i);
        if (!timeForm.match(item.time).hasMatch() ||
            !QDateTime::fromString(item.time, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid())
            Refuse(QStringLiteral("item %1 has no valid time").arg(i + 1));
        item.kind = Text(o, "kind", i);
        if (!Kinds().contains(item.kind)) Refuse(QStringLiteral("item %1 has an unknown kind").arg(i + 1));
        item.coin = Text(o, "coin", i);
        if (!coinForm.match(item.coin).hasMatch()) Refuse(QStringLiteral("item %1 has no valid coin").arg(i + 1));
        if (!coin.isEmpty() && item.coin != coin)
            Refuse(QStringLiteral("item %1 is of another coin than asked for").arg(i + 1));
        item.amount = Amount(Text(o, "amount", i), "amount", i);
        item.fee = Amount(Text(o, "fee", i), "fee", i);
        item.status = Text(o, "status", i);
        if (!Statuses().contains(item.status)) Refuse(QStringLiteral("item %1 has an unknown status").arg(i + 1));
        const QJsonValue detail = o.value(QLatin1String("detail"));
        if (detail.isString())
            item.detail = detail.toString();
        else if (!detail.isNull() && !detail.isUndefined())
            Refuse(QStringLiteral("item %1 has a detail that is not a text").arg(i + 1));
        if (item.detail.size() > MaxDetailChars) Refuse(QStringLiteral("item %1 has an overlong detail").arg(i + 1));
        page.items.append(item);
    }
    const QJsonValue next = root.value(QLatin1String("next"));
    if (next.isNull()) {
        page.next.reset();
    } else if (next.isUndefined()) {
        Refuse(QStringLiteral("the reply does not say whether more follows"));
    } else {
        page.next = Id(next, QStringLiteral("the next page"));
        // A next page must lie below what this one showed, or paging would never end.
        if (page.items.isEmpty() || *page.next > page.items.last().id)
            Refuse(QStringLiteral("the next page is not below this one"));
    }
    return page;
}

FormFields Request(const QString& login, const QString& pass, const QString& token, const QString& coin,
                   qint64 before, int limit)
{
    FormFields f{{"a", "history"}, {"s", login}, {"pass", pass}};
    if (!coin.isEmpty()) f.append({"coin", coin});
    if (before > 0) f.append({"before", QString::number(before)});
    if (limit > 0) f.append({"limit", QString::number(limit)});
    f.append({"session", token});
    return f;
}

bool Fetch(const QString& action, const QString& coin, qint64 before, int limit, QObject* context, PageAnswer done)
{
    ServiceClient* service = ServiceClient::Instance();
    if (!service) return false;
    const AppState& st = State();
    return service->Post(
        action, ServiceClient::Channel::Account, st.SecureApiUrl(),
        Request(st.UserLogin, st.PassHash, digest::Gen_New_Session(), coin, before, limit), context,
        [done, coin, before](const HttpClient::Outcome& outcome) {
            if (!outcome.ok) {
                done(nullptr, QStringLiteral("The history could not be loaded: ") + outcome.description);
                return;
            }
            try {
                const Page page = ParsePage(outcome.body, coin, before);
                done(&page, {});
            } catch (const ReplyError& e) {
                done(nullptr, e.message());
            }
        },
        ServiceClient::Overlap::Supersede);
}

QString ShownAmount(qint64 units)
{
    return numtext::FixedUnits(units);
}

QString FileAmount(qint64 units)
{
    QString s = numtext::FixedUnits(units);
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    return s;
}

QString KindCaption(const QString& kind)
{
    static const QHash<QString, QString> captions{
        {"deposit", "Deposit"},         {"withdraw", "Withdrawal"}, {"invest", "Rental"},
        {"earning", "Earnings"},        {"return", "Rental return"}, {"swap_out", "Swap (out)"},
        {"swap_in", "Swap (in)"},       {"faucet", "Faucet"},       {"referral", "Referral"},
        {"lottery_stake", "Lottery ticket"}, {"lottery_win", "Lottery win"}};
    return captions.value(kind, kind);
}

QString StatusCaption(const QString& status)
{
    static const QHash<QString, QString> captions{
        {"done", "Done"}, {"pending", "Pending"}, {"sent", "Sent"}, {"failed", "Failed"}};
    return captions.value(status, status);
}

QList<QPair<QDate, qint64>> EarningsPerDay(const QList<Item>& items, const QString& coin, const QDate& lastDay,
                                           int days)
{
    QList<QPair<QDate, qint64>> out;
    if (days <= 0 || !lastDay.isValid()) return out;
    const QDate first = lastDay.addDays(1 - days);
    for (int i = 0; i < days; ++i) out.append({first.addDays(i), 0});
    for (const Item& it : items) {
        if (it.kind != QLatin1String("earning") || it.coin != coin) continue;
        const QDate day = QDate::fromString(it.time.left(10), QStringLiteral("yyyy-MM-dd"));
        const qint64 index = first.daysTo(day);
        // A hostile page cannot wrap a day's sum around: it stops at the limit.
        if (index >= 0 && index < days && __builtin_add_overflow(out[index].second, it.amount, &out[index].second))
            out[index].second = it.amount > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    }
    return out;
}

namespace {

QByteArray Field(QString text)
{
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\r')) ||
        text.contains(QLatin1Char('\n'))) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text.toUtf8();
}

QString Inert(const QString& text)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.front())) return QLatin1Char('\'') + text;
    return text;
}

} // namespace

QByteArray Csv(const QList<Item>& items)
{
    QByteArray out = "id,date,kind,coin,amount,fee,status,detail\r\n";
    for (const Item& it : items) {
        const QList<QByteArray> fields{QByteArray::number(it.id), Field(it.time),       Field(it.kind),
                                       Field(it.coin.toUpper()),  Field(FileAmount(it.amount)),
                                       Field(FileAmount(it.fee)), Field(it.status),     Field(Inert(it.detail))};
        out += fields.join(',');
        out += "\r\n";
    }
    return out;
}

bool SaveCsv(const QString& path, const QList<Item>& items, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QByteArray bytes = Csv(items);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace history

// ---- the table model ----

HistoryModel::HistoryModel(QObject* parent) : QAbstractTableModel(parent) {}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size()) return {};
    const history::Item& it = m_items.at(index.row());
    // A screen reader says something for an empty cell rather than nothing.
    if (role == Qt::AccessibleTextRole && index.column() == Detail && it.detail.isEmpty()) return QStringLiteral("No detail");
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        switch (index.column()) {
        case Date:
            return it.time;
        case Kind:
            return history::KindCaption(it.kind);
        case Coin:
            return it.coin.toUpper();
        case Amount:
            return history::ShownAmount(it.amount);
        case Fee:
            return history::ShownAmount(it.fee);
        case Status:
            return history::StatusCaption(it.status);
        case Detail:
            return it.detail;
        }
    } else if (role == Qt::TextAlignmentRole && (index.column() == Amount || index.column() == Fee)) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const names[] = {"Date (UTC)", "Kind", "Coin", "Amount", "Fee", "Status", "Detail"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

void HistoryModel::Reset(const QString& coin)
{
    beginResetModel();
    m_items.clear();
    m_coin = coin;
    m_next.reset();
    m_started = false;
    endResetModel();
}

void HistoryModel::Append(const history::Page& page)
{
    QList<history::Item> fresh;
    const qint64 below = m_items.isEmpty() ? std::numeric_limits<qint64>::max() : m_items.last().id;
    for (const history::Item& it : page.items)
        if (it.id < below && (m_coin.isEmpty() || it.coin == m_coin)) fresh.append(it);
    m_started = true;
    m_next = page.next;
    if (fresh.isEmpty()) return;
    beginInsertRows({}, int(m_items.size()), int(m_items.size() + fresh.size() - 1));
    m_items.append(fresh);
    endInsertRows();
}
