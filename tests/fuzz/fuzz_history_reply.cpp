// The activity screen's readers of server data: a history page (the coin asked
// for on the first line, the reply after it), and the same bytes as a price
// table and as a list of rentals. What a reader takes must hold its promises;
// a history page's CSV file must read back (RFC 4180) into the same fields.
#include "FuzzSupport.h"
#include "History.h"
#include "Prices.h"
#include "Rentals.h"

#include <QByteArray>
#include <QList>

using fuzz::Check;

namespace {

// A minimal RFC 4180 reader: rows of fields, quoted fields with "" for a quote.
QList<QList<QByteArray>> ReadCsv(const QByteArray& text)
{
    QList<QList<QByteArray>> rows;
    QList<QByteArray> row;
    QByteArray field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << field;
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row << field;
            field.clear();
            rows << row;
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    Check(row.isEmpty() && field.isEmpty() && !quoted, "the file ends with a whole row");
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto [coin, body] = fuzz::SplitFirstLine(fuzz::Text(data, size));
    try {
        const history::Page page = history::ParsePage(body, coin.size() <= 12 ? coin : QString());
        Check(page.items.size() <= history::MaxPageItems, "no more lines than a page holds");
        for (qsizetype i = 0; i < page.items.size(); ++i) {
            const history::Item& it = page.items[i];
            Check(it.id > 0, "ids are positive");
            Check(i == 0 || it.id < page.items[i - 1].id, "newest first, no repeats");
            Check(history::Kinds().contains(it.kind) && history::Statuses().contains(it.status), "known words only");
            Check(it.detail.size() <= history::MaxDetailChars, "details are short");
            Check(it.amount > -1'000'000'000'000'000'000 && it.amount < 1'000'000'000'000'000'000, "amounts in range");
        }
        Check(!page.next || (!page.items.isEmpty() && *page.next <= page.items.last().id), "the next page lies below");

        const QList<QList<QByteArray>> rows = ReadCsv(history::Csv(page.items));
        Check(rows.size() == page.items.size() + 1, "a row per line and a header");
        for (qsizetype i = 0; i < page.items.size(); ++i) {
            const history::Item& it = page.items[i];
            const QList<QByteArray>& r = rows[i + 1];
            Check(r.size() == 8, "eight fields a row");
            Check(r[0] == QByteArray::number(it.id) && r[1] == it.time.toUtf8() && r[2] == it.kind.toUtf8(),
                  "id, date and kind read back");
            Check(r[4] == history::FileAmount(it.amount).toUtf8() && r[5] == history::FileAmount(it.fee).toUtf8(),
                  "amounts read back");
            const QByteArray detail = it.detail.toUtf8();
            Check(r[7] == detail || r[7] == "'" + detail, "the detail reads back, a formula behind an apostrophe");
        }
    } catch (const history::ReplyError& e) {
        Check(!e.message().isEmpty(), "a refusal says why");
    }
    try {
        const prices::Table t = prices::Parse(body);
        for (auto it = t.usd.begin(); it != t.usd.end(); ++it) Check(it.value() >= 0, "prices are not negative");
    } catch (const prices::ReplyError&) {
    }
    try {
        const rentals::List l = rentals::Parse(body);
        for (const rentals::Rental& r : l.rentals) {
            Check(r.start <= r.end, "a rental ends after it starts");
            Check(rentals::DaysLeft(r, l.time) >= 0, "days left are not negative");
            Check(rentals::CardLines(r, l.time).size() == 5, "a card has its five lines");
        }
    } catch (const rentals::ReplyError&) {
    }
    return 0;
}
