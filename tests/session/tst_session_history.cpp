// The history page reader, the table model's paging and the CSV file.
#include "History.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QJsonObject ItemJson(qint64 id, const QString& kind = "deposit", const QString& coin = "btc",
                     const QString& amount = "1.50000000", const QString& fee = "0.00000000",
                     const QString& status = "done", const QString& detail = "")
{
    return {{"id", id},         {"time", "2026-12-11 07:01:15"}, {"kind", kind},     {"coin", coin},
            {"amount", amount}, {"fee", fee},                    {"status", status}, {"detail", detail}};
}

QString PageJson(const QJsonArray& items, const QJsonValue& next = QJsonValue::Null)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"items", items}, {"next", next}}).toJson());
}

QString WithItem(const QString& member, const QJsonValue& value)
{
    QJsonObject o = ItemJson(7);
    if (value.isUndefined())
        o.remove(member);
    else
        o.insert(member, value);
    return PageJson({o});
}

history::Item MakeItem(qint64 id, const QString& coin, qint64 amount, const QString& detail = {})
{
    history::Item it;
    it.id = id;
    it.time = "2026-12-10 23:59:59";
    it.kind = "withdraw";
    it.coin = coin;
    it.amount = amount;
    it.fee = 70000000;
    it.status = "sent";
    it.detail = detail;
    return it;
}

} // namespace

