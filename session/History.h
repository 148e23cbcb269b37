#pragma once
// The account's history as the service pages it ("history"): reading a page
// defensively, the table model the activity screen shows, and the CSV file it
// exports. No widgets here.
#include "FormEncoding.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <stdexcept>

namespace history {

// A reply that is not a page of this account's history; what() is the
// user-facing reason. Nothing of such a reply is taken.
class ReplyError : public std::runtime_error {
public:
    explicit ReplyError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

struct Item {
    qint64 id = 0;
    QString time;   // "YYYY-MM-DD HH:MM:SS", UTC
    QString kind;   // deposit, withdraw, invest, earning, ...
    QString coin;   // lower case
    qint64 amount = 0; // signed, units of 10^-8, as it moved the wallet
    qint64 fee = 0;    // signed, units of 10^-8
    QString status; // done, pending, sent, failed
    QString detail; // free text of the service (transaction id, reason, bonus)
};

struct Page {
    QList<Item> items; // newest first
    std::optional<qint64> next; // the `before` of the following page; none on the last
};

// The most a page may hold (the service's own maximum of `limit`).
constexpr int MaxPageItems = 200;
// The longest detail text taken; a longer one refuses the page.
constexpr int MaxDetailChars = 1000;

const QStringList& Kinds();
const QStringList& Statuses();

// Reads a reply to a request for coin (empty: all coins) below before (0: the
// newest). Anything not exactly a page is refused whole with ReplyError: a
// non-JSON body (its text, cut short, is the reason the service gave), wrong
// types, unknown kinds or statuses, amounts that are not signed 8-decimal
// texts, ids out of order or not below before, another coin than asked for,
// more than MaxPageItems items.
Page ParsePage(const QString& body, const QString& coin = {}, qint64 before = 0);

// The request's fields; limit 0 leaves the service's default.
FormFields Request(const QString& login, const QString& pass, const QString& token, const QString& coin = {},
                   qint64 before = 0, int limit = 0);

// Sends "history" for the logged-in account over the account channel under
// action (one at a time per action; a later one supersedes). done gets the
// page, or an error text (no reply, a refusal, a malformed page) and no page.
using PageAnswer = std::function<void(const Page* page, const QString& error)>;
bool Fetch(const QString& action, const QString& coin, qint64 before, int limit, QObject* context,
           PageAnswer done);

// Amount texts as the screens show them ("," and 8 decimals) and as the CSV
// file writes them ("." and 8 decimals).
QString ShownAmount(qint64 units);
QString FileAmount(qint64 units);
QString KindCaption(const QString& kind);
QString StatusCaption(const QString& status);

// Earnings credited in coin per UTC day over the days days up to lastDay
// (oldest first, a day without an earning line is 0), from "earning" lines.
QList<QPair<QDate, qint64>> EarningsPerDay(const QList<Item>& items, const QString& coin, const QDate& lastDay,
                                           int days);

// RFC 4180: a header row, then one row per item, CRLF line ends, a field in
// double quotes when it holds a comma, quote, CR or LF (quotes doubled), UTF-8.
// A detail that a spreadsheet would take as a formula (= + - @ or a tab first)
// is written with a leading apostrophe, so opening the file runs nothing.
QByteArray Csv(const QList<Item>& items);
// Writes Csv(items) to path through QSaveFile: the file is whole or untouched.
bool SaveCsv(const QString& path, const QList<Item>& items, QString* error);

} // namespace history

// The history rows the activity screen shows: date, kind, coin, amount, fee,
// status, detail, newest first, filled page by page.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Date, Kind, Coin, Amount, Fee, Status, Detail, ColumnCount };

    explicit HistoryModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Starts over for coin (empty: every coin): no rows, a first page due.
    void Reset(const QString& coin);
    // Adds the page's items below the last row (items not below it are ones
    // already shown: a page read twice adds nothing) and takes its next.
    void Append(const history::Page& page);

    QString CoinFilter() const { return m_coin; }
    // The `before` of the page to ask for next: 0 for the first page.
    qint64 NextBefore() const { return m_next.value_or(0); }
    // Whether pages remain: before the first page, or while the last had a next.
    bool HasMore() const { return !m_started || m_next.has_value(); }
    const QList<history::Item>& Items() const { return m_items; }

private:
    QList<history::Item> m_items;
    QString m_coin;
    std::optional<qint64> m_next;
    bool m_started = false;
};
