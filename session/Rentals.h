#pragma once
// The account's rentals ("investments"): what each put in, earned so far, what
// the rules would have paid by now and by the end, and what returns.
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <stdexcept>

class QObject;

namespace rentals {

class ReplyError : public std::runtime_error {
public:
    explicit ReplyError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

struct Rental {
    qint64 id = 0;
    QString coin; // lower case
    qint64 principal = 0, earned = 0, dueByNow = 0, totalEarnings = 0, returns = 0, fee = 0; // units of 10^-8
    int days = 0;
    QDateTime start, end; // UTC
    bool open = false;
};

struct List {
    QList<Rental> rentals; // newest first
    QDateTime time;        // the service's clock when it answered, UTC
};

constexpr int MaxRentals = 1000;

// Reads an "investments" reply; anything else is refused whole with ReplyError.
List Parse(const QString& body);

// Whole days left from now to the end, a part day counting as one; 0 once ended.
int DaysLeft(const Rental& r, const QDateTime& now);

// The card's lines, "," decimals: principal, days left, earned against due by
// now, end date, the amount that returns.
QStringList CardLines(const Rental& r, const QDateTime& now);

using ListAnswer = std::function<void(const List* list, const QString& error)>;
bool Fetch(QObject* context, ListAnswer done);

} // namespace rentals