class HistoryTest : public QObject {
    Q_OBJECT
private slots:
    void pageReadExactly()
    {
        const history::Page page = history::ParsePage(
            PageJson({ItemJson(12, "withdraw", "usdt", "-10.00000000", "0.70000000", "pending", "erc20 0xab"),
                      ItemJson(9, "earning", "usdt", "0.00000001"), ItemJson(3, "swap_out", "usdt", "-9999999999.99999999")},
                     3),
            "usdt");
        QCOMPARE(page.items.size(), 3);
        QCOMPARE(page.items[0].id, qint64(12));
        QCOMPARE(page.items[0].amount, qint64(-1'000'000'000));
        QCOMPARE(page.items[0].fee, qint64(70'000'000));
        QCOMPARE(page.items[0].status, QStringLiteral("pending"));
        QCOMPARE(page.items[0].detail, QStringLiteral("erc20 0xab"));
        QCOMPARE(page.items[1].amount, qint64(1));
        QCOMPARE(page.items[2].amount, -qint64(999'999'999'999'999'999));
        QCOMPARE(page.next, std::optional<qint64>(3));
        QVERIFY(!history::ParsePage(PageJson({ItemJson(1)})).next.has_value());
        QVERIFY(history::ParsePage(PageJson({})).items.isEmpty());
    }

    void hostileRepliesRefusedWhole_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("coin");
        QTest::addColumn<qint64>("before");
        QTest::addColumn<QString>("reason"); // part of the message shown

        QJsonArray many;
        for (int i = 0; i < history::MaxPageItems + 1; ++i) many.append(ItemJson(100000 - i));
        QTest::newRow("huge page") << PageJson(many) << "" << qint64(0) << "201 items";
        QTest::newRow("not json") << "<html><b>502</b></html>" << "" << qint64(0) << "<html><b>502</b></html>";
        QTest::newRow("refusal text") << "Unknown coin" << "" << qint64(0) << "Unknown coin";
        QTest::newRow("json array") << "[1,2]" << "" << qint64(0) << "not a page";
        QTest::newRow("truncated") << PageJson({ItemJson(3)}).left(40) << "" << qint64(0) << "not a page";
        QTest::newRow("items a text") << R"({"items":"[]","next":null})" << "" << qint64(0) << "no item list";
        QTest::newRow("no next") << R"({"items":[]})" << "" << qint64(0) << "more follows";
        QTest::newRow("item a number") << R"({"items":[5],"next":null})" << "" << qint64(0) << "not an object";
        QTest::newRow("id text") << WithItem("id", "7") << "" << qint64(0) << "not a number";
        QTest::newRow("id fraction") << WithItem("id", 7.5) << "" << qint64(0) << "not an id";
        QTest::newRow("id zero") << WithItem("id", 0) << "" << qint64(0) << "not an id";
        QTest::newRow("id huge") << WithItem("id", 1e300) << "" << qint64(0) << "not an id";
        QTest::newRow("amount number") << WithItem("amount", 1.5) << "" << qint64(0) << "\"amount\"";
        QTest::newRow("amount comma") << WithItem("amount", "1,50000000") << "" << qint64(0) << "\"amount\"";
        QTest::newRow("amount 2 decimals") << WithItem("amount", "1.50") << "" << qint64(0) << "\"amount\"";
        QTest::newRow("amount exponent") << WithItem("amount", "1e8") << "" << qint64(0) << "\"amount\"";
        QTest::newRow("amount 11 digits") << WithItem("amount", "12345678901.00000000") << "" << qint64(0)
                                          << "\"amount\"";
        QTest::newRow("amount NaN") << WithItem("amount", "NaN") << "" << qint64(0) << "\"amount\"";
        QTest::newRow("fee plus sign") << WithItem("fee", "+0.10000000") << "" << qint64(0) << "\"fee\"";
        QTest::newRow("no fee") << WithItem("fee", QJsonValue::Undefined) << "" << qint64(0) << "\"fee\"";
        QTest::newRow("markup kind") << WithItem("kind", "<b>deposit</b>") << "" << qint64(0) << "unknown kind";
        QTest::newRow("markup status") << WithItem("status", "<i>done</i>") << "" << qint64(0) << "unknown status";
        QTest::newRow("coin markup") << WithItem("coin", "<a href=x>btc</a>") << "" << qint64(0) << "valid coin";
        QTest::newRow("coin upper") << WithItem("coin", "BTC") << "" << qint64(0) << "valid coin";
        QTest::newRow("other coin") << WithItem("coin", "eth") << "btc" << qint64(0) << "another coin";
        QTest::newRow("time words") << WithItem("time", "yesterday") << "" << qint64(0) << "valid time";
        QTest::newRow("time impossible") << WithItem("time", "2026-13-45 25:61:00") << "" << qint64(0)
                                         << "valid time";
        QTest::newRow("detail object") << WithItem("detail", QJsonObject{{"x", 1}}) << "" << qint64(0)
                                       << "not a text";
        QTest::newRow("detail overlong") << WithItem("detail", QString(history::MaxDetailChars + 1, 'x')) << ""
                                         << qint64(0) << "overlong";
        QTest::newRow("ids rising") << PageJson({ItemJson(3), ItemJson(4)}) << "" << qint64(0) << "out of order";
        QTest::newRow("id repeated") << PageJson({ItemJson(4), ItemJson(4)}) << "" << qint64(0) << "out of order";
        QTest::newRow("not below before") << PageJson({ItemJson(10)}) << "" << qint64(10) << "out of order";
        QTest::newRow("next above page") << PageJson({ItemJson(10), ItemJson(8)}, 9) << "" << qint64(0)
                                         << "not below";
        QTest::newRow("next on empty page") << PageJson({}, 5) << "" << qint64(0) << "not below";
        QTest::newRow("next text") << PageJson({ItemJson(10)}, "9") << "" << qint64(0) << "not a number";
    }
    void hostileRepliesRefusedWhole()
    {
        QFETCH(QString, body);
        QFETCH(QString, coin);
        QFETCH(qint64, before);
        QFETCH(QString, reason);
        try {
            history::ParsePage(body, coin, before);
            QFAIL("the reply was taken");
        } catch (const history::ReplyError& e) {
            QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        }
    }

    // A refused page leaves the rows shown; pages add below, a page read again adds nothing.
    void modelPagesAndKeepsRows()
    {
        HistoryModel model;
        model.Reset("btc");
        QVERIFY(model.HasMore());
        QCOMPARE(model.NextBefore(), qint64(0));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

        model.Append(history::ParsePage(PageJson({ItemJson(9), ItemJson(8, "withdraw", "btc", "-0.50000000",
                                                                         "0.00100000", "failed", "<b>bad</b>")},
                                                 8),
                                        "btc"));
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.NextBefore(), qint64(8));
        QCOMPARE(model.data(model.index(1, HistoryModel::Amount)).toString(), QStringLiteral("-0,50000000"));
        QCOMPARE(model.data(model.index(1, HistoryModel::Fee)).toString(), QStringLiteral("0,00100000"));
        QCOMPARE(model.data(model.index(1, HistoryModel::Kind)).toString(), QStringLiteral("Withdrawal"));
        QCOMPARE(model.data(model.index(1, HistoryModel::Status)).toString(), QStringLiteral("Failed"));
        QCOMPARE(model.data(model.index(1, HistoryModel::Coin)).toString(), QStringLiteral("BTC"));
        QCOMPARE(model.data(model.index(1, HistoryModel::Detail)).toString(), QStringLiteral("<b>bad</b>"));
        QCOMPARE(model.data(model.index(0, HistoryModel::Date)).toString(), QStringLiteral("2026-12-11 07:01:15"));

        // The same page again (a repeated answer) and a page overlapping it.
        model.Append(history::ParsePage(PageJson({ItemJson(9), ItemJson(8)}, 8), "btc"));
        QCOMPARE(model.rowCount(), 2);
        model.Append(history::ParsePage(PageJson({ItemJson(8), ItemJson(5)}), "btc"));
        QCOMPARE(model.rowCount(), 3);
        QVERIFY(!model.HasMore());
        QCOMPARE(inserted.size(), 2);

        // A refused page: nothing is appended, the rows stay.
        try {
            model.Append(history::ParsePage(PageJson({ItemJson(4, "deposit", "btc", "1")}), "btc"));
        } catch (const history::ReplyError&) {
        }
        QCOMPARE(model.rowCount(), 3);

        model.Reset("");
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(model.HasMore());
    }

    void csvQuoting_data()
    {
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << "erc20 0xab" << QByteArray("erc20 0xab");
        QTest::newRow("empty") << "" << QByteArray("");
        QTest::newRow("comma") << "a,b" << QByteArray("\"a,b\"");
        QTest::newRow("quote") << "say \"hi\"" << QByteArray("\"say \"\"hi\"\"\"");
        QTest::newRow("newline") << "line1\nline2" << QByteArray("\"line1\nline2\"");
        QTest::newRow("crlf") << "a\r\nb" << QByteArray("\"a\r\nb\"");
        QTest::newRow("utf8") << QString::fromUtf8("Überweisung €") << QString::fromUtf8("Überweisung €").toUtf8();
        QTest::newRow("formula") << "=HYPERLINK(\"x\")" << QByteArray("\"'=HYPERLINK(\"\"x\"\")\"");
        QTest::newRow("plus") << "+1" << QByteArray("'+1");
        QTest::newRow("at") << "@SUM(A1)" << QByteArray("'@SUM(A1)");
        QTest::newRow("minus") << "-2" << QByteArray("'-2");
    }
    void csvQuoting()
    {
        QFETCH(QString, detail);
        QFETCH(QByteArray, field);
        const QByteArray csv = history::Csv({MakeItem(42, "usdt", -1'000'000'000, detail)});
        QCOMPARE(csv, QByteArray("id,date,kind,coin,amount,fee,status,detail\r\n"
                                 "42,2026-12-10 23:59:59,withdraw,USDT,-10.00000000,0.70000000,sent,") +
                          field + "\r\n");
    }

    void csvAmountsWithPoint()
    {
        const QByteArray csv = history::Csv({MakeItem(2, "btc", 1), MakeItem(1, "btc", -999'999'999'999'999'999)});
        const QList<QByteArray> lines = csv.split('\n');
        QCOMPARE(lines.size(), 4); // header, two rows, the empty rest after the last CRLF
        QCOMPARE(lines[1], QByteArray("2,2026-12-10 23:59:59,withdraw,BTC,0.00000001,0.70000000,sent,\r"));
        QCOMPARE(lines[2], QByteArray("1,2026-12-10 23:59:59,withdraw,BTC,-9999999999.99999999,0.70000000,sent,\r"));
    }

    // Written whole or not at all: an existing file is replaced, a file that
    // cannot be written leaves what was there.
    void saveCsv()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.csv");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents that are longer than the new file will be, by far, really");
        old.close();
        QString error;
        QVERIFY(history::SaveCsv(path, {MakeItem(1, "btc", 5)}, &error));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), history::Csv({MakeItem(1, "btc", 5)}));
        f.close();

        QVERIFY(!history::SaveCsv(dir.filePath("missing/history.csv"), {MakeItem(1, "btc", 5)}, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("missing/history.csv")));
    }

    void requestFields()
    {
        const FormFields all = history::Request("u", "p", "t");
        QCOMPARE(all, (FormFields{{"a", "history"}, {"s", "u"}, {"pass", "p"}, {"session", "t"}}));
        const FormFields page = history::Request("u", "p", "t", "doge", 812, 200);
        QCOMPARE(page, (FormFields{{"a", "history"}, {"s", "u"}, {"pass", "p"}, {"coin", "doge"}, {"before", "812"},
                                   {"limit", "200"}, {"session", "t"}}));
    }
};

QTEST_GUILESS_MAIN(HistoryTest)
#include "tst_session_history.moc"
